// quab-export's progress on a terminal: one line on standard error, rewritten in place, with the
// share of the show done, the show time done, the time spent and the time left at that pace.
// Where standard error is not a terminal nothing is shown.
#pragma once

#include <ctime>

struct Progress {
    bool enabled;   // standard error is a terminal
    timespec start; // when the work began
    double last_shown_s;
    bool line_open; // a line is on the screen without its newline
};

// Starts the clock; enabled when standard error is a terminal.
void progress_start(Progress* p);

// Shows done_s of total_s seconds of the show done, at most four times a second unless last.
void progress_show(Progress* p, double done_s, double total_s, bool last);

// Ends an open progress line with its newline, so that the next message starts on its own.
void progress_end(Progress* p);

// "M:SS" for a time in seconds, rounded to the second.
void progress_minutes_seconds(double s, char* text, unsigned size);
