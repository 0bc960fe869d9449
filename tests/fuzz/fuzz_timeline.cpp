// Fuzz target for quab-render's timeline parser: any bytes give either entries or a refusal
// naming a line, and a refusal is always one readable line, whatever the input held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lib/render_timeline/timeline.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::vector<TimelineEntry> entries;
    Result parsed = parse_timeline(text, size, &entries);
    bool ok = parsed.ok;
    const std::string& error = parsed.reason;

    std::size_t lines = 1;
    for (std::size_t i = 0; i < size; i++)
        lines += text[i] == '\n';
    // One entry at most per line, and none from the failing line on.
    if (entries.size() > lines)
        std::abort();
    if (ok) {
        if (!error.empty())
            std::abort();
        return 0;
    }
    if (error.compare(0, 5, "line ") != 0)
        std::abort();
    std::size_t line = std::strtoul(error.c_str() + 5, nullptr, 10);
    if (line < 1 || line > lines || entries.size() >= line)
        std::abort();
    for (char c : error) {
        if (c < 0x20 || c > 0x7E)
            std::abort();
    }
    return 0;
}
