// The module writer: validates a song description and lays it out byte by byte as an extended
// module (header, packed patterns, instruments with their delta-encoded samples).
#include "lib/xm/xm.h"

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "lib/tool_common/output_file.h"

namespace {

constexpr std::uint16_t XM_VERSION = 0x0104;
// Header size as stored: counted from the size field itself, 20 bytes of song fields plus the
// 256-entry order table.
constexpr std::uint32_t XM_HEADER_SIZE = 276;
constexpr std::uint32_t XM_PATTERN_HEADER_SIZE = 9;
// The instrument header size FastTracker 2 writes (243 bytes of fields and 22 reserved).
constexpr std::uint32_t XM_INSTRUMENT_HEADER_SIZE = 263;
constexpr std::uint32_t XM_SAMPLE_HEADER_SIZE = 40;
constexpr std::uint32_t XM_NOTES = 96;
// Far above anything a song needs, and low enough that a 16-bit length in bytes fits 32 bits.
constexpr std::uint32_t XM_MAX_SAMPLE_FRAMES = 1u << 24;
constexpr char XM_TRACKER_NAME[] = "QUAB module writer";
// The size field is 16 bits, but libmikmod counts it down in a signed 16-bit word: a pattern
// that packs to more than 32767 bytes fails to load there (a full 32-channel, 256-row pattern
// would take 40960).
constexpr std::uint32_t XM_MAX_PACKED_PATTERN_BYTES = 32767;

struct Out {
    std::vector<std::uint8_t>* bytes;
};

static inline void put8(Out& o, std::uint32_t v) { o.bytes->push_back(std::uint8_t(v & 0xFFu)); }
static inline void put16(Out& o, std::uint32_t v) {
    put8(o, v);
    put8(o, v >> 8);
}
static inline void put32(Out& o, std::uint32_t v) {
    put16(o, v & 0xFFFFu);
    put16(o, v >> 16);
}
static inline void put_zeros(Out& o, std::size_t n) { o.bytes->insert(o.bytes->end(), n, 0); }
// A fixed-width text field, cut to width and padded with zero bytes.
static inline void put_text(Out& o, const std::string& text, std::size_t width) {
    std::size_t n = text.size() < width ? text.size() : width;
    o.bytes->insert(o.bytes->end(), text.begin(), text.begin() + std::ptrdiff_t(n));
    put_zeros(o, width - n);
}

static Result fail(std::string text) { return Result::fail(std::move(text)); }

static std::uint32_t sample_frames(const XmSample& s) {
    return std::uint32_t(s.data16.empty() ? s.data8.size() : s.data16.size());
}

static bool volume_column_ok(std::uint8_t v) {
    // 0x51..0x5F are neither volumes (0x10..0x50) nor commands (0x60..0xFF).
    return v == 0 || (v >= 0x10 && v <= 0x50) || v >= 0x60;
}

static Result validate_sample(const XmSample& s, const std::string& where) {
    if (!s.data8.empty() && !s.data16.empty())
        return fail(where + " has both 8-bit and 16-bit data");
    std::uint32_t frames = sample_frames(s);
    if (s.data8.size() > XM_MAX_SAMPLE_FRAMES || s.data16.size() > XM_MAX_SAMPLE_FRAMES)
        return fail(where + " is longer than 16777216 frames");
    if (s.volume > 64)
        return fail(where + " volume " + std::to_string(s.volume) + " > 64");
    if (s.loop > XM_LOOP_PINGPONG)
        return fail(where + " has an unknown loop type");
    if (s.loop != XM_LOOP_NONE) {
        if (s.loop_length == 0)
            return fail(where + " loops over zero frames");
        if (s.loop_start > frames || s.loop_length > frames - s.loop_start)
            return fail(where + " loop " + std::to_string(s.loop_start) + "+" +
                        std::to_string(s.loop_length) + " runs past its " + std::to_string(frames) +
                        " frames");
    }
    return Result::success();
}

static Result validate_envelope(const XmEnvelope& e, const std::string& where) {
    std::size_t n = e.points.size();
    if (n == 0)
        return Result::success();
    if (n < 2 || n > XM_MAX_ENVELOPE_POINTS)
        return fail(where + " volume envelope has " + std::to_string(n) +
                    " points (2..12 allowed)");
    if (e.points[0].tick != 0)
        return fail(where + " volume envelope does not start at 0");
    for (std::size_t i = 0; i < n; ++i) {
        if (e.points[i].value > 64)
            return fail(where + " volume envelope point " + std::to_string(i) + " > 64");
        if (i > 0 && e.points[i].tick <= e.points[i - 1].tick)
            return fail(where + " volume envelope ticks do not increase at point " +
                        std::to_string(i));
    }
    if (e.sustain && e.sustain_point >= n)
        return fail(where + " volume envelope sustain point out of range");
    if (e.loop && (e.loop_start_point > e.loop_end_point || e.loop_end_point >= n))
        return fail(where + " volume envelope loop out of range");
    return Result::success();
}

static Result validate_instrument(const XmInstrument& ins, std::uint32_t number) {
    std::string where = "instrument " + std::to_string(number);
    if (ins.samples.empty())
        return fail(where + " has no sample");
    if (ins.samples.size() > XM_MAX_SAMPLES_PER_INSTRUMENT)
        return fail(where + " has more than 16 samples");
    if (!ins.note_map.empty()) {
        if (ins.note_map.size() != XM_NOTES)
            return fail(where + " note map must have 96 entries");
        for (std::uint8_t s : ins.note_map)
            if (s >= ins.samples.size())
                return fail(where + " note map names sample " + std::to_string(s) + " of " +
                            std::to_string(ins.samples.size()));
    }
    if (ins.fadeout > 0x0FFF)
        return fail(where + " fade-out > 4095");
    if (Result r = validate_envelope(ins.volume_envelope, where); !r.ok)
        return r;
    for (std::size_t i = 0; i < ins.samples.size(); ++i)
        if (Result r = validate_sample(ins.samples[i], where + " sample " + std::to_string(i));
            !r.ok)
            return r;
    return Result::success();
}

static std::uint32_t cell_flags(const XmCell& c) {
    return (c.note ? 0x01u : 0u) | (c.instrument ? 0x02u : 0u) | (c.volume ? 0x04u : 0u) |
           (c.effect ? 0x08u : 0u) | (c.param ? 0x10u : 0u);
}

// Bytes a cell takes packed: 5 when complete, else the flag byte and the fields present.
static std::uint32_t packed_cell_bytes(const XmCell& c) {
    std::uint32_t flags = cell_flags(c);
    if (flags == 0x1Fu)
        return 5;
    return 1u + std::uint32_t(std::popcount(flags));
}

static void put_cell(Out& o, const XmCell& c) {
    // A cell with every field present goes unpacked (note first, high bit clear); otherwise a
    // flag byte with the high bit set says which fields follow. An empty cell is the bare 0x80.
    std::uint32_t flags = cell_flags(c);
    if (flags == 0x1Fu) {
        put8(o, c.note);
        put8(o, c.instrument);
        put8(o, c.volume);
        put8(o, c.effect);
        put8(o, c.param);
        return;
    }
    put8(o, 0x80u | flags);
    if (c.note)
        put8(o, c.note);
    if (c.instrument)
        put8(o, c.instrument);
    if (c.volume)
        put8(o, c.volume);
    if (c.effect)
        put8(o, c.effect);
    if (c.param)
        put8(o, c.param);
}

static void put_pattern(Out& o, const XmPattern& p) {
    put32(o, XM_PATTERN_HEADER_SIZE);
    put8(o, 0); // packing type: always 0
    put16(o, p.rows);
    std::size_t size_at = o.bytes->size();
    put16(o, 0); // packed size, filled in below
    std::size_t start = o.bytes->size();
    for (const XmCell& c : p.cells)
        put_cell(o, c);
    std::size_t packed = o.bytes->size() - start; // at most XM_MAX_PACKED_PATTERN_BYTES
    (*o.bytes)[size_at] = std::uint8_t(packed & 0xFFu);
    (*o.bytes)[size_at + 1] = std::uint8_t(packed >> 8);
}

static void put_sample_header(Out& o, const XmSample& s) {
    std::uint32_t bytes_per_frame = s.data16.empty() ? 1u : 2u;
    put32(o, sample_frames(s) * bytes_per_frame);
    bool looped = s.loop != XM_LOOP_NONE;
    put32(o, looped ? s.loop_start * bytes_per_frame : 0u);
    put32(o, looped ? s.loop_length * bytes_per_frame : 0u);
    put8(o, s.volume);
    put8(o, std::uint8_t(s.finetune));
    put8(o, std::uint32_t(s.loop) | (bytes_per_frame == 2 ? 0x10u : 0u));
    put8(o, s.panning);
    put8(o, std::uint8_t(s.relative_note));
    put8(o, 0); // reserved
    put_text(o, s.name, 22);
}

static void put_sample_data(Out& o, const XmSample& s) {
    // Each value is stored as its difference from the previous one; the subtraction wraps on
    // purpose (the player adds the deltas back with the same wrap).
    if (s.data16.empty()) {
        std::uint8_t prev = 0;
        for (std::int8_t v : s.data8) {
            std::uint8_t cur = std::uint8_t(v);
            put8(o, std::uint8_t(cur - prev));
            prev = cur;
        }
    } else {
        std::uint16_t prev = 0;
        for (std::int16_t v : s.data16) {
            std::uint16_t cur = std::uint16_t(v);
            put16(o, std::uint16_t(cur - prev));
            prev = cur;
        }
    }
}

static void put_instrument(Out& o, const XmInstrument& ins) {
    std::size_t start = o.bytes->size();
    put32(o, XM_INSTRUMENT_HEADER_SIZE);
    put_text(o, ins.name, 22);
    put8(o, 0); // instrument type: always 0
    put16(o, std::uint32_t(ins.samples.size()));
    put32(o, XM_SAMPLE_HEADER_SIZE);
    for (std::uint32_t n = 0; n < XM_NOTES; ++n)
        put8(o, ins.note_map.empty() ? 0u : ins.note_map[n]);
    const XmEnvelope& env = ins.volume_envelope;
    for (std::uint32_t i = 0; i < XM_MAX_ENVELOPE_POINTS; ++i) {
        bool used = i < env.points.size();
        put16(o, used ? env.points[i].tick : 0u);
        put16(o, used ? env.points[i].value : 0u);
    }
    put_zeros(o, XM_MAX_ENVELOPE_POINTS * 4); // panning envelope: unused
    put8(o, std::uint32_t(env.points.size()));
    put8(o, 0); // panning envelope points
    put8(o, env.sustain ? env.sustain_point : 0u);
    put8(o, env.loop ? env.loop_start_point : 0u);
    put8(o, env.loop ? env.loop_end_point : 0u);
    put_zeros(o, 3); // panning sustain, loop start, loop end
    std::uint32_t vol_type =
        env.points.empty() ? 0u : 0x01u | (env.sustain ? 0x02u : 0u) | (env.loop ? 0x04u : 0u);
    put8(o, vol_type);
    put8(o, 0);      // panning envelope type: off
    put_zeros(o, 4); // auto-vibrato type, sweep, depth, rate: none
    put16(o, ins.fadeout);
    put_zeros(o, XM_INSTRUMENT_HEADER_SIZE - (o.bytes->size() - start));
    for (const XmSample& s : ins.samples)
        put_sample_header(o, s);
    for (const XmSample& s : ins.samples)
        put_sample_data(o, s);
}

} // namespace

