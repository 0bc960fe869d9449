// quab-render: the show's frame loop without display, sound or timer. Each timeline line scripts
// the clock for one pass of the same pass function xdemo runs; each presented frame is written
// as raw little-endian words (and optionally PNG). Also dumps the precalculated tables.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/core.h"
#include "lib/base/descriptors.h"
#include "lib/pictures/png_export.h"
#include "lib/render_timeline/timeline.h"
#include "lib/show_files/show_files.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/output_file.h"
#include "lib/tool_common/shown_path.h"
#include "lib/tool_common/streams.h"

namespace {

constexpr const char* PROGRAM = "quab-render";

constexpr ToolText TOOL = {
    PROGRAM,
    "Renders the show's frames offline, on a clock scripted line by line, as raw words and PNGs.",
    "ASSETS TIMELINE OUTDIR [--png]\n"
    "       quab-render --dump-tables OUTDIR",
    "  --png             write each frame as PNG too\n"
    "  --dump-tables     write the precalculated tables into OUTDIR instead\n",
    "Each TIMELINE line (tick_count sngpos patpos) scripts the clock of one pass; frame N is\n"
    "written to OUTDIR/frame_NNNNN.raw as 320x240 little-endian words.\n"
    "Exit status: 0 done, 1 out of memory or standard output lost, 2 a bad command line, an\n"
    "input that cannot be used or an output that cannot be written.\n",
};

// Frame names carry five digits.
constexpr std::size_t MAX_PASSES = 100000;

// Syncs every file written to OUTDIR's filesystem; a write error the kernel met on the way
// ends the run.
void sync_outdir(const std::string& outdir) {
    int fd = open(outdir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || syncfs(fd) != 0)
        fatal(PROGRAM, EXIT_BAD_INPUT,
              shown_path(outdir) + ": cannot write: " + std::strerror(errno));
    close(fd);
}

// OUTDIR is created if it does not exist (one level); either way it must take a new file.
void prepare_outdir(const std::string& outdir) {
    struct stat st;
    if (stat(outdir.c_str(), &st) != 0) {
        if (errno != ENOENT || mkdir(outdir.c_str(), 0777) != 0)
            fatal(PROGRAM, EXIT_BAD_INPUT,
                  shown_path(outdir) +
                      ": cannot create the output directory: " + std::strerror(errno));
    } else if (!S_ISDIR(st.st_mode)) {
        fatal(PROGRAM, EXIT_BAD_INPUT, shown_path(outdir) + ": the output path is not a directory");
    }
    std::string probe = outdir + "/.quab-render-probe-XXXXXX";
    int fd = mkstemp(probe.data());
    if (fd < 0)
        fatal(PROGRAM, EXIT_BAD_INPUT,
              shown_path(outdir) +
                  ": cannot write to the output directory: " + std::strerror(errno));
    close(fd);
    unlink(probe.c_str());
}

// Every output file appears complete under its final name or not at all.
OutputFile begin_file(const std::string& outdir, const std::string& name) {
    OutputFile out;
    if (Result r = output_open((outdir + "/" + name).c_str(), &out); !r.ok)
        fatal(PROGRAM, EXIT_BAD_INPUT, r.reason);
    return out;
}

// Renames the file into place; on any failure removes it and ends the run. Frames and tables
// are not synced one by one (a sync per frame made a run several times slower); the whole
// output directory is synced once at the end (sync_outdir).
void finish_file(OutputFile* out) {
    out->durable = false;
    if (Result r = output_commit(out); !r.ok)
        fatal(PROGRAM, EXIT_BAD_INPUT, r.reason);
}

// 32-bit words in little-endian byte order whatever the host.
void write_words_le(const std::string& outdir, const std::string& name, const std::uint32_t* words,
                    std::size_t count, std::vector<unsigned char>* bytes) {
    bytes->resize(count * 4);
    for (std::size_t i = 0; i < count; i++)
        for (int b = 0; b < 4; b++)
            (*bytes)[i * 4 + b] = static_cast<unsigned char>(words[i] >> (8 * b));
    OutputFile out = begin_file(outdir, name);
    if (Result r = output_write(&out, bytes->data(), bytes->size()); !r.ok) {
        output_discard(&out);
        fatal(PROGRAM, EXIT_BAD_INPUT, r.reason);
    }
    finish_file(&out);
}

// RGB, the key byte dropped.
void write_png(const std::string& outdir, const std::string& name, const Pixel* frame) {
    std::string png;
    if (!encode_frame_png(frame, &png))
        fatal(PROGRAM, EXIT_FAILED,
              shown_path(outdir + "/" + name) + ": libpng cannot encode the frame");
    OutputFile out = begin_file(outdir, name);
    if (Result r = output_write(&out, png.data(), png.size()); !r.ok) {
        output_discard(&out);
        fatal(PROGRAM, EXIT_BAD_INPUT, r.reason);
    }
    finish_file(&out);
}

ShowState* new_show() {
    static ShowState s;
    if (!show_alloc(&s, false))
        fatal(PROGRAM, EXIT_FAILED, "out of memory for the show's buffers");
    precalc_tables(&s);
    return &s;
}

int dump_tables(const std::string& outdir) {
    prepare_outdir(outdir);
    ShowState* s = new_show();
    struct Table {
        const char* name;
        const std::int32_t* words;
        std::size_t count;
    };
    const Table tables[] = {
        {"scroll_x", s->scroll_x, PATH_LEN},
        {"scroll_y", s->scroll_y, PATH_LEN},
        {"orbit1_x", s->orbit1_x, PATH_LEN},
        {"orbit1_y", s->orbit1_y, PATH_LEN},
        {"orbit2_x", s->orbit2_x, PATH_LEN},
        {"orbit2_y", s->orbit2_y, PATH_LEN},
        {"orbit3_x", s->orbit3_x, PATH_LEN},
        {"orbit3_y", s->orbit3_y, PATH_LEN},
        {"wobble", s->wobble, WOBBLE_USED},
        {"polar_angle_a", s->polar_angle_a, FRAME_PIXELS},
        {"polar_depth_a", s->polar_depth_a, FRAME_PIXELS},
        {"polar_angle_b", s->polar_angle_b, FRAME_PIXELS},
        {"polar_depth_b", s->polar_depth_b, FRAME_PIXELS},
    };
    std::vector<unsigned char> bytes;
    for (const Table& t : tables)
        write_words_le(outdir, std::string(t.name) + ".raw",
                       reinterpret_cast<const std::uint32_t*>(t.words), t.count, &bytes);
    show_free(s);
    sync_outdir(outdir);
    return EXIT_OK;
}

// Loads and validates the asset file as xdemo does, the refusal in one line.
AssetTable load_assets(const char* path) {
    AssetTable table = nullptr;
    if (Result r = load_show_assets(path, &table); !r.ok)
        fatal(PROGRAM, EXIT_BAD_INPUT, r.reason);
    return table;
}

int render(const char* assets_path, const char* timeline_path, const std::string& outdir,
           bool with_png) {
    std::vector<TimelineEntry> timeline;
    if (Result r = read_timeline_file(timeline_path, &timeline); !r.ok)
        fatal(PROGRAM, EXIT_BAD_INPUT, r.reason);
    if (timeline.size() > MAX_PASSES)
        fatal(PROGRAM, EXIT_BAD_INPUT,
              shown_path(timeline_path) + ": " + std::to_string(timeline.size()) +
                  " passes; frame names have five digits, so at most " +
                  std::to_string(MAX_PASSES) + " fit");
    // Inputs are checked before OUTDIR is touched, so a refused run leaves nothing behind.
    AssetTable assets = load_assets(assets_path);
    prepare_outdir(outdir);

    // The state at frame-loop start in xdemo: zeroed buffers and frame, fresh tables, the
    // sequencer at Scene 1 with nothing set up.
    static ShowState show;
    ShowState* s = &show;
    ScriptedClock clock;
    if (!show_start_offline(s, assets, &clock))
        fatal(PROGRAM, EXIT_FAILED, "out of memory for the show's buffers");
    const Pixel* frame = s->frame;

    std::vector<unsigned char> bytes;
    char name[32];
    for (std::size_t pass = 0; pass < timeline.size(); pass++) {
        show_pass_at(s, &clock, timeline[pass].tick_count, timeline[pass].sngpos,
                     timeline[pass].patpos);

        std::snprintf(name, sizeof name, "frame_%05zu.raw", pass);
        write_words_le(outdir, name, frame, FRAME_PIXELS, &bytes);
        if (with_png) {
            std::snprintf(name, sizeof name, "frame_%05zu.png", pass);
            write_png(outdir, name, frame);
        }
        std::printf("pass %zu scene_index %d\n", pass, s->scene_index);
        if (!clock.running.load(std::memory_order_relaxed))
            break;
    }

    free_asset_table(assets);
    show_free(s);
    sync_outdir(outdir);
    return EXIT_OK;
}

} // namespace

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    bool with_png = false;
    bool dump = false;
    std::vector<const char*> operands = parse_command_line(
        TOOL, argc, argv, {flag_option("--png", &with_png), flag_option("--dump-tables", &dump)});
    int status = EXIT_OK;
    if (dump) {
        if (operands.size() != 1 || with_png)
            usage_error(PROGRAM, "--dump-tables takes exactly one argument, OUTDIR");
        status = dump_tables(operands[0]);
    } else {
        if (operands.size() != 3)
            usage_error(PROGRAM, "expected ASSETS TIMELINE OUTDIR");
        require_regular_inputs(PROGRAM, {operands[0], operands[1]});
        status = render(operands[0], operands[1], operands[2], with_png);
    }
    if (!standard_output_ok(PROGRAM) && status == EXIT_OK)
        status = EXIT_FAILED;
    return status;
}
