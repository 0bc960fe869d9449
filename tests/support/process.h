// Programs run from the tests: a child with its standard output and error in files (variables,
// a file-size limit), a shell command read through a pipe, and the files and folders they leave.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/types.h>

// The whole of a file, byte for byte; empty when it cannot be read.
std::string slurp(const std::string& path);

// The names in a folder; none when the folder does not exist.
std::set<std::string> names_in(const std::string& dir);

struct RunResult {
    int status; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

// A program to run: argv[0] is its path; env is set in the child on top of the test's own; a
// file_size_limit other than 0 makes its writes (and its children's) fail past that many bytes
// (SIGXFSZ ignored, so the write fails instead of killing it). It runs in cwd (the test's own
// folder when empty) with standard input from /dev/null; stdout_to, when set, is where its standard
// output goes instead of the run's file ("/dev/full"), or CLOSED_STDOUT to start it closed.
struct Child {
    std::vector<std::string> argv;
    std::map<std::string, std::string> env;
    rlim_t file_size_limit = 0;
    std::string cwd;
    std::string stdout_to;
};

constexpr const char* CLOSED_STDOUT = "-";

Child child_of(const std::vector<std::string>& argv);

// The words of a command line split at spaces (for commands written as one string).
std::vector<std::string> words_of(const std::string& command);

// Starts a child with standard output and error in the files named; returns its pid.
pid_t start_child(const Child& c, const std::string& out_path, const std::string& err_path);

// Waits for a child that start_child started and reads back what it wrote.
RunResult finish_child(pid_t pid, const std::string& out_path, const std::string& err_path);

// Runs a child to its end, its output in dir/child.out and dir/child.err.
RunResult run_child(const Child& c, const std::string& dir);

// A shell command run to its end: what it wrote on standard output (add 2>&1 for its errors)
// and its exit status, -1 when it did not exit normally or could not start.
struct CommandResult {
    int status = -1;
    std::string output;
};

CommandResult run_command(const std::string& cmd);
