// The arrangement: chords, melodies, bass lines and drum parts written position by position,
// then echo channels derived from the lead, arpeggio and bell parts across the whole song.
#include "lib/compose/song.h"

#include <algorithm>
#include <array>
#include <vector>

#include "lib/compose/synth.h"

namespace {

constexpr std::uint32_t CH = SONG_CHANNELS;
constexpr std::uint8_t DEFAULT_VOLUME = 0xFF; // leave the volume column empty

enum Pitch { C_ = 0, Cs, D_, Ds, E_, F_, Fs, G_, Gs, A_, As, B_ };
constexpr std::uint8_t N(int pitch, int octave) { return std::uint8_t(octave * 12 + pitch + 1); }
constexpr std::uint8_t DRUM = N(C_, 4); // one-shots play at their own rate on C-4

// Panning positions for the effect 8xx (0 left, 255 right).
constexpr std::uint8_t PAN_PAD[3] = {56, 128, 200};
constexpr std::uint8_t PAN_LEAD_ECHO = 200;
constexpr std::uint8_t PAN_ARP_ECHO = 64;
constexpr std::uint8_t PAN_BELL_ECHO = 184;

struct Chord {
    std::uint8_t bass;   // root in the bass range, G#1..G-2
    std::uint8_t pad[3]; // close voicing around C-4
};

constexpr Chord AM{N(A_, 1), {N(A_, 3), N(C_, 4), N(E_, 4)}};
constexpr Chord F{N(F_, 2), {N(A_, 3), N(C_, 4), N(F_, 4)}};
constexpr Chord C{N(C_, 2), {N(G_, 3), N(C_, 4), N(E_, 4)}};
constexpr Chord G{N(G_, 2), {N(G_, 3), N(B_, 3), N(D_, 4)}};
constexpr Chord E{N(E_, 2), {N(Gs, 3), N(B_, 3), N(E_, 4)}};
constexpr Chord DM7{N(D_, 2), {N(A_, 3), N(C_, 4), N(F_, 4)}};
constexpr Chord EM7{N(E_, 2), {N(G_, 3), N(B_, 3), N(D_, 4)}};
constexpr Chord FMAJ7{N(F_, 2), {N(A_, 3), N(C_, 4), N(E_, 4)}};
constexpr Chord CMAJ7{N(C_, 2), {N(G_, 3), N(B_, 3), N(E_, 4)}};
constexpr Chord FS{N(Fs, 2), {N(As, 3), N(Cs, 4), N(Fs, 4)}};
constexpr Chord BM{N(B_, 1), {N(B_, 3), N(D_, 4), N(Fs, 4)}};
constexpr Chord G_IN_B{N(G_, 2), {N(B_, 3), N(D_, 4), N(G_, 4)}};
constexpr Chord D{N(D_, 2), {N(A_, 3), N(D_, 4), N(Fs, 4)}};
constexpr Chord A{N(A_, 1), {N(A_, 3), N(Cs, 4), N(E_, 4)}};

using Bars = std::array<Chord, 4>; // one chord a bar, four bars a pattern

static bool same(const Chord& a, const Chord& b) {
    return a.bass == b.bass && a.pad[0] == b.pad[0] && a.pad[1] == b.pad[1] && a.pad[2] == b.pad[2];
}

// Arpeggio notes of a chord: the voicing an octave up, then its root two octaves up.
static std::uint8_t arp_note(const Chord& c, int index) {
    return index < 3 ? std::uint8_t(c.pad[index] + 12) : std::uint8_t(c.pad[0] + 24);
}

// A melody note: start row within the pattern, note, length in rows.
struct Ev {
    std::uint8_t row;
    std::uint8_t note;
    std::uint8_t len;
};
using Melody = std::vector<Ev>;

// ---- the tunes ---------------------------------------------------------------------------

// The main theme over Am F C G, first half and its answer.
const Melody THEME_A1 = {
    {0, N(E_, 5), 6},  {6, N(D_, 5), 2},  {8, N(C_, 5), 4},  {12, N(B_, 4), 2}, {14, N(C_, 5), 2},
    {16, N(A_, 4), 6}, {22, N(C_, 5), 2}, {24, N(F_, 5), 6}, {30, N(E_, 5), 2}, {32, N(E_, 5), 6},
    {38, N(D_, 5), 2}, {40, N(C_, 5), 4}, {44, N(G_, 4), 4}, {48, N(B_, 4), 6}, {54, N(D_, 5), 2},
    {56, N(G_, 5), 4}, {60, N(D_, 5), 4},
};
const Melody THEME_A2 = {
    {0, N(E_, 5), 6},  {6, N(D_, 5), 2},  {8, N(C_, 5), 2},  {10, N(D_, 5), 2}, {12, N(E_, 5), 4},
    {16, N(F_, 5), 6}, {22, N(E_, 5), 2}, {24, N(F_, 5), 2}, {26, N(G_, 5), 2}, {28, N(A_, 5), 4},
    {32, N(G_, 5), 6}, {38, N(E_, 5), 2}, {40, N(C_, 5), 4}, {44, N(E_, 5), 4}, {48, N(D_, 5), 8},
    {56, N(B_, 4), 4}, {60, N(G_, 4), 2}, {62, N(B_, 4), 2},
};
// The answer again, turned towards the tonic for the last bar (over Am F G Am).
const Melody THEME_END = {
    {0, N(E_, 5), 6},  {6, N(D_, 5), 2},   {8, N(C_, 5), 2},  {10, N(D_, 5), 2}, {12, N(E_, 5), 4},
    {16, N(F_, 5), 6}, {22, N(E_, 5), 2},  {24, N(F_, 5), 2}, {26, N(G_, 5), 2}, {28, N(A_, 5), 4},
    {32, N(G_, 5), 6}, {38, N(F_, 5), 2},  {40, N(E_, 5), 4}, {44, N(D_, 5), 4}, {48, N(E_, 5), 2},
    {50, N(C_, 5), 2}, {52, N(A_, 4), 12},
};
// A syncopated riff on the chord tones of Am F C G.
Melody hook() {
    const std::uint8_t bars[4][6] = {
        {N(A_, 4), N(C_, 5), N(E_, 5), N(A_, 5), N(G_, 5), N(E_, 5)},
        {N(A_, 4), N(C_, 5), N(F_, 5), N(A_, 5), N(G_, 5), N(F_, 5)},
        {N(G_, 4), N(C_, 5), N(E_, 5), N(G_, 5), N(E_, 5), N(C_, 5)},
        {N(G_, 4), N(B_, 4), N(D_, 5), N(G_, 5), N(D_, 5), N(B_, 4)},
    };
    const std::uint8_t rows[6] = {0, 3, 6, 8, 10, 12};
    const std::uint8_t lens[6] = {3, 3, 2, 2, 2, 4};
    Melody m;
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 6; ++i)
            m.push_back({std::uint8_t(b * 16 + rows[i]), bars[b][i], lens[i]});
    return m;
}
// The bridge over F G Am Am, then F G C E.
const Melody THEME_B1 = {
    {0, N(C_, 5), 4},  {4, N(A_, 4), 4},  {8, N(C_, 5), 4},  {12, N(F_, 5), 4},  {16, N(D_, 5), 4},
    {20, N(B_, 4), 4}, {24, N(D_, 5), 4}, {28, N(G_, 5), 4}, {32, N(E_, 5), 12}, {44, N(D_, 5), 2},
    {46, N(C_, 5), 2}, {48, N(B_, 4), 4}, {52, N(C_, 5), 4}, {56, N(A_, 4), 8},
};
const Melody THEME_B2 = {
    {0, N(A_, 5), 6},  {6, N(G_, 5), 2},  {8, N(F_, 5), 4},  {12, N(E_, 5), 4}, {16, N(D_, 5), 6},
    {22, N(E_, 5), 2}, {24, N(F_, 5), 4}, {28, N(G_, 5), 4}, {32, N(E_, 5), 8}, {40, N(G_, 5), 4},
    {44, N(C_, 6), 4}, {48, N(B_, 5), 8}, {56, N(Gs, 5), 4}, {60, N(E_, 5), 4},
};
// Slow and sung, over Dm7 Em7 Fmaj7 E.
const Melody MYSTERY_1 = {
    {0, N(A_, 4), 12}, {12, N(C_, 5), 4}, {16, N(B_, 4), 8}, {24, N(G_, 4), 8},
    {32, N(A_, 4), 8}, {40, N(E_, 5), 8}, {48, N(Gs, 4), 8}, {56, N(B_, 4), 8},
};
const Melody MYSTERY_2 = {
    {0, N(F_, 5), 8},  {8, N(E_, 5), 4},  {12, N(D_, 5), 4}, {16, N(E_, 5), 12}, {28, N(B_, 4), 4},
    {32, N(C_, 5), 8}, {40, N(A_, 4), 4}, {44, N(E_, 5), 4}, {48, N(Gs, 4), 16},
};
// A staccato riff over Fmaj7 G Em7 and a last chord (Am, or F# to lead into B minor).
Melody funk(bool to_b_minor) {
    const std::uint8_t last[6] = {N(C_, 5), N(A_, 4), N(E_, 4), N(A_, 4), N(C_, 5), N(E_, 5)};
    const std::uint8_t last_fs[6] = {N(Cs, 5), N(As, 4), N(Fs, 4), N(As, 4), N(Cs, 5), N(Fs, 5)};
    const std::uint8_t bars[3][6] = {
        {N(E_, 5), N(C_, 5), N(A_, 4), N(C_, 5), N(E_, 5), N(F_, 5)},
        {N(D_, 5), N(B_, 4), N(G_, 4), N(B_, 4), N(D_, 5), N(G_, 5)},
        {N(B_, 4), N(G_, 4), N(E_, 4), N(G_, 4), N(B_, 4), N(D_, 5)},
    };
    const std::uint8_t rows[6] = {0, 3, 6, 10, 12, 14};
    Melody m;
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 6; ++i) {
            std::uint8_t n = b < 3 ? bars[b][i] : (to_b_minor ? last_fs[i] : last[i]);
            m.push_back({std::uint8_t(b * 16 + rows[i]), n, 2});
        }
    return m;
}
// Bells over Fmaj7 Em7 Dm7 and Cmaj7 (or E, to lead on).
Melody dream_1(bool end_on_e) {
    Melody m = {
        {0, N(E_, 5), 4},  {4, N(C_, 5), 4},  {8, N(A_, 4), 4},  {12, N(C_, 5), 4},
        {16, N(D_, 5), 4}, {20, N(B_, 4), 4}, {24, N(G_, 4), 4}, {28, N(B_, 4), 4},
        {32, N(C_, 5), 4}, {36, N(A_, 4), 4}, {40, N(F_, 4), 4}, {44, N(A_, 4), 4},
    };
    if (end_on_e) {
        m.push_back({48, N(Gs, 4), 8});
        m.push_back({56, N(B_, 4), 8});
    } else {
        m.push_back({48, N(B_, 4), 8});
        m.push_back({56, N(G_, 4), 4});
        m.push_back({60, N(E_, 4), 4});
    }
    return m;
}
const Melody DREAM_2 = {
    {0, N(A_, 5), 8},  {8, N(G_, 5), 8},  {16, N(G_, 5), 8},  {24, N(E_, 5), 8},
    {32, N(F_, 5), 8}, {40, N(D_, 5), 8}, {48, N(E_, 5), 16},
};

