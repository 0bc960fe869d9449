// The demo core: the show-state record, its buffers and tables, and the pass function that runs
// the eight scene blocks. Every program that shows the show (xdemo, vgademo, quab-render,
// quab-export) drives the same pass over the same record; only where the clock comes from differs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "assets/assets.h"
#include "core/timeline.h"
#include "display/frame.h"

constexpr int TEX_PIXELS = 256 * 256;
constexpr int PATH_LEN = 360;
constexpr int WOBBLE_USED = 256;

// The keys of the keyed copies (which asset is drawn through which: ASSET_KEY in core/show.h).
constexpr Pixel KEY_HIGH = 0xFFAAAAAAu;
constexpr Pixel KEY_LOW = 0xFF555555u;

// The key test every keyed copy makes: the whole word, as an unsigned integer, strictly greater
// than the key. With both keys' key byte at 0xFF, only fully keyed Pixels brighter than the
// key's colour pass. The builder and the checker count what shows by the same test.
static inline bool passes_key(Pixel p, Pixel key) { return p > key; }

constexpr const char* BANNER = "*** QUAB Linux Demoengine v" QUAB_VERSION " ***";

// scene_index value after the last scene has ended; no block runs and the pass clears running.
constexpr std::uint8_t SCENE_END = SCENE_COUNT;

// Everything one pass of the frame loop reads and writes. One record per show; the driver owns
// the buffers (show_alloc/show_free) and points the clock sources at whatever drives time.
struct ShowState {
    // The frame the scenes draw into: the X image's buffer in xdemo, offscreen_frame in vgademo,
    // a plain buffer in the tools. Not owned by the record unless it is offscreen_frame.
    Pixel* frame;

    // The driver's buffers, zero-filled and allocated in the order listed here from work to
    // polar_depth_b; offscreen_frame last, only when asked.
    Pixel* work;
    Pixel* scratch_a;
    Pixel* scratch_b;
    Pixel* scratch_c;
    std::int32_t* scroll_x;
    std::int32_t* scroll_y;
    std::int32_t* orbit1_x;
    std::int32_t* orbit1_y;
    std::int32_t* orbit2_x;
    std::int32_t* orbit2_y;
    std::int32_t* orbit3_x;
    std::int32_t* orbit3_y;
    std::int32_t* wobble; // 360 ints allocated, 256 used
    std::int32_t* polar_angle_a;
    std::int32_t* polar_depth_a;
    std::int32_t* polar_angle_b;
    std::int32_t* polar_depth_b;
    Pixel* offscreen_frame;

    AssetTable assets; // validated against the asset map before the first pass

    // Clock sources. Each read goes to memory afresh: the timer's handler and the mixer thread
    // change these words while a pass runs. In xdemo they point at tick_count and at the song
    // position and row being heard, which the mixer thread publishes; the offline tools point
    // them at words they script themselves.
    const std::atomic<std::int32_t>* tick_source;
    const std::int16_t* sngpos_source;  // a MODULE::sngpos value
    const std::uint16_t* patpos_source; // a MODULE::patpos value
    std::atomic<std::uint8_t>* running; // cleared by the pass once the last scene has ended

    // Sequencer state.
    std::uint8_t scene_index;
    std::uint8_t scene_started;
    std::int32_t last_tick;

    // Scene state: the frame loop's shared locals. Each scene sets what it reads in its set-up,
    // except wobble (a table, above) and scratch_b/scratch_c, which carry from Scene 3 on.
    std::int32_t layer0_phase;    // Scenes 1, 4, 8
    std::int32_t layer1_phase;    // Scenes 1, 4, 8
    std::int32_t fade_level;      // Scene 1
    std::int32_t polar_offset;    // Scenes 2, 5
    std::int32_t flash_level;     // Scene 2
    std::int32_t flash_stage;     // Scene 2
    std::int32_t light1_phase;    // Scene 3
    std::int32_t light2_phase;    // Scene 3
    std::uint8_t overlay_index;   // Scene 4
    std::int32_t overlay_timer;   // Scene 4
    std::int32_t strip_offset;    // Scene 5
    std::int32_t orbit_index;     // Scene 6
    std::uint8_t slide_step;      // Scene 7
    std::int32_t scroller_offset; // Scene 8
};

