// The module writer against libmikmod's loader and player (no-sound driver), and its byte layout
// and refusals checked against hand-derived expectations.
#include <gtest/gtest.h>
#include <mikmod.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lib/xm/xm.h"
#include "tests/support/process.h"
#include "tests/support/test_support.h"
#include "tests/tools/sound_reports.h"

namespace {

// libmikmod is set up once per process: every loader, and the no-sound driver alone, so that
// nothing here reaches a sound device.
int mikmod_errors = 0;
void count_mikmod_error() { ++mikmod_errors; }

class Mikmod : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        MikMod_RegisterAllLoaders();
        MikMod_RegisterDriver(&drv_nos);
        MikMod_RegisterErrorHandler(count_mikmod_error);
        md_mode = DMODE_16BITS | DMODE_STEREO | DMODE_SOFT_MUSIC;
        ASSERT_EQ(MikMod_Init(""), 0) << MikMod_strerror(MikMod_errno);
    }
    static void TearDownTestSuite() { MikMod_Exit(); }
    void SetUp() override {
        mikmod_errors = 0;
        MikMod_errno = 0;
    }
};

XmSample make_sample8(std::uint32_t frames) {
    XmSample s;
    for (std::uint32_t i = 0; i < frames; ++i)
        s.data8.push_back(std::int8_t((i * 7) % 200 - 100));
    return s;
}

XmSample make_sample16(std::uint32_t frames) {
    XmSample s;
    for (std::uint32_t i = 0; i < frames; ++i)
        s.data16.push_back(std::int16_t((i * 331) % 60000 - 30000));
    return s;
}

// Six channels, three patterns of different lengths, four orders, two instruments with three
// samples between them (8- and 16-bit, forward, ping-pong and no loop), one volume envelope.
XmModule reference_module() {
    XmModule m;
    m.name = "reference";
    m.channels = 6;
    m.speed = 5;
    m.bpm = 140;
    m.restart_position = 1;
    m.patterns.push_back(xm_empty_pattern(64, 6));
    m.patterns.push_back(xm_empty_pattern(32, 6));
    m.patterns.push_back(xm_empty_pattern(16, 6));
    m.orders = {0, 1, 2, 1};

    XmInstrument a;
    a.name = "forward";
    XmSample s0 = make_sample8(100);
    s0.loop = XM_LOOP_FORWARD;
    s0.loop_start = 20;
    s0.loop_length = 40;
    s0.volume = 48;
    s0.panning = 64;
    a.samples.push_back(s0);
    m.instruments.push_back(a);

    XmInstrument b;
    b.name = "two samples";
    XmSample s1 = make_sample16(300);
    s1.loop = XM_LOOP_PINGPONG;
    s1.loop_start = 100;
    s1.loop_length = 150;
    s1.volume = 64;
    s1.panning = 200;
    XmSample s2 = make_sample8(50);
    s2.volume = 10;
    b.samples.push_back(s1);
    b.samples.push_back(s2);
    b.note_map.assign(96, 0);
    for (std::size_t n = 48; n < 96; ++n)
        b.note_map[n] = 1;
    b.volume_envelope.points = {{0, 64}, {10, 32}, {40, 0}};
    b.volume_envelope.sustain = true;
    b.volume_envelope.sustain_point = 1;
    b.fadeout = 256;
    m.instruments.push_back(b);

    XmPattern& p1 = m.patterns[1];
    xm_cell(p1, 6, 3, 2) = XmCell{XM_NOTE_C4 + 5, 2, 0, XM_FX_SET_VOLUME, 0x20}; // F-4
    xm_cell(p1, 6, 0, 0) = XmCell{XM_NOTE_C4, 1, xm_vol_set(40), 0, 0};
    xm_cell(p1, 6, 7, 5) = XmCell{XM_NOTE_C0 + 12, 1, 0, 0, 0}; // C-1
    return m;
}

// libmikmod keeps each channel of a pattern as a track of rows; a row starts with a byte whose
// low 5 bits give the row's length in bytes (itself included) and whose top 3 bits say how many
// times the row repeats after the first. Opcode 1 is a note (0-based), opcode 2 an instrument
// (0-based), opcodes 3..18 the effects 0..F with one parameter byte.
constexpr std::uint8_t UNI_OP_NOTE = 1;
constexpr std::uint8_t UNI_OP_INSTRUMENT = 2;
constexpr std::uint8_t UNI_OP_PTEFFECT0 = 3;

