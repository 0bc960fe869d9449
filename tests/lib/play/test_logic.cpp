// quab-play's logic without a window: how the command line settles, which key does what (and
// that --help and the man page name every key), where Left and Right jump, when the show starts
// a scene afresh, and the checker's answer from a show check.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "lib/play/check.h"
#include "lib/play/exact_show.h"
#include "lib/play/keys.h"
#include "lib/play/options.h"
#include "lib/play/show_loop.h"

namespace {

struct SettleCase {
    std::vector<const char*> operands;
    const char* music;
    const char* pictures;
    const char* loop;
    std::uint32_t start;
};

bool settle(const SettleCase& c, PlayOptions* opt, std::string* problem) {
    opt->source.music = c.music;
    opt->source.pictures = c.pictures;
    opt->source.assets = c.pictures ? "quab.dat" : nullptr;
    opt->start = c.start;
    return settle_play_options(opt, c.operands, c.loop, problem);
}

TEST(PlayOptions, Refused) {
    struct Case {
        SettleCase line;
        std::string problem;
    } cases[] = {
        {{{"a.xm", "b.xm"}, nullptr, nullptr, nullptr, 0},
         "more than one module given: a.xm and b.xm"},
        {{{"a.xm"}, "m.xm", nullptr, nullptr, 0}, "more than one module given: a.xm and m.xm"},
        {{{}, nullptr, "pics", nullptr, 0},
         "--assets and --pictures both name the pictures; give one of them"},
        {{{}, nullptr, nullptr, "5-3", 0},
         "--loop 5-3: not FIRST-LAST, song positions from 0 to 29 with FIRST not after LAST"},
    };
    for (const Case& c : cases) {
        PlayOptions opt;
        std::string problem;
        EXPECT_FALSE(settle(c.line, &opt, &problem)) << c.problem;
        EXPECT_EQ(problem, c.problem);
    }
}

TEST(PlayOptions, Settled) {
    struct Case {
        SettleCase line;
        const char* music;
        std::uint32_t start;
        std::int16_t loop_first, loop_last;
    } cases[] = {
        {{{"a.xm"}, nullptr, nullptr, nullptr, 0}, "a.xm", 0, 0, -1},
        {{{}, "m.xm", nullptr, nullptr, 7}, "m.xm", 7, 0, -1},
        // A loop starts at its first position unless the start lies within it.
        {{{}, nullptr, nullptr, "3-5", 0}, nullptr, 3, 3, 5},
        {{{}, nullptr, nullptr, "3-5", 4}, nullptr, 4, 3, 5},
        {{{}, nullptr, nullptr, "3-5", 7}, nullptr, 3, 3, 5},
        {{{}, nullptr, nullptr, "3-5", 2}, nullptr, 3, 3, 5},
    };
    for (const Case& c : cases) {
        PlayOptions opt;
        std::string problem;
        std::string name =
            std::string(c.line.loop ? c.line.loop : "-") + " start " + std::to_string(c.line.start);
        ASSERT_TRUE(settle(c.line, &opt, &problem)) << name << ": " << problem;
        EXPECT_STREQ(opt.source.music, c.music) << name;
        EXPECT_EQ(opt.start, c.start) << name;
        EXPECT_EQ(opt.loop_first, c.loop_first) << name;
        EXPECT_EQ(opt.loop_last, c.loop_last) << name;
    }
}

TEST(PlayKeys, Actions) {
    struct Case {
        SDL_Keycode key;
        Uint16 mod;
        bool repeat;
        KeyAction action;
    } cases[] = {
        {SDLK_ESCAPE, 0, false, KeyAction::QUIT},
        {SDLK_LEFT, 0, true, KeyAction::PREVIOUS},
        {SDLK_RIGHT, 0, false, KeyAction::NEXT},
        {SDLK_F11, 0, false, KeyAction::FULLSCREEN},
        {SDLK_F11, 0, true, KeyAction::NONE},
        {SDLK_RETURN, 0, false, KeyAction::NONE},
        {SDLK_RETURN, KMOD_LALT, false, KeyAction::FULLSCREEN},
        {SDLK_KP_ENTER, KMOD_RALT, false, KeyAction::FULLSCREEN},
        {SDLK_RETURN, KMOD_LALT, true, KeyAction::NONE},
        {SDLK_SPACE, 0, false, KeyAction::PAUSE},
        {SDLK_SPACE, 0, true, KeyAction::NONE},
        {SDLK_a, 0, false, KeyAction::NONE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(key_action(c.key, c.mod, c.repeat), c.action)
            << SDL_GetKeyName(c.key) << " mod " << c.mod << " repeat " << c.repeat;
}

// The words of the text from "Keys:" up to end, split at spaces and slashes, without the commas
// and full stops that end them.
std::set<std::string> key_words(const std::string& text, const char* end) {
    std::size_t from = text.find("Keys:");
    std::string keys = text.substr(from, text.find(end, from) - from);
    std::replace(keys.begin(), keys.end(), '/', ' ');
    std::set<std::string> words;
    std::istringstream in(keys);
    for (std::string w; in >> w;) {
        while (w.size() > 1 && (w.back() == ',' || w.back() == '.'))
            w.pop_back();
        words.insert(w);
    }
    return words;
}

TEST(PlayKeys, HelpAndManPageNameEveryKey) {
    std::ifstream man(QUAB_SOURCE_DIR "/data/man/quab-play.6.scd");
    std::stringstream page;
    page << man.rdbuf();
    ASSERT_NE(page.str().find("Keys:"), std::string::npos);
    std::set<std::string> help = key_words(PLAY_TOOL.notes, "Exit status");
    std::set<std::string> manual = key_words(page.str(), "\n\n");
    for (std::size_t i = 0; i < PLAY_KEY_COUNT; i++) {
        EXPECT_TRUE(help.count(PLAY_KEYS[i].name)) << PLAY_KEYS[i].name << " not in --help";
        EXPECT_TRUE(manual.count(PLAY_KEYS[i].name)) << PLAY_KEYS[i].name << " not in the man page";
    }
}

TEST(PlayOptions, HelpHoldsTheSharedLinesOfAssetsAndMusic) {
    std::istringstream shared(SHOW_INPUTS_HELP);
    std::string help = help_text(PLAY_TOOL);
    int lines = 0;
    for (std::string line; std::getline(shared, line); lines++)
        EXPECT_NE(help.find(line + "\n"), std::string::npos) << line;
    EXPECT_EQ(lines, 2);
}

// Where a stretch of music begins at a song position and row, the show goes on from the tick
// the uninterrupted mix first stands there; a row it never stands at goes on from the next one.
TEST(PlayBookkeeping, FirstTickOfASongPositionAndRow) {
    const std::vector<TickClock> ticks = {{0, 0}, {0, 0}, {0, 1}, {1, 0}, {1, 0}, {1, 2}, {3, 0}};
    struct Case {
        std::int16_t sngpos;
        std::uint16_t patpos;
        std::int32_t tick;
    } cases[] = {
        {0, 0, 0}, {0, 1, 2}, {1, 0, 3},
        {1, 2, 5}, {1, 1, 5}, // a row skipped over: the next row's first tick
        {2, 0, 6},            // a position skipped over: the next position's
        {5, 0, 7},            // past the show: the table's end
    };
    for (const Case& c : cases)
        EXPECT_EQ(first_tick_at(ticks, c.sngpos, c.patpos), c.tick)
            << "position " << c.sngpos << " row " << c.patpos;
    EXPECT_EQ(first_tick_at({}, 0, 0), 0);
}

TEST(PlayBookkeeping, JumpTargets) {
    struct Case {
        std::uint32_t jumps_asked, jumps_heard;
        int asked_position;
        std::int16_t heard_position;
        int delta, target;
    } cases[] = {
        // Every jump made: from the position heard; one still to come: from the one asked.
        {2, 2, 9, 5, 1, 6},
        {3, 2, 8, 5, 1, 9},
        {3, 2, 8, 5, -1, 7},
        // Never below the first position.
        {0, 0, 0, 0, -1, 0},
        {4, 3, 0, 6, -1, 0},
    };
    auto p = std::make_unique<Player>();
    for (const Case& c : cases) {
        p->jumps_asked = c.jumps_asked;
        p->heard.jumps = c.jumps_heard;
        p->asked_position = c.asked_position;
        p->heard.sngpos = c.heard_position;
        EXPECT_EQ(jump_target(*p, c.delta), c.target)
            << c.jumps_asked << "/" << c.jumps_heard << " delta " << c.delta;
    }
}

TEST(PlayBookkeeping, SceneStartsAfreshAfterJumpsAndLoopsBack) {
    struct Case {
        const char* name;
        std::uint32_t jumps_seen, jumps_heard;
        std::int16_t loop_first, loop_last, shown, heard;
        bool restarts;
    } cases[] = {
        {"a new jump heard", 1, 2, 0, -1, 4, 9, true},
        {"playing on", 2, 2, 0, -1, 4, 5, false},
        {"the song itself going back, no loop", 2, 2, 0, -1, 4, 1, false},
        {"the loop going back", 0, 0, 3, 5, 5, 3, true},
        {"at the loop's first, not from later", 0, 0, 3, 5, 3, 3, false},
        {"back, but not to the loop's first", 0, 0, 3, 5, 5, 4, false},
    };
    auto p = std::make_unique<Player>();
    for (const Case& c : cases) {
        p->jumps_seen = c.jumps_seen;
        p->loop_first = c.loop_first;
        p->loop_last = c.loop_last;
        p->shown_sngpos = c.shown;
        HeardClock heard{};
        heard.jumps = c.jumps_heard;
        heard.sngpos = c.heard;
        EXPECT_EQ(show_restarts(*p, heard), c.restarts) << c.name;
    }
}

// The checker's warnings are the show check's, the ones quab-check prints; a check that could
// not judge the files leaves the warnings known as they were.
TEST(PlayChecker, AnswerIsTheShowChecksWarnings) {
    struct Case {
        const char* name;
        bool files_read, out_of_memory;
        std::vector<std::string> warnings, answer;
    } cases[] = {
        {"warnings", true, false, {"one", "two"}, {"one", "two"}},
        {"a file unusable", false, false, {"one"}, {NO_VERDICT}},
        {"cut short", true, true, {"one"}, {NO_VERDICT}},
    };
    for (const Case& c : cases) {
        ShowCheck check{};
        check.files_read = c.files_read;
        check.out_of_memory = c.out_of_memory;
        check.warnings = c.warnings;
        EXPECT_EQ(checker_answer(check), c.answer) << c.name;
    }
}

} // namespace
