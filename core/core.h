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

    // Set only in the passes a seek runs ahead with: the scenes leave undrawn what no later pass
    // reads (every frame but Scene 1's, which keeps what its mask does not cover), and still
    // take every step, so the state after the pass is the same.
    bool skip_drawing;

    // From here to the end of the record: the scalar state a pass changes, saved and restored
    // whole by the pass-state list (core/seek.cpp).
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

// Starts the show afresh: every piece of state a pass changes as at frame-loop start (zeroed
// frame and scene buffers, the rotated tables as the precalc phase fills them, the sequencer at
// Scene 1 with nothing set up). The next pass then sets up every scene up to the one of its song
// position, as xdemo does when the song moves past several at once.
void show_restart(ShowState* s);

// Fills every table (precalc phase). Cannot fail.
void precalc_tables(ShowState* s);

// Refills the tables a pass rotates (wobble) as the precalc phase leaves them.
void precalc_rotated_tables(ShowState* s);

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

// The song position and row of one tick of the mix: what every clock read of that tick's pass
// returns. A tick table holds one per tick from tick 0, tick t at entry t (quab-export's clock
// of a tick; quab-check's readings at every TICK_READINGS-th reading; the page's table of
// 16-bit pairs has this layout).
struct TickClock {
    std::int16_t sngpos;
    std::uint16_t patpos;
};

// The show at tick t is its state after one pass at every tick from 0 to t, each on its tick's
// clock. A seek index holds that show's state (a snapshot) at the first tick of every song
// position and at least every SEEK_SPACING_TICKS ticks, taken while a runner of its own plays the
// show ahead; a seek restores the nearest snapshot at or before its tick and runs on from there.
//
// How a program moves in the show:
//   - the tick table: quab-export's clock of each tick, or read_show_clock's readings
//     (lib/show_plan/show_clock.h) at every TICK_READINGS-th one, reading t * TICK_READINGS for
//     tick t; the show's tick_count is the table's tick. An index starts zeroed (SeekIndex{});
//   - after loading, and after every reload of the asset file, the pictures or the module (a new
//     tick table): seek_index_free, then seek_index_start over the show and the table, then
//     seek_index_build(&index, 0) for the whole index at once, or seek_index_build(&index, n) a
//     few passes at a time between frames (the page); an unbuilt part is built when a seek needs
//     it;
//   - on every jump, a loop going round, a start at a position and after a reload: show_seek to
//     the tick the clock now stands at. The frame then holds the show's frame at that tick, and
//     the program's passes at later ticks (show_pass_at) go on from that state.
// Seek and build allocate (snapshots); neither belongs in a frame loop's straight path.
// A seek runs at most this many passes, all but the last without the drawing only the frame
// shows; Scenes 1 and 3, which draw in every pass, are the slowest to seek in, and theirs are
// the snapshots that keep frame-sized buffers (bench/bench_seek.cpp weighs the two).
constexpr std::int32_t SEEK_SPACING_TICKS = 128;

// The state of one snapshot: the pass-state parts the show needs at that tick, in list order.
struct ShowSnapshot {
    std::int32_t tick;        // the state before the pass at this tick (after those before it)
    std::uint8_t scene_index; // the scene then, which decides the parts kept
    std::uint8_t* bytes;      // malloc'ed
};

struct SeekIndex {
    const TickClock* ticks; // the caller's table, kept while the index lives
    std::int32_t tick_count;
    // Runs the show ahead: its own copy of every part a pass changes, the show's tables and
    // assets (which must outlive the index) for the rest.
    ShowState runner;
    ScriptedClock runner_clock;
    std::int32_t built_ticks; // passes the runner has run, ticks 0 to built_ticks - 1
    std::int32_t end_tick;    // the tick whose pass ended the show, else tick_count
    ShowSnapshot* snapshots;  // by tick
    std::int32_t snapshot_count;
    std::int32_t snapshot_capacity;
    std::size_t snapshot_bytes; // held by all snapshots together
};

// Sets up an index over the tick table for a show whose assets and tables are loaded: the runner
// at frame-loop start, no snapshot yet. False when memory runs out (free the index all the same).
[[nodiscard]] bool seek_index_start(SeekIndex* index, const ShowState* show, const TickClock* ticks,
                                    std::int32_t tick_count);

// Runs the runner on by up to max_passes passes (to the end of the table when 0), taking the
// snapshots. False when memory runs out.
[[nodiscard]] bool seek_index_build(SeekIndex* index, std::int32_t max_passes);

// True once the runner has passed the table's end or the show's.
static inline bool seek_index_built(const SeekIndex* index) {
    return index->built_ticks >= index->tick_count || index->end_tick < index->tick_count;
}

void seek_index_free(SeekIndex* index);

// Puts the show into its state at tick (clamped to the table) and runs that tick's pass, so that
// the frame holds the show's frame there; the clock stands at the tick. The show must be the one
// the index was started over. False when building the index that far runs out of memory.
[[nodiscard]] bool show_seek(ShowState* s, ScriptedClock* clock, SeekIndex* index,
                             std::int32_t tick);