const std::uint8_t* find_row(const std::uint8_t* track, std::uint32_t row) {
    while (track && *track) {
        std::uint32_t repeat = (*track >> 5) + 1u;
        if (repeat > row)
            return track;
        row -= repeat;
        track += *track & 0x1F;
    }
    return nullptr;
}

struct DecodedCell {
    int note = -1;       // 0-based, -1 when absent
    int instrument = -1; // 0-based
    int pt_effect = -1;
    int pt_param = -1;
};

DecodedCell decode_cell(const MODULE* mod, std::uint32_t pattern, std::uint32_t row,
                        std::uint32_t channel) {
    DecodedCell cell;
    std::uint32_t track_number = mod->patterns[pattern * mod->numchn + channel];
    const std::uint8_t* r = find_row(mod->tracks[track_number], row);
    if (!r)
        return cell;
    // Only the first opcodes are read: note, instrument and a plain effect come first in
    // the order the loader writes them.
    const std::uint8_t* end = r + (*r & 0x1F);
    const std::uint8_t* p = r + 1;
    while (p < end) {
        std::uint8_t op = *p++;
        if (op == UNI_OP_NOTE) {
            cell.note = *p++;
        } else if (op == UNI_OP_INSTRUMENT) {
            cell.instrument = *p++;
        } else if (op >= UNI_OP_PTEFFECT0 && op < UNI_OP_PTEFFECT0 + 16) {
            cell.pt_effect = op - UNI_OP_PTEFFECT0;
            cell.pt_param = *p++;
        } else {
            break; // other opcodes have operands of other widths
        }
    }
    return cell;
}

std::string write_module(const XmModule& m, const std::string& name) {
    static const std::string dir = make_temp_dir();
    std::string path = dir + "/" + name;
    Result written = xm_write_file(m, path.c_str());
    EXPECT_TRUE(written.ok) << written.reason;
    return path;
}

TEST_F(Mikmod, ReferenceModuleLoadsWithItsSongSettings) {
    std::string path = write_module(reference_module(), "reference.xm");
    MODULE* mod = Player_Load(path.c_str(), 64, 0);
    ASSERT_NE(mod, nullptr) << MikMod_strerror(MikMod_errno);
    EXPECT_EQ(mikmod_errors, 0);
    EXPECT_EQ(mod->numpos, 4);
    EXPECT_EQ(mod->numpat, 3);
    EXPECT_EQ(mod->numchn, 6);
    EXPECT_EQ(mod->numins, 2);
    EXPECT_EQ(mod->numsmp, 3);
    EXPECT_EQ(mod->initspeed, 5);
    EXPECT_EQ(mod->inittempo, 140);
    EXPECT_EQ(mod->reppos, 1);
    EXPECT_EQ(mod->pattrows[0], 64);
    EXPECT_EQ(mod->pattrows[1], 32);
    EXPECT_EQ(mod->pattrows[2], 16);
    EXPECT_EQ(mod->positions[0], 0);
    EXPECT_EQ(mod->positions[1], 1);
    EXPECT_EQ(mod->positions[2], 2);
    EXPECT_EQ(mod->positions[3], 1);
    EXPECT_STREQ(mod->songname, "reference");
    Player_Free(mod);
}

