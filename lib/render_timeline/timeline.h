// The offline renderer's timeline: one line per pass of the frame loop, three integers
// "tick_count sngpos patpos" that every clock read of that pass returns. Parsing works on a
// buffer of bytes so that any input, however malformed, gets a named line and reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lib/base/result.h"

struct TimelineEntry {
    std::int32_t tick_count;
    std::int16_t sngpos;
    std::uint16_t patpos;
};

// Parses length bytes of text (no terminator needed). Lines end at '\n'; blanks are spaces, tabs,
// '\r', '\v' and '\f'. A line that is blank, or whose first non-blank character is '#', is
// skipped. On success appends one entry per remaining line to *entries. On the first malformed
// line refuses with "line N: REASON" (N counted from 1), *entries holding the lines before it.
Result parse_timeline(const char* text, std::size_t length, std::vector<TimelineEntry>* entries);

// A timeline longer than this is refused before it is parsed: the renderer's limit of passes
// at a generous line length (comments included) stays well below it.
constexpr std::size_t TIMELINE_MAX_BYTES = 16u << 20;

// Reads the file at path whole (at most TIMELINE_MAX_BYTES) and parses it. A refusal names the
// file and the reason ("PATH: line N: REASON", "PATH: cannot read: ..." or "PATH: longer than
// 16 MB; not a timeline").
Result read_timeline_file(const char* path, std::vector<TimelineEntry>* entries);
