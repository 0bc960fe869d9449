// The progress line of quab-export: share, show time, time spent and left, on a terminal only.
#include "lib/export/progress.h"

#include <cstdio>

#include <unistd.h>

namespace {

constexpr double PROGRESS_INTERVAL_S = 0.25;

double seconds_since(const timespec& start) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) +
           static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
}

} // namespace

void progress_minutes_seconds(double s, char* text, unsigned size) {
    long whole = s > 0 ? static_cast<long>(s + 0.5) : 0;
    std::snprintf(text, size, "%ld:%02ld", whole / 60, whole % 60);
}

void progress_start(Progress* p) {
    p->enabled = isatty(STDERR_FILENO) == 1;
    clock_gettime(CLOCK_MONOTONIC, &p->start);
    p->last_shown_s = 0;
    p->line_open = false;
}

void progress_show(Progress* p, double done_s, double total_s, bool last) {
    if (!p->enabled)
        return;
    double elapsed_s = seconds_since(p->start);
    if (!last && elapsed_s - p->last_shown_s < PROGRESS_INTERVAL_S)
        return;
    p->last_shown_s = elapsed_s;
    if (done_s > total_s)
        done_s = total_s;
    double share = total_s > 0 ? done_s / total_s : 1;
    // The time left at the pace so far; none is known before any show time is done.
    double left_s = done_s > 0 ? elapsed_s * (total_s - done_s) / done_s : 0;
    char done[32], total[32], elapsed[32], left[32];
    progress_minutes_seconds(done_s, done, sizeof done);
    progress_minutes_seconds(total_s, total, sizeof total);
    progress_minutes_seconds(elapsed_s, elapsed, sizeof elapsed);
    progress_minutes_seconds(left_s, left, sizeof left);
    std::fprintf(stderr, "\r%3d%%  %s of %s of the show  %s elapsed  %s left ",
                 static_cast<int>(100.0 * share), done, total, elapsed, done_s > 0 ? left : "-:--");
    std::fflush(stderr);
    p->line_open = true;
}

void progress_end(Progress* p) {
    if (p->line_open)
        std::fputc('\n', stderr);
    p->line_open = false;
}
