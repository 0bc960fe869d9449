// The show's plan on the module's clock: the sequencer followed over the readings, the scenes'
// animations set against their lengths, keyed pictures counted against their keys, and the
// show played offline to find where it goes black.
#include "lib/show_plan/plan.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "core/core.h"
#include "lib/show_plan/fit.h"

namespace {

// A frame is black, as a video's black detection (ffmpeg's blackdetect with pix_th 0.06) sees
// it, when at least 98% of its pixels have a luma of 6% of full scale or less.
constexpr std::uint32_t DARK_LUMA_MAX = 15; // 0.06 x 255
constexpr std::uint32_t BLACK_FRAME_DARK_PIXELS = FRAME_PIXELS * 98 / 100;

// BT.601 luma of a Pixel's colour in 0..255, scaled by 1000 to stay in integers.
static inline std::uint32_t luma_x1000(Pixel p) {
    return 299 * ((p >> 16) & 0xFFu) + 587 * ((p >> 8) & 0xFFu) + 114 * (p & 0xFFu);
}

bool frame_is_black(const Pixel* frame) {
    std::uint32_t dark = 0;
    for (int i = 0; i < FRAME_PIXELS; i++)
        dark += luma_x1000(frame[i]) <= DARK_LUMA_MAX * 1000;
    return dark >= BLACK_FRAME_DARK_PIXELS;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    // Sized by a first pass: messages carry file names of any length.
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(text.data(), text.size() + 1, fmt, again);
    va_end(again);
    return text;
}

double ticks_s(std::int32_t ticks) { return static_cast<double>(ticks) / TICKS_PER_S; }

// "song position 5" or "song positions 5 to 7".
std::string positions_text(std::int16_t first, std::int16_t last) {
    if (first == last)
        return format("song position %d", first);
    return format("song positions %d to %d", first, last);
}

// The rows a run needs to last `need_s` seconds at the pace it played its rows.
std::uint32_t rows_for(const PositionRun& run, double need_s) {
    double row_s = reading_s(run.end - run.first) / (run.last_row + 1);
    return static_cast<std::uint32_t>(std::ceil(need_s / row_s - 1e-9));
}

// The scene shown at a tick, as plan_show placed the scenes.
int scene_at_reading(const ShowPlan& plan, std::size_t reading) {
    int k = 0;
    while (k + 1 < SCENE_COUNT && plan.scenes[k + 1].reached && plan.scenes[k + 1].first <= reading)
        k++;
    return k;
}

std::int16_t position_at_reading(const ShowPlan& plan, std::size_t reading) {
    for (const PositionRun& run : plan.runs)
        if (reading >= run.first && reading < run.end)
            return run.sngpos;
    return plan.runs.empty() ? 0 : plan.runs.back().sngpos;
}

} // namespace

ShowPlan plan_show(const ShowClock& clock) {
    ShowPlan plan{};
    plan.end = clock.end;
    plan.readings = clock.readings.size();
    plan.last_position = -1;
    int scene = 0;
    plan.scenes[0] = {true, false, 0, 0};
    for (std::size_t k = 0; k < clock.readings.size(); k++) {
        const ClockReading& r = clock.readings[k];
        if (plan.runs.empty() || plan.runs.back().sngpos != r.sngpos)
            plan.runs.push_back({r.sngpos, k, k + 1, r.patpos});
        PositionRun& run = plan.runs.back();
        run.end = k + 1;
        run.last_row = std::max(run.last_row, r.patpos);
        plan.last_position = std::max(plan.last_position, r.sngpos);
        // The sequencer moves on one scene per block, all within the same pass, and never back.
        int target = std::min(scene_at_position(r.sngpos), SCENE_COUNT - 1);
        while (scene < target) {
            plan.scenes[scene].end = k;
            plan.scenes[scene].ends = true;
            scene++;
            plan.scenes[scene] = {true, false, k, k};
        }
    }
    plan.scenes[scene].end = plan.readings;
    if (clock.end == ClockEnd::SHOW_ENDED) {
        // The pass past the end runs the set-up of every scene still to come, then stops.
        plan.scenes[scene].ends = true;
        for (int k = scene + 1; k < SCENE_COUNT; k++)
            plan.scenes[k] = {true, true, plan.readings, plan.readings};
    } else if (clock.end == ClockEnd::SONG_ENDED) {
        // The show ends with the song (xdemo, quab-play and quab-export alike): the scene on
        // screen then is the last, and the scenes after it never come.
        plan.scenes[scene].ends = true;
    }
    return plan;
}

