// Descriptors 0, 1 and 2 open before a program opens anything. Started with one closed (`2>&-`),
// the next file, pipe or X connection would take its number, and a line meant for standard error
// would land in it; /dev/null takes the number instead.
#pragma once

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

// Set when standard output was closed at the start: the results a tool prints reach nobody, and
// its check of standard output at exit reports that as the failure it is.
inline bool standard_output_was_closed = false;

// Called first thing in main. Opens /dev/null on each of 0 to 2 that is closed (open returns the
// lowest free number, so a closed 0 is filled before 1 and 2); a program that cannot get even
// /dev/null stops with status 1, as it has nowhere to say so.
static inline void keep_standard_descriptors_open() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (fd == 1)
            standard_output_was_closed = true;
        int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened < 0)
            _exit(1);
        if (opened != fd) {
            // Only when a lower number was closed meanwhile; keep fd's number filled anyway.
            if (dup2(opened, fd) < 0)
                _exit(1);
            close(opened);
        }
    }
}