TEST_F(Mikmod, SamplesKeepLengthsLoopsAndSettings) {
    std::string path = write_module(reference_module(), "samples.xm");
    MODULE* mod = Player_Load(path.c_str(), 64, 0);
    ASSERT_NE(mod, nullptr) << MikMod_strerror(MikMod_errno);
    ASSERT_EQ(mod->numsmp, 3);
    struct Expect {
        ULONG length, loopstart, loopend;
        bool loop, bidi, sixteen;
        int volume, panning;
    };
    // Lengths and loop points in frames: the 16-bit sample's 600 bytes are 300 frames.
    const Expect expect[3] = {
        {100, 20, 60, true, false, false, 48, 64},
        {300, 100, 250, true, true, true, 64, 200},
        {50, 0, 0, false, false, false, 10, 128},
    };
    for (int i = 0; i < 3; ++i) {
        const SAMPLE& s = mod->samples[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(s.length, expect[i].length);
        EXPECT_EQ((s.flags & SF_LOOP) != 0, expect[i].loop);
        EXPECT_EQ((s.flags & SF_BIDI) != 0, expect[i].bidi);
        // The player widens every sample in memory; the width on disk is kept in inflags.
        EXPECT_EQ((s.inflags & SF_16BITS) != 0, expect[i].sixteen);
        if (expect[i].loop) {
            EXPECT_EQ(s.loopstart, expect[i].loopstart);
            EXPECT_EQ(s.loopend, expect[i].loopend);
        }
        EXPECT_EQ(s.volume, expect[i].volume);
        EXPECT_EQ(s.panning, expect[i].panning);
    }
    Player_Free(mod);
}

TEST_F(Mikmod, InstrumentKeepsNoteMapAndEnvelope) {
    std::string path = write_module(reference_module(), "envelope.xm");
    MODULE* mod = Player_Load(path.c_str(), 64, 0);
    ASSERT_NE(mod, nullptr) << MikMod_strerror(MikMod_errno);
    const INSTRUMENT& a = mod->instruments[0];
    const INSTRUMENT& b = mod->instruments[1];
    EXPECT_EQ(a.volflg & 1, 0);
    // Samples are numbered across the module: instrument 2's are 1 and 2.
    EXPECT_EQ(b.samplenumber[47], 1);
    EXPECT_EQ(b.samplenumber[48], 2);
    EXPECT_EQ(b.samplenumber[95], 2);
    EXPECT_EQ(b.volflg & 3, 3); // on, with sustain
    EXPECT_EQ(b.volpts, 3);
    EXPECT_EQ(b.volsusbeg, 1);
    EXPECT_EQ(b.volenv[0].pos, 0);
    EXPECT_EQ(b.volenv[1].pos, 10);
    EXPECT_EQ(b.volenv[2].pos, 40);
    // Envelope values 64 > 32 > 0 keep their order whatever scale the player uses.
    EXPECT_GT(b.volenv[0].val, b.volenv[1].val);
    EXPECT_GT(b.volenv[1].val, 0);
    EXPECT_EQ(b.volenv[2].val, 0);
    EXPECT_EQ(b.volenv[0].val, 2 * b.volenv[1].val);
    Player_Free(mod);
}

TEST_F(Mikmod, PatternCellsReadBack) {
    std::string path = write_module(reference_module(), "cells.xm");
    MODULE* mod = Player_Load(path.c_str(), 64, 0);
    ASSERT_NE(mod, nullptr) << MikMod_strerror(MikMod_errno);
    struct Case {
        std::uint32_t pattern, row, channel;
        int note, instrument, effect, param;
    };
    // XM notes are 1-based (C-0 = 1), libmikmod's 0-based; so are instruments. The player
    // keeps a set-volume command of the volume column as effect C.
    const Case cases[] = {
        {1, 3, 2, 53, 1, 0xC, 0x20}, // F-4, instrument 2, C20
        {1, 0, 0, 48, 0, 0xC, 40},   // C-4, instrument 1, volume column 40
        {1, 7, 5, 12, 0, -1, -1},    // C-1, instrument 1
        {1, 4, 2, -1, -1, -1, -1},   // empty
        {0, 0, 0, -1, -1, -1, -1},   // empty pattern
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.pattern) + ":" + std::to_string(c.row) + ":" +
                     std::to_string(c.channel));
        DecodedCell d = decode_cell(mod, c.pattern, c.row, c.channel);
        EXPECT_EQ(d.note, c.note);
        EXPECT_EQ(d.instrument, c.instrument);
        EXPECT_EQ(d.pt_effect, c.effect);
        EXPECT_EQ(d.pt_param, c.param);
    }
    Player_Free(mod);
}

TEST_F(Mikmod, MaximumShapeLoads) {
    // 32 channels, a 256-row pattern of 28,672 packed bytes (the first 16 channels of every row
    // complete, 5 bytes each; the other 16 empty, 1 byte each) and a 256-entry order list.
    XmModule m;
    m.name = "a name longer than twenty characters";
    m.channels = 32;
    XmPattern p = xm_empty_pattern(256, 32);
    for (std::uint32_t r = 0; r < 256; ++r)
        for (std::uint32_t ch = 0; ch < 16; ++ch)
            xm_cell(p, 32, r, ch) = XmCell{XM_NOTE_C4, 1, xm_vol_set(32), XM_FX_VIBRATO, 0x44};
    m.patterns.push_back(p);
    m.patterns.push_back(xm_empty_pattern(1, 32));
    m.orders.assign(256, 0);
    m.orders[255] = 1;
    XmInstrument ins;
    ins.samples.push_back(make_sample8(16));
    m.instruments.push_back(ins);
    std::string path = write_module(m, "maximum.xm");
    MODULE* mod = Player_Load(path.c_str(), 64, 0);
    ASSERT_NE(mod, nullptr) << MikMod_strerror(MikMod_errno);
    EXPECT_EQ(mikmod_errors, 0);
    EXPECT_EQ(mod->numchn, 32);
    EXPECT_EQ(mod->numpos, 256);
    EXPECT_EQ(mod->pattrows[0], 256);
    EXPECT_EQ(mod->pattrows[1], 1);
    EXPECT_STREQ(mod->songname, "a name longer than t");
    DecodedCell d = decode_cell(mod, 0, 255, 15);
    EXPECT_EQ(d.note, 48);
    EXPECT_EQ(d.instrument, 0);
    EXPECT_EQ(decode_cell(mod, 0, 255, 16).note, -1);
    Player_Free(mod);
}

