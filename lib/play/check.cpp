// The checking process reads one request line at a time from a pipe and answers with one line per
// warning and an empty line at the end. It writes nothing else: its standard output (where the
// asset loader speaks) goes nowhere.
#include "lib/play/check.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

struct Checker {
    pid_t pid;
    int requests; // write end
    int answers;  // read end, not blocking
    std::string partial;
    std::vector<std::string> found; // warnings of the check under way
    std::set<std::string> known;    // warnings already noted
    bool first;                     // the first answer only sets what is known
    bool asked;                     // a check is under way
    bool again;                     // saved since it started: check once more when it ends
    bool gone;                      // the checking process has ended; said once
};

namespace {

bool write_all(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

[[noreturn]] void checker_main(const ShowSource& source, FitChoice fit, int requests, int answers) {
    // Named, so that a user can tell it from the player in a list of processes.
    prctl(PR_SET_NAME, CHECKER_PROCESS_NAME);
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0)
        dup2(null, STDOUT_FILENO);
    // The show comes first on a busy machine, but only a little: at a lower priority still the
    // check would wait minutes behind other busy programs.
    setpriority(PRIO_PROCESS, 0, 3);
    char c;
    for (;;) {
        ssize_t n = read(requests, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            _exit(0);
        if (c != '\n')
            continue;
        std::string reply;
        ShowCheck check = check_show_files({source.assets, source.pictures, source.music, fit});
        for (std::string line : checker_answer(check)) {
            for (char& ch : line)
                if (ch == '\n')
                    ch = ' ';
            reply += line + "\n";
        }
        if (!write_all(answers, reply + "\n"))
            _exit(0);
    }
}

} // namespace

std::vector<std::string> checker_answer(const ShowCheck& check) {
    // A file that cannot be used at all (the reload that refused it has said so in its own
    // line), or a check cut short: what the show is warned of stays as it was.
    if (!check.files_read || check.out_of_memory)
        return {NO_VERDICT};
    return check.warnings;
}

Checker* checker_start(const ShowSource& source, FitChoice fit) {
    // A checker that has died must not take the player with it on the next request: the write
    // fails with EPIPE instead.
    std::signal(SIGPIPE, SIG_IGN);
    int to_child[2], from_child[2];
    if (pipe2(to_child, O_CLOEXEC) != 0)
        return nullptr;
    if (pipe2(from_child, O_CLOEXEC) != 0) {
        close(to_child[0]);
        close(to_child[1]);
        return nullptr;
    }
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(to_child[1]);
        close(from_child[0]);
        checker_main(source, fit, to_child[0], from_child[1]);
    }
    close(to_child[0]);
    close(from_child[1]);
    if (pid < 0) {
        close(to_child[1]);
        close(from_child[0]);
        return nullptr;
    }
    fcntl(from_child[0], F_SETFL, O_NONBLOCK);
    auto* c = new Checker{};
    c->pid = pid;
    c->requests = to_child[1];
    c->answers = from_child[0];
    c->first = true;
    return c;
}

void checker_request(Checker* c) {
    if (!c || c->requests < 0)
        return;
    // Saves made while a check runs are checked together once it ends.
    if (c->asked) {
        c->again = true;
        return;
    }
    c->asked = true;
    if (!write_all(c->requests, "\n")) {
        // The checker has gone (checker_poll says so): the show goes on without checks.
        close(c->requests);
        c->requests = -1;
    }
}

void checker_poll(Checker* c, Player* p) {
    if (!c || c->gone)
        return;
    char buffer[4096];
    ssize_t n;
    while ((n = read(c->answers, buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        c->partial.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = c->partial.find('\n')) != std::string::npos;) {
            std::string line = c->partial.substr(0, end);
            c->partial.erase(0, end + 1);
            if (!line.empty()) {
                c->found.push_back(line);
                continue;
            }
            // One check answered: note what it found that the last did not.
            std::set<std::string> now(c->found.begin(), c->found.end());
            if (now.count(NO_VERDICT))
                now = c->known;
            else if (!c->first)
                for (const std::string& w : c->found)
                    if (!c->known.count(w))
                        player_note(p, "quab-play: warning: " + w);
            c->known = now;
            c->found.clear();
            c->first = false;
            c->asked = false;
            if (c->again) {
                c->again = false;
                checker_request(c);
            }
        }
    }
    // The answers' end: the checking process has ended (killed, or out of memory).
    c->gone = true;
    player_note(p, "quab-play: the check of saves has ended; the show goes on without checks");
}

void checker_stop(Checker* c) {
    if (!c)
        return;
    if (c->requests >= 0)
        close(c->requests);
    close(c->answers);
    // It may be in the middle of a long check.
    kill(c->pid, SIGTERM);
    waitpid(c->pid, nullptr, 0);
    delete c;
}