// The line a diatonic third below, in A minor (G# counts as the leading note: E below it).
static Melody third_below(const Melody& m) {
    static const int scale[7] = {C_, D_, E_, F_, G_, A_, B_};
    Melody out = m;
    for (Ev& e : out) {
        int pc = (e.note - 1) % 12;
        int degree = 0;
        for (int i = 0; i < 7; ++i)
            if (scale[i] == (pc == Gs ? G_ : pc))
                degree = i;
        int target = scale[(degree + 5) % 7];
        e.note = std::uint8_t(e.note - (pc - target + 12) % 12);
    }
    return out;
}

static Melody transposed(const Melody& m, int semitones) {
    Melody out = m;
    for (Ev& e : out)
        e.note = std::uint8_t(e.note + semitones);
    return out;
}

// ---- writing cells -----------------------------------------------------------------------

struct PadVoices {
    int set = 1; // the set of the chord sounding now
};

struct Song {
    XmModule module;
    PadVoices pad_voices;
    XmPattern& pattern(std::uint32_t position) { return module.patterns[position]; }
};

static XmCell& cell(XmPattern& p, std::uint32_t ch, std::uint32_t row) {
    return xm_cell(p, CH, row, ch);
}

static void put(XmPattern& p, std::uint32_t ch, std::uint32_t row, std::uint8_t note,
                std::uint8_t instrument, std::uint8_t volume = DEFAULT_VOLUME,
                std::uint8_t effect = 0, std::uint8_t param = 0) {
    if (row >= p.rows)
        return;
    XmCell& c = cell(p, ch, row);
    c.note = note;
    c.instrument = instrument;
    c.volume = volume == DEFAULT_VOLUME ? 0 : xm_vol_set(std::min<std::uint8_t>(volume, 64));
    c.effect = effect;
    c.param = param;
}

