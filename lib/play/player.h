// The record quab-play's parts share: the show and its clock, the window, the music as heard,
// and the maker's bench (pause, steps, loop, overlay, reloads). The frame loop (show_loop) owns
// it; screen, keys, bench, overlay and watch each read and change their own part between frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <SDL.h>

#include "core/core.h"
#include "lib/base/clock.h"
#include "lib/play/exact_show.h"
#include "lib/play/playback.h"
#include "lib/show_plan/fit.h"

constexpr const char* PLAY_PROGRAM = "quab-play";
// The largest window, as a multiple of 320x240.
constexpr std::uint32_t MAX_SCALE = 16;

struct Screen {
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;   // the 320x240 frame
    SDL_Texture* overlay;   // the overlay's text, drawn over the scaled picture
    std::uint64_t frame_ns; // one refresh of the display
    bool fullscreen;
    // Whole pixels (the largest whole multiple, centred on black) or the picture filling the
    // window at 4:3; each of window and full screen keeps its own choice.
    bool whole_in_window;
    bool whole_in_fullscreen;
};

// Whole pixels or fill, for the window or full screen as it is now.
static inline bool screen_whole_pixels(const Screen* s) {
    return s->fullscreen ? s->whole_in_fullscreen : s->whole_in_window;
}

// The show's files as given on the command line.
struct ShowSource {
    const char* assets;   // the asset file, unless pictures
    const char* pictures; // a folder of PNGs the asset file is built from, or null
    const char* music;
};

// Songs positions and rows are as libmikmod keeps them.
struct Player {
    ShowState show;
    ScriptedClock clock;
    AssetTable assets;
    ShowSource source;
    PlaybackSettings playback;
    Screen screen;
    HeardClock heard;
    // Song time played on modules taken before this one (a reload restarts the song's time).
    std::uint32_t sngtime_before;
    bool paused;

    // Jumps count from the position last asked for until the music has made the jump.
    std::uint32_t jumps_seen;
    std::uint32_t jumps_asked;
    int asked_position;

    // The song positions looped, or loop_last < 0 for none.
    std::int16_t loop_first;
    std::int16_t loop_last;

    // Fitting, as asked (fit_choice): where fitted, the show reads the fitted clock of the module
    // playing at its tick (the song's own tick on its first pass, as the exact seek finds it).
    FitChoice fit_choice;
    bool fitted;
    FittedClock fit;
    // The module playing: its title (or its file's name) and the show's length on it in ticks
    // (-1: the show does not end by itself).
    std::string title;
    std::int32_t show_ticks;

    // The uninterrupted show at any tick; the show's tick is the heard tick plus tick_offset,
    // set where the music's stretch began (stretch_seen). reseek: put the show at the heard
    // tick again before the next pass (a start, a reload, the end of the steps).
    ExactShow exact;
    std::int32_t tick_offset;
    std::uint32_t stretch_seen;
    bool reseek;

    // The clock of the frame on screen: the show's tick (shown_tick), the song's own place
    // (shown_sngpos, shown_patpos) and what the show read (shown_reading: the same unless fitted).
    std::int32_t shown_tick;
    std::int16_t shown_sngpos;
    std::uint16_t shown_patpos;
    TickClock shown_reading;
    // While paused, the steps replay the show one pass a tick from step_anchor; stepped tells
    // that the show's state is the replay's, not the live one's.
    bool stepped;
    std::int32_t step_anchor;

    // The overlay: shown or not, frames presented in the last whole second, and the reloads and
    // warnings of the last NOTE_NS, each with the time it goes from the overlay.
    bool overlay_on;
    std::uint32_t fps;
    std::uint32_t frames_this_second;
    std::uint64_t second_start_ns;
    struct Note {
        std::string line;
        std::uint64_t until_ns;
    };
    std::vector<Note> notes;
    // When the save last taken was seen, until its first frame is presented (0: none), for the
    // trace.
    std::uint64_t save_ns;
};

// A line for the maker, on standard error and for NOTE_NS in the overlay (which keeps it).
constexpr std::uint64_t NOTE_NS = 5000000000u;
void player_note(Player* p, const std::string& line);

// What the show reads at tick t while the song plays row patpos of position sngpos: those, or
// on a fitted show the fitted clock's reading.
TickClock show_reading(const Player* p, std::int32_t t, std::int16_t sngpos, std::uint16_t patpos);

// Where the show is fitted, the exact seek runs on the fitted readings and finds a stretch of
// music by the song's own place at each tick; on the song's own positions, on its mixed table.
void exact_tables_follow_fit(Player* p);
