// The soundtrack's instruments: every sample computed here from sines, a seeded noise generator
// and one-pole filters, so that the module is the same on every run and machine.
#include "lib/compose/synth.h"

#include <cmath>

#include "lib/base/random.h"

namespace {

constexpr double PI = 3.141592653589793;
// Drums and one-shots are computed at four times the rate of an untuned C-4, and played back
// at that rate by C-4 through a relative note of +24.
constexpr double ONE_SHOT_RATE = 8363.0 * 4.0;
constexpr std::uint8_t NOTE_C2 = 25;
constexpr std::uint8_t NOTE_A3 = 46;
constexpr std::uint8_t NOTE_C4 = 49;
constexpr std::uint8_t NOTE_C5 = 61;

// A fixed seed gives the same noise everywhere.
struct Noise {
    std::uint32_t state;
    double next() { return double(next_random(&state)) / 2147483648.0 - 1.0; }
};

struct OnePole {
    double a = 0, y = 0;
};
static OnePole lowpass_at(double cutoff_hz, double rate) {
    return OnePole{1.0 - std::exp(-2.0 * PI * cutoff_hz / rate), 0};
}
static inline double lowpass(OnePole& f, double x) {
    f.y += f.a * (x - f.y);
    return f.y;
}
// High-pass as the input minus its low-passed self.
static inline double highpass(OnePole& f, double x) { return x - lowpass(f, x); }

static std::uint32_t frames_for(double seconds, double rate) {
    return std::uint32_t(seconds * rate + 0.5);
}

// Scales a signal so that its largest magnitude is `peak` of full scale, and rounds to 16 bits.
static std::vector<std::int16_t> to_pcm16(const std::vector<double>& x, double peak) {
    double m = 1e-12;
    for (double v : x)
        m = std::fmax(m, std::fabs(v));
    std::vector<std::int16_t> out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        out[i] = std::int16_t(std::lround(x[i] / m * peak * 32767.0));
    return out;
}

static XmSample one_shot(const char* name, const std::vector<double>& x, double peak,
                         std::uint8_t panning) {
    XmSample s;
    s.name = name;
    s.data16 = to_pcm16(x, peak);
    s.panning = panning;
    Tuning t = tuning_for_rate(ONE_SHOT_RATE, NOTE_C4);
    s.relative_note = t.relative_note;
    s.finetune = t.finetune;
    return s;
}

static XmInstrument single(const char* name, XmSample s) {
    XmInstrument ins;
    ins.name = name;
    ins.samples.push_back(std::move(s));
    return ins;
}

// A loop of `frames` frames holding voices of whole cycle counts (so the loop joins without a
// step) with harmonic amplitudes amp(k) for k = 1..harmonics. Phases are seeded at random so
// that the partials do not pile up into one tall peak.
template <typename Amp>
static std::vector<double> additive_loop(std::uint32_t frames, const std::vector<double>& cycles,
                                         const std::vector<double>& gains, int harmonics, Amp amp,
                                         std::uint32_t seed) {
    std::vector<double> x(frames, 0.0);
    Noise rng{seed};
    for (std::size_t v = 0; v < cycles.size(); ++v) {
        for (int k = 1; k <= harmonics; ++k) {
            double a = gains[v] * amp(k);
            double phase = PI * rng.next();
            double w = 2.0 * PI * cycles[v] * k / frames;
            for (std::uint32_t i = 0; i < frames; ++i)
                x[i] += a * std::sin(w * i + phase);
        }
    }
    return x;
}

static XmSample looped(const char* name, const std::vector<double>& x, double peak, double rate,
                       std::uint8_t base_note, std::uint8_t panning) {
    XmSample s;
    s.name = name;
    s.data16 = to_pcm16(x, peak);
    s.loop = XM_LOOP_FORWARD;
    s.loop_start = 0;
    s.loop_length = std::uint32_t(x.size());
    s.panning = panning;
    Tuning t = tuning_for_rate(rate, base_note);
    s.relative_note = t.relative_note;
    s.finetune = t.finetune;
    return s;
}

// Six square waves at the inharmonic ratios of an analogue cymbal circuit.
static double metallic(double t, double base_hz) {
    static const double ratios[6] = {1.0, 1.4827, 1.8003, 2.5460, 2.6303, 3.8967};
    double s = 0;
    for (double r : ratios)
        s += std::sin(2.0 * PI * base_hz * r * t) >= 0 ? 1.0 : -1.0;
    return s / 6.0;
}

static XmInstrument make_kick() {
    double rate = ONE_SHOT_RATE;
    std::uint32_t n = frames_for(0.35, rate);
    std::vector<double> x(n);
    Noise rng{0x1234567u};
    OnePole lp = lowpass_at(3000, rate);
    double phase = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        double t = i / rate;
        // The pitch falls fast from a punchy 170 Hz to a 48 Hz body.
        double f = 48.0 + 122.0 * std::exp(-t / 0.03);
        phase += 2.0 * PI * f / rate;
        double body = std::sin(phase) * std::exp(-t / 0.12);
        double click = lowpass(lp, rng.next()) * std::exp(-t / 0.003) * 0.5;
        x[i] = std::tanh(1.8 * (body + click));
    }
    return single("kick", one_shot("kick", x, 0.95, 128));
}