// Sets an effect on a row unless that row already has one.
static void effect(XmPattern& p, std::uint32_t ch, std::uint32_t row, std::uint8_t fx,
                   std::uint8_t param) {
    if (row >= p.rows)
        return;
    XmCell& c = cell(p, ch, row);
    if (c.effect == 0 && c.param == 0) {
        c.effect = fx;
        c.param = param;
    }
}

static void note_off(XmPattern& p, std::uint32_t ch, std::uint32_t row) {
    if (row >= p.rows)
        return;
    XmCell& c = cell(p, ch, row);
    if (c.note == XM_NOTE_NONE)
        c.note = XM_NOTE_OFF;
}

static void clear_rows(XmPattern& p, std::uint32_t ch, std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t r = from; r <= to && r < p.rows; ++r)
        cell(p, ch, r) = XmCell{};
}

// Drum steps over bars [bar_from, bar_to]: a 16-character bar where 'x' plays at `normal`
// volume, 'X' at `accent` and 'o' at `ghost`; anything else is silent.
static void steps(XmPattern& p, std::uint32_t ch, std::uint8_t instrument, const char* bar,
                  int bar_from, int bar_to, std::uint8_t normal, std::uint8_t accent = 0,
                  std::uint8_t ghost = 0, std::uint8_t note = DRUM) {
    for (int b = bar_from; b <= bar_to; ++b)
        for (int i = 0; i < 16; ++i) {
            std::uint8_t v = bar[i] == 'x'   ? normal
                             : bar[i] == 'X' ? accent
                             : bar[i] == 'o' ? ghost
                                             : 0;
            if (v)
                put(p, ch, std::uint32_t(b * 16 + i), note, instrument, v);
        }
}

// A bass line over one chord a bar: 'r' the root, 'o' its octave, 'f' its fifth, 'l' the
// octave below the fifth ... as a pickup, '-' a note-off.
static void bass_line(XmPattern& p, const Bars& bars, const char* bar, std::uint8_t volume,
                      int bar_from = 0, int bar_to = 3) {
    for (int b = bar_from; b <= bar_to; ++b) {
        std::uint8_t root = bars[b].bass;
        for (int i = 0; i < 16; ++i) {
            std::uint32_t row = std::uint32_t(b * 16 + i);
            switch (bar[i]) {
            case 'r':
                put(p, CH_BASS, row, root, INS_BASS, volume);
                break;
            case 'o':
                put(p, CH_BASS, row, std::uint8_t(root + 12), INS_BASS, volume * 3 / 4);
                break;
            case 'f':
                put(p, CH_BASS, row, std::uint8_t(root + 7), INS_BASS, volume * 7 / 8);
                break;
            case '-':
                note_off(p, CH_BASS, row);
                break;
            default:
                break;
            }
        }
    }
}

// The two sets of pad channels; successive chords alternate between them.
constexpr std::uint8_t PAD_CHANNELS[2][3] = {{CH_PAD1, CH_PAD2, CH_PAD3},
                                             {CH_PAD_B1, CH_PAD_B2, CH_PAD_B3}};
constexpr std::uint8_t ALL_PADS[6] = {CH_PAD1, CH_PAD2, CH_PAD3, CH_PAD_B1, CH_PAD_B2, CH_PAD_B3};

// Pads: the three notes of each bar's chord, struck when the chord changes (or on bar_from)
// and held otherwise, spread left, centre and right. A new chord goes to the other set of
// channels and the old one is released there, so that it fades out under the new one instead
// of being cut. Returns the set of the first chord struck.
static int pads(XmPattern& p, PadVoices& voices, const Bars& bars, std::uint8_t volume,
                int bar_from = 0, int bar_to = 3) {
    int first = -1;
    for (int b = bar_from; b <= bar_to; ++b) {
        if (b != bar_from && same(bars[b], bars[b - 1]))
            continue;
        voices.set ^= 1;
        if (first < 0)
            first = voices.set;
        for (int v = 0; v < 3; ++v) {
            std::uint32_t row = std::uint32_t(b * 16);
            put(p, PAD_CHANNELS[voices.set][v], row, bars[b].pad[v], INS_PAD, volume, XM_FX_PANNING,
                PAN_PAD[v]);
            note_off(p, PAD_CHANNELS[voices.set ^ 1][v], row);
        }
    }
    return first;
}