XmPattern xm_empty_pattern(std::uint32_t rows, std::uint32_t channels) {
    XmPattern p;
    p.rows = rows;
    p.cells.assign(std::size_t(rows) * channels, XmCell{});
    return p;
}

XmCell& xm_cell(XmPattern& pattern, std::uint32_t channels, std::uint32_t row,
                std::uint32_t channel) {
    return pattern.cells[std::size_t(row) * channels + channel];
}

Result xm_validate(const XmModule& m) {
    if (m.channels < 2 || m.channels > XM_MAX_CHANNELS || (m.channels & 1u))
        return fail("channel count " + std::to_string(m.channels) +
                    " is not an even number from 2 to 32");
    if (m.patterns.empty() || m.patterns.size() > XM_MAX_PATTERNS)
        return fail("pattern count " + std::to_string(m.patterns.size()) + " is not from 1 to 256");
    if (m.orders.empty())
        return fail("the order list is empty");
    if (m.orders.size() > XM_MAX_ORDERS)
        return fail("the order list has more than 256 entries");
    if (m.instruments.size() > XM_MAX_INSTRUMENTS)
        return fail("more than 128 instruments");
    if (m.restart_position >= m.orders.size())
        return fail("restart position " + std::to_string(m.restart_position) +
                    " is past the order list");
    if (m.speed < 1 || m.speed > 31)
        return fail("speed " + std::to_string(m.speed) + " is not from 1 to 31");
    if (m.bpm < 32 || m.bpm > 255)
        return fail("BPM " + std::to_string(m.bpm) + " is not from 32 to 255");
    for (std::size_t i = 0; i < m.orders.size(); ++i)
        if (m.orders[i] >= m.patterns.size())
            return fail("order " + std::to_string(i) + " names pattern " +
                        std::to_string(m.orders[i]) + " of " + std::to_string(m.patterns.size()));
    for (std::size_t p = 0; p < m.patterns.size(); ++p) {
        const XmPattern& pat = m.patterns[p];
        std::string where = "pattern " + std::to_string(p);
        if (pat.rows < 1 || pat.rows > XM_MAX_ROWS)
            return fail(where + " has " + std::to_string(pat.rows) + " rows (1..256 allowed)");
        if (pat.cells.size() != std::size_t(pat.rows) * m.channels)
            return fail(where + " has " + std::to_string(pat.cells.size()) +
                        " cells, not rows x channels");
        std::uint32_t packed = 0;
        for (std::size_t i = 0; i < pat.cells.size(); ++i) {
            const XmCell& c = pat.cells[i];
            packed += packed_cell_bytes(c);
            std::string cell = where + " row " + std::to_string(i / m.channels) + " channel " +
                               std::to_string(i % m.channels);
            if (c.note > XM_NOTE_OFF)
                return fail(cell + ": note " + std::to_string(c.note) + " out of range");
            if (c.instrument > m.instruments.size())
                return fail(cell + ": instrument " + std::to_string(c.instrument) +
                            " out of range");
            if (!volume_column_ok(c.volume))
                return fail(cell + ": volume column " + std::to_string(c.volume) + " out of range");
            if (c.effect > XM_FX_LAST)
                return fail(cell + ": effect " + std::to_string(c.effect) + " out of range");
        }
        if (packed > XM_MAX_PACKED_PATTERN_BYTES)
            return fail(where + " packs to " + std::to_string(packed) +
                        " bytes, more than the 32767 that players read");
    }
    for (std::size_t i = 0; i < m.instruments.size(); ++i)
        if (Result r = validate_instrument(m.instruments[i], std::uint32_t(i + 1)); !r.ok)
            return r;
    return Result::success();
}