static XmInstrument make_snare() {
    double rate = ONE_SHOT_RATE;
    std::uint32_t n = frames_for(0.3, rate);
    std::vector<double> x(n);
    Noise rng{0xBEEF01u};
    OnePole lp = lowpass_at(8000, rate), hp = lowpass_at(1000, rate);
    for (std::uint32_t i = 0; i < n; ++i) {
        double t = i / rate;
        double tone = (0.6 * std::sin(2 * PI * 185 * t) + 0.3 * std::sin(2 * PI * 330 * t)) *
                      std::exp(-t / 0.045);
        double noise = highpass(hp, lowpass(lp, rng.next())) * std::exp(-t / 0.07);
        x[i] = std::tanh(1.4 * (0.8 * tone + 1.1 * noise));
    }
    return single("snare", one_shot("snare", x, 0.9, 136));
}

static XmInstrument make_clap() {
    double rate = ONE_SHOT_RATE;
    std::uint32_t n = frames_for(0.35, rate);
    std::vector<double> x(n);
    Noise rng{0xC1A9u};
    OnePole lp = lowpass_at(3800, rate), hp = lowpass_at(900, rate);
    for (std::uint32_t i = 0; i < n; ++i) {
        double t = i / rate;
        // Three hands a few milliseconds apart, then the room.
        double env = 0;
        for (double at : {0.0, 0.011, 0.022})
            if (t >= at)
                env = std::fmax(env, std::exp(-(t - at) / 0.005));
        if (t >= 0.03)
            env = std::fmax(env, 0.7 * std::exp(-(t - 0.03) / 0.09));
        x[i] = highpass(hp, lowpass(lp, rng.next())) * env;
    }
    return single("clap", one_shot("clap", x, 0.9, 116));
}

static std::vector<double> cymbal(double seconds, double decay_s, double base_hz,
                                  double highpass_hz, std::uint32_t seed) {
    double rate = ONE_SHOT_RATE;
    std::uint32_t n = frames_for(seconds, rate);
    std::vector<double> x(n);
    Noise rng{seed};
    OnePole hp1 = lowpass_at(highpass_hz, rate), hp2 = lowpass_at(highpass_hz, rate);
    for (std::uint32_t i = 0; i < n; ++i) {
        double t = i / rate;
        double raw = 0.6 * rng.next() + 0.5 * metallic(t, base_hz);
        double attack = std::fmin(1.0, t / 0.001);
        x[i] = highpass(hp2, highpass(hp1, raw)) * attack * std::exp(-t / decay_s);
    }
    return x;
}

static XmInstrument make_hat() {
    return single("closed hat",
                  one_shot("closed hat", cymbal(0.09, 0.018, 330, 7000, 0x4A7u), 0.8, 170));
}

static XmInstrument make_open_hat() {
    return single("open hat", one_shot("open hat", cymbal(0.5, 0.13, 330, 6500, 0x0BE4u), 0.8, 92));
}

static XmInstrument make_crash() {
    return single("crash", one_shot("crash", cymbal(2.2, 0.6, 240, 3000, 0xC4A5u), 0.9, 112));
}