// Plucked arpeggio: a 16-character bar of chord-note indices ('0'..'3'), '.' for rests.
static void arps(XmPattern& p, const Bars& bars, const char* bar, std::uint8_t volume,
                 int bar_from = 0, int bar_to = 3) {
    for (int b = bar_from; b <= bar_to; ++b)
        for (int i = 0; i < 16; ++i)
            if (bar[i] >= '0' && bar[i] <= '3')
                put(p, CH_ARP, std::uint32_t(b * 16 + i), arp_note(bars[b], bar[i] - '0'),
                    INS_PLUCK, i % 4 == 0 ? volume : volume * 4 / 5);
}

// A melody: vibrato (4xy) from the third row of notes of six rows or more; `staccato` cuts
// every note one row before its end.
static void melody(XmPattern& p, std::uint32_t ch, std::uint8_t instrument, const Melody& m,
                   std::uint8_t volume, std::uint8_t vibrato = 0, bool staccato = false) {
    for (const Ev& e : m) {
        put(p, ch, e.row, e.note, instrument, volume);
        if (vibrato && e.len >= 6)
            for (std::uint32_t r = e.row + 3u; r < std::uint32_t(e.row + e.len); ++r)
                effect(p, ch, r, XM_FX_VIBRATO, vibrato);
        if (staccato)
            note_off(p, ch, std::uint32_t(e.row + e.len - 1));
    }
    // The instruments sustain until released: end the line where its last note ends.
    if (!m.empty())
        note_off(p, ch, std::uint32_t(m.back().row + m.back().len));
}

// A gradual change of loudness between two rows, from pct_from to pct_to percent of the
// volume of the note playing on the channel, written in the volume column of every row (which
// also reaches a note that is already sounding).
static void fade(XmPattern& p, std::uint32_t ch, std::uint32_t row_from, std::uint32_t row_to,
                 int pct_from, int pct_to) {
    std::uint32_t current = 64;
    for (std::uint32_t r = 0; r <= row_to && r < p.rows; ++r) {
        XmCell& c = cell(p, ch, r);
        if (c.note != XM_NOTE_NONE && c.note != XM_NOTE_OFF)
            current = c.volume >= 0x10 && c.volume <= 0x50 ? c.volume - 0x10u : 64u;
        if (r < row_from || c.note == XM_NOTE_OFF)
            continue;
        int span = int(row_to - row_from);
        int pct = pct_from + (pct_to - pct_from) * int(r - row_from) / span;
        c.volume = xm_vol_set(std::uint8_t(current * std::uint32_t(pct) / 100u));
    }
}

// Volume slide up (Ax0) on every other row from row_from, `count` times: each adds 5 at
// speed 6 (one per tick after the first).
static void swell(XmPattern& p, std::uint32_t ch, std::uint32_t row_from, int count,
                  std::uint8_t param = 0x10) {
    for (int i = 0; i < count; ++i)
        effect(p, ch, row_from + std::uint32_t(2 * i), XM_FX_VOLUME_SLIDE, param);
}

static void crash(XmPattern& p, std::uint32_t row, std::uint8_t volume = 48) {
    put(p, CH_CRASH, row, DRUM, INS_CRASH, volume);
}

// A tom run (the kick, pitched up) over the last `rows` rows of a pattern.
static void tom_fill(XmPattern& p, std::uint32_t rows) {
    const std::uint8_t toms[4] = {N(C_, 6), N(A_, 5), N(F_, 5), N(D_, 5)};
    for (std::uint32_t i = 0; i < rows; i += 2)
        put(p, CH_FX, p.rows - rows + i, toms[(i / 2) * 4 / (rows / 2)], INS_KICK, 44);
}

// A snare roll over the last `rows` rows, louder row by row.
static void snare_roll(XmPattern& p, std::uint32_t rows, std::uint8_t from, std::uint8_t to) {
    for (std::uint32_t i = 0; i < rows; ++i)
        put(p, CH_SNARE, p.rows - rows + i, DRUM, INS_SNARE,
            std::uint8_t(from + (to - from) * i / (rows - 1)));
}

// ---- the drum kits of each mood ----------------------------------------------------------

static void drums_drive(XmPattern& p, bool open_hats, bool snare_layer) {
    steps(p, CH_KICK, INS_KICK, "x...x...x...x...", 0, 3, 58);
    steps(p, CH_CLAP, INS_CLAP, "....x.......x...", 0, 3, 46);
    if (snare_layer)
        steps(p, CH_SNARE, INS_SNARE, "....x.......x...", 0, 3, 30);
    steps(p, CH_HAT, INS_HAT, "o.x.o.x.o.x.o.xo", 0, 3, 34, 0, 16);
    if (open_hats)
        steps(p, CH_OPEN_HAT, INS_OPEN_HAT, "..x...x...x...x.", 0, 3, 24);
}

static void drums_half(XmPattern& p) {
    steps(p, CH_KICK, INS_KICK, "x.........x.....", 0, 3, 58);
    steps(p, CH_SNARE, INS_SNARE, "........x.......", 0, 3, 40);
    steps(p, CH_HAT, INS_HAT, "x.o.x.o.x.o.x.oo", 0, 3, 30, 0, 15);
    steps(p, CH_OPEN_HAT, INS_OPEN_HAT, "..............x.", 0, 3, 16);
}

static void drums_funk(XmPattern& p) {
    steps(p, CH_KICK, INS_KICK, "x.....x...x.....", 0, 3, 58);
    steps(p, CH_CLAP, INS_CLAP, "....x.......x..o", 0, 3, 44, 0, 16);
    steps(p, CH_HAT, INS_HAT, "xoxoxoxoxoxoxoxo", 0, 3, 30, 0, 14);
    steps(p, CH_OPEN_HAT, INS_OPEN_HAT, "..............x.", 0, 3, 18);
}

