// Data files on POSIX (paths.h): the data folder beside the program when
// there is none in the working directory, and opening data files, with the
// reason one is refused. Relies on POSIX open, stat and /proc/self/exe.
#include "platform/paths_internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{

bool is_directory(const char* name)
{
    struct stat st;
    return stat(name, &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

void paths_init()
{
    if (is_directory("data"))
        return;
    char exe[PATH_CAPACITY];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return;
    exe[n] = '\0';
    char* slash = std::strrchr(exe, '/');
    if (!slash || static_cast<size_t>(slash + 1 - exe) + sizeof "data" > sizeof exe)
        return;
    std::memcpy(slash + 1, "data", sizeof "data");
    if (is_directory(exe))
        paths_set_data_dir(exe); // a name too long to use leaves the default
}

int path_open_data(const char* path)
{
    char name[PATH_CAPACITY];
    if (!path_native(path, name, sizeof name)) {
        char shown[220];
        std::snprintf(shown, sizeof shown, "%.200s...", path ? path : "");
        paths_record_failure(shown, std::strerror(ENAMETOOLONG));
        return -1;
    }
    // Without waiting: opening a FIFO for reading would block until a writer came.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        paths_record_failure(name, std::strerror(errno));
        return -1;
    }
    struct stat st;
    const char* refused = nullptr;
    if (fstat(fd, &st) != 0)
        refused = std::strerror(errno);
    else if (S_ISDIR(st.st_mode))
        refused = "a folder, not a file";
    else if (!S_ISREG(st.st_mode))
        refused = "not a regular file";
    if (refused) {
        paths_record_failure(name, refused);
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

FILE* path_fopen(const char* path, const char* mode)
{
    int fd = path_open_data(path);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, mode && mode[0] == 'r' ? mode : "rb");
    if (!file) {
        path_fail(path, std::strerror(errno));
        close(fd);
    }
    return file;
}
