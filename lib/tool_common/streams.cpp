// The checked input and the checked standard output.
#include "lib/tool_common/streams.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lib/base/descriptors.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/shown_path.h"

Result input_is_regular_file(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0)
        return Result::success();
    bool regular = S_ISREG(st.st_mode);
    if (regular) {
        // O_NONBLOCK: a FIFO put in its place since the stat opens at once instead of waiting.
        int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return Result::success();
        regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        close(fd);
    }
    if (!regular)
        return Result::fail(shown_path(path) + ": not a regular file");
    return Result::success();
}

void require_regular_inputs(const char* program, std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        if (Result r = input_is_regular_file(path); !r.ok) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s: %s\n", program, r.reason.c_str());
            std::exit(EXIT_BAD_INPUT);
        }
    }
}

bool standard_output_ok(const char* program) {
    // A write that failed mid-stream shows only in the error flag; the flush and the close can
    // each be the first to meet a full disk.
    errno = 0;
    bool failed_before = std::ferror(stdout) != 0;
    int err = standard_output_was_closed ? EBADF : 0;
    if (std::fflush(stdout) != 0)
        err = errno;
    if (std::fclose(stdout) != 0 && !err)
        err = errno;
    if (!failed_before && !err)
        return true;
    std::fprintf(stderr, "%s: cannot write standard output: %s\n", program,
                 err ? std::strerror(err) : "an earlier write failed");
    return false;
}

void fatal(const char* program, int status, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    std::exit(status);
}