static void drums_dream(XmPattern& p) {
    steps(p, CH_KICK, INS_KICK, "x.........x.....", 0, 3, 44);
    steps(p, CH_CLAP, INS_CLAP, "............x...", 0, 3, 22);
    steps(p, CH_HAT, INS_HAT, "x.o.x.o.x.o.x.o.", 0, 3, 16, 0, 9);
}

// ---- the positions -----------------------------------------------------------------------

const Bars MAIN = {AM, F, C, G};

// 0-2: the opening. Pads swell in from silence (the picture fades in), a slow pulse of arpeggio
// joins, and the bar and a half of position 2, on E, dies away with the picture as it fades
// out; the bell falls from B to G#, the leading note into the theme's A minor.
static void intro_calm(Song& s) {
    const Bars b0 = {AM, AM, F, F}, b1 = {C, C, G, G}, b2 = {E, E, E, E};
    XmPattern& p0 = s.pattern(0);
    int first = pads(p0, s.pad_voices, b0, 0, 0, 1);
    for (std::uint8_t ch : PAD_CHANNELS[first])
        swell(p0, ch, 1, 6);
    pads(p0, s.pad_voices, b0, 30, 2, 3);
    melody(p0, CH_BELL, INS_BELL,
           {{16, N(E_, 5), 8}, {24, N(A_, 4), 8}, {48, N(C_, 5), 8}, {56, N(A_, 4), 8}}, 26);
    bass_line(p0, b0, "r...............", 30, 2, 3);

    XmPattern& p1 = s.pattern(1);
    pads(p1, s.pad_voices, b1, 30);
    arps(p1, b1, "0.1.2.1.0.1.2.1.", 22);
    bass_line(p1, b1, "r.......r.......", 34);
    melody(p1, CH_BELL, INS_BELL,
           {{0, N(E_, 5), 8}, {8, N(G_, 5), 8}, {32, N(D_, 5), 8}, {40, N(B_, 4), 8}}, 24);

    XmPattern& p2 = s.pattern(2);
    pads(p2, s.pad_voices, b2, 30, 0, 0);
    arps(p2, b2, "0.1.2.1.0.1.2.3.", 24, 0, 1);
    bass_line(p2, b2, "r.......r.......", 36, 0, 1);
    melody(p2, CH_BELL, INS_BELL, {{0, N(B_, 4), 16}, {16, N(Gs, 4), 8}}, 24);
    const std::uint32_t last = p2.rows - 1;
    for (std::uint8_t ch : ALL_PADS)
        fade(p2, ch, 0, last, 100, 0);
    for (std::uint32_t ch : {CH_ARP, CH_BASS, CH_BELL})
        fade(p2, ch, 0, last, 100, 0);
}

// 3: the theme on bells over a soft pulse, fading in with the title.
static void intro_theme(Song& s) {
    XmPattern& p3 = s.pattern(3);
    int first = pads(p3, s.pad_voices, MAIN, 0, 0, 0);
    for (std::uint8_t ch : PAD_CHANNELS[first])
        swell(p3, ch, 1, 6);
    pads(p3, s.pad_voices, MAIN, 30, 1, 3);
    arps(p3, MAIN, "0.1.2.3.2.1.2.3.", 20);
    fade(p3, CH_ARP, 0, 15, 20, 100);
    melody(p3, CH_BELL, INS_BELL, THEME_A1, 34);
    bass_line(p3, MAIN, "r.....r.....r...", 34, 1, 3);
    steps(p3, CH_KICK, INS_KICK, "x.......x.......", 2, 3, 34);
    steps(p3, CH_HAT, INS_HAT, "..x...x...x...x.", 1, 3, 12);
}

// 4-6: the build, over E. While the title fades out, the pads and the bass fade with it and
// the drums rise under a noise sweep: kicks on the beat, snares in eighths for a bar, then
// sixteenths for half a bar, louder row by row. Position 5 is the last two hits, position 6
// two rows of silence; the drop follows.
static void build(Song& s) {
    const Bars b4 = {E, E, E, E};
    XmPattern& p4 = s.pattern(4);
    const std::uint32_t last = p4.rows - 1;
    pads(p4, s.pad_voices, b4, 30, 0, 0);
    put(p4, CH_BASS, 0, E.bass, INS_BASS, 40);
    arps(p4, b4, "0123012301230123", 22, 0, 1);
    for (std::uint8_t ch : ALL_PADS)
        fade(p4, ch, 0, last, 100, 0);
    for (std::uint32_t ch : {CH_ARP, CH_BASS})
        fade(p4, ch, 0, last, 100, 0);
    steps(p4, CH_KICK, INS_KICK, "x...x...x...x...", 0, 1, 54);
    steps(p4, CH_HAT, INS_HAT, "..x...x...x...x.", 0, 1, 20);
    for (std::uint32_t r = 0; r <= last; ++r)
        if (r >= 16 || r % 2 == 0)
            put(p4, CH_SNARE, r, DRUM, INS_SNARE, std::uint8_t(16 + 32 * r / last));
    // The sweep: filtered noise from C-3, sliding up an eighth of a semitone a tick (1 02) and
    // louder by one a row (volume column fine slide up, 0x91): 24 rows of five sliding ticks,
    // 15 semitones, from 8 to 31. The hits of position 5 cut it.
    put(p4, CH_FX, 0, N(C_, 3), INS_RISER, 8, XM_FX_PORTA_UP, 0x02);
    for (std::uint32_t r = 1; r <= last; ++r) {
        cell(p4, CH_FX, r).volume = 0x91;
        effect(p4, CH_FX, r, XM_FX_PORTA_UP, 0x02);
    }

    XmPattern& p5 = s.pattern(5);
    note_off(p5, CH_FX, 0);
    for (std::uint32_t r = 0; r < p5.rows; ++r) {
        put(p5, CH_KICK, r, DRUM, INS_KICK, 58);
        put(p5, CH_SNARE, r, DRUM, INS_SNARE, 52);
        put(p5, CH_CLAP, r, DRUM, INS_CLAP, 40);
    }

    XmPattern& p6 = s.pattern(6);
    for (std::uint32_t ch = 0; ch < CH; ++ch)
        note_off(p6, ch, 0);
}

