// The command-line habits every tool shares: -h and --help print the usage on standard output
// and exit 0 (1 when it cannot be written); a usage error is one line and the usage on standard
// error, exit status 2; anything starting with '-' that is not an option is never a file name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

constexpr int EXIT_USAGE_ERROR = 2;

static inline bool is_help_option(const char* arg) {
    return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

[[noreturn]] static inline void print_usage_and_exit(const char* usage) {
    std::fputs(usage, stdout);
    std::exit(std::fflush(stdout) == 0 ? 0 : 1);
}

[[noreturn]] static inline void print_version_and_exit(const char* version) {
    std::printf("%s\n", version);
    std::exit(std::fflush(stdout) == 0 ? 0 : 1);
}

[[noreturn]] static inline void usage_failure(const char* program, const std::string& problem,
                                              const char* usage) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n%s", program, problem.c_str(), usage);
    std::exit(EXIT_USAGE_ERROR);
}

// A whole number from low to high written in plain decimal digits (at most six), into *value.
static inline bool parse_count(const char* text, std::uint32_t low, std::uint32_t high,
                               std::uint32_t* value) {
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

// The one argument of a tool whose command line is just OUT: answers --help first, wherever it
// stands, and exits with a usage error for an option, a second name or none.
static inline const char* single_output_argument(int argc, char** argv, const char* program,
                                                 const char* usage) {
    for (int i = 1; i < argc; i++)
        if (is_help_option(argv[i]))
            print_usage_and_exit(usage);
    const char* out = nullptr;
    for (int i = 1; i < argc; i++) {
        if (argv[i][0] == '-')
            usage_failure(program, std::string("unknown option ") + argv[i], usage);
        if (out)
            usage_failure(program, "more than one output file given", usage);
        out = argv[i];
    }
    if (!out)
        usage_failure(program, "no output file given", usage);
    return out;
}
