// Safe output files (output_file.h): stat to tell regular files from the
// rest, realpath to find the file behind links, mkostemp for the exclusive
// temporary file, rename to publish it; a stdio stream over fopencookie.
#include "platform/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace
{

// The process's file-creation mask, read once (umask can only be read by
// setting it).
mode_t creation_mask()
{
    static std::once_flag once;
    static mode_t mask = 022;
    std::call_once(once, [] {
        mask = umask(022);
        umask(mask);
    });
    return mask;
}

// The stream writes through a cookie that keeps the error number of the
// first failed write, so that closing reports why (stdio alone keeps only
// "an error happened").
struct Sink {
    int fd;
    int error;
};

ssize_t sink_write(void* cookie, const char* bytes, size_t size)
{
    Sink* sink = static_cast<Sink*>(cookie);
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(sink->fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (sink->error == 0)
                sink->error = n < 0 ? errno : EIO;
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(size);
}

int sink_close(void* cookie)
{
    Sink* sink = static_cast<Sink*>(cookie);
    int error = sink->error;
    if (close(sink->fd) != 0 && error == 0)
        error = errno;
    delete sink;
    if (error == 0)
        return 0;
    errno = error;
    return -1;
}

int open_stream(int fd, OutputFile* file)
{
    Sink* sink = new Sink{fd, 0};
    file->stream = fopencookie(sink, "w", {nullptr, sink_write, nullptr, sink_close});
    if (file->stream)
        return 0;
    int error = errno;
    delete sink;
    close(fd);
    if (!file->temp.empty())
        unlink(file->temp.c_str());
    file->temp.clear();
    return error;
}

} // namespace

namespace
{

// Decides what writing name means: the file to write in the end, and
// whether it is written directly (*direct: a device or a FIFO) or through a
// new temporary file of permissions *mode. 0, or an error number.
int output_target(const char* name, OutputFile* file, bool* direct, mode_t* mode)
{
    file->stream = nullptr;
    file->temp.clear();
    file->target.clear();
    *direct = false;
    if (!name || !name[0])
        return ENOENT;
    struct stat st;
    *mode = 0666 & ~creation_mask();
    if (stat(name, &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (!S_ISREG(st.st_mode)) {
            file->target = name;
            *direct = true;
            return 0;
        }
        // A regular file, perhaps behind links: the file itself is replaced.
        char* real = realpath(name, nullptr);
        if (!real)
            return errno;
        file->target = real;
        std::free(real);
        *mode = st.st_mode & 07777;
        return 0;
    }
    if (errno != ENOENT)
        return errno;
    // Nothing there, or a link that leads nowhere (which is not replaced).
    if (lstat(name, &st) == 0)
        return ENOENT;
    file->target = name;
    return 0;
}

// Creates the temporary file for file->target exclusively: its descriptor,
// or -1 with *error set (file->temp is then empty).
int make_temp(OutputFile* file, mode_t mode, int* error)
{
    file->temp = output_file_temp_pattern(file->target);
    int fd = mkostemp(file->temp.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        file->temp.clear();
        return -1;
    }
    if (fchmod(fd, mode) != 0) {
        *error = errno;
        close(fd);
        unlink(file->temp.c_str());
        file->temp.clear();
        return -1;
    }
    return fd;
}

} // namespace

int output_file_open(const char* name, OutputFile* file)
{
    bool direct = false;
    mode_t mode = 0;
    int error = output_target(name, file, &direct, &mode);
    if (error != 0)
        return error;
    int fd = direct ? open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC) : make_temp(file, mode, &error);
    if (fd < 0)
        return direct ? errno : error;
    return open_stream(fd, file);
}

int output_file_reserve(const char* name, OutputFile* file)
{
    bool direct = false;
    mode_t mode = 0;
    int error = output_target(name, file, &direct, &mode);
    if (error != 0 || direct)
        return error;
    int fd = make_temp(file, mode, &error);
    if (fd < 0)
        return error;
    close(fd);
    return 0;
}

int output_file_publish(OutputFile* file, bool keep)
{
    if (file->temp.empty())
        return 0;
    int error = 0;
    if (keep && rename(file->temp.c_str(), file->target.c_str()) != 0)
        error = errno;
    if (!keep || error != 0)
        unlink(file->temp.c_str());
    file->temp.clear();
    return error;
}