// 7-9: the drop, with a crash on the first row of each position (Scene 2's white flashes).
static void drop(Song& s) {
    for (std::uint32_t pos = 7; pos <= 9; ++pos) {
        XmPattern& p = s.pattern(pos);
        crash(p, 0, 52);
        put(p, CH_STAB, 0, N(A_, 3), INS_STAB, 40);
        drums_drive(p, pos != 7, pos == 9);
        pads(p, s.pad_voices, MAIN, 24);
        bass_line(p, MAIN, "r.o.r.o.r.o.r.o.", 44);
        arps(p, MAIN, "0123012301230123", 24);
    }
    melody(s.pattern(7), CH_LEAD, INS_LEAD, THEME_A1, 46, 0x44);
    melody(s.pattern(8), CH_LEAD, INS_LEAD, THEME_A2, 46, 0x44);
    melody(s.pattern(9), CH_LEAD, INS_LEAD, hook(), 44, 0, true);
    melody(s.pattern(9), CH_BELL, INS_BELL, THEME_A1, 26);
    tom_fill(s.pattern(9), 8);
}

// 10-11: darker, in half time. Long sung notes with vibrato, a bass that glides between
// roots (3xx), slower arpeggios.
static void mystery(Song& s) {
    const Bars b = {DM7, EM7, FMAJ7, E};
    for (std::uint32_t pos = 10; pos <= 11; ++pos) {
        XmPattern& p = s.pattern(pos);
        drums_half(p);
        pads(p, s.pad_voices, b, 26);
        arps(p, b, "0.2.1.3.0.2.1.3.", 22);
        for (int bar = 0; bar < 4; ++bar) {
            std::uint32_t row = std::uint32_t(bar * 16);
            if (bar == 0)
                put(p, CH_BASS, row, b[bar].bass, INS_BASS, 46);
            else
                put(p, CH_BASS, row, b[bar].bass, 0, DEFAULT_VOLUME, XM_FX_TONE_PORTA, 0x20);
            put(p, CH_BASS, row + 10, std::uint8_t(b[bar].bass + 12), INS_BASS, 34);
            put(p, CH_BASS, row + 12, b[bar].bass, INS_BASS, 40);
        }
    }
    crash(s.pattern(10), 0, 46);
    melody(s.pattern(10), CH_LEAD, INS_LEAD, MYSTERY_1, 40, 0x63);
    melody(s.pattern(11), CH_LEAD, INS_LEAD, MYSTERY_2, 40, 0x63);
    // The fifth bar's leap (A-4 to E-5) is sung as a glide.
    XmCell& leap = cell(s.pattern(10), CH_LEAD, 40);
    leap.instrument = 0;
    leap.effect = XM_FX_TONE_PORTA;
    leap.param = 0x30;
    snare_roll(s.pattern(11), 8, 20, 44);
}

// 12-13: brighter and funky: tracker arpeggios (0xy) chopping the chords, a staccato riff, a
// syncopated bass; the last bar turns to F# to open B minor.
static void funky(Song& s) {
    for (std::uint32_t pos = 12; pos <= 13; ++pos) {
        const Bars b = {FMAJ7, G, EM7, pos == 12 ? AM : FS};
        XmPattern& p = s.pattern(pos);
        drums_funk(p);
        pads(p, s.pad_voices, b, 20);
        bass_line(p, b, "r..r..o.r.f.r.o.", 44);
        // Arpeggio intervals above each chord's root: major or minor triad.
        const std::uint8_t intervals[4] = {0x47, 0x47, 0x37, std::uint8_t(pos == 12 ? 0x37 : 0x47)};
        const std::uint8_t roots[4] = {N(F_, 4), N(G_, 4), N(E_, 4),
                                       std::uint8_t(pos == 12 ? N(A_, 4) : N(Fs, 4))};
        for (int bar = 0; bar < 4; ++bar)
            for (int beat = 0; beat < 4; ++beat)
                for (int r = 0; r < 4; ++r) {
                    std::uint32_t row = std::uint32_t(bar * 16 + beat * 4 + r);
                    if (r == 0 || r == 2)
                        put(p, CH_ARP, row, roots[bar], INS_PLUCK, r == 0 ? 26 : 16, XM_FX_ARPEGGIO,
                            intervals[bar]);
                    else
                        effect(p, CH_ARP, row, XM_FX_ARPEGGIO, intervals[bar]);
                }
        melody(p, CH_LEAD, INS_LEAD, funk(pos == 13), 44, 0, true);
    }
    crash(s.pattern(12), 0, 46);
    snare_roll(s.pattern(13), 6, 24, 44);
}

// 14-17: the energy peak, a tone higher in B minor: a rolling bass, open hats, the main theme
// transposed, and a tom fill into the next mood.
static void energy(Song& s) {
    const Bars b = {BM, G_IN_B, D, A};
    for (std::uint32_t pos = 14; pos <= 17; ++pos) {
        XmPattern& p = s.pattern(pos);
        drums_drive(p, true, pos >= 16);
        pads(p, s.pad_voices, b, 22);
        bass_line(p, b, ".rrr.rrr.rrr.roo", 42);
        arps(p, b, "0123212301232123", 22);
    }
    crash(s.pattern(14), 0, 50);
    crash(s.pattern(16), 0, 50);
    put(s.pattern(14), CH_STAB, 0, N(B_, 3), INS_STAB, 42);
    melody(s.pattern(14), CH_BELL, INS_BELL, transposed(hook(), 2), 28);
    melody(s.pattern(15), CH_LEAD, INS_LEAD, transposed(THEME_A1, 2), 46, 0x44);
    melody(s.pattern(16), CH_LEAD, INS_LEAD, transposed(THEME_A2, 2), 46, 0x44);
    melody(s.pattern(17), CH_LEAD, INS_LEAD, transposed(hook(), 2), 44, 0, true);
    tom_fill(s.pattern(17), 8);
    clear_rows(s.pattern(17), CH_KICK, 56, 63);
}

