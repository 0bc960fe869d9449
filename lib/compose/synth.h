// The soundtrack's instruments, synthesised in code: drums from shaped noise and swept sines,
// pitched sounds from band-limited additive loops tuned to exact notes.
#pragma once

#include <cstdint>
#include <vector>

#include "lib/xm/xm.h"

// The instruments in module order; instrument numbers in patterns are these plus one.
enum Instrument : std::uint8_t {
    INS_KICK = 1,
    INS_SNARE,
    INS_CLAP,
    INS_HAT,
    INS_OPEN_HAT,
    INS_CRASH,
    INS_BASS,
    INS_LEAD,
    INS_PAD,
    INS_PLUCK,
    INS_STAB,
    INS_RISER,
    INS_BELL,
    INS_COUNT_PLUS_ONE
};
constexpr std::uint32_t INSTRUMENT_COUNT = INS_COUNT_PLUS_ONE - 1;

// Relative note and finetune that make a sample play at rate_hz frames per second when `note`
// (1 = C-0, 49 = C-4) is played, with the linear frequency table.
struct Tuning {
    std::int8_t relative_note;
    std::int8_t finetune;
};
Tuning tuning_for_rate(double rate_hz, std::uint8_t note);

// Frequency in Hz of an XM note, equal temperament with A-4 (note 58) at 440 Hz.
double note_frequency(std::uint8_t note);

// The thirteen instruments, in the order of Instrument. Deterministic: same data every call.
std::vector<XmInstrument> make_instruments();