Result xm_encode(const XmModule& m, std::vector<std::uint8_t>* out) {
    if (Result r = xm_validate(m); !r.ok)
        return r;
    Out o{out};
    put_text(o, "Extended Module: ", 17);
    put_text(o, m.name, 20);
    put8(o, 0x1A);
    put_text(o, XM_TRACKER_NAME, 20);
    put16(o, XM_VERSION);
    put32(o, XM_HEADER_SIZE);
    put16(o, std::uint32_t(m.orders.size()));
    put16(o, m.restart_position);
    put16(o, m.channels);
    put16(o, std::uint32_t(m.patterns.size()));
    put16(o, std::uint32_t(m.instruments.size()));
    put16(o, 1); // flags: linear frequency table
    put16(o, m.speed);
    put16(o, m.bpm);
    for (std::uint8_t ord : m.orders)
        put8(o, ord);
    put_zeros(o, XM_MAX_ORDERS - m.orders.size());
    for (const XmPattern& p : m.patterns)
        put_pattern(o, p);
    for (const XmInstrument& ins : m.instruments)
        put_instrument(o, ins);
    return Result::success();
}

Result xm_write_file(const XmModule& m, const char* path) {
    std::vector<std::uint8_t> bytes;
    if (Result r = xm_encode(m, &bytes); !r.ok)
        return r;
    OutputFile out;
    if (Result r = output_open(path, &out); !r.ok)
        return r;
    if (Result r = output_write(&out, bytes.data(), bytes.size()); !r.ok) {
        output_discard(&out);
        return r;
    }
    return output_commit(&out);
}
