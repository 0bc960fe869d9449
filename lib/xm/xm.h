// The module writer: turns an in-memory description of a song (patterns, instruments, samples,
// order list) into a FastTracker 2 extended module file, version 0x0104, linear frequency table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lib/base/result.h"

constexpr std::uint8_t XM_NOTE_NONE = 0;
constexpr std::uint8_t XM_NOTE_C0 = 1;  // notes run 1 (C-0) to 96 (B-7); C-4 is 49
constexpr std::uint8_t XM_NOTE_C4 = 49; // plays an untuned sample at 8363 Hz
constexpr std::uint8_t XM_NOTE_LAST = 96;
constexpr std::uint8_t XM_NOTE_OFF = 97;

constexpr std::uint32_t XM_MAX_CHANNELS = 32;
constexpr std::uint32_t XM_MAX_PATTERNS = 256;
constexpr std::uint32_t XM_MAX_ORDERS = 256;
constexpr std::uint32_t XM_MAX_ROWS = 256;
constexpr std::uint32_t XM_MAX_INSTRUMENTS = 128;
constexpr std::uint32_t XM_MAX_SAMPLES_PER_INSTRUMENT = 16;
constexpr std::uint32_t XM_MAX_ENVELOPE_POINTS = 12;

// Effect numbers of the effect column (letters after F continue from 16: G = 16, H = 17, ...).
enum XmEffect : std::uint8_t {
    XM_FX_ARPEGGIO = 0x0,
    XM_FX_PORTA_UP = 0x1,
    XM_FX_PORTA_DOWN = 0x2,
    XM_FX_TONE_PORTA = 0x3,
    XM_FX_VIBRATO = 0x4,
    XM_FX_TONE_PORTA_VOLSLIDE = 0x5,
    XM_FX_VIBRATO_VOLSLIDE = 0x6,
    XM_FX_TREMOLO = 0x7,
    XM_FX_PANNING = 0x8,
    XM_FX_SAMPLE_OFFSET = 0x9,
    XM_FX_VOLUME_SLIDE = 0xA,
    XM_FX_POSITION_JUMP = 0xB,
    XM_FX_SET_VOLUME = 0xC,
    XM_FX_PATTERN_BREAK = 0xD,
    XM_FX_EXTENDED = 0xE,
    XM_FX_SPEED_TEMPO = 0xF,
    XM_FX_GLOBAL_VOLUME = 16,       // G
    XM_FX_GLOBAL_VOLUME_SLIDE = 17, // H
    XM_FX_KEY_OFF = 20,             // K
    XM_FX_ENVELOPE_POSITION = 21,   // L
    XM_FX_PANNING_SLIDE = 25,       // P
    XM_FX_RETRIGGER = 27,           // R
    XM_FX_TREMOR = 29,              // T
    XM_FX_EXTRA_FINE_PORTA = 33,    // X
};
constexpr std::uint8_t XM_FX_LAST = 35; // Z, the last letter of the column

// Volume column: 0 is empty, 0x10 + v (v 0..64) sets the volume, 0x60..0xFF are the column's
// slides and panning commands (high nibble the command, low nibble its value).
constexpr std::uint8_t xm_vol_set(std::uint8_t volume) { return std::uint8_t(0x10 + volume); }

// One cell of a pattern. All zero is an empty cell.
struct XmCell {
    std::uint8_t note = XM_NOTE_NONE; // 0, 1..96 or XM_NOTE_OFF
    std::uint8_t instrument = 0;      // 0 (none) or 1..instrument count
    std::uint8_t volume = 0;          // volume column byte, see above
    std::uint8_t effect = 0;          // 0..XM_FX_LAST
    std::uint8_t param = 0;
};

// rows x channels cells, row-major: cell (row, channel) is cells[row * channels + channel].
// Packed, a pattern may take at most 32767 bytes (a complete cell takes 5, an empty one 1).
struct XmPattern {
    std::uint32_t rows = 64; // 1..256
    std::vector<XmCell> cells;
};

enum XmLoop : std::uint8_t { XM_LOOP_NONE = 0, XM_LOOP_FORWARD = 1, XM_LOOP_PINGPONG = 2 };

// PCM data, one of the two vectors filled (the other empty). Lengths and loop points count
// sample frames, not bytes; the writer converts them and delta-encodes the data.
struct XmSample {
    std::string name;                 // at most 22 characters are kept
    std::vector<std::int8_t> data8;   // 8-bit data, or
    std::vector<std::int16_t> data16; // 16-bit data
    XmLoop loop = XM_LOOP_NONE;
    std::uint32_t loop_start = 0;  // in frames
    std::uint32_t loop_length = 0; // in frames; loop_start + loop_length <= length
    std::uint8_t volume = 64;      // 0..64
    std::int8_t finetune = 0;      // -128..127, 1/128 of a semitone
    std::uint8_t panning = 128;    // 0 left .. 255 right
    std::int8_t relative_note = 0; // semitones added to the played note
};

struct XmEnvelopePoint {
    std::uint16_t tick = 0;  // strictly increasing, the first one 0
    std::uint16_t value = 0; // 0..64
};

// A volume envelope; used when points is non-empty (2..12 points).
struct XmEnvelope {
    std::vector<XmEnvelopePoint> points;
    bool sustain = false;
    std::uint8_t sustain_point = 0;
    bool loop = false;
    std::uint8_t loop_start_point = 0;
    std::uint8_t loop_end_point = 0;
};

struct XmInstrument {
    std::string name;              // at most 22 characters are kept
    std::vector<XmSample> samples; // 1..16
    // Sample (index into samples) played for each of the 96 notes; empty means sample 0 for all.
    std::vector<std::uint8_t> note_map;
    XmEnvelope volume_envelope;
    std::uint16_t fadeout = 0; // volume fade-out per tick after key-off, 0..4095
};

struct XmModule {
    std::string name;                      // at most 20 characters are kept
    std::uint32_t channels = 4;            // even, 2..32
    std::vector<XmPattern> patterns;       // 1..256
    std::vector<XmInstrument> instruments; // 0..128
    std::vector<std::uint8_t> orders;      // 1..256 pattern numbers
    std::uint32_t restart_position = 0;    // < orders.size()
    std::uint32_t speed = 6;               // ticks per row, 1..31
    std::uint32_t bpm = 125;               // 32..255; a tick lasts 2.5 / bpm seconds
};

// Checks a description: ok, or refused with a one-line reason.
Result xm_validate(const XmModule& module);

// Encodes a valid description into bytes (appended to *out). Refused with a reason when invalid.
Result xm_encode(const XmModule& module, std::vector<std::uint8_t>* out);

// Writes the module to path. Refused with a reason (invalid description or I/O error naming
// path).
Result xm_write_file(const XmModule& module, const char* path);

// An empty pattern of the given size for a module with `channels` channels.
XmPattern xm_empty_pattern(std::uint32_t rows, std::uint32_t channels);

// The cell at (row, channel) of a pattern made for `channels` channels.
XmCell& xm_cell(XmPattern& pattern, std::uint32_t channels, std::uint32_t row,
                std::uint32_t channel);
