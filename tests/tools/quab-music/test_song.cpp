// The soundtrack's description: its song layout against the show's timeline, the accents the
// scenes rely on, the tracker effects and panning it uses, and the tuning of its instruments.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

#include "lib/compose/song.h"
#include "lib/compose/synth.h"

namespace {

const XmModule& song() {
    static const XmModule m = compose_song();
    return m;
}

const XmCell& at(std::uint32_t position, std::uint32_t row, std::uint32_t channel) {
    const XmModule& m = song();
    return m.patterns[m.orders[position]].cells[row * m.channels + channel];
}

bool row_has_instrument(std::uint32_t position, std::uint32_t row, std::uint8_t instrument) {
    for (std::uint32_t ch = 0; ch < song().channels; ++ch) {
        const XmCell& c = at(position, row, ch);
        if (c.instrument == instrument && c.note != XM_NOTE_NONE && c.note != XM_NOTE_OFF)
            return true;
    }
    return false;
}

TEST(Song, IsAValidModuleOfThirtyOnePositions) {
    const XmModule& m = song();
    Result valid = xm_validate(m);
    EXPECT_TRUE(valid.ok) << valid.reason;
    ASSERT_EQ(m.orders.size(), 31u);
    EXPECT_LE(m.channels, 24u);
    EXPECT_EQ(m.channels % 2, 0u);
    EXPECT_EQ(m.speed, 6u);
    EXPECT_EQ(m.bpm, 130u);
    // Scene 7 counts rows up to 61 within its one position.
    EXPECT_GE(m.patterns[m.orders[21]].rows, 62u);
}

TEST(Song, SameDescriptionEveryTime) {
    std::vector<std::uint8_t> a, b;
    ASSERT_TRUE(xm_encode(compose_song(), &a).ok);
    ASSERT_TRUE(xm_encode(compose_song(), &b).ok);
    EXPECT_EQ(a, b);
}

// Seconds from the start of position `first` to the end of position `last`: at speed 6 and
// 130 BPM a row lasts 6 x 2.5 / 130 s.
double seconds(std::uint32_t first, std::uint32_t last) {
    const XmModule& m = song();
    std::uint32_t rows = 0;
    for (std::uint32_t pos = first; pos <= last; ++pos)
        rows += m.patterns[m.orders[pos]].rows;
    return rows * 6 * 2.5 / 130;
}

struct PacingCase {
    const char* what;
    std::uint32_t first, last; // song positions
    double min_seconds, max_seconds;
};

// What the scenes need, in seconds of the show's ticks (50 a second): the animations' lengths
// as core/show.h derives them (tests/core/test_show_facts.cpp holds them to the scenes). One
// row is 0.115 s.
constexpr double FADE_S = SCENE1_FADE_TICKS / 50.0;
const PacingCase PACING_CASES[] = {
    // The fade-ins finish inside their positions.
    {"team line fades in", SCENE1_FADE_IN_POSITIONS[0], SCENE1_FADE_IN_POSITIONS[0], FADE_S, 1e9},
    {"title fades in", SCENE1_FADE_IN_POSITIONS[1], SCENE1_FADE_IN_POSITIONS[1], FADE_S, 1e9},
    // The fade-outs play to the end, and the next picture (or the break) follows soon after:
    // no more than three rows of black held past the fade.
    {"team line fades out", SCENE1_FADE_OUT_POSITIONS[0], SCENE1_FADE_OUT_POSITIONS[0], FADE_S,
     FADE_S + 0.35},
    {"title fades out", SCENE1_FADE_OUT_POSITIONS[1], SCENE1_FADE_OUT_POSITIONS[1], FADE_S,
     FADE_S + 0.35},
    // Positions 5 and 6 are a breath before the drop, not a stall.
    {"break before the drop", 5, 6, 0.1, 1.0},
    // Scene 2's white flash fades 2 a tick from 255 as Scene 1's level does, before the next.
    {"first word of the drop", SCENE2_OVERLAY_POSITIONS[0], SCENE2_OVERLAY_POSITIONS[0], FADE_S,
     1e9},
    {"second word of the drop", SCENE2_OVERLAY_POSITIONS[1], SCENE2_OVERLAY_POSITIONS[1], FADE_S,
     1e9},
    {"third word of the drop", SCENE2_OVERLAY_POSITIONS[2], SCENE2_OVERLAY_POSITIONS[2], FADE_S,
     1e9},
    {"greetings strip", scene_first_position(4), SCENE_LAST_POSITION[4], SCENE5_STRIP_TICKS / 50.0,
     1e9},
    // After the scroller the show ends within 4 s.
    {"closing scroller", scene_first_position(7), SCENE_LAST_POSITION[7],
     SCENE8_SCROLLER_TICKS / 50.0, SCENE8_SCROLLER_TICKS / 50.0 + 4},
    {"whole show", 0, LAST_SHOW_POSITION, 150.0, 210.0},
};

class Pacing : public ::testing::TestWithParam<PacingCase> {};

TEST_P(Pacing, PositionsLastWhatTheirSceneNeeds) {
    const PacingCase& c = GetParam();
    double s = seconds(c.first, c.last);
    EXPECT_GE(s, c.min_seconds) << c.what;
    EXPECT_LE(s, c.max_seconds) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Scenes, Pacing, ::testing::ValuesIn(PACING_CASES));

TEST(Song, CrashesOnTheFirstRowsOfTheDrop) {
    // Scene 2's white flashes: the first rows of positions 8 and 9 (and the drop itself at 7).
    for (std::uint32_t pos : {7u, 8u, 9u}) {
        SCOPED_TRACE(pos);
        EXPECT_TRUE(row_has_instrument(pos, 0, INS_CRASH));
    }
}

TEST(Song, MoodChangesAreMarked) {
    // Each change of mood starts with a crash or a newly struck pad chord.
    for (std::uint32_t pos : {7u, 10u, 12u, 14u, 18u, 21u, 22u}) {
        SCOPED_TRACE(pos);
        EXPECT_TRUE(row_has_instrument(pos, 0, INS_CRASH) || row_has_instrument(pos, 0, INS_PAD));
    }
}

TEST(Song, AccentsWhereScene7ChangesWords) {
    // Scene 7 moves on once the row is past one of its thresholds (core/timeline.h, held to the
    // show by the Scene 7 tests): the accents fall on the rows after them, and only there.
    std::set<std::uint32_t> accent_rows;
    for (std::uint16_t after : SCENE7_ROW_AFTER)
        accent_rows.insert(after + 1u);
    ASSERT_EQ(accent_rows.size(), 12u);
    for (std::uint32_t row = 0; row < 64; ++row) {
        SCOPED_TRACE(row);
        bool stab = row_has_instrument(SCENE7_POSITION, row, INS_STAB);
        bool kick = row_has_instrument(SCENE7_POSITION, row, INS_KICK);
        EXPECT_EQ(stab, accent_rows.count(row) == 1);
        EXPECT_EQ(kick, accent_rows.count(row) == 1);
    }
}

TEST(Song, Scene1FadesAreFollowed) {
    // The picture fades in at positions 0 and 3: a pad chord is struck silent on the first row
    // and swells (volume slide up). It fades out at 2 and 4: every pad voice ends at volume 0.
    const std::uint32_t pads[6] = {CH_PAD1, CH_PAD2, CH_PAD3, CH_PAD_B1, CH_PAD_B2, CH_PAD_B3};
    for (std::uint32_t pos : {0u, 3u}) {
        SCOPED_TRACE(pos);
        int silent_strikes = 0, swelling = 0;
        for (std::uint32_t ch : pads) {
            const XmCell& c = at(pos, 0, ch);
            if (c.instrument != INS_PAD || c.volume != xm_vol_set(0))
                continue;
            ++silent_strikes;
            bool slides_up = false;
            for (std::uint32_t r = 1; r < 16; ++r) {
                const XmCell& s = at(pos, r, ch);
                slides_up |= s.effect == XM_FX_VOLUME_SLIDE && (s.param >> 4) > 0;
            }
            swelling += slides_up;
        }
        EXPECT_EQ(silent_strikes, 3);
        EXPECT_EQ(swelling, 3);
    }
    for (std::uint32_t pos : {2u, 4u}) {
        std::uint32_t last = song().patterns[song().orders[pos]].rows - 1;
        for (std::uint32_t ch : pads) {
            SCOPED_TRACE(pos * 100 + ch);
            EXPECT_EQ(at(pos, last, ch).volume, xm_vol_set(0));
        }
    }
}

TEST(Song, UsesTrackerEffectsAndStereo) {
    const XmModule& m = song();
    int volume_slides = 0, vibratos = 0, arpeggios = 0, portamentos = 0;
    std::set<std::uint8_t> pans;
    for (const XmPattern& p : m.patterns)
        for (const XmCell& c : p.cells) {
            volume_slides += c.effect == XM_FX_VOLUME_SLIDE;
            vibratos += c.effect == XM_FX_VIBRATO;
            arpeggios += c.effect == XM_FX_ARPEGGIO && c.param != 0;
            portamentos += c.effect == XM_FX_TONE_PORTA || c.effect == XM_FX_PORTA_UP;
            if (c.effect == XM_FX_PANNING)
                pans.insert(c.param);
        }
    EXPECT_GT(volume_slides, 0);
    EXPECT_GT(vibratos, 0);
    EXPECT_GT(arpeggios, 0);
    EXPECT_GT(portamentos, 0);
    ASSERT_FALSE(pans.empty());
    EXPECT_LT(*pans.begin(), 100);
    EXPECT_GT(*pans.rbegin(), 156);
}

TEST(Song, EndsWithEveryVoiceReleased) {
    // Position 30 is the tail: every channel gets a note-off on its first row.
    for (std::uint32_t ch = 0; ch < song().channels; ++ch)
        EXPECT_EQ(at(30, 0, ch).note, XM_NOTE_OFF);
}

// ---- instruments ---------------------------------------------------------------------------

struct TuningCase {
    double rate;
    std::uint8_t note;
    int relative_note;
    int finetune;
};

// Note n with relative note r and finetune f plays at 8363 * 2^((n + r - 49 + f/128) / 12):
// 33452 Hz = 4 x 8363 is two octaves up from C-4 (49); A-3 is note 46, C-5 note 61.
// 33488.07 Hz = C-4 (261.6256 Hz) x 128: 12 x log2(33488.07 / 8363) = 24.0187 semitones, whose
// fraction is 2.39/128.
const TuningCase TUNING_CASES[] = {
    {8363.0, 49, 0, 0},   {33452.0, 49, 24, 0},  {33452.0, 46, 27, 0}, {33452.0, 61, 12, 0},
    {16726.0, 49, 12, 0}, {33488.07, 49, 24, 2}, {4181.5, 49, -12, 0},
};

class Tune : public ::testing::TestWithParam<TuningCase> {};

TEST_P(Tune, RelativeNoteAndFinetune) {
    Tuning t = tuning_for_rate(GetParam().rate, GetParam().note);
    EXPECT_EQ(t.relative_note, GetParam().relative_note);
    EXPECT_EQ(t.finetune, GetParam().finetune);
}

INSTANTIATE_TEST_SUITE_P(Cases, Tune, ::testing::ValuesIn(TUNING_CASES));

TEST(Instruments, NoteFrequencies) {
    EXPECT_DOUBLE_EQ(note_frequency(58), 440.0);
    EXPECT_NEAR(note_frequency(49), 261.6256, 1e-3); // C-4
    EXPECT_DOUBLE_EQ(note_frequency(46), 220.0);
}

TEST(Instruments, ThirteenSixteenBitInstruments) {
    std::vector<XmInstrument> ins = make_instruments();
    ASSERT_EQ(ins.size(), INSTRUMENT_COUNT);
    ASSERT_EQ(INSTRUMENT_COUNT, 13u);
    for (const XmInstrument& i : ins) {
        SCOPED_TRACE(i.name);
        ASSERT_EQ(i.samples.size(), 1u);
        const XmSample& s = i.samples[0];
        EXPECT_TRUE(s.data8.empty());
        ASSERT_FALSE(s.data16.empty());
        std::int32_t peak = 0;
        for (std::int16_t v : s.data16)
            peak = std::max<std::int32_t>(peak, std::abs(v));
        // Loud, but short of full scale.
        EXPECT_GT(peak, 16000);
        EXPECT_LT(peak, 32767);
    }
    EXPECT_EQ(ins[INS_KICK - 1].name, "kick");
    EXPECT_EQ(ins[INS_CRASH - 1].name, "crash");
    EXPECT_EQ(ins[INS_BELL - 1].name, "bell");
}

// The period in frames of a looped waveform: the lag in [min_lag, max_lag] where it best
// matches itself.
double period_frames(const std::vector<std::int16_t>& x, std::uint32_t min_lag,
                     std::uint32_t max_lag) {
    double best = -1e300;
    std::uint32_t best_lag = 0;
    const std::size_t n = x.size();
    for (std::uint32_t lag = min_lag; lag <= max_lag; ++lag) {
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i)
            sum += double(x[i]) * x[(i + lag) % n];
        if (sum > best) {
            best = sum;
            best_lag = lag;
        }
    }
    return best_lag;
}

