// The state a pass changes, listed once, and what goes through that list: the restart, the
// snapshots of a seek index (taken while a runner plays the show ahead one pass per tick) and
// the exact seek, which restores the nearest snapshot and runs on to its tick.
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "core/core.h"

namespace {

// Scenes by scene_index, as bits: a part is kept in a snapshot taken while its scene shows.
constexpr std::uint16_t in_scene(int k) { return static_cast<std::uint16_t>(1u << k); }
constexpr std::uint16_t IN_EVERY_SCENE = 0x1FF; // Scenes 1 to 8 and the end state

// One piece of state a pass changes. A buffer is reached through the record's pointer to it
// (pixels or ints), the record's own scalars directly (at).
struct PassPart {
    Pixel** pixels;
    std::int32_t** ints;
    void* at;
    std::uint32_t bytes;
    // The scenes whose passes read what earlier passes left in the part. Before them the part
    // still holds its start value; after them nothing reads it before writing it whole.
    std::uint16_t kept_in;
    bool from_tables; // its start value is the precalc phase's, not zeros
};

constexpr int PASS_PARTS = 7;

// Every piece of state a pass changes. The frame-shaped buffers other than these (the polar
// maps) and the other tables are read only.
void pass_parts(ShowState* s, PassPart parts[PASS_PARTS]) {
    constexpr std::size_t first_scalar = offsetof(ShowState, scene_index);
    PassPart list[PASS_PARTS] = {
        // Scene 1 draws only through its mask: the rest of the frame keeps what earlier passes
        // drew. Every later scene clears the frame at its set-up and then draws it whole.
        {&s->frame, nullptr, nullptr, FRAME_BYTES, in_scene(0), false},
        // Written whole by each scene that reads them before the reads (Scenes 1, 3, 5, 6).
        {&s->work, nullptr, nullptr, FRAME_BYTES, 0, false},
        {&s->scratch_a, nullptr, nullptr, FRAME_BYTES, 0, false},
        // Scene 3's light patches leave trails: it sums the whole of both buffers every pass.
        {&s->scratch_b, nullptr, nullptr, FRAME_BYTES, in_scene(2), false},
        {&s->scratch_c, nullptr, nullptr, FRAME_BYTES, in_scene(2), false},
        // Rotated by Scenes 3 and 5, which go on from where the table stands.
        {nullptr, &s->wobble, nullptr, WOBBLE_USED * sizeof(std::int32_t), IN_EVERY_SCENE, true},
        {nullptr, nullptr, &s->scene_index,
         static_cast<std::uint32_t>(sizeof(ShowState) - first_scalar), IN_EVERY_SCENE, false},
    };
    std::memcpy(parts, list, sizeof(list));
}

void* part_bytes(const PassPart& p) {
    return p.pixels ? static_cast<void*>(*p.pixels) : p.ints ? static_cast<void*>(*p.ints) : p.at;
}

void part_to_start(ShowState* s, const PassPart& p) {
    if (p.from_tables)
        precalc_rotated_tables(s);
    else
        std::memset(part_bytes(p), 0, p.bytes);
}

bool kept(const PassPart& p, std::uint8_t scene_index) { return (p.kept_in >> scene_index) & 1u; }

// Takes the snapshot of the runner before its pass at tick.
bool take_snapshot(SeekIndex* index, std::int32_t tick) {
    ShowState* r = &index->runner;
    PassPart parts[PASS_PARTS];
    pass_parts(r, parts);
    std::size_t bytes = 0;
    for (const PassPart& p : parts)
        bytes += kept(p, r->scene_index) ? p.bytes : 0;
    if (index->snapshot_count == index->snapshot_capacity) {
        std::int32_t capacity = index->snapshot_capacity ? 2 * index->snapshot_capacity : 64;
        void* grown = std::realloc(index->snapshots, capacity * sizeof(ShowSnapshot));
        if (!grown)
            return false;
        index->snapshots = static_cast<ShowSnapshot*>(grown);
        index->snapshot_capacity = capacity;
    }
    std::uint8_t* at = static_cast<std::uint8_t*>(std::malloc(bytes));
    if (!at)
        return false;
    index->snapshots[index->snapshot_count++] = {tick, r->scene_index, at};
    index->snapshot_bytes += bytes;
    for (const PassPart& p : parts) {
        if (!kept(p, r->scene_index))
            continue;
        std::memcpy(at, part_bytes(p), p.bytes);
        at += p.bytes;
    }
    return true;
}

// The show as the snapshot holds it; a part the snapshot does not keep gets its start value
// (before its scene it still has it; after, nothing reads it before writing it).
void restore_snapshot(ShowState* s, const ShowSnapshot& snap) {
    PassPart parts[PASS_PARTS];
    pass_parts(s, parts);
    const std::uint8_t* at = snap.bytes;
    for (const PassPart& p : parts) {
        if (!kept(p, snap.scene_index)) {
            part_to_start(s, p);
            continue;
        }
        std::memcpy(part_bytes(p), at, p.bytes);
        at += p.bytes;
    }
}

// An index with nothing in it (its clock's atomics keep their place).
void clear_index(SeekIndex* index) {
    index->ticks = nullptr;
    index->tick_count = 0;
    index->runner = ShowState{};
    index->runner_clock.tick_count.store(0, std::memory_order_relaxed);
    index->runner_clock.sngpos = 0;
    index->runner_clock.patpos = 0;
    index->runner_clock.running.store(1, std::memory_order_relaxed);
    index->built_ticks = 0;
    index->end_tick = 0;
    index->snapshots = nullptr;
    index->snapshot_count = 0;
    index->snapshot_capacity = 0;
    index->snapshot_bytes = 0;
}

// One pass at a tick of the table.
void pass_at_tick(ShowState* s, ScriptedClock* clock, const TickClock* ticks, std::int32_t tick) {
    show_pass_at(s, clock, tick, ticks[tick].sngpos, ticks[tick].patpos);
}

} // namespace

