// One pass over the show's files, in the order quab-check reports them: the assets' problem, the
// module's, then the timing, black-frame and key warnings.
#include "lib/show_plan/show_check.h"

#include "lib/pictures/pictures.h"
#include "lib/show_files/show_files.h"
#include "lib/tool_common/shown_path.h"

ShowCheck check_show_files(const ShowCheckFiles& files) {
    ShowCheck c{};
    std::string problem;
    const char* assets_name = files.pictures ? files.pictures : files.assets;
    AssetTable assets = nullptr;
    Result loaded = files.pictures ? asset_table_from_pictures(files.pictures, &assets)
                                   : load_show_assets(files.assets, &assets);
    problem = loaded.reason;
    if (!assets)
        c.problems.push_back(problem + "; make it with quab-assets build");

    bool bad_module = false;
    Result clock_read = read_show_clock(files.music, &c.clock, &bad_module);
    c.mix_error = clock_read.reason;
    bool have_clock = clock_read.ok;
    c.files_read = assets && have_clock;
    if (!have_clock && !bad_module) {
        c.mixer_failed = true;
        if (assets)
            free_asset_table(assets);
        return c;
    }
    if (!have_clock)
        c.problems.push_back(shown_path(files.music) + ": " + c.mix_error);
    else if (c.clock.readings.empty())
        c.problems.push_back(shown_path(files.music) + ": the song ends before it starts");

    if (have_clock && !c.clock.readings.empty()) {
        c.planned = true;
        c.plan = plan_show(c.clock);
        c.own_plan = c.plan;
        if (fit_wanted(files.fit, c.own_plan)) {
            SongClock song;
            if (Result r = read_song_clock(files.music, &song, &bad_module); !r.ok) {
                c.mix_error = r.reason;
                c.mixer_failed = true;
                if (assets)
                    free_asset_table(assets);
                return c;
            }
            c.fitted = true;
            c.clock = fitted_show_clock(fit_show_clock(song));
            c.plan = plan_show(c.clock);
            c.plan.fitted = true;
            if (files.fit == FitChoice::AUTO)
                c.warnings.push_back(
                    shown_path(files.music) +
                    ": the song does not meet the show's needs, so the show is fitted to it: "
                    "every scene gets its share of the song (--no-fit keeps the song's own "
                    "positions)");
        } else {
            timing_warnings(c.plan, shown_path(files.music).c_str(), &c.warnings);
        }
        if (assets) {
            if (!find_black(assets, c.clock, c.plan, &c.black)) {
                c.out_of_memory = true;
                free_asset_table(assets);
                return c;
            }
            c.black_checked = true;
            black_warnings(c.plan, c.black, &c.warnings);
        }
    }
    if (assets) {
        key_warnings(assets, shown_path(assets_name).c_str(), &c.warnings);
        free_asset_table(assets);
    }
    return c;
}