const PositionRun* first_run(const ShowPlan& plan, std::int16_t p) {
    for (const PositionRun& run : plan.runs)
        if (run.sngpos == p)
            return &run;
    return nullptr;
}

static void fade_warning(const ShowPlan& plan, std::int16_t p, const char* which,
                         std::vector<std::string>* warnings) {
    const PositionRun* run = first_run(plan, p);
    if (!run || run->end - run->first >= std::size_t{SCENE1_FADE_TICKS} * TICK_READINGS)
        return;
    double need_s = ticks_s(SCENE1_FADE_TICKS);
    warnings->push_back(format(
        "Scene 1 fades %s during song position %d, which takes %.2f s, but the fade takes "
        "%.2f s and is cut short: make the pattern at song position %d at least %.2f s long "
        "(%u rows at its pace)",
        which, p, reading_s(run->end - run->first), need_s, p, need_s, rows_for(*run, need_s)));
}

// The last scene the show reaches (0-based).
static int last_scene(const ShowPlan& plan) {
    int k = 0;
    while (k + 1 < SCENE_COUNT && plan.scenes[k + 1].reached)
        k++;
    return k;
}

// Whether the song stopped before the last song position of scene k.
static bool song_stops_in(const ShowPlan& plan, int k) {
    return plan.end == ClockEnd::SONG_ENDED && plan.last_position < SCENE_LAST_POSITION[k];
}

// A scene whose song positions end before its animation has run its course.
static void animation_warning(const ShowPlan& plan, int scene, std::int32_t ticks,
                              const char* animation, std::vector<std::string>* warnings) {
    const SceneSpan& span = plan.scenes[scene];
    if (!span.reached || !span.ends)
        return;
    std::size_t need = static_cast<std::size_t>(ticks) * TICK_READINGS;
    std::size_t length = span.end - span.first;
    if (length >= need)
        return;
    // A song that stops within the scene: what it plays of the scene's positions is what can
    // grow, or the positions it lacks can come.
    bool cut = song_stops_in(plan, scene);
    std::int16_t last = cut ? std::max(plan.last_position, scene_first_position(scene))
                            : SCENE_LAST_POSITION[scene];
    std::string more =
        cut ? format(", or give the song its positions up to %d", SCENE_LAST_POSITION[scene])
            : std::string();
    warnings->push_back(format("Scene %d lasts %.2f s, but its %s takes %.2f s and is cut short: "
                               "make %s longer by at least %.2f s%s",
                               scene + 1, reading_s(length), animation, ticks_s(ticks),
                               positions_text(scene_first_position(scene), last).c_str(),
                               reading_s(need - length), more.c_str()));
}

static void scene7_warning(const ShowPlan& plan, std::vector<std::string>* warnings) {
    if (!plan.scenes[6].reached)
        return;
    const PositionRun* run = first_run(plan, SCENE7_POSITION);
    // Picture j appears once the row is past SCENE7_ROW_AFTER[j] and gives way past the next.
    constexpr std::uint16_t rows_needed = SCENE7_ROW_AFTER[SCENE7_PICTURES] + 1;
    if (run && run->last_row + 1 >= rows_needed)
        return;
    int shown = 0;
    while (run && shown < SCENE7_PICTURES && run->last_row > SCENE7_ROW_AFTER[shown])
        shown++;
    std::string played =
        run ? format("plays rows 0 to %u", run->last_row) : std::string("is never played");
    std::string lost = shown == SCENE7_PICTURES
                           ? std::string("its last picture is cut short")
                           : format("pictures %d to %d of %d never show", shown + 1,
                                    SCENE7_PICTURES, SCENE7_PICTURES);
    warnings->push_back(format("Scene 7's song position %d %s, but its pictures follow rows up "
                               "to %u: %s; make the pattern at song position %d at least %u "
                               "rows long",
                               SCENE7_POSITION, played.c_str(), rows_needed - 1, lost.c_str(),
                               SCENE7_POSITION, rows_needed));
}

