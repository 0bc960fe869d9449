// Every tool against files that are not what they seem, run as child processes: an output name
// that is a device, a FIFO, a directory or a symlink; a full filesystem; inputs that are not
// regular files (FIFOs, /dev/zero) or far too large (sparse files); a closed or full standard
// output; quab-assets unpacking over edited pictures; and quab-export killed outright while
// ffmpeg encodes.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/process.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// A tool that writes one file, as a shell command with $OUT for the output name; $ASSETS and
// $MODULE are small valid inputs made once per test.
// Test names in ctest's list rather than the bytes of the case.
template <typename Case> void print_name(const Case& c, std::ostream* os) { *os << c.name; }

struct Writer {
    const char* name;
    std::string command;
    int failure_status; // the tool's status when it cannot write
};

void PrintTo(const Writer& c, std::ostream* os) { print_name(c, os); }

const std::string ASSETS_TOOL = QUAB_ASSETS_PATH;
const std::string TESTASSETS_TOOL = QUAB_TESTASSETS_PATH;
const std::string MUSIC_TOOL = QUAB_MUSIC_PATH;
const std::string TESTMOD_TOOL = QUAB_TESTMOD_PATH;
const std::string RENDER_TOOL = QUAB_RENDER_PATH;
const std::string EXPORT_TOOL = QUAB_EXPORT_PATH;
const std::string CHECK_TOOL = QUAB_CHECK_PATH;
const std::string PLAY_TOOL = QUAB_PLAY_PATH;

const std::vector<Writer> WRITERS = {
    {"assets_build", ASSETS_TOOL + " build $OUT", 1},
    {"testassets", TESTASSETS_TOOL + " $OUT", 1},
    {"music", MUSIC_TOOL + " $OUT", 1},
    {"testmod", TESTMOD_TOOL + " $OUT", 1},
    {"export", EXPORT_TOOL + " --assets $ASSETS --music $MODULE --scale 1 --fps 5 $OUT", 2},
};

std::string replaced(std::string s, const std::string& key, const std::string& value) {
    for (std::size_t at; (at = s.find(key)) != std::string::npos;)
        s.replace(at, key.size(), value);
    return s;
}

class Files : public ::testing::Test {
  protected:
    void SetUp() override {
        root = make_temp_dir();
        ASSERT_FALSE(root.empty());
        inputs = root + "/in";
        work = root + "/work";
        fs::create_directory(inputs);
        fs::create_directory(work);
        fs::create_directory(root + "/tmp");
    }
    void TearDown() override {
        if (!mounted.empty())
            umount2(mounted.c_str(), MNT_DETACH);
        if (!HasFailure())
            fs::remove_all(root);
    }

    // Runs a command (words split at spaces) in the work folder, with standard output elsewhere
    // on request (CLOSED_STDOUT, "/dev/full"); the exporter's work folder is our own.
    RunResult run(const std::string& command, const std::string& stdout_to = "") {
        Child c = child_of(words_of(command));
        c.cwd = work;
        c.env["TMPDIR"] = root + "/tmp";
        c.stdout_to = stdout_to;
        return run_child(c, root);
    }

    std::string expand(const std::string& command, const std::string& out) {
        if (command.find("$ASSETS") != std::string::npos && assets.empty()) {
            assets = inputs + "/test.dat";
            EXPECT_EQ(run(TESTASSETS_TOOL + " " + assets).status, 0);
        }
        if (command.find("$MODULE") != std::string::npos && module.empty()) {
            module = inputs + "/song.xm";
            EXPECT_EQ(run(TESTMOD_TOOL + " " + module).status, 0);
        }
        return replaced(replaced(replaced(command, "$ASSETS", assets), "$MODULE", module), "$OUT",
                        out);
    }

