// The all-or-nothing output file: target resolution, the temporary beside the target, checked
// writes and the final rename.
#include "lib/tool_common/output_file.h"
#include "lib/tool_common/shown_path.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// As the kernel does for path lookups.
constexpr int MAX_SYMLINK_HOPS = 40;

const char* kind_of(mode_t mode) {
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

std::string directory_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Result fail(std::string text) { return Result::fail(std::move(text)); }

// Follows path's symlinks to the name the file lands under. *mode gets the permission bits of
// the regular file found there, or 0666 less the umask when there is none yet.
Result resolve_target(const std::string& path, std::string* target, mode_t* mode) {
    std::string at = path;
    for (int hops = 0;; hops++) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return fail(shown_path(path) + ": " + std::strerror(errno));
            mode_t mask = umask(0);
            umask(mask);
            *mode = 0666 & ~mask;
            *target = at;
            return Result::success();
        }
        if (S_ISREG(st.st_mode)) {
            *mode = st.st_mode & 07777;
            *target = at;
            return Result::success();
        }
        if (!S_ISLNK(st.st_mode)) {
            std::string what = at == path
                                   ? shown_path(path) + ": is "
                                   : shown_path(path) + ": leads to " + shown_path(at) + ", ";
            return fail(what + kind_of(st.st_mode) +
                        "; only a regular file or a new name is written");
        }
        if (hops == MAX_SYMLINK_HOPS)
            return fail(shown_path(path) + ": " + std::strerror(ELOOP));
        char link[PATH_MAX];
        ssize_t n = readlink(at.c_str(), link, sizeof link - 1);
        if (n < 0)
            return fail(shown_path(path) + ": " + std::strerror(errno));
        link[n] = '\0';
        at = link[0] == '/' ? std::string(link) : directory_of(at) + "/" + link;
    }
}

} // namespace

Result output_open(const char* path, OutputFile* out) {
    out->path = path;
    out->target.clear();
    out->temp.clear();
    out->f = nullptr;
    out->durable = true;
    if (!*path)
        return fail("an empty output file name");
    mode_t mode = 0;
    if (Result r = resolve_target(path, &out->target, &mode); !r.ok)
        return r;
    std::string temp = directory_of(out->target) + "/." + base_of(out->target) + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return fail(shown_path(out->path) + ": cannot create a file in " +
                    shown_path(directory_of(out->target)) + ": " + std::strerror(errno));
    // With standard input, output or error closed, mkstemp hands out their number, and the
    // tool's own lines would end up in the file.
    if (fd <= STDERR_FILENO) {
        int high = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        int err = errno;
        close(fd);
        fd = high;
        if (fd < 0) {
            unlink(temp.c_str());
            return fail(shown_path(out->path) + ": " + std::strerror(err));
        }
    }
    out->temp = temp;
    // mkstemp makes the file private; the output gets the bits of what it replaces.
    if (fchmod(fd, mode) != 0 || !(out->f = fdopen(fd, "wb"))) {
        int err = errno;
        if (!out->f)
            close(fd);
        output_discard(out);
        return fail(shown_path(out->path) + ": " + std::strerror(err));
    }
    return Result::success();
}

Result output_write(OutputFile* out, const void* bytes, std::size_t count) {
    errno = 0;
    if (std::fwrite(bytes, 1, count, out->f) == count)
        return Result::success();
    return fail(shown_path(out->path) + ": cannot write: " + std::strerror(errno ? errno : EIO));
}

void output_close_stream(OutputFile* out) {
    if (out->f)
        std::fclose(out->f);
    out->f = nullptr;
}

Result output_commit(OutputFile* out) {
    int err = 0;
    if (out->f) {
        // Each step can be the first to learn that the disk is full.
        errno = 0;
        if (std::fflush(out->f) != 0 || std::ferror(out->f))
            err = errno ? errno : EIO;
        if (!err && out->durable && fsync(fileno(out->f)) != 0)
            err = errno;
        if (std::fclose(out->f) != 0 && !err)
            err = errno;
        out->f = nullptr;
    } else if (out->durable) {
        int fd = open(out->temp.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || fsync(fd) != 0)
            err = errno;
        if (fd >= 0)
            close(fd);
    }
    if (!err && std::rename(out->temp.c_str(), out->target.c_str()) != 0)
        err = errno;
    if (err) {
        output_discard(out);
        return fail(shown_path(out->path) + ": cannot write: " + std::strerror(err));
    }
    out->temp.clear();
    return Result::success();
}

void output_discard(OutputFile* out) {
    output_close_stream(out);
    if (!out->temp.empty())
        unlink(out->temp.c_str());
    out->temp.clear();
}