// Fresh, untorn reads of the clock words (see ShowState).
static inline std::int32_t read_tick_count(const ShowState* s) {
    return s->tick_source->load(std::memory_order_relaxed);
}
static inline std::int16_t read_sngpos(const ShowState* s) {
    return __atomic_load_n(s->sngpos_source, __ATOMIC_RELAXED);
}
static inline std::uint16_t read_patpos(const ShowState* s) {
    return __atomic_load_n(s->patpos_source, __ATOMIC_RELAXED);
}

// Allocates the buffers from work to polar_depth_b (and offscreen_frame when with_offscreen)
// zero-filled, one by one in the order ShowState lists them, stopping at the first failure.
// Returns false on failure; the caller prints the message. Sequencer and scene state are zeroed.
[[nodiscard]] bool show_alloc(ShowState* s, bool with_offscreen);

// Frees the buffers in shutdown order: ShowState's order with wobble moved after polar_depth_b,
// then offscreen_frame.
void show_free(ShowState* s);

// Starts the show afresh after a jump in the song: zeroed frame and scene buffers, the sequencer
// at Scene 1 with nothing set up, as at frame-loop start. The next pass then sets up every scene
// up to the one of its song position, as xdemo does when the song moves past several at once.
void show_restart(ShowState* s);

// Fills every table (precalc phase). Cannot fail.
void precalc_tables(ShowState* s);

// One pass of the frame loop before presenting: the eight scene blocks in order, each guarded
// by scene_index read afresh, then the end-state test, which clears *s->running.
void show_pass(ShowState* s);

// The closing report's minutes and seconds from a song time in 1/1024 s. Whole hours are
// dropped: 125 s and 3,725 s both give 2 and 5.
static inline void playtime_parts(std::uint32_t sngtime, int* minutes, int* seconds) {
    std::uint32_t s = sngtime / 1024;
    *minutes = static_cast<int>((s / 60) % 60);
    *seconds = static_cast<int>(s % 60);
}

// Asset N of the validated table as Pixels.
static inline const Pixel* asset_pixels(const ShowState* s, int n) {
    return reinterpret_cast<const Pixel*>(s->assets[n]);
}

// A clock the offline tools and tests set by hand between passes: every read during a pass
// returns what was set before it.
struct ScriptedClock {
    std::atomic<std::int32_t> tick_count{0};
    std::int16_t sngpos = 0;
    std::uint16_t patpos = 0;
    std::atomic<std::uint8_t> running{1};
};

// Points the record's clock sources and run flag at a scripted clock.
static inline void show_use_scripted_clock(ShowState* s, ScriptedClock* clock) {
    s->tick_source = &clock->tick_count;
    s->sngpos_source = &clock->sngpos;
    s->patpos_source = &clock->patpos;
    s->running = &clock->running;
}

// The state at frame-loop start for a program without a display: buffers (the frame is
// offscreen_frame, freed by show_free), fresh tables, the validated assets (still the
// caller's) and a scripted clock. False when an allocation fails.
[[nodiscard]] bool show_start_offline(ShowState* s, AssetTable assets, ScriptedClock* clock);

// Sets the scripted clock, then runs one pass on it.
static inline void show_pass_at(ShowState* s, ScriptedClock* clock, std::int32_t tick,
                                std::int16_t sngpos, std::uint16_t patpos) {
    clock->tick_count.store(tick, std::memory_order_relaxed);
    clock->sngpos = sngpos;
    clock->patpos = patpos;
    show_pass(s);
}