TEST_F(Mikmod, TestModulePlaysEveryPositionInOrder) {
    std::string dir = make_temp_dir();
    std::string path = dir + "/walk.xm";
    // Positions of 0.96 s (16 rows x 3 ticks x 20 ms): longer than the audio one update of
    // the no-sound driver mixes, so that every position is seen.
    ASSERT_EQ(run_child(child_of({QUAB_TESTMOD, path, "--positions", "12", "--rows", "16",
                                  "--speed", "3", "--bpm", "125"}),
                        dir)
                  .status,
              0);
    MODULE* mod = Player_Load(path.c_str(), 64, 0);
    ASSERT_NE(mod, nullptr) << MikMod_strerror(MikMod_errno);
    EXPECT_EQ(mod->numpos, 12);
    EXPECT_EQ(mod->numpat, 12);
    EXPECT_EQ(mod->numchn, 4);
    EXPECT_EQ(mod->numins, 1);
    EXPECT_EQ(mod->initspeed, 3);
    EXPECT_EQ(mod->inittempo, 125);
    Player_Start(mod);
    std::vector<int> seen;
    // 11.5 s of music: far fewer updates than the cap are needed to reach the end.
    for (int i = 0; i < 100000 && Player_Active(); ++i) {
        int pos = mod->sngpos;
        if (Player_Active() && (seen.empty() || seen.back() != pos))
            seen.push_back(pos);
        MikMod_Update();
    }
    EXPECT_FALSE(Player_Active());
    Player_Stop();
    std::vector<int> expect;
    for (int i = 0; i < 12; ++i)
        expect.push_back(i);
    EXPECT_EQ(seen, expect);
    Player_Free(mod);
}

TEST(Openmpt, ReferenceModuleLoadsWithoutWarnings) {
    std::string path = write_module(reference_module(), "openmpt.xm");
    CommandResult info = openmpt_info(path);
    const std::string& out = info.output;
    ASSERT_EQ(info.status, 0) << out;
    EXPECT_EQ(out.find("Warnings"), std::string::npos) << out;
    EXPECT_NE(out.find("Orders.....: 4\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Patterns...: 3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Channels...: 6\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Instruments: 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Samples....: 3\n"), std::string::npos) << out;
    // 64 + 32 + 16 + 32 rows at speed 5, BPM 140: 144 x 5 x 2.5 / 140 = 12.857 s (the player
    // rounds each tick to whole output frames, hence the tolerance).
    double duration = parse_duration(report_field(out, "Duration...: "));
    ASSERT_GE(duration, 0) << out;
    EXPECT_NEAR(duration, 144 * 5 * 2.5 / 140, 0.005);
}

// --- byte layout, derived by hand from the format -------------------------------------------

XmModule tiny_module() {
    XmModule m;
    m.name = "t";
    m.channels = 2;
    m.speed = 6;
    m.bpm = 125;
    XmPattern p = xm_empty_pattern(2, 2);
    xm_cell(p, 2, 0, 0) = XmCell{XM_NOTE_C4, 1, xm_vol_set(48), XM_FX_SET_VOLUME, 0x20};
    xm_cell(p, 2, 1, 1) = XmCell{0, 0, 0, XM_FX_SPEED_TEMPO, 0x06};
    m.patterns.push_back(p);
    m.orders = {0};
    XmInstrument ins;
    XmSample s;
    s.data8 = {10, -20, 127, -128};
    ins.samples.push_back(s);
    XmSample s16;
    s16.data16 = {1000, -1000, 32767};
    s16.loop = XM_LOOP_PINGPONG;
    s16.loop_start = 1;
    s16.loop_length = 2;
    ins.samples.push_back(s16);
    m.instruments.push_back(ins);
    return m;
}

