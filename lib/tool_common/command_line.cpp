// The shared command line: the help layout, the usage error and the option table's reader.
#include "lib/tool_common/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/tool_common/streams.h"

namespace {

// The two options every tool answers, listed the same way in every help text.
constexpr const char* COMMON_OPTIONS = "  -h, --help        print this help and exit\n"
                                       "  --version         print the version and exit\n";

bool is_help_option(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

[[noreturn]] void print_and_exit(const char* program, const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::exit(standard_output_ok(program) ? EXIT_OK : EXIT_FAILED);
}

} // namespace

std::string help_text(const ToolText& tool) {
    std::string text = std::string(tool.summary) + "\n";
    text += std::string("Usage: ") + tool.program + " " + tool.usage + "\n";
    text += tool.options;
    text += COMMON_OPTIONS;
    text += tool.notes;
    return text;
}

void usage_error(const char* program, const std::string& problem) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program, problem.c_str(), program);
    std::exit(EXIT_BAD_INPUT);
}

bool parse_count(const char* text, std::uint32_t low, std::uint32_t high, std::uint32_t* value) {
    if (!*text || std::strlen(text) > 6)
        return false;
    std::uint32_t v = 0;
    for (const char* p = text; *p; p++) {
        if (*p < '0' || *p > '9')
            return false;
        v = v * 10 + static_cast<std::uint32_t>(*p - '0');
    }
    if (v < low || v > high)
        return false;
    *value = v;
    return true;
}

std::vector<const char*> parse_command_line(const ToolText& tool, int argc, char** argv,
                                            const std::vector<OptionSpec>& options) {
    // Asking for help is answered even beside a mistake, as the mistake is what it is asked about.
    for (int i = 1; i < argc; i++) {
        if (is_help_option(argv[i]))
            print_and_exit(tool.program, help_text(tool));
        if (std::strcmp(argv[i], "--version") == 0)
            print_and_exit(tool.program, std::string(tool.program) + " " + PROJECT_VERSION + "\n");
    }
    std::vector<const char*> operands;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& o : options)
            if (std::strcmp(o.name, arg) == 0)
                spec = &o;
        if (!spec)
            usage_error(tool.program, std::string("unknown option ") + arg);
        if (spec->kind == OptionKind::FLAG) {
            *spec->flag = true;
            continue;
        }
        if (i + 1 >= argc)
            usage_error(tool.program, std::string(arg) + " needs a value");
        const char* value = argv[++i];
        if (spec->kind == OptionKind::TEXT) {
            *spec->text = value;
            continue;
        }
        if (!parse_count(value, spec->low, spec->high, spec->count))
            usage_error(tool.program, std::string(arg) + " " + value +
                                          ": not a whole number from " + std::to_string(spec->low) +
                                          " to " + std::to_string(spec->high));
    }
    return operands;
}

const char* single_output_argument(const ToolText& tool, int argc, char** argv) {
    std::vector<const char*> operands = parse_command_line(tool, argc, argv, {});
    if (operands.empty())
        usage_error(tool.program, "no output file given");
    if (operands.size() > 1)
        usage_error(tool.program, "more than one output file given");
    return operands[0];
}