// 18-20: dreamy: bells and their echo over major sevenths, a light beat, long bass notes.
static void dream(Song& s) {
    const Bars b18 = {FMAJ7, EM7, DM7, CMAJ7}, b20 = {FMAJ7, EM7, DM7, E};
    for (std::uint32_t pos = 18; pos <= 20; ++pos) {
        const Bars& b = pos == 20 ? b20 : b18;
        XmPattern& p = s.pattern(pos);
        drums_dream(p);
        pads(p, s.pad_voices, b, 26);
        arps(p, b, "0.1.2.3.2.1.2.3.", 22);
        bass_line(p, b, "r.........o.r...", 40);
    }
    crash(s.pattern(18), 0, 34);
    melody(s.pattern(18), CH_BELL, INS_BELL, dream_1(false), 40);
    melody(s.pattern(19), CH_BELL, INS_BELL, DREAM_2, 40);
    melody(s.pattern(19), CH_LEAD, INS_LEAD, transposed(DREAM_2, -12), 22, 0x44);
    melody(s.pattern(20), CH_BELL, INS_BELL, dream_1(true), 40);
    snare_roll(s.pattern(20), 8, 14, 36);
}

// 21: the picture sequence. Over an A minor drone, a chord stab (with kick) on every row where
// a new word appears, and a soft snare pickup on the row before it.
static void words(Song& s) {
    XmPattern& p = s.pattern(WORDS_POSITION);
    const Bars drone = {AM, AM, AM, AM};
    pads(p, s.pad_voices, drone, 24);
    put(p, CH_BASS, 0, AM.bass, INS_BASS, 40);
    arps(p, drone, "0.1.2.3.2.1.2.3.", 14);
    const std::uint8_t stab_roots[12] = {N(A_, 3), N(F_, 3), N(C_, 4), N(G_, 3),
                                         N(A_, 3), N(F_, 3), N(C_, 4), N(G_, 3),
                                         N(A_, 3), N(F_, 3), N(G_, 3), N(E_, 3)};
    for (int i = 0; i < 12; ++i) {
        std::uint32_t row = WORD_ROWS[i];
        put(p, CH_STAB, row, stab_roots[i], INS_STAB, 50);
        put(p, CH_KICK, row, DRUM, INS_KICK, 56);
        put(p, CH_SNARE, row - 1, DRUM, INS_SNARE, 18);
        put(p, CH_HAT, row, DRUM, INS_HAT, 20);
    }
    crash(p, WORD_ROWS[0], 44);
    crash(p, WORD_ROWS[11], 40);
}

// Copies a phrase written as one pattern into the positions from `first` on, each taking as
// many of its rows as it has.
static void split_phrase(Song& s, const XmPattern& phrase, std::uint32_t first) {
    std::uint32_t row = 0;
    for (std::uint32_t pos = first; row < phrase.rows && pos < SONG_POSITIONS; ++pos) {
        XmPattern& p = s.pattern(pos);
        for (std::uint32_t r = 0; r < p.rows && row < phrase.rows; ++r, ++row)
            for (std::uint32_t ch = 0; ch < CH; ++ch)
                cell(p, ch, r) = phrase.cells[std::size_t(row) * CH + ch];
    }
}

// 22-29: the closing theme under the credits, four phrases of four bars, each over two
// positions of two bars: the main theme, its answer with bells and a second voice, the bridge,
// and an ending that comes to rest on A just before the show ends.
static void closing(Song& s) {
    const Bars chords[4] = {MAIN, MAIN, {F, G, C, E}, {AM, F, G, AM}};
    XmPattern phrases[4];
    for (int i = 0; i < 4; ++i) {
        phrases[i] = xm_empty_pattern(64, CH);
        XmPattern& p = phrases[i];
        const Bars& b = chords[i];
        if (i == 2) {
            steps(p, CH_KICK, INS_KICK, "x...x...x...x...", 0, 3, 54);
            steps(p, CH_HAT, INS_HAT, "o.x.o.x.o.x.o.x.", 0, 3, 30, 0, 14);
            bass_line(p, b, "r.....r...r.r...", 42);
            arps(p, b, "0.1.2.3.0.1.2.3.", 22);
        } else {
            drums_drive(p, i >= 1, i == 3);
            bass_line(p, b, "r.o.r.o.r.o.r.o.", 44);
            arps(p, b, "0123012301230123", 22);
        }
        pads(p, s.pad_voices, b, 24);
        crash(p, 0, 48);
    }
    melody(phrases[0], CH_LEAD, INS_LEAD, THEME_A1, 46, 0x44);
    melody(phrases[1], CH_LEAD, INS_LEAD, THEME_A2, 46, 0x44);
    melody(phrases[1], CH_BELL, INS_BELL, hook(), 24);
    // The bridge: the rising half of the first line over F and G, the falling half of the
    // second over C and E.
    Melody bridge;
    for (const Ev& e : THEME_B1)
        if (e.row < 32)
            bridge.push_back(e);
    for (const Ev& e : THEME_B2)
        if (e.row >= 32)
            bridge.push_back(e);
    melody(phrases[2], CH_LEAD, INS_LEAD, bridge, 46, 0x54);
    snare_roll(phrases[2], 8, 20, 46);
    melody(phrases[3], CH_LEAD, INS_LEAD, THEME_END, 46, 0x44);
    // A second voice a third below the theme in the last choruses; the closing A is held
    // over its fifth, E, not the third below it.
    Melody end_harmony = third_below(THEME_END);
    end_harmony.back().note = N(E_, 4);
    const std::pair<int, Melody> harmonies[2] = {{1, third_below(THEME_A2)}, {3, end_harmony}};
    for (const auto& [i, line] : harmonies) {
        melody(phrases[i], CH_HARMONY, INS_LEAD, line, 30, 0x44);
        for (const Ev& e : line)
            effect(phrases[i], CH_HARMONY, e.row, XM_FX_PANNING, 168);
    }

    // The last bar: one full hit on A, then everything dies away (volume slide down, A0x).
    XmPattern& p = phrases[3];
    for (std::uint32_t ch : {CH_KICK, CH_CLAP, CH_SNARE, CH_HAT, CH_OPEN_HAT, CH_ARP, CH_BASS})
        clear_rows(p, ch, 48, 63);
    put(p, CH_KICK, 48, DRUM, INS_KICK, 60);
    crash(p, 48, 52);
    put(p, CH_STAB, 48, N(A_, 3), INS_STAB, 48);
    put(p, CH_BASS, 48, AM.bass, INS_BASS, 46);
    put(p, CH_BELL, 48, N(A_, 5), INS_BELL, 30);
    for (std::uint32_t ch :
         {CH_PAD1, CH_PAD2, CH_PAD3, CH_PAD_B1, CH_PAD_B2, CH_PAD_B3, CH_BASS, CH_LEAD, CH_HARMONY})
        for (std::uint32_t r = 54; r < 64; ++r)
            effect(p, ch, r, XM_FX_VOLUME_SLIDE, 0x01);

    for (int i = 0; i < 4; ++i)
        split_phrase(s, phrases[i], std::uint32_t(scene_first_position(7)) + 2 * std::uint32_t(i));
}