TEST(XmLayout, HeaderPatternAndSampleBytes) {
    std::vector<std::uint8_t> b;
    Result encoded = xm_encode(tiny_module(), &b);
    ASSERT_TRUE(encoded.ok) << encoded.reason;
    // Header: 60 bytes of ID, name, 0x1A, tracker name and version, then 276 counted bytes.
    ASSERT_GE(b.size(), 336u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 17), "Extended Module: ");
    EXPECT_EQ(b[37], 0x1A);
    EXPECT_EQ(b[58], 0x04); // version 0x0104, little-endian
    EXPECT_EQ(b[59], 0x01);
    const std::uint8_t song[] = {0x14, 0x01, 0,   0,  // header size 276
                                 1,    0,             // one order
                                 0,    0,             // restart 0
                                 2,    0,             // channels
                                 1,    0,             // patterns
                                 1,    0,             // instruments
                                 1,    0,             // linear frequency table
                                 6,    0,    125, 0}; // speed, BPM
    for (std::size_t i = 0; i < sizeof song; ++i)
        EXPECT_EQ(b[60 + i], song[i]) << i;
    // Pattern at 336: header length 9, packing 0, 2 rows, then the packed size and cells:
    // a full cell unpacked (5 bytes), an empty one (0x80), an empty one, effect F06 only
    // (flag byte 0x98 = 0x80 | effect | param, then 0F 06).
    const std::uint8_t pattern[] = {9, 0,    0,    0,    0,    2,    0,    10,   0,   49,
                                    1, 0x40, 0x0C, 0x20, 0x80, 0x80, 0x98, 0x0F, 0x06};
    ASSERT_GE(b.size(), 336u + sizeof pattern);
    for (std::size_t i = 0; i < sizeof pattern; ++i)
        EXPECT_EQ(b[336 + i], pattern[i]) << i;
    // Instrument: 263-byte header, two 40-byte sample headers, then the data: 8-bit deltas
    // 10, -30, 147 (wraps to 0x93), -255 (wraps to 0x01); 16-bit deltas 1000, -2000 (0xF830),
    // 33767 (wraps to 0x83E7).
    std::size_t ins = 336 + sizeof pattern;
    ASSERT_EQ(b.size(), ins + 263 + 80 + 4 + 6);
    EXPECT_EQ(b[ins], 7); // 263 = 0x107
    EXPECT_EQ(b[ins + 1], 1);
    EXPECT_EQ(b[ins + 27], 2); // two samples
    std::size_t sh1 = ins + 263 + 40;
    const std::uint8_t second_header[] = {6, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0, 0, 64, 0, 0x12, 128};
    for (std::size_t i = 0; i < sizeof second_header; ++i)
        EXPECT_EQ(b[sh1 + i], second_header[i]) << i;
    const std::uint8_t data[] = {10, 0xE2, 0x93, 0x01, 0xE8, 0x03, 0x30, 0xF8, 0xE7, 0x83};
    for (std::size_t i = 0; i < sizeof data; ++i)
        EXPECT_EQ(b[ins + 343 + i], data[i]) << i;
}

TEST(XmLayout, SameDescriptionSameBytes) {
    std::vector<std::uint8_t> a, b;
    ASSERT_TRUE(xm_encode(reference_module(), &a).ok);
    ASSERT_TRUE(xm_encode(reference_module(), &b).ok);
    EXPECT_EQ(a, b);
}

// --- refusals --------------------------------------------------------------------------------

struct BadCase {
    const char* name;
    void (*spoil)(XmModule&);
    const char* reason_part;
};