void show_restart(ShowState* s) {
    PassPart parts[PASS_PARTS];
    pass_parts(s, parts);
    for (const PassPart& p : parts)
        part_to_start(s, p);
}

bool seek_index_start(SeekIndex* index, const ShowState* show, const TickClock* ticks,
                      std::int32_t tick_count) {
    clear_index(index);
    index->ticks = ticks;
    index->tick_count = tick_count;
    index->end_tick = tick_count;
    // The runner shares the show's read-only tables and assets and owns its own copy of every
    // part a pass changes.
    ShowState* r = &index->runner;
    *r = *show;
    r->offscreen_frame = nullptr;
    r->skip_drawing = true;
    show_use_scripted_clock(r, &index->runner_clock);
    PassPart parts[PASS_PARTS];
    pass_parts(r, parts);
    for (const PassPart& p : parts) {
        if (p.pixels)
            *p.pixels = nullptr;
        if (p.ints)
            *p.ints = nullptr;
    }
    for (const PassPart& p : parts) {
        if (p.pixels && !(*p.pixels = static_cast<Pixel*>(std::malloc(p.bytes))))
            return false;
        // The wobble allocation is the record's whole path-sized one, as show_alloc makes it.
        if (p.ints &&
            !(*p.ints = static_cast<std::int32_t*>(std::calloc(PATH_LEN, sizeof(std::int32_t)))))
            return false;
    }
    show_restart(r);
    return true;
}

bool seek_index_build(SeekIndex* index, std::int32_t max_passes) {
    ShowState* r = &index->runner;
    for (std::int32_t n = 0; !seek_index_built(index) && (max_passes == 0 || n < max_passes); n++) {
        std::int32_t t = index->built_ticks;
        const TickClock* ticks = index->ticks;
        // At every song position's first tick (where the page's keys jump to) and at most
        // SEEK_SPACING_TICKS ticks after the last snapshot.
        bool due = t == 0 || ticks[t].sngpos != ticks[t - 1].sngpos ||
                   t - index->snapshots[index->snapshot_count - 1].tick >= SEEK_SPACING_TICKS;
        if (due && !take_snapshot(index, t))
            return false;
        pass_at_tick(r, &index->runner_clock, ticks, t);
        index->built_ticks = t + 1;
        if (!index->runner_clock.running.load(std::memory_order_relaxed))
            index->end_tick = t;
    }
    return true;
}

void seek_index_free(SeekIndex* index) {
    for (std::int32_t i = 0; i < index->snapshot_count; i++)
        std::free(index->snapshots[i].bytes);
    std::free(index->snapshots);
    PassPart parts[PASS_PARTS];
    pass_parts(&index->runner, parts);
    for (const PassPart& p : parts) {
        if (p.pixels)
            std::free(*p.pixels);
        if (p.ints)
            std::free(*p.ints);
    }
    clear_index(index);
}

bool show_seek(ShowState* s, ScriptedClock* clock, SeekIndex* index, std::int32_t tick) {
    if (index->tick_count <= 0)
        return true;
    if (tick < 0)
        tick = 0;
    if (tick >= index->tick_count)
        tick = index->tick_count - 1;
    while (index->built_ticks <= tick && !seek_index_built(index))
        if (!seek_index_build(index, tick + 1 - index->built_ticks))
            return false;
    // Past the pass that ended the show nothing changes: its frame stays.
    std::int32_t target = tick < index->end_tick ? tick : index->end_tick;
    // The last snapshot at or before the target.
    std::int32_t lo = 0, hi = index->snapshot_count - 1;
    while (lo < hi) {
        std::int32_t mid = (lo + hi + 1) / 2;
        if (index->snapshots[mid].tick <= target)
            lo = mid;
        else
            hi = mid - 1;
    }
    const ShowSnapshot& snap = index->snapshots[lo];
    restore_snapshot(s, snap);
    clock->running.store(1, std::memory_order_relaxed);
    // The passes before the target only take their steps; the target's draws the frame.
    s->skip_drawing = true;
    for (std::int32_t t = snap.tick; t < target; t++)
        pass_at_tick(s, clock, index->ticks, t);
    s->skip_drawing = false;
    pass_at_tick(s, clock, index->ticks, target);
    return true;
}