static XmInstrument make_bass() {
    // One 256-frame cycle of C-2: a warm saw (harmonics rolled off above the tenth) over a
    // strengthened fundamental.
    constexpr std::uint32_t PERIOD = 256;
    double rate = note_frequency(NOTE_C2) * PERIOD;
    std::vector<double> x = additive_loop(
        PERIOD, {1.0}, {1.0}, 48,
        [](int k) { return (k == 1 ? 1.6 : 1.0 / k) / (1.0 + (k / 10.0) * (k / 10.0)); }, 0xBA55u);
    XmInstrument ins = single("bass", looped("bass", x, 0.9, rate, NOTE_C2, 128));
    ins.volume_envelope.points = {{0, 64}, {10, 48}, {40, 40}};
    ins.volume_envelope.sustain = true;
    ins.volume_envelope.sustain_point = 2;
    ins.fadeout = 3000;
    return ins;
}

static XmInstrument make_lead() {
    // Two voices 17 cents apart (100 and 101 cycles of C-5 in one loop); a mix of saw and square
    // harmonics, few enough to stay clear of aliasing up to C-6.
    constexpr std::uint32_t FRAMES = 128 * 100;
    const double centre_cycles = (100.0 * 1.0 + 101.0 * 0.6) / 1.6;
    double rate = note_frequency(NOTE_C5) * FRAMES / centre_cycles;
    std::vector<double> x = additive_loop(
        FRAMES, {100.0, 101.0}, {1.0, 0.6}, 14,
        [](int k) { return (k % 2 ? 1.0 : 0.55) / k / (1.0 + (k / 9.0) * (k / 9.0)); }, 0x1EADu);
    XmInstrument ins = single("lead", looped("lead", x, 0.9, rate, NOTE_C5, 104));
    ins.volume_envelope.points = {{0, 40}, {2, 64}, {16, 52}};
    ins.volume_envelope.sustain = true;
    ins.volume_envelope.sustain_point = 2;
    ins.fadeout = 2500;
    return ins;
}

static XmInstrument make_pad() {
    // Three soft saws at 127, 128 and 129 cycles of C-4 per loop: a slow two-per-second chorus.
    constexpr std::uint32_t FRAMES = 128 * 128;
    double rate = note_frequency(NOTE_C4) * FRAMES / 128.0;
    std::vector<double> x = additive_loop(
        FRAMES, {127.0, 128.0, 129.0}, {0.8, 1.0, 0.8}, 24,
        [](int k) { return std::pow(double(k), -1.35); }, 0x9ADu);
    XmInstrument ins = single("pad", looped("pad", x, 0.85, rate, NOTE_C4, 128));
    ins.volume_envelope.points = {{0, 0}, {10, 64}, {60, 54}};
    ins.volume_envelope.sustain = true;
    ins.volume_envelope.sustain_point = 2;
    // Released over about 36 ticks (0.7 s), while the next chord rises on other channels.
    ins.fadeout = 1800;
    return ins;
}

static XmInstrument make_pluck() {
    // A 30% pulse cycle of C-5; the envelope plucks it and lets it die within 40 ticks.
    constexpr std::uint32_t PERIOD = 128;
    double rate = note_frequency(NOTE_C5) * PERIOD;
    std::vector<double> x = additive_loop(
        PERIOD, {1.0}, {1.0}, 16,
        [](int k) { return std::sin(PI * k * 0.3) / k / (1.0 + (k / 8.0) * (k / 8.0)); }, 0x91Cu);
    XmInstrument ins = single("pluck", looped("pluck", x, 0.9, rate, NOTE_C5, 176));
    ins.volume_envelope.points = {{0, 64}, {3, 44}, {10, 20}, {24, 6}, {40, 0}};
    ins.fadeout = 4000;
    return ins;
}

