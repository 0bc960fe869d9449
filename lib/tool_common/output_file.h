// Every file a tool writes appears all or nothing: the bytes go to a temporary in the target's
// directory, every write, flush, sync and close is checked, and the temporary is renamed over
// the target only once complete. The target may be missing or a regular file; a symlink is
// followed and its final target replaced (the link stays); a device, FIFO, socket or directory
// is refused, so that a tool run as root can never replace /dev/full with a regular file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "lib/base/result.h"

struct OutputFile {
    std::string path;   // the name the user gave, for messages
    std::string target; // where the file lands: path, or the final target of its symlinks
    std::string temp;   // the temporary in target's directory; empty once renamed or removed
    FILE* f = nullptr;  // open on temp while the tool writes it
    // Synced to the disk before the rename, so that a crash leaves the old file or the whole
    // new one. A tool writing thousands of files it can make again (frames) may clear it, set
    // before output_commit, and sync once at the end instead.
    bool durable = true;
};

// Resolves path to its target, refuses what is not a regular file, and creates the temporary
// (permission bits those of the file being replaced, or 0666 less the umask for a new one).
// Refused with one line starting with path when the file cannot be written there.
Result output_open(const char* path, OutputFile* out);

// Appends count bytes. Refused (path and the system's error text) on a short write.
Result output_write(OutputFile* out, const void* bytes, std::size_t count);

// Flushes, syncs and closes the temporary and renames it over the target. On any failure
// removes the temporary and refuses with path and the system's error text. When another writer (a
// child process) filled the temporary by name, call output_close_stream first; the file is then
// synced by name.
Result output_commit(OutputFile* out);

// Closes the stream but keeps the temporary, for a child process that writes it by name.
void output_close_stream(OutputFile* out);

// Closes and removes the temporary; the target is left as it was. Safe to call twice.
void output_discard(OutputFile* out);