void timing_warnings(const ShowPlan& plan, const char* music_path,
                     std::vector<std::string>* warnings) {
    int stuck = last_scene(plan);
    if (plan.end == ClockEnd::SONG_ENDED && stuck + 1 < SCENE_COUNT) {
        // Where the song stops after the show's last scene has come, the show simply ends with
        // it; only scenes that never come are worth a warning.
        std::string lost = stuck + 2 == SCENE_COUNT
                               ? format("Scene %d is never shown", SCENE_COUNT)
                               : format("Scenes %d to %d are never shown", stuck + 2, SCENE_COUNT);
        warnings->push_back(format(
            "%s: the song stops after song position %d at %.2f s, and the show ends with it in "
            "Scene %d: %s; give the module at least %d song positions (0 to %d)",
            music_path, plan.last_position, reading_s(plan.readings), stuck + 1, lost.c_str(),
            SHOW_POSITIONS, LAST_SHOW_POSITION));
    } else if (plan.end == ClockEnd::TIME_LIMIT) {
        warnings->push_back(format(
            "%s: after %.0f minutes the song has still not passed song position %d (it jumps "
            "back to an earlier position), so the show will not end by itself and keeps "
            "showing Scene %d: make the song run on to position %d",
            music_path, reading_s(plan.readings) / 60, LAST_SHOW_POSITION, stuck + 1,
            LAST_SHOW_POSITION + 1));
    }
    for (std::int16_t p : SCENE1_FADE_IN_POSITIONS)
        fade_warning(plan, p, "in", warnings);
    for (std::int16_t p : SCENE1_FADE_OUT_POSITIONS)
        fade_warning(plan, p, "out", warnings);
    animation_warning(plan, 4, SCENE5_STRIP_TICKS, "rolling strip", warnings);
    scene7_warning(plan, warnings);
    std::size_t before_scroller = warnings->size();
    animation_warning(plan, 7, SCENE8_SCROLLER_TICKS, "closing scroller", warnings);
    if (plan.end == ClockEnd::SONG_ENDED && stuck + 1 == SCENE_COUNT &&
        plan.last_position < LAST_SHOW_POSITION && warnings->size() == before_scroller) {
        // The last scene comes and its scroller fits, but the song still stops before the show's
        // last position: the needs list counts the missing positions, this line says what to do.
        int missing = LAST_SHOW_POSITION - plan.last_position;
        warnings->push_back(format(
            "%s: the song stops after song position %d at %.2f s, %d position%s before the "
            "show's last, and Scene %d ends with it; give the module at least %d song positions "
            "(0 to %d)",
            music_path, plan.last_position, reading_s(plan.readings), missing,
            missing == 1 ? "" : "s", SCENE_COUNT, SHOW_POSITIONS, LAST_SHOW_POSITION));
    }
}

KeyCount count_above_key(AssetTable assets, int asset) {
    const AssetShape& shape = ASSET_MAP[asset];
    KeyCount c{0, static_cast<std::uint32_t>(shape.width * shape.height)};
    const Pixel* p = reinterpret_cast<const Pixel*>(assets[asset]);
    for (std::uint32_t i = 0; i < c.pixels; i++)
        c.above += passes_key(p[i], ASSET_KEY[asset]);
    return c;
}

