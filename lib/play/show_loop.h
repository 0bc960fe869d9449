// quab-play's show from start to end: the files found, the show and its window started, the
// frame loop (events, reloads, one pass on the heard clock, present) and the end with the
// playtime. The program's main only strings these together.
#pragma once

#include "lib/play/options.h"
#include "lib/play/player.h"
#include "lib/play/watch.h"

// The show's files not named on the command line, looked up by name (find_show_file); each
// checked as a regular file. The names found live as long as the show: the watch and the
// checker read them again on every save.
void find_show_files(PlayOptions* opt);

// The show's files, its buffers, the window and the music, started at the options' position and
// loop. Exits after one line when a file cannot be used or the window cannot be had.
void start_show(Player* p, const PlayOptions& opt);

// The frame loop, until the show ends, the window is closed or a quit key is pressed; watch
// may be null.
void run_show(Player* p, Watch* watch);

// Settles fitting, the title and the show's length for the module just loaded in the collector
// from load_path (not playing), named name_path. False with *error when the mixer fails.
[[nodiscard]] bool take_module(Player* p, const char* load_path, const char* name_path,
                               std::string* error);

// Stops the music and prints the playtime; the exit status.
int end_show(Player* p);

// Whether the pass on the clock heard must start the scene afresh: after a jump the music has
// made since the last pass, or where a loop has gone back to its first position.
bool show_restarts(const Player& p, const HeardClock& heard);

// Where the music heard has begun a stretch of its own since the last pass (a jump, a loop going
// round, a start, another module) or reseek is set: puts the show at the uninterrupted show's
// state for the heard tick and runs that tick's pass; true when it did. False, with nothing done,
// when the pass goes on from the last one (or no tick table is known).
bool seek_to_heard(Player* p);
