// The command-line habits every tool shares: one set of exit statuses, one version, --help that
// opens with what the program does, a usage error in two lines on standard error (the problem,
// then where to look), and options read from one table per tool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Every tool ends with one of these (quab-check adds its own meaning to 1: warnings).
constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;    // the work could not be done: a write, memory, a library
constexpr int EXIT_BAD_INPUT = 2; // a bad command line, or an input the tool cannot use
// No show file named and none found where the tools look: an input missing, so the same status
// from every tool (1 stays free for quab-check's warnings).
constexpr int EXIT_NO_SHOW = EXIT_BAD_INPUT;

// The project's version, set once in the top CMakeLists.txt.
#ifndef QUAB_VERSION
#error "QUAB_VERSION comes from the top CMakeLists.txt"
#endif
constexpr const char* PROJECT_VERSION = QUAB_VERSION;

// What --help prints, in this order: summary, "Usage: " program usage, the tool's options, the
// two every tool has (-h/--help, --version), then notes.
struct ToolText {
    const char* program; // "quab-check"
    const char* summary; // one line: what the program does
    const char* usage;   // after "Usage: program ": operands and options; a second form on a
                         // line of its own, indented under the first
    const char* options; // one line per option, two spaces in, its words at column 20; or ""
    const char* notes;   // exit statuses, keys, examples; or ""
};

// The help text as --help prints it.
std::string help_text(const ToolText& tool);

// The usage error: "program: problem" and "Try 'program --help'." on standard error, status 2.
[[noreturn]] void usage_error(const char* program, const std::string& problem);

enum class OptionKind { FLAG, TEXT, COUNT };

// One option a tool takes. A FLAG sets *flag; a TEXT takes the next argument into *text; a COUNT
// takes the next argument as a whole number from low to high into *count.
struct OptionSpec {
    const char* name; // "--music"
    OptionKind kind;
    bool* flag;
    const char** text;
    std::uint32_t* count;
    std::uint32_t low, high;
};

static inline OptionSpec flag_option(const char* name, bool* flag) {
    return {name, OptionKind::FLAG, flag, nullptr, nullptr, 0, 0};
}
static inline OptionSpec text_option(const char* name, const char** text) {
    return {name, OptionKind::TEXT, nullptr, text, nullptr, 0, 0};
}
static inline OptionSpec count_option(const char* name, std::uint32_t low, std::uint32_t high,
                                      std::uint32_t* count) {
    return {name, OptionKind::COUNT, nullptr, nullptr, count, low, high};
}

// The show's two inputs, as every tool that plays a show takes them. Macros, so that a tool's
// constexpr ToolText can join them to its own usage and option lines.
#define SHOW_INPUTS_USAGE "[--assets FILE] [--music FILE]"
#define SHOW_INPUTS_HELP                                                                           \
    "  --assets FILE     the asset file (default: quab.dat, looked up)\n"                          \
    "  --music FILE      the music module (default: music.xm, looked up)\n"

// The files --assets and --music named; null when not given: the tool looks them up by name
// (find_show_file).
struct ShowInputs {
    const char* assets = nullptr;
    const char* music = nullptr;
};

// The two options' entries for a tool's option table.
static inline OptionSpec assets_option(ShowInputs* inputs) {
    return text_option("--assets", &inputs->assets);
}
static inline OptionSpec music_option(ShowInputs* inputs) {
    return text_option("--music", &inputs->music);
}

// Reads the command line against the table. -h/--help and --version answer first, wherever they
// stand, and exit (status 1 when standard output cannot take the text). Anything else starting
// with '-' that is not in the table is a usage error, never a file name. Returns the operands
// in order; their number is the tool's to check (with usage_error).
std::vector<const char*> parse_command_line(const ToolText& tool, int argc, char** argv,
                                            const std::vector<OptionSpec>& options);

// A whole number from low to high written in plain decimal digits (at most six), into *value.
[[nodiscard]] bool parse_count(const char* text, std::uint32_t low, std::uint32_t high,
                               std::uint32_t* value);

// The one operand of a tool whose command line is just OUT.
const char* single_output_argument(const ToolText& tool, int argc, char** argv);