void key_warnings(AssetTable assets, const char* assets_path, std::vector<std::string>* warnings) {
    for (int asset = 0; asset < ASSET_COUNT; asset++) {
        if (ASSET_KEY[asset] == 0)
            continue;
        KeyCount c = count_above_key(assets, asset);
        if (c.above * 1000ull >= std::uint64_t{c.pixels} * FEW_KEYED_PER_MILLE)
            continue;
        const AssetShape& shape = ASSET_MAP[asset];
        const char* key = ASSET_KEY[asset] == KEY_HIGH ? "KEY_HIGH" : "KEY_LOW";
        std::string how =
            format("paint what should show fully opaque (alpha 255) and brighter than #%06X "
                   "(docs/assets.md, \"How the key byte works\")",
                   ASSET_KEY[asset] & 0xFFFFFFu);
        if (c.above == 0)
            warnings->push_back(format("%s: asset %d (%s, %s) has no Pixel above its key (%s), "
                                       "so it never shows: %s",
                                       assets_path, asset, shape.name, shape.role, key,
                                       how.c_str()));
        else
            warnings->push_back(format("%s: asset %d (%s, %s) has only %u of its %u Pixels "
                                       "above its key (%s), so it hardly shows: %s",
                                       assets_path, asset, shape.name, shape.role, c.above,
                                       c.pixels, key, how.c_str()));
    }
}

bool find_black(AssetTable assets, const ShowClock& clock, const ShowPlan& plan,
                std::vector<BlackStretch>* stretches) {
    static ShowState show;
    ScriptedClock scripted;
    if (!show_start_offline(&show, assets, &scripted))
        return false;
    stretches->clear();
    bool in_black = false;
    std::int32_t tick = 0;
    // One pass per tick, on the reading at the tick's first sample: the frames quab-export
    // encodes at 50 frames a second.
    for (std::size_t k = 0; k < plan.readings && tick < BLACK_CHECK_TICKS;
         k += TICK_READINGS, tick++) {
        const ClockReading& r = clock.readings[k];
        show_pass_at(&show, &scripted, r.tick_count, r.sngpos, r.patpos);
        if (!scripted.running.load(std::memory_order_relaxed))
            break;
        bool black = frame_is_black(show.frame);
        if (black && !in_black)
            stretches->push_back({tick, tick + 1, -1});
        if (black) {
            stretches->back().end_tick = tick + 1;
            if (show.scene_index == 0 && show.fade_level == SCENE1_FADE_BLACK)
                stretches->back().last_faded_tick = tick;
        }
        in_black = black;
    }
    show_free(&show);
    return true;
}

void black_warnings(const ShowPlan& plan, const std::vector<BlackStretch>& stretches,
                    std::vector<std::string>* warnings) {
    for (const BlackStretch& b : stretches) {
        std::int32_t length = b.end_tick - b.first_tick;
        if (length <= LONGEST_BLACK_TICKS)
            continue;
        std::size_t first = static_cast<std::size_t>(b.first_tick) * TICK_READINGS;
        std::size_t last = static_cast<std::size_t>(b.end_tick - 1) * TICK_READINGS;
        int scene_first = scene_at_reading(plan, first);
        int scene_last = scene_at_reading(plan, last);
        std::string scenes = scene_first == scene_last
                                 ? format("Scene %d", scene_first + 1)
                                 : format("Scenes %d to %d", scene_first + 1, scene_last + 1);
        std::int16_t p0 = position_at_reading(plan, first), p1 = position_at_reading(plan, last);
        std::string where = format("the picture is black from %.2f s to %.2f s (%.2f s, %s, %s)",
                                   ticks_s(b.first_tick), ticks_s(b.end_tick), ticks_s(length),
                                   scenes.c_str(), positions_text(p0, p1).c_str());
        // What to cut so that the black lasts no longer than a pause: where Scene 1 has faded
        // out, the positions it stays faded through (nothing in the pictures can light it);
        // otherwise all of them. In rows at the pace of the last position to shorten.
        double cut_s = ticks_s(length - LONGEST_BLACK_TICKS);
        bool faded = b.last_faded_tick >= 0;
        std::int16_t last_cut =
            faded ? position_at_reading(plan,
                                        static_cast<std::size_t>(b.last_faded_tick) * TICK_READINGS)
                  : p1;
        const PositionRun* run = first_run(plan, last_cut);
        std::string shorten =
            format("shorten %s by at least %.2f s%s", positions_text(p0, last_cut).c_str(), cut_s,
                   run ? format(" (%u rows at %s pace)", rows_for(*run, cut_s),
                                p0 == last_cut ? "its" : "their")
                             .c_str()
                       : "");
        if (faded)
            warnings->push_back(format("%s: Scene 1 has faded out to black, its own fade, which "
                                       "no picture can change: %s, so that the black lasts at "
                                       "most %.2f s",
                                       where.c_str(), shorten.c_str(),
                                       ticks_s(LONGEST_BLACK_TICKS)));
        else
            warnings->push_back(format("%s, which looks like a stall: make what %s shows "
                                       "brighter, or %s",
                                       where.c_str(), scenes.c_str(), shorten.c_str()));
    }
}

