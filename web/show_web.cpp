// The show's core as a WebAssembly module for the web page: the asset file read from memory by
// the programs' asset reader, the same pass function the native programs run, and the frame handed
// to the page's canvas as RGBA bytes. The page owns the clock; this file owns no time of its own.
// Jumps go through the core's exact seek, over the tick table the page hands in.
#include <cstdint>
#include <cstdlib>

#include "core/core.h"

namespace {

ShowState show;
ScriptedClock scripted_clock;
SeekIndex seek_index{};
// The frame as the canvas takes it: red, green, blue, alpha bytes per pixel.
std::uint32_t* rgba = nullptr;

// The asset file the page put in memory, read by the asset reader every program uses and
// checked against the asset map; null when it does not load. The page's block is freed: the
// table holds copies.
AssetTable split_records(std::uint8_t* file, std::uint32_t bytes) {
    std::uint32_t* lengths = nullptr;
    AssetTable table = asset_records_in_memory(file, bytes, &lengths);
    std::free(file);
    if (table && !asset_table_fits(table, lengths)) {
        free_asset_table(table);
        table = nullptr;
    }
    std::free(lengths);
    return table;
}

// The frame as RGBA for the canvas (web_rgba).
void frame_to_rgba() {
    // A Pixel is 0x..RRGGBB; its top byte is the key, not alpha, so every pixel is opaque. The
    // RGBA bytes as one little-endian word: 0xFFBBGGRR (WebAssembly is little-endian).
    const Pixel* __restrict frame = show.frame;
    std::uint32_t* __restrict out = rgba;
    for (int i = 0; i < FRAME_PIXELS; i++) {
        Pixel p = frame[i];
        out[i] = 0xFF000000u | (p & 0xFF) << 16 | (p & 0xFF00) | (p >> 16 & 0xFF);
    }
}

} // namespace

extern "C" {

// A block of bytes for the page to fill (the asset file); null when memory runs out.
std::uint8_t* web_buffer(std::uint32_t bytes) {
    return static_cast<std::uint8_t*>(std::malloc(bytes));
}

// The state at frame-loop start over the asset file the page put at file (a web_buffer block,
// taken over and freed). 1 on success, 0 when the file does not load or memory runs out.
int web_start(std::uint8_t* file, std::uint32_t bytes) {
    AssetTable assets = split_records(file, bytes);
    if (!assets)
        return 0;
    rgba = static_cast<std::uint32_t*>(std::malloc(FRAME_BYTES));
    return rgba && show_start_offline(&show, assets, &scripted_clock) ? 1 : 0;
}

// The show afresh, as at frame-loop start: the next pass starts it from tick 0's state.
void web_restart() {
    show_restart(&show);
    scripted_clock.running.store(1, std::memory_order_relaxed);
}

// The tick table the page put at table (a song position and a row, 16 bits each, per tick; kept
// for the whole show): the seek index over it, not yet built. 1 on success, 0 out of memory.
int web_seek_start(std::uint16_t* table, std::int32_t tick_count) {
    seek_index_free(&seek_index);
    return seek_index_start(&seek_index, &show, reinterpret_cast<const TickClock*>(table),
                            tick_count)
               ? 1
               : 0;
}

// Builds up to passes more ticks of the seek index: 1 once it is whole, 0 while not yet, -1 out
// of memory.
int web_seek_build(std::int32_t passes) {
    if (!seek_index_build(&seek_index, passes))
        return -1;
    return seek_index_built(&seek_index) ? 1 : 0;
}

// The show at tick of the table, as one pass per tick from tick 0 leaves it, and its frame as
// RGBA. Returns the scene_index there, or -1 out of memory.
int web_seek(std::int32_t tick) {
    if (!show_seek(&show, &scripted_clock, &seek_index, tick))
        return -1;
    frame_to_rgba();
    return show.scene_index;
}

// One pass at the clock given. Returns the scene_index the pass left, SCENE_END once the show
// has ended.
int web_draw(std::int32_t tick, std::int32_t sngpos, std::int32_t patpos) {
    show_pass_at(&show, &scripted_clock, tick, static_cast<std::int16_t>(sngpos),
                 static_cast<std::uint16_t>(patpos));
    return show.scene_index;
}

// web_draw, then the frame as RGBA for the canvas (web_rgba).
int web_pass(std::int32_t tick, std::int32_t sngpos, std::int32_t patpos) {
    int scene = web_draw(tick, sngpos, patpos);
    frame_to_rgba();
    return scene;
}

// The frame as RGBA bytes, FRAME_W x FRAME_H, rows without gaps; and as the pass drew it.
std::uint32_t* web_rgba() { return rgba; }
Pixel* web_frame() { return show.frame; }
}
