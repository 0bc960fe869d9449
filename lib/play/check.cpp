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
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "lib/pictures/pictures.h"
#include "lib/show_files/show_files.h"
#include "lib/show_plan/plan.h"

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
};

namespace {

// The line that stands for no verdict: a file cannot be used at all (the reload that refused it
// has said so in its own line), so what the show is warned of stays as it was.
constexpr const char* NO_VERDICT = "-";

// What quab-check warns of.
std::vector<std::string> check_show(const ShowSource& source) {
    std::vector<std::string> lines;
    std::string problem;
    const char* assets_name = source.pictures ? source.pictures : source.assets;
    AssetTable assets = source.pictures ? asset_table_from_pictures(source.pictures, &problem)
                                        : load_show_assets(source.assets, &problem);
    ShowClock clock;
    std::string error;
    bool bad_module = false;
    bool have_clock = read_show_clock(source.music, &clock, &error, &bad_module);
    if (!assets || !have_clock)
        lines.push_back(NO_VERDICT);
    if (have_clock && !clock.readings.empty()) {
        ShowPlan plan = plan_show(clock);
        timing_warnings(plan, source.music, &lines);
        std::vector<BlackStretch> black;
        if (assets && find_black(assets, clock, plan, &black))
            black_warnings(plan, black, &lines);
    }
    if (assets) {
        key_warnings(assets, assets_name, &lines);
        free_asset_table(assets);
    }
    return lines;
}

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

[[noreturn]] void checker_main(const ShowSource& source, int requests, int answers) {
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
        for (std::string line : check_show(source)) {
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

Checker* checker_start(const ShowSource& source) {
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
        checker_main(source, to_child[0], from_child[1]);
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
        // The checker has gone: the show goes on without checks.
        close(c->requests);
        c->requests = -1;
    }
}

void checker_poll(Checker* c, Player* p) {
    if (!c)
        return;
    char buffer[4096];
    ssize_t n;
    while ((n = read(c->answers, buffer, sizeof buffer)) > 0) {
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