const BadCase BAD_CASES[] = {
    {"odd channels", [](XmModule& m) { m.channels = 5; }, "channel count 5"},
    {"too many channels", [](XmModule& m) { m.channels = 34; }, "channel count 34"},
    {"no channels", [](XmModule& m) { m.channels = 0; }, "channel count 0"},
    {"empty order list", [](XmModule& m) { m.orders.clear(); }, "order list is empty"},
    {"order past patterns", [](XmModule& m) { m.orders.push_back(3); }, "names pattern 3"},
    {"restart past orders", [](XmModule& m) { m.restart_position = 4; }, "restart position"},
    {"no pattern", [](XmModule& m) { m.patterns.clear(); }, "pattern count 0"},
    {"speed 0", [](XmModule& m) { m.speed = 0; }, "speed 0"},
    {"speed 32", [](XmModule& m) { m.speed = 32; }, "speed 32"},
    {"bpm 31", [](XmModule& m) { m.bpm = 31; }, "BPM 31"},
    {"note 98", [](XmModule& m) { m.patterns[0].cells[7].note = 98; }, "note 98"},
    {"instrument 3 of 2", [](XmModule& m) { m.patterns[2].cells[0].instrument = 3; },
     "instrument 3"},
    {"volume column 0x55", [](XmModule& m) { m.patterns[1].cells[1].volume = 0x55; },
     "volume column"},
    {"effect 36", [](XmModule& m) { m.patterns[1].cells[1].effect = 36; }, "effect 36"},
    {"cells not rows x channels", [](XmModule& m) { m.patterns[1].cells.pop_back(); }, "cells"},
    {"zero rows", [](XmModule& m) { m.patterns[2] = xm_empty_pattern(0, 6); }, "0 rows"},
    {"257 rows", [](XmModule& m) { m.patterns[2] = xm_empty_pattern(257, 6); }, "257 rows"},
    {"pattern over 32767 packed bytes",
     [](XmModule& m) {
         // 32 channels x 256 rows = 8192 complete cells of 5 bytes: 40960 bytes.
         m.channels = 32;
         for (XmPattern& p : m.patterns)
             p = xm_empty_pattern(p.rows, 32);
         m.patterns[0] = xm_empty_pattern(256, 32);
         for (XmCell& c : m.patterns[0].cells)
             c = XmCell{XM_NOTE_C4, 1, 0x20, 4, 0x11};
     },
     "packs to 40960 bytes"},
    {"loop past end", [](XmModule& m) { m.instruments[0].samples[0].loop_length = 81; },
     "runs past"},
    {"sample volume 65", [](XmModule& m) { m.instruments[0].samples[0].volume = 65; }, "volume 65"},
    {"instrument without sample", [](XmModule& m) { m.instruments[0].samples.clear(); },
     "no sample"},
    {"both sample widths",
     [](XmModule& m) {
         m.instruments[0].samples[0].data16 = {1, 2};
     },
     "both"},
    {"envelope ticks not increasing",
     [](XmModule& m) { m.instruments[1].volume_envelope.points[2].tick = 10; }, "increase"},
    {"envelope value 65",
     [](XmModule& m) { m.instruments[1].volume_envelope.points[0].value = 65; }, "> 64"},
    {"note map past samples", [](XmModule& m) { m.instruments[1].note_map[3] = 2; }, "note map"},
    {"129 instruments",
     [](XmModule& m) {
         XmInstrument copy = m.instruments[0];
         m.instruments.resize(129, copy);
     },
     "128 instruments"},
};

class XmRefusal : public ::testing::TestWithParam<BadCase> {};

TEST_P(XmRefusal, InvalidDescriptionIsRefusedWithReason) {
    XmModule m = reference_module();
    GetParam().spoil(m);
    std::vector<std::uint8_t> bytes;
    Result encoded = xm_encode(m, &bytes);
    EXPECT_FALSE(encoded.ok);
    std::string reason = encoded.reason;
    EXPECT_TRUE(bytes.empty());
    EXPECT_NE(reason.find(GetParam().reason_part), std::string::npos) << reason;
    std::string path = "/tmp/quab_xm_refused_should_not_exist.xm";
    std::remove(path.c_str());
    Result written = xm_write_file(m, path.c_str());
    EXPECT_FALSE(written.ok);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_EQ(f, nullptr);
    if (f)
        std::fclose(f);
}

INSTANTIATE_TEST_SUITE_P(Cases, XmRefusal, ::testing::ValuesIn(BAD_CASES),
                         [](const ::testing::TestParamInfo<BadCase>& info) {
                             std::string n;
                             for (const char* p = info.param.name; *p; ++p)
                                 n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return n;
                         });

TEST(XmRefusal, ValidReferenceModuleIsAccepted) {
    Result valid = xm_validate(reference_module());
    EXPECT_TRUE(valid.ok);
    EXPECT_EQ(valid.reason, "");
}

TEST(XmWrite, UnwritablePathIsReportedWithItsName) {
    Result written = xm_write_file(reference_module(), "/nonexistent-quab-dir/out.xm");
    EXPECT_FALSE(written.ok);
    const std::string& reason = written.reason;
    EXPECT_NE(reason.find("/nonexistent-quab-dir/out.xm"), std::string::npos) << reason;
    EXPECT_NE(reason.find("No such file"), std::string::npos) << reason;
}

} // namespace