void print_plan(const ShowPlan& plan, const char* music_path) {
    for (int k = 0; k < SCENE_COUNT; k++) {
        const SceneSpan& span = plan.scenes[k];
        std::string positions = positions_text(scene_first_position(k), SCENE_LAST_POSITION[k]);
        if (!span.reached) {
            std::printf("Scene %d, %s (%s): never shown\n", k + 1, SCENE_NAMES[k],
                        positions.c_str());
            continue;
        }
        if (span.ends)
            std::printf("Scene %d, %s (%s): %.2f s to %.2f s (%.2f s)\n", k + 1, SCENE_NAMES[k],
                        positions.c_str(), reading_s(span.first), reading_s(span.end),
                        reading_s(span.end - span.first));
        else
            std::printf("Scene %d, %s (%s): from %.2f s, and never ends\n", k + 1, SCENE_NAMES[k],
                        positions.c_str(), reading_s(span.first));
        std::string starts, rows;
        for (std::int16_t p = scene_first_position(k); p <= SCENE_LAST_POSITION[k]; p++) {
            const PositionRun* run = first_run(plan, p);
            const char* comma = p == scene_first_position(k) ? "" : ", ";
            // Each time with its unit, so that a position never played ends the list cleanly.
            starts +=
                run ? format("%s%.2f s", comma, reading_s(run->first)) : comma + std::string("-");
            rows += run ? format("%s%u", comma, run->last_row + 1u) : comma + std::string("-");
        }
        std::printf("    song positions start at: %s\n", starts.c_str());
        std::printf("    rows they play:          %s\n", rows.c_str());
        // When the animations that run their course within the scene are done, so that a maker
        // can line the song up with them.
        if (k == 4 || k == 7) {
            std::int32_t ticks = k == 4 ? SCENE5_STRIP_TICKS : SCENE8_SCROLLER_TICKS;
            double done_s = reading_s(span.first + static_cast<std::size_t>(ticks) * TICK_READINGS);
            std::printf("    its %s runs for %.2f s: until %.2f s%s\n",
                        k == 4 ? "rolling strip" : "closing scroller", ticks_s(ticks), done_s,
                        span.ends ? format(", %.2f s %s the scene ends",
                                           std::fabs(reading_s(span.end) - done_s),
                                           reading_s(span.end) >= done_s ? "before" : "after")
                                        .c_str()
                                  : "");
        }
        for (int i = 0; i < SCENE_ASSETS_MAX && SCENE_ASSETS[k][i] >= 0; i++) {
            int n = SCENE_ASSETS[k][i];
            std::printf("    asset %2d %-20s %s\n", n, ASSET_MAP[n].name, ASSET_MAP[n].role);
        }
    }
    double end_s = reading_s(plan.readings);
    int whole_s = static_cast<int>(end_s);
    if (plan.end == ClockEnd::SHOW_ENDED && plan.fitted)
        std::printf("The show ends at %.2f s (%d:%02d), where the song loops back (or its first "
                    "%u minutes end).\n",
                    end_s, whole_s / 60, whole_s % 60, FIT_LIMIT_S / 60);
    else if (plan.end == ClockEnd::SHOW_ENDED)
        std::printf("The show ends at %.2f s (%d:%02d), when the song passes song position %d.\n",
                    end_s, whole_s / 60, whole_s % 60, LAST_SHOW_POSITION);
    else if (plan.end == ClockEnd::SONG_ENDED && plan.fitted)
        std::printf("The show ends at %.2f s (%d:%02d), when the song stops.\n", end_s,
                    whole_s / 60, whole_s % 60);
    else if (plan.end == ClockEnd::SONG_ENDED)
        std::printf("The show ends at %.2f s (%d:%02d), when the song stops after song position "
                    "%d.\n",
                    end_s, whole_s / 60, whole_s % 60, plan.last_position);
    else
        std::printf("%s still plays after %.2f s (%d:%02d); the check stops there.\n", music_path,
                    end_s, whole_s / 60, whole_s % 60);
}

