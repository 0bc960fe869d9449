// Parsing of the offline renderer's timeline: lines of three blank-separated decimal integers,
// each range-checked against the type of the clock word it scripts.
#include "lib/render_timeline/timeline.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int FIELD_COUNT = 3;
constexpr const char* FIELD_NAMES[FIELD_COUNT] = {"tick_count", "sngpos", "patpos"};
constexpr std::int64_t FIELD_MIN[FIELD_COUNT] = {INT32_MIN, INT16_MIN, 0};
constexpr std::int64_t FIELD_MAX[FIELD_COUNT] = {INT32_MAX, INT16_MAX, UINT16_MAX};
constexpr const char* FIELD_TYPES[FIELD_COUNT] = {"a signed 32-bit", "a signed 16-bit",
                                                  "an unsigned 16-bit"};

inline bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The field as it appears in the input, shortened and with unprintable bytes shown as '?', so
// that a message about binary input stays one readable line.
std::string quoted(const char* begin, const char* end) {
    constexpr std::ptrdiff_t SHOWN = 24;
    std::string q = "\"";
    for (const char* p = begin; p < end && p - begin < SHOWN; p++)
        q += (*p >= 0x20 && *p < 0x7F) ? *p : '?';
    if (end - begin > SHOWN)
        q += "...";
    return q + "\"";
}

// A decimal integer with an optional sign. Digits beyond what any field can hold still count as
// digits; the value saturates so the range check reports them as out of range.
bool parse_integer(const char* begin, const char* end, std::int64_t* value) {
    const char* p = begin;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    if (p == end)
        return false;
    std::int64_t v = 0;
    for (; p < end; p++) {
        if (*p < '0' || *p > '9')
            return false;
        v = v < (std::int64_t{1} << 40) ? v * 10 + (*p - '0') : v;
    }
    *value = negative ? -v : v;
    return true;
}

Result line_error(std::size_t line, const std::string& reason) {
    return Result::fail("line " + std::to_string(line) + ": " + reason);
}

} // namespace

Result parse_timeline(const char* text, std::size_t length, std::vector<TimelineEntry>* entries) {
    const char* end = text + length;
    std::size_t line = 0;
    for (const char* p = text; p < end;) {
        line++;
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', end - p));
        if (!eol)
            eol = end;
        const char* q = p;
        p = eol < end ? eol + 1 : end;

        while (q < eol && is_blank(*q))
            q++;
        if (q == eol || *q == '#')
            continue;

        std::int64_t values[FIELD_COUNT];
        for (int f = 0; f < FIELD_COUNT; f++) {
            while (q < eol && is_blank(*q))
                q++;
            if (q == eol) {
                return line_error(line, "missing field " + std::string(FIELD_NAMES[f]) +
                                            " (expected tick_count sngpos patpos)");
            }
            const char* field = q;
            while (q < eol && !is_blank(*q))
                q++;
            if (!parse_integer(field, q, &values[f])) {
                return line_error(line, std::string(FIELD_NAMES[f]) + " " + quoted(field, q) +
                                            " is not an integer");
            }
            if (values[f] < FIELD_MIN[f] || values[f] > FIELD_MAX[f]) {
                return line_error(line, std::string(FIELD_NAMES[f]) + " " + quoted(field, q) +
                                            " is out of range for " + FIELD_TYPES[f] + " value (" +
                                            std::to_string(FIELD_MIN[f]) + ".." +
                                            std::to_string(FIELD_MAX[f]) + ")");
            }
        }
        while (q < eol && is_blank(*q))
            q++;
        if (q < eol) {
            const char* field = q;
            while (q < eol && !is_blank(*q))
                q++;
            return line_error(line, "extra field " + quoted(field, q) +
                                        " after patpos (expected tick_count sngpos patpos)");
        }
        entries->push_back({static_cast<std::int32_t>(values[0]),
                            static_cast<std::int16_t>(values[1]),
                            static_cast<std::uint16_t>(values[2])});
    }
    return Result::success();
}

Result read_timeline_file(const char* path, std::vector<TimelineEntry>* entries) {
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return Result::fail(std::string(path) + ": cannot open: " + std::strerror(errno));
    std::string text;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, got);
        if (text.size() > TIMELINE_MAX_BYTES) {
            std::fclose(f);
            return Result::fail(std::string(path) + ": longer than " +
                                std::to_string(TIMELINE_MAX_BYTES >> 20) + " MB; not a timeline");
        }
    }
    bool failed = std::ferror(f);
    int read_errno = errno;
    std::fclose(f);
    if (failed)
        return Result::fail(std::string(path) + ": cannot read: " + std::strerror(read_errno));
    Result parsed = parse_timeline(text.data(), text.size(), entries);
    if (!parsed.ok)
        return Result::fail(std::string(path) + ": " + parsed.reason);
    return Result::success();
}