struct PitchCase {
    std::uint8_t instrument;
    std::uint32_t min_lag, max_lag;
    double tolerance_cents;
};

// The looped, pitched instruments, each played at A-4 (note 58), must sound 440 Hz. The lead's
// two voices are 17 cents apart, so its measured period sits between them.
const PitchCase PITCH_CASES[] = {
    {INS_BASS, 128, 512, 5.0},
    {INS_PAD, 64, 256, 5.0},
    {INS_PLUCK, 64, 256, 5.0},
    {INS_LEAD, 64, 256, 15.0},
};

class Pitch : public ::testing::TestWithParam<PitchCase> {};

TEST_P(Pitch, PlaysTheNoteItIsGiven) {
    std::vector<XmInstrument> ins = make_instruments();
    const XmSample& s = ins[GetParam().instrument - 1].samples[0];
    ASSERT_EQ(s.loop, XM_LOOP_FORWARD);
    EXPECT_EQ(s.loop_start, 0u);
    EXPECT_EQ(s.loop_length, s.data16.size());
    double rate = 8363.0 * std::pow(2.0, (58 + s.relative_note - 49 + s.finetune / 128.0) / 12.0);
    double hz = rate / period_frames(s.data16, GetParam().min_lag, GetParam().max_lag);
    EXPECT_NEAR(1200.0 * std::log2(hz / 440.0), 0.0, GetParam().tolerance_cents) << hz;
}

INSTANTIATE_TEST_SUITE_P(Cases, Pitch, ::testing::ValuesIn(PITCH_CASES));

} // namespace