// 30: the tail. Every voice is released; reaching this position ends the show.
static void tail(Song& s) {
    XmPattern& p = s.pattern(SHOW_POSITIONS);
    for (std::uint32_t ch = 0; ch < CH; ++ch)
        note_off(p, ch, 0);
}

// A sustaining voice left over from the previous position is released on the first row of a
// position that gives its channel nothing to play.
static void release_idle(Song& s) {
    for (std::uint32_t pos = 1; pos < SONG_POSITIONS; ++pos) {
        XmPattern& p = s.pattern(pos);
        for (std::uint32_t ch : {CH_BASS, CH_LEAD, CH_HARMONY, CH_PAD1, CH_PAD2, CH_PAD3, CH_PAD_B1,
                                 CH_PAD_B2, CH_PAD_B3, CH_FX}) {
            bool idle = true;
            for (std::uint32_t r = 0; r < p.rows && idle; ++r)
                idle = cell(p, ch, r).note == XM_NOTE_NONE;
            if (idle)
                note_off(p, ch, 0);
        }
    }
}

// Echo: a quieter copy of every note of `from` on `to`, `delay` rows later and panned away,
// across position boundaries (each position plays its own pattern, in order).
static void echo(Song& s, std::uint32_t from, std::uint32_t to, std::uint32_t delay,
                 std::uint32_t percent, std::uint8_t pan) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> rows; // (position, row) in song order
    for (std::uint32_t pos = 0; pos < SONG_POSITIONS; ++pos)
        for (std::uint32_t r = 0; r < s.module.patterns[pos].rows; ++r)
            rows.push_back({pos, r});
    for (std::size_t i = 0; i + delay < rows.size(); ++i) {
        XmCell src = cell(s.module.patterns[rows[i].first], from, rows[i].second);
        if (src.note == XM_NOTE_NONE)
            continue;
        XmCell& dst = cell(s.module.patterns[rows[i + delay].first], to, rows[i + delay].second);
        if (dst.note != XM_NOTE_NONE)
            continue;
        dst.note = src.note;
        if (src.note == XM_NOTE_OFF)
            continue;
        dst.instrument = src.instrument;
        std::uint32_t v = src.volume >= 0x10 && src.volume <= 0x50 ? src.volume - 0x10u : 64u;
        dst.volume = xm_vol_set(std::uint8_t(v * percent / 100));
        // Arpeggio and vibrato belong to the sound; slides and portamento do not echo.
        if (src.effect == XM_FX_ARPEGGIO && src.param) {
            dst.effect = src.effect;
            dst.param = src.param;
        } else {
            dst.effect = XM_FX_PANNING;
            dst.param = pan;
        }
    }
}

} // namespace

XmModule compose_song() {
    Song s;
    XmModule& m = s.module;
    m.name = "QUAB - Closing Light";
    m.channels = SONG_CHANNELS;
    m.speed = SONG_SPEED;
    m.bpm = SONG_BPM;
    m.restart_position = 0;
    m.instruments = make_instruments();
    for (std::uint32_t pos = 0; pos < SONG_POSITIONS; ++pos) {
        m.patterns.push_back(xm_empty_pattern(SONG_ROWS[pos], SONG_CHANNELS));
        m.orders.push_back(std::uint8_t(pos));
    }
    intro_calm(s);
    intro_theme(s);
    build(s);
    drop(s);
    mystery(s);
    funky(s);
    energy(s);
    dream(s);
    words(s);
    closing(s);
    tail(s);
    release_idle(s);
    echo(s, CH_LEAD, CH_LEAD_ECHO, 3, 40, PAN_LEAD_ECHO);
    echo(s, CH_ARP, CH_ARP_ECHO, 3, 45, PAN_ARP_ECHO);
    echo(s, CH_BELL, CH_BELL_ECHO, 3, 40, PAN_BELL_ECHO);
    return m;
}
