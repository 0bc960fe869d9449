// Programs run from the tests (process.h): fork and exec with files for the output, popen for
// shell commands, and reading back what they leave.
#include "tests/support/process.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::set<std::string> names_in(const std::string& dir) {
    namespace fs = std::filesystem;
    std::set<std::string> names;
    if (fs::is_directory(dir))
        for (const fs::directory_entry& e : fs::directory_iterator(dir))
            names.insert(e.path().filename().string());
    return names;
}

Child child_of(const std::vector<std::string>& argv) {
    Child c;
    c.argv = argv;
    return c;
}

std::vector<std::string> words_of(const std::string& command) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < command.size()) {
        std::size_t end = command.find(' ', at);
        if (end == std::string::npos)
            end = command.size();
        if (end > at)
            words.push_back(command.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

pid_t start_child(const Child& c, const std::string& out_path, const std::string& err_path) {
    std::vector<std::string> copies = c.argv;
    std::vector<char*> argv;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        std::string to = c.stdout_to.empty() ? out_path : c.stdout_to;
        // The run's file is still made, so that reading it back finds it empty.
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (c.stdout_to == CLOSED_STDOUT) {
            close(out);
            out = -1;
        } else if (to != out_path) {
            close(out);
            out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0)
                _exit(127);
        }
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        if (err < 0 || in < 0 || dup2(in, 0) < 0 || dup2(err, 2) < 0)
            _exit(127);
        if (out >= 0 ? dup2(out, 1) < 0 : close(1) != 0)
            _exit(127);
        if (!c.cwd.empty() && chdir(c.cwd.c_str()) != 0)
            _exit(127);
        for (const auto& [name, value] : c.env)
            setenv(name.c_str(), value.c_str(), 1);
        if (c.file_size_limit) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{c.file_size_limit, c.file_size_limit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

RunResult finish_child(pid_t pid, const std::string& out_path, const std::string& err_path) {
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    RunResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = slurp(out_path);
    r.err = slurp(err_path);
    return r;
}

RunResult run_child(const Child& c, const std::string& dir) {
    std::string out = dir + "/child.out", err = dir + "/child.err";
    return finish_child(start_child(c, out, err), out, err);
}

CommandResult run_command(const std::string& cmd) {
    CommandResult r;
    std::FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}