namespace {

// One need of the show: song positions first..last together at least need_ticks long (at most
// -need_ticks long where it is negative), or (with need_ticks 0) position first at least
// need_rows rows long.
struct Need {
    std::int16_t first, last;
    std::int32_t need_ticks;
    std::uint32_t need_rows;
    const char* what;
};

// The seconds a row lasts at song position p, or, for a position the song never plays, at the
// pace it played last; 0 for a song without a row.
double row_s_at(const ShowPlan& plan, std::int16_t p) {
    const PositionRun* run = first_run(plan, p);
    if (!run && !plan.runs.empty())
        run = &plan.runs.back();
    return run ? reading_s(run->end - run->first) / (run->last_row + 1) : 0;
}

// The rows of positions first..last (each position's first run, in order, each row at its own
// position's pace) that reach need_s; past the rows the song plays, rows at the pace of `last`.
// So the rows needed exceed the rows played exactly when the seconds needed exceed those played.
std::uint32_t rows_to_reach(const ShowPlan& plan, std::int16_t first, std::int16_t last,
                            double need_s) {
    double at_s = 0;
    std::uint32_t rows = 0;
    for (std::int16_t p = first; p <= last; p++) {
        const PositionRun* run = first_run(plan, p);
        if (!run)
            continue;
        std::uint32_t run_rows = run->last_row + 1u;
        double row_s = reading_s(run->end - run->first) / run_rows;
        if (at_s + run_rows * row_s >= need_s - 1e-9)
            return rows + static_cast<std::uint32_t>(std::ceil((need_s - at_s) / row_s - 1e-9));
        at_s += run_rows * row_s;
        rows += run_rows;
    }
    double row_s = row_s_at(plan, last);
    return row_s > 0 ? rows + static_cast<std::uint32_t>(std::ceil((need_s - at_s) / row_s - 1e-9))
                     : rows;
}

} // namespace