    // A tmpfs of a few pages at path, filled to the last byte. False when mounting is not
    // permitted here.
    bool mount_full_filesystem(const std::string& path) {
        fs::create_directory(path);
        if (mount("tmpfs", path.c_str(), "tmpfs", 0, "size=256k") != 0)
            return false;
        mounted = path;
        int fd = open((path + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
        EXPECT_GE(fd, 0);
        char block[4096] = {};
        while (write(fd, block, sizeof block) > 0) {
        }
        while (write(fd, block, 1) > 0) {
        }
        close(fd);
        return true;
    }

    std::string root, inputs, work, assets, module, mounted;
};

// The name's kind as lstat sees it.
mode_t kind_of(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// ---- An output name that is a device, a FIFO or a directory is refused and left as it is.

struct NodeCase {
    const char* name;
    mode_t kind;
    const char* message;
};

void PrintTo(const NodeCase& c, std::ostream* os) { print_name(c, os); }

const NodeCase NODES[] = {
    {"device", S_IFCHR, "out.mp4: is a character device"},
    {"fifo", S_IFIFO, "out.mp4: is a FIFO"},
    {"directory", S_IFDIR, "out.mp4: is a directory"},
};

class OutputOverNode : public Files,
                       public ::testing::WithParamInterface<std::tuple<Writer, NodeCase>> {};

TEST_P(OutputOverNode, IsRefusedWithALineAndLeftAsItIs) {
    const auto& [writer, node] = GetParam();
    std::string out = work + "/out.mp4";
    if (node.kind == S_IFCHR && mknod(out.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "mknod is not permitted here: " << std::strerror(errno);
    }
    if (node.kind == S_IFIFO) {
        ASSERT_EQ(mkfifo(out.c_str(), 0666), 0);
    }
    if (node.kind == S_IFDIR) {
        ASSERT_TRUE(fs::create_directory(out));
    }

    RunResult r = run(expand(writer.command, out));
    EXPECT_EQ(r.status, writer.failure_status) << r.err;
    EXPECT_NE(r.err.find(node.message), std::string::npos) << r.err;
    EXPECT_EQ(kind_of(out), node.kind);
    EXPECT_EQ(names_in(work), std::set<std::string>{"out.mp4"});
    if (node.kind == S_IFDIR) {
        EXPECT_TRUE(names_in(out).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Tools, OutputOverNode,
                         ::testing::Combine(::testing::ValuesIn(WRITERS),
                                            ::testing::ValuesIn(NODES)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).name;
                         });

// quab-render writes its frames into OUTDIR; a frame's name taken by a device is refused too.
TEST_F(Files, RenderRefusesAFrameNameThatIsADevice) {
    std::string frames = work + "/frames";
    fs::create_directory(frames);
    std::string frame = frames + "/frame_00000.raw";
    if (mknod(frame.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "mknod is not permitted here: " << std::strerror(errno);
    std::ofstream(inputs + "/timeline.txt") << "0 0 0\n";
    RunResult r = run(expand(RENDER_TOOL + " $ASSETS " + inputs + "/timeline.txt " + frames, ""));
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("frame_00000.raw: is a character device"), std::string::npos) << r.err;
    EXPECT_EQ(kind_of(frame), S_IFCHR);
    EXPECT_EQ(names_in(frames), std::set<std::string>{"frame_00000.raw"});
}

// ---- A symlink is followed: its target is replaced, the link stays; a dangling link's target
// is created.

class OutputOverSymlink : public Files, public ::testing::WithParamInterface<Writer> {};

TEST_P(OutputOverSymlink, ReplacesTheTargetAndKeepsTheLink) {
    const Writer& writer = GetParam();
    // What the tool writes under a plain name, to compare with.
    std::string plain = root + "/plain.mp4";
    ASSERT_EQ(run(expand(writer.command, plain)).status, 0);
    std::string expected = slurp(plain);
    ASSERT_FALSE(expected.empty());

    std::string elsewhere = work + "/real";
    fs::create_directory(elsewhere);
    std::ofstream(elsewhere + "/old.mp4") << "old";
    struct LinkCase {
        const char* link;
        const char* points_to; // relative to the link's folder
        const char* target;
    };
    const LinkCase links[] = {
        {"out.mp4", "real/old.mp4", "old.mp4"},
        {"new.mp4", "real/missing.mp4", "missing.mp4"},
    };
    for (const LinkCase& l : links) {
        SCOPED_TRACE(l.link);
        std::string link = work + "/" + l.link;
        ASSERT_EQ(symlink(l.points_to, link.c_str()), 0);
        RunResult r = run(expand(writer.command, link));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(kind_of(link), S_IFLNK);
        EXPECT_EQ(fs::read_symlink(link).string(), l.points_to);
        std::string written = slurp(elsewhere + "/" + l.target);
        // The video's container carries no run-dependent bytes we rely on; its size will do.
        if (std::string(writer.name) == "export")
            EXPECT_EQ(written.size(), expected.size());
        else
            EXPECT_TRUE(written == expected) << "the target does not hold what the tool writes";
    }
    EXPECT_EQ(names_in(elsewhere), (std::set<std::string>{"old.mp4", "missing.mp4"}));
    EXPECT_EQ(names_in(work), (std::set<std::string>{"real", "out.mp4", "new.mp4"}));
}

INSTANTIATE_TEST_SUITE_P(Tools, OutputOverSymlink, ::testing::ValuesIn(WRITERS),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- A full filesystem: the tool fails with the system's reason and leaves no file.

struct FullDiskCase {
    const char* name;
    std::string command; // $OUT is a name on the full filesystem
    int status;
    const char* reason;
};

void PrintTo(const FullDiskCase& c, std::ostream* os) { print_name(c, os); }

class FullDisk : public Files, public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(FullDisk, FailsWithTheReasonAndLeavesNothing) {
    const FullDiskCase& c = GetParam();
    std::string full = root + "/full";
    if (!mount_full_filesystem(full))
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    if (c.command.find("unpack") != std::string::npos ||
        c.command.find("timeline") != std::string::npos) {
        ASSERT_EQ(run(TESTASSETS_TOOL + " " + inputs + "/test.dat").status, 0);
        std::ofstream(inputs + "/timeline.txt") << "0 0 0\n1 0 0\n";
    }
    std::string command = replaced(c.command, "$IN", inputs);
    RunResult r = run(expand(command, full + "/out"));
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    // Nothing but the filler, and at most the empty output folder a tool made.
    for (const std::string& name : names_in(full)) {
        if (name == "filler")
            continue;
        EXPECT_EQ(name, "out");
        EXPECT_TRUE(fs::is_directory(full + "/out") && names_in(full + "/out").empty())
            << "left behind in the output folder: " << names_in(full + "/out").size() << " names";
    }
}

const char* NO_SPACE = "No space left on device";

INSTANTIATE_TEST_SUITE_P(
    Tools, FullDisk,
    ::testing::Values(
        FullDiskCase{"assets_build", ASSETS_TOOL + " build $OUT", 1, NO_SPACE},
        FullDiskCase{"assets_unpack", ASSETS_TOOL + " unpack $IN/test.dat $OUT", 1, NO_SPACE},
        FullDiskCase{"testassets", TESTASSETS_TOOL + " $OUT", 1, NO_SPACE},
        FullDiskCase{"music", MUSIC_TOOL + " $OUT", 1, NO_SPACE},
        FullDiskCase{"testmod", TESTMOD_TOOL + " $OUT", 1, NO_SPACE},
        FullDiskCase{"render", RENDER_TOOL + " $IN/test.dat $IN/timeline.txt $OUT", 2, NO_SPACE},
        FullDiskCase{"export",
                     EXPORT_TOOL + " --assets $ASSETS --music $MODULE --scale 1 --fps 5 $OUT.mp4",
                     2, "ffmpeg failed"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Inputs without end or far too large are refused at once, with a line, without an abort.

struct InputCase {
    const char* name;
    std::string command; // $IN: the inputs folder; $OUT: an output name in the work folder
    const char* message;
};

void PrintTo(const InputCase& c, std::ostream* os) { print_name(c, os); }

class EndlessInput : public Files, public ::testing::WithParamInterface<InputCase> {};

TEST_P(EndlessInput, IsRefusedWithStatus2AndNothingWritten) {
    const InputCase& c = GetParam();
    // A good timeline, a 2 GB asset file of zeros, a folder of pictures whose first is
    // /dev/zero and one whose first is a 1 GB sparse file with a PNG signature.
    std::ofstream(inputs + "/timeline.txt") << "0 0 0\n";
    std::string zeros = inputs + "/zeros.dat";
    ASSERT_TRUE(write_bytes(zeros, {}));
    ASSERT_EQ(truncate(zeros.c_str(), off_t{2} << 30), 0);
    fs::create_directory(inputs + "/linked");
    fs::create_symlink("/dev/zero", inputs + "/linked/00.png");
    fs::create_directory(inputs + "/sparse");
    std::string sparse = inputs + "/sparse/00.png";
    ASSERT_TRUE(write_bytes(sparse, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    ASSERT_EQ(truncate(sparse.c_str(), off_t{1} << 30), 0);

    std::string command = replaced(c.command, "$IN", inputs);
    RunResult r = run(expand(command, work + "/out"));
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(names_in(work).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tools, EndlessInput,
    ::testing::Values(
        InputCase{"render_timeline_dev_zero", RENDER_TOOL + " $ASSETS /dev/zero $OUT",
                  "quab-render: /dev/zero: not a regular file\n"},
        InputCase{"render_assets_dev_zero", RENDER_TOOL + " /dev/zero $IN/timeline.txt $OUT",
                  "quab-render: /dev/zero: not a regular file\n"},
        InputCase{"render_assets_2gb_of_zeros",
                  RENDER_TOOL + " $IN/zeros.dat $IN/timeline.txt $OUT",
                  "zeros.dat: cannot load the asset file"},
        InputCase{"assets_unpack_dev_zero", ASSETS_TOOL + " unpack /dev/zero $OUT",
                  "quab-assets: /dev/zero: not a regular file\n"},
        InputCase{"assets_unpack_2gb_of_zeros", ASSETS_TOOL + " unpack $IN/zeros.dat $OUT",
                  "zeros.dat: cannot load the asset file"},
        InputCase{"assets_build_png_linked_to_dev_zero",
                  ASSETS_TOOL + " build $OUT --from $IN/linked", "00.png: not a regular file"},
        InputCase{"assets_build_sparse_1gb_png", ASSETS_TOOL + " build $OUT --from $IN/sparse",
                  "00.png: larger than 64 MB"},
        InputCase{"export_assets_dev_zero",
                  EXPORT_TOOL + " --assets /dev/zero --music $MODULE $OUT.mp4",
                  "quab-export: /dev/zero: not a regular file\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- A FIFO as an input is refused at once with one line and status 2: nothing waits for a
// writer that never comes.

struct FifoCase {
    const char* name;
    std::string command; // $FIFO: a FIFO in the inputs folder; $IN, $ASSETS, $MODULE as above
    std::string refused; // the path the line names
};

void PrintTo(const FifoCase& c, std::ostream* os) { print_name(c, os); }

class FifoInput : public Files, public ::testing::WithParamInterface<FifoCase> {};

TEST_P(FifoInput, IsRefusedAtOnceWithOneLine) {
    const FifoCase& c = GetParam();
    std::string fifo = inputs + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    fs::create_directory(inputs + "/pictures");
    ASSERT_EQ(mkfifo((inputs + "/pictures/05.png").c_str(), 0666), 0);
    std::ofstream(inputs + "/timeline.txt") << "0 0 0\n";
    std::string command = replaced(replaced(c.command, "$FIFO", fifo), "$IN", inputs);
    // A tool that waits for a writer is stopped after 20 s (status 124) rather than hanging.
    RunResult r = run("/usr/bin/timeout 20 " + expand(command, work + "/out"));
    std::string program = words_of(command)[0];
    program = program.substr(program.rfind('/') + 1);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err,
              program + ": " + replaced(c.refused, "$IN", inputs) + ": not a regular file\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(names_in(work).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tools, FifoInput,
    ::testing::Values(
        FifoCase{"check_assets", CHECK_TOOL + " --assets $FIFO --music $MODULE", "$IN/fifo"},
        FifoCase{"check_music", CHECK_TOOL + " --assets $ASSETS --music $FIFO", "$IN/fifo"},
        FifoCase{"play_assets", PLAY_TOOL + " --assets $FIFO --music $MODULE --mute", "$IN/fifo"},
        FifoCase{"play_music", PLAY_TOOL + " --assets $ASSETS --music $FIFO --mute", "$IN/fifo"},
        FifoCase{"export_assets", EXPORT_TOOL + " --assets $FIFO --music $MODULE $OUT.mp4",
                 "$IN/fifo"},
        FifoCase{"export_music", EXPORT_TOOL + " --assets $ASSETS --music $FIFO $OUT.mp4",
                 "$IN/fifo"},
        FifoCase{"render_assets", RENDER_TOOL + " $FIFO $IN/timeline.txt $OUT", "$IN/fifo"},
        FifoCase{"render_timeline", RENDER_TOOL + " $ASSETS $FIFO $OUT", "$IN/fifo"},
        FifoCase{"assets_unpack", ASSETS_TOOL + " unpack $FIFO $OUT", "$IN/fifo"},
        FifoCase{"assets_build_from", ASSETS_TOOL + " build $OUT --from $IN/pictures",
                 "$IN/pictures/05.png"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Standard output that cannot take the results: the program says so and fails, even when
// everything else worked.

struct FullOutputCase {
    const char* name;
    std::string command; // $OUT: a name in the work folder
    int status;          // the program's failure status
};

void PrintTo(const FullOutputCase& c, std::ostream* os) { print_name(c, os); }

class FullStandardOutput : public Files, public ::testing::WithParamInterface<FullOutputCase> {};

TEST_P(FullStandardOutput, FailsWithTheReason) {
    const FullOutputCase& c = GetParam();
    // Enough passes that quab-render's lines fill stdio's buffer while it runs.
    std::string timeline;
    for (int pass = 0; pass < 300; pass++)
        timeline += std::to_string(pass) + " 0 0\n";
    std::ofstream(inputs + "/timeline.txt") << timeline;
    std::string command = replaced(c.command, "$IN", inputs);
    RunResult r = run(expand(command, work + "/out"), "/dev/full");
    std::string program = words_of(command)[0];
    program = program.substr(program.rfind('/') + 1);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(program + ": cannot write standard output: No space left on device\n"),
              std::string::npos)
        << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Tools, FullStandardOutput,
    ::testing::Values(
        // The plan is about 4 kB: more than one buffer of it is lost on the way.
        FullOutputCase{"check", CHECK_TOOL + " --assets $ASSETS --music $MODULE", 2},
        FullOutputCase{"render", RENDER_TOOL + " $ASSETS $IN/timeline.txt $OUT", 1},
        FullOutputCase{"assets_build", ASSETS_TOOL + " build $OUT", 1},
        FullOutputCase{"export",
                       EXPORT_TOOL + " --assets $ASSETS --music $MODULE --scale 1 --fps 5 $OUT.mp4",
                       1},
        FullOutputCase{"testmod_help", TESTMOD_TOOL + " --help", 1},
        FullOutputCase{"music_version", MUSIC_TOOL + " --version", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- A second unpack into a folder of pictures the maker edited leaves every one of them as it
// is and names them; --force replaces them.

TEST_F(Files, UnpackKeepsEditedPicturesUnlessForced) {
    std::string dat = inputs + "/built.dat";
    ASSERT_EQ(run(ASSETS_TOOL + " build " + dat).status, 0);
    std::string pictures = work + "/pictures";
    RunResult first = run(ASSETS_TOOL + " unpack " + dat + " " + pictures);
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(names_in(pictures).size(), 30u);
    std::string edited = pictures + "/05-scene2-overlay-1.png";
    std::string original = slurp(edited);
    std::ofstream(edited, std::ios::binary | std::ios::trunc) << "an edit";

    struct Case {
        const char* name;
        std::vector<std::string> removed; // pictures taken away before the unpack
        std::string line;                 // what it says, with $P for the pictures folder
    };
    const Case cases[] = {
        {"all thirty there",
         {},
         "quab-assets: $P/00-layer-0.png, $P/01-layer-1.png, $P/02-scene1-mask-1.png and 27 more "
         "pictures already exist; unpack --force replaces them\n"},
        {"only the edited one there",
         {"00-layer-0.png",           "01-layer-1.png",
          "02-scene1-mask-1.png",     "03-scene1-mask-2.png",
          "04-scene2-texture.png",    "06-scene2-overlay-2.png",
          "07-scene2-overlay-3.png",  "08-scene3-height-field.png",
          "09-scene3-light-map.png",  "10-scene3-overlay.png",
          "11-scene4-overlay-1.png",  "12-scene4-overlay-2.png",
          "13-scene4-overlay-3.png",  "14-scene4-overlay-4.png",
          "15-scene5-tunnel.png",     "16-scene6-picture.png",
          "17-scene7-background.png", "18-scene7-word-1.png",
          "19-scene7-word-2.png",     "20-scene7-word-3.png",
          "21-scene7-word-4.png",     "22-scene7-word-5.png",
          "23-scene7-word-6.png",     "24-scene7-word-7.png",
          "25-scene7-word-8.png",     "26-scene7-word-9.png",
          "27-scene7-word-10.png",    "28-scene5-strip.png",
          "29-scene8-scroller.png"},
         "quab-assets: $P/05-scene2-overlay-1.png already exists; unpack --force replaces them\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::string& name : c.removed)
            fs::remove(pictures + "/" + name);
        RunResult again = run(ASSETS_TOOL + " unpack " + dat + " " + pictures);
        EXPECT_EQ(again.status, 2);
        EXPECT_EQ(again.err, replaced(c.line, "$P", pictures));
        EXPECT_EQ(again.out, "");
        EXPECT_EQ(slurp(edited), "an edit");
        EXPECT_EQ(names_in(pictures).size(), 30u - c.removed.size());
    }
    RunResult forced = run(ASSETS_TOOL + " unpack " + dat + " " + pictures + " --force");
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(names_in(pictures).size(), 30u);
    EXPECT_TRUE(slurp(edited) == original);
}

// ---- A closed standard output: the files opened for writing must not take its number, or the
// tool's own lines end up inside them.

TEST_F(Files, ClosedStandardOutputDoesNotReachTheFiles) {
    std::string assets_file = inputs + "/test.dat";
    ASSERT_EQ(run(TESTASSETS_TOOL + " " + assets_file, CLOSED_STDOUT).status, 0);
    ASSERT_EQ(run(TESTASSETS_TOOL + " " + root + "/plain.dat").status, 0);
    EXPECT_TRUE(slurp(assets_file) == slurp(root + "/plain.dat"));
    // quab-assets reports what it wrote: with nowhere to report it, the run fails, but the file
    // is whole.
    std::string built = inputs + "/built.dat";
    EXPECT_EQ(run(ASSETS_TOOL + " build " + built, CLOSED_STDOUT).status, 1);
    ASSERT_EQ(run(ASSETS_TOOL + " build " + root + "/built_plain.dat").status, 0);
    EXPECT_TRUE(slurp(built) == slurp(root + "/built_plain.dat"));

    // 300 passes print more "pass" lines than stdout's buffer holds, so they are written out
    // while frames are open.
    std::string timeline;
    for (int pass = 0; pass < 300; pass++)
        timeline += std::to_string(pass) + " 0 0\n";
    std::ofstream(inputs + "/timeline.txt") << timeline;
    std::string frames = root + "/frames";
    RunResult r = run(RENDER_TOOL + " " + assets_file + " " + inputs + "/timeline.txt " + frames,
                      CLOSED_STDOUT);
    // Its lines could not be written: a failure, reported as one.
    EXPECT_EQ(r.status, 1) << r.err;
    ASSERT_EQ(names_in(frames).size(), 300u);
    for (const std::string& name : names_in(frames))
        EXPECT_EQ(fs::file_size(frames + "/" + name), 320u * 240u * 4u) << name;
}

// ---- quab-export killed outright: ffmpeg dies with it.

std::vector<pid_t> children_of(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::vector<pid_t> pids;
    for (pid_t child; f >> child;)
        pids.push_back(child);
    return pids;
}

// Gone, or a zombie left for a reaper that does not reap.
bool process_gone(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(f, line))
        return true;
    std::size_t paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z';
}

TEST_F(Files, FfmpegDiesWithAKilledExport) {
    // About four minutes of song: ffmpeg is still encoding when the export is killed.
    std::string song = inputs + "/long.xm";
    ASSERT_EQ(run(TESTMOD_TOOL + " " + song + " --rows 64 --speed 6 --bpm 125").status, 0);
    ASSERT_EQ(run(TESTASSETS_TOOL + " " + inputs + "/test.dat").status, 0);
    Child c = child_of({EXPORT_TOOL, "--assets", inputs + "/test.dat", "--music", song, "--scale",
                        "1", work + "/out.mp4"});
    c.env["TMPDIR"] = root + "/tmp";
    pid_t pid = start_child(c, root + "/export.out", root + "/export.err");
    ASSERT_GT(pid, 0);
    pid_t ffmpeg = -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ffmpeg < 0 && std::chrono::steady_clock::now() < deadline) {
        std::vector<pid_t> kids = children_of(pid);
        if (!kids.empty())
            ffmpeg = kids.front();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    RunResult r = finish_child(pid, root + "/export.out", root + "/export.err");
    ASSERT_GT(ffmpeg, 0) << "ffmpeg never started: " << r.err;
    EXPECT_EQ(r.status, 128 + SIGKILL);
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!process_gone(ffmpeg) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    bool gone = process_gone(ffmpeg);
    if (!gone)
        kill(ffmpeg, SIGKILL);
    EXPECT_TRUE(gone) << "ffmpeg (pid " << ffmpeg << ") outlived the export";
}

} // namespace
