// The check of each save, as quab-check checks a show: run in a process of its own, forked before
// any thread starts, because it mixes the whole song through libmikmod (which the music thread
// is using) and takes seconds, while the show goes on. Warnings new since the last check come
// back as notes: on standard error and, for a few seconds, in the overlay.
#pragma once

#include <string>
#include <vector>

#include "lib/play/player.h"
#include "lib/show_plan/show_check.h"

// The checking process's name in the process list (at most 15 characters).
constexpr const char* CHECKER_PROCESS_NAME = "quab-play-check";

// The line of an answer that stands for no verdict.
constexpr const char* NO_VERDICT = "-";

// The checking process's answer to one check: the warnings, or NO_VERDICT alone.
std::vector<std::string> checker_answer(const ShowCheck& check);

struct Checker;

// Forks the checking process for the show's files. Call before any thread starts. Null when it
// cannot be had; the show then plays without checks. It checks the files as the show plays them,
// fitted or not as fit asks.
Checker* checker_start(const ShowSource& source, FitChoice fit);

// Checks the files as they are now; the first check's warnings are taken as known.
void checker_request(Checker* c);

// Between frames: notes the warnings of a finished check that the check before did not give,
// and, once, a checking process that has ended (the show goes on without checks).
void checker_poll(Checker* c, Player* p);

// Ends the checking process; null is allowed.
void checker_stop(Checker* c);
