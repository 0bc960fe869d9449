// What every tool reads and prints through: an input is read only when it is a regular file (a
// FIFO would wait for a writer for ever, a device never ends), and standard output is checked at
// exit, so that results that were never written are not reported as a success.
#pragma once

#include <initializer_list>
#include <string>

#include "lib/base/result.h"

// True unless path names something that exists and is not a regular file (after its symlinks): a
// FIFO, a device, a directory, a socket. Checked without blocking: stat, then an open with
// O_NONBLOCK and fstat of that descriptor, so a name swapped between the two is caught as well.
// A name that does not exist or cannot be opened passes; the reader says why in its own words.
// A refusal's reason is "path: not a regular file".
Result input_is_regular_file(const char* path);

// input_is_regular_file on each path; on the first refusal prints "program: reason" on standard
// error and exits with status 2.
void require_regular_inputs(const char* program, std::initializer_list<const char*> paths);

// At the end of a program that printed results: flushes standard output and checks that every
// write reached it (ferror, then fclose; a standard output closed at the start, which
// keep_standard_descriptors_open filled with /dev/null, reached nobody). False after printing
// "program: cannot write standard output: reason" on standard error. Standard output is closed
// either way.
[[nodiscard]] bool standard_output_ok(const char* program);

// Ends the program on a failure: flushes what standard output holds, so that the line comes
// after it, prints "program: message" on standard error and exits with status.
[[noreturn]] void fatal(const char* program, int status, const std::string& message);