// Weighs the song against each need, printing each verdict when print; the needs met, of *needs.
static int weigh_needs(const ShowPlan& plan, bool print, int* needs_out) {
    if (print)
        std::printf(
            "What the show needs from a module (rows at this song's pace), and this song:\n");
    int met = 0, needs = 1;
    std::string has = plan.last_position >= LAST_SHOW_POSITION
                          ? format("plays 0 to %d: enough", plan.last_position)
                          : format("plays 0 to %d: %d too few", plan.last_position,
                                   LAST_SHOW_POSITION - plan.last_position);
    met += plan.last_position >= LAST_SHOW_POSITION;
    if (print)
        std::printf("    song positions 0 to %d: %s\n", LAST_SHOW_POSITION, has.c_str());

    const Need list[] = {
        {SCENE1_FADE_IN_POSITIONS[0], SCENE1_FADE_IN_POSITIONS[0], SCENE1_FADE_TICKS, 0,
         "Scene 1 fades in"},
        {SCENE1_FADE_OUT_POSITIONS[0], SCENE1_FADE_OUT_POSITIONS[0], SCENE1_FADE_TICKS, 0,
         "Scene 1 fades out"},
        {SCENE1_FADE_IN_POSITIONS[1], SCENE1_FADE_IN_POSITIONS[1], SCENE1_FADE_TICKS, 0,
         "Scene 1 fades in"},
        {SCENE1_FADE_OUT_POSITIONS[1], SCENE1_FADE_OUT_POSITIONS[1], SCENE1_FADE_TICKS, 0,
         "Scene 1 fades out"},
        // Faded out, Scene 1 is black until its next position or scene: no longer than a pause.
        {SCENE1_FADE_OUT_POSITIONS[0], SCENE1_FADE_OUT_POSITIONS[0],
         -(SCENE1_FADE_TICKS + LONGEST_BLACK_TICKS), 0, "Scene 1 black after fading out"},
        {SCENE1_FADE_OUT_POSITIONS[1], SCENE_LAST_POSITION[0],
         -(SCENE1_FADE_TICKS + LONGEST_BLACK_TICKS), 0, "Scene 1 black after fading out"},
        {scene_first_position(4), SCENE_LAST_POSITION[4], SCENE5_STRIP_TICKS, 0, "Scene 5's strip"},
        {SCENE7_POSITION, SCENE7_POSITION, 0, SCENE7_ROW_AFTER[SCENE7_PICTURES] + 1u,
         "Scene 7's pictures"},
        {scene_first_position(7), SCENE_LAST_POSITION[7], SCENE8_SCROLLER_TICKS, 0,
         "Scene 8's scroller"},
    };
    for (const Need& n : list) {
        needs++;
        // What the song plays of these positions, each counted once (its first run).
        std::uint32_t rows = 0;
        std::size_t readings = 0;
        bool played = false;
        for (std::int16_t p = n.first; p <= n.last; p++)
            if (const PositionRun* run = first_run(plan, p)) {
                rows += run->last_row + 1u;
                readings += run->end - run->first;
                played = true;
            }
        std::string need, verdict;
        bool enough;
        if (n.need_ticks < 0) {
            double most_s = ticks_s(-n.need_ticks);
            // Rows at the pace of the first position the limit covers.
            double row_s = row_s_at(plan, n.first);
            std::uint32_t most_rows =
                row_s > 0 ? static_cast<std::uint32_t>(std::floor(most_s / row_s + 1e-9)) : 0;
            need = format("at most %.2f s = %u rows", most_s, most_rows);
            enough = readings <= static_cast<std::size_t>(-n.need_ticks) * TICK_READINGS;
            double over_s = reading_s(readings) - most_s;
            std::uint32_t over_rows =
                row_s > 0 ? static_cast<std::uint32_t>(std::ceil(over_s / row_s - 1e-9)) : 0;
            verdict = enough ? "enough" : format("too long by %.2f s, %u rows", over_s, over_rows);
        } else if (n.need_ticks > 0) {
            double need_s = ticks_s(n.need_ticks);
            std::uint32_t need_rows = rows_to_reach(plan, n.first, n.last, need_s);
            need = format("%.2f s = %u rows", need_s, need_rows);
            enough = readings >= static_cast<std::size_t>(n.need_ticks) * TICK_READINGS;
            double short_s = need_s - reading_s(readings);
            std::uint32_t short_rows = need_rows > rows ? need_rows - rows : 0;
            verdict = enough ? "enough" : format("short by %.2f s, %u rows", short_s, short_rows);
        } else {
            need = format("%u rows", n.need_rows);
            enough = rows >= n.need_rows;
            verdict = enough ? "enough" : format("short by %u rows", n.need_rows - rows);
        }
        met += enough;
        std::string it = played ? format("plays %u rows (%.2f s)", rows, reading_s(readings))
                                : std::string("never played");
        if (print)
            std::printf("    %s (%s): %s; %s: %s\n", positions_text(n.first, n.last).c_str(),
                        n.what, need.c_str(), it.c_str(), verdict.c_str());
    }
    *needs_out = needs;
    return met;
}

bool meets_show_needs(const ShowPlan& plan) {
    int needs;
    return weigh_needs(plan, false, &needs) == needs;
}

void print_needs(const ShowPlan& plan) {
    int needs;
    int met = weigh_needs(plan, true, &needs);
    if (met == needs)
        std::printf("This song meets all %d of them.\n", needs);
    else
        std::printf("This song meets %d of the %d.\n", met, needs);
}
