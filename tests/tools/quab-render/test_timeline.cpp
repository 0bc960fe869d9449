// The timeline parser: what it accepts (comments, blanks, signs, the types' limits) and the line
// and reason it names for each kind of malformed line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/render_timeline/timeline.h"

namespace {

struct Accepted {
    const char* name;
    std::string text;
    std::vector<TimelineEntry> entries;
};

TEST(Timeline, AcceptedInputs) {
    const Accepted cases[] = {
        {"empty", "", {}},
        {"one line", "0 0 0\n", {{0, 0, 0}}},
        {"no final newline", "5 7 12", {{5, 7, 12}}},
        {"comments and blank lines",
         "# ticks pos row\n\n  \t\n12 3 4\n#\n13 3 5\n",
         {{12, 3, 4}, {13, 3, 5}}},
        {"comment after leading blanks", "  # indented\n1 2 3\n", {{1, 2, 3}}},
        {"tabs, repeated blanks, CRLF", "\t1\t \t2   3 \r\n4 5 6\r\n", {{1, 2, 3}, {4, 5, 6}}},
        {"signs", "+5 -3 +7\n", {{5, -3, 7}}},
        {"lowest values", "-2147483648 -32768 0\n", {{INT32_MIN, INT16_MIN, 0}}},
        {"highest values", "2147483647 32767 65535\n", {{INT32_MAX, INT16_MAX, UINT16_MAX}}},
        {"leading zeros", "007 0030 00063\n", {{7, 30, 63}}},
    };
    for (const Accepted& c : cases) {
        std::vector<TimelineEntry> entries;
        Result parsed = parse_timeline(c.text.data(), c.text.size(), &entries);
        ASSERT_TRUE(parsed.ok) << c.name << ": " << parsed.reason;
        ASSERT_EQ(entries.size(), c.entries.size()) << c.name;
        for (std::size_t i = 0; i < entries.size(); i++) {
            EXPECT_EQ(entries[i].tick_count, c.entries[i].tick_count) << c.name << " entry " << i;
            EXPECT_EQ(entries[i].sngpos, c.entries[i].sngpos) << c.name << " entry " << i;
            EXPECT_EQ(entries[i].patpos, c.entries[i].patpos) << c.name << " entry " << i;
        }
    }
}

struct Refused {
    std::string text;
    std::string error;
    std::size_t entries_before;
};

TEST(Timeline, MalformedLinesNamedWithLineAndReason) {
    const Refused cases[] = {
        {"1 2\n", "line 1: missing field patpos (expected tick_count sngpos patpos)", 0},
        {"0 0 0\n7\n", "line 2: missing field sngpos (expected tick_count sngpos patpos)", 1},
        {"# c\n\n1 2 3 4\n",
         "line 3: extra field \"4\" after patpos (expected tick_count sngpos patpos)", 0},
        {"1 2 3 # note\n",
         "line 1: extra field \"#\" after patpos (expected tick_count sngpos patpos)", 0},
        {"1 2x 3\n", "line 1: sngpos \"2x\" is not an integer", 0},
        {"- 0 0\n", "line 1: tick_count \"-\" is not an integer", 0},
        {"1 2 3.5\n", "line 1: patpos \"3.5\" is not an integer", 0},
        {"0x10 0 0\n", "line 1: tick_count \"0x10\" is not an integer", 0},
        {std::string("1\0 2 3\n", 7), "line 1: tick_count \"1?\" is not an integer", 0},
        {"1 40000 3\n",
         "line 1: sngpos \"40000\" is out of range for a signed 16-bit value (-32768..32767)", 0},
        {"1 -32769 3\n",
         "line 1: sngpos \"-32769\" is out of range for a signed 16-bit value (-32768..32767)", 0},
        {"1 2 -1\n",
         "line 1: patpos \"-1\" is out of range for an unsigned 16-bit value (0..65535)", 0},
        {"1 2 65536\n",
         "line 1: patpos \"65536\" is out of range for an unsigned 16-bit value (0..65535)", 0},
        {"2147483648 0 0\n",
         "line 1: tick_count \"2147483648\" is out of range for a signed 32-bit value "
         "(-2147483648..2147483647)",
         0},
        {"99999999999999999999999 0 0\n",
         "line 1: tick_count \"99999999999999999999999\" is out of range for a signed 32-bit "
         "value (-2147483648..2147483647)",
         0},
    };
    for (const Refused& c : cases) {
        std::vector<TimelineEntry> entries;
        Result parsed = parse_timeline(c.text.data(), c.text.size(), &entries);
        EXPECT_FALSE(parsed.ok) << c.text;
        EXPECT_EQ(parsed.reason, c.error);
        EXPECT_EQ(entries.size(), c.entries_before) << c.text;
    }
}

// A long field is shown shortened, so a message stays one readable line.
TEST(Timeline, LongFieldIsShortenedInTheMessage) {
    std::string text = "1 2 " + std::string(100, 'z') + "\n";
    std::vector<TimelineEntry> entries;
    Result parsed = parse_timeline(text.data(), text.size(), &entries);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.reason,
              "line 1: patpos \"" + std::string(24, 'z') + "...\" is not an integer");
}

TEST(Timeline, UnreadableFileIsNamed) {
    std::vector<TimelineEntry> entries;
    Result missing = read_timeline_file("/nonexistent/timeline.txt", &entries);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.reason, "/nonexistent/timeline.txt: cannot open: No such file or directory");
    Result directory = read_timeline_file("/", &entries);
    EXPECT_FALSE(directory.ok);
    EXPECT_EQ(directory.reason, "/: cannot read: Is a directory");
}

} // namespace