static XmInstrument make_stab() {
    // Root, fifth, octave and twelfth of A-3, each as two slightly detuned saws, struck hard
    // and dying in half a second: neither major nor minor, so the pad gives it its colour.
    double rate = ONE_SHOT_RATE;
    std::uint32_t n = frames_for(0.8, rate);
    std::vector<double> x(n, 0.0);
    const double root = note_frequency(NOTE_A3);
    const double partials[4] = {1.0, 1.4983, 2.0, 2.9966};
    for (double p : partials) {
        for (double detune : {0.9965, 1.0035}) {
            double f = root * p * detune;
            int harmonics = int(6500.0 / f);
            for (int k = 1; k <= harmonics; ++k) {
                double a = 1.0 / k;
                for (std::uint32_t i = 0; i < n; ++i)
                    x[i] += a * std::sin(2 * PI * f * k * i / rate);
            }
        }
    }
    Noise rng{0x57ABu};
    OnePole hp = lowpass_at(2000, rate);
    for (std::uint32_t i = 0; i < n; ++i) {
        double t = i / rate;
        double env = std::fmin(1.0, t / 0.003) * std::exp(-t / 0.17);
        x[i] = x[i] * env + 2.0 * highpass(hp, rng.next()) * std::exp(-t / 0.012);
    }
    XmSample s = one_shot("stab", x, 0.9, 128);
    // Playing A-3 plays the chord at its own pitch.
    Tuning t = tuning_for_rate(rate, NOTE_A3);
    s.relative_note = t.relative_note;
    s.finetune = t.finetune;
    return single("stab", s);
}

static XmInstrument make_riser() {
    // A loop of filtered noise; portamento up and a volume slide turn it into a rising sweep.
    double rate = ONE_SHOT_RATE;
    std::vector<double> x(8192);
    Noise rng{0x51CEu};
    OnePole lp = lowpass_at(5000, rate), hp = lowpass_at(300, rate);
    for (double& v : x)
        v = highpass(hp, lowpass(lp, rng.next()));
    return single("riser", looped("riser", x, 0.7, rate, NOTE_C4, 128));
}

static XmInstrument make_bell() {
    // C-5 with partials at 1, 2, 3, 4.2 and 5.4 times, the higher ones dying sooner.
    double rate = ONE_SHOT_RATE;
    std::uint32_t n = frames_for(1.5, rate);
    std::vector<double> x(n, 0.0);
    const double f = note_frequency(NOTE_C5);
    const double ratio[5] = {1.0, 2.0, 3.0, 4.2, 5.4};
    const double amp[5] = {1.0, 0.45, 0.22, 0.18, 0.08};
    const double decay[5] = {0.9, 0.45, 0.3, 0.18, 0.1};
    for (int p = 0; p < 5; ++p)
        for (std::uint32_t i = 0; i < n; ++i) {
            double t = i / rate;
            x[i] += amp[p] * std::sin(2 * PI * f * ratio[p] * t) * std::exp(-t / decay[p]);
        }
    for (std::uint32_t i = 0; i < n; ++i)
        x[i] *= std::fmin(1.0, i / (0.002 * rate));
    XmSample s = one_shot("bell", x, 0.9, 96);
    Tuning t = tuning_for_rate(rate, NOTE_C5);
    s.relative_note = t.relative_note;
    s.finetune = t.finetune;
    return single("bell", s);
}

} // namespace

Tuning tuning_for_rate(double rate_hz, std::uint8_t note) {
    // Note n with relative note r and finetune f plays at 8363 * 2^((n + r - 49 + f/128) / 12)
    // frames a second; solve for r + f/128 and split it into whole and 1/128 semitones.
    double semitones = 12.0 * std::log2(rate_hz / 8363.0) + 49.0 - double(note);
    double whole = std::round(semitones);
    double fine = std::round((semitones - whole) * 128.0);
    return Tuning{std::int8_t(whole), std::int8_t(fine)};
}

double note_frequency(std::uint8_t note) {
    return 440.0 * std::pow(2.0, (double(note) - 58.0) / 12.0);
}

std::vector<XmInstrument> make_instruments() {
    std::vector<XmInstrument> v;
    v.push_back(make_kick());
    v.push_back(make_snare());
    v.push_back(make_clap());
    v.push_back(make_hat());
    v.push_back(make_open_hat());
    v.push_back(make_crash());
    v.push_back(make_bass());
    v.push_back(make_lead());
    v.push_back(make_pad());
    v.push_back(make_pluck());
    v.push_back(make_stab());
    v.push_back(make_riser());
    v.push_back(make_bell());
    return v;
}
