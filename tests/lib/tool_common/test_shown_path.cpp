// Paths in messages: printed as they stand unless a byte in them would break the one line a
// failure gets, then in the shell's $'...' form naming every byte.
#include <gtest/gtest.h>

#include <string>

#include "lib/tool_common/shown_path.h"

namespace {

TEST(ShownPath, OneLineWhateverThePathHolds) {
    struct Case {
        std::string path, shown;
    };
    const Case cases[] = {
        {"/usr/share/quab/quab.dat", "/usr/share/quab/quab.dat"},
        {"my show/it's \\ here", "my show/it's \\ here"},
        {"caf\xc3\xa9.xm", "caf\xc3\xa9.xm"},
        {"/x\nquab-check: all fine", "$'/x\\nquab-check: all fine'"},
        {"a'b\tc\\d\r", "$'a\\'b\\tc\\\\d\\r'"},
        {std::string("\x1b[2J\x7f", 5) + "end", "$'\\x1b[2J\\x7fend'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shown_path(c.path), c.shown);
        EXPECT_EQ(shown_path(c.path).find('\n'), std::string::npos);
    }
}

} // namespace
