// Program file names to operating-system names (paths.h): separator mapping,
// the choice of data folder, opening data files and the record of why one
// failed. Relies on POSIX open, stat and /proc/self/exe.
#include "platform/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace
{

enum { PATH_CAPACITY = 4096 };

// Replaces the leading "data" folder of program names; empty = no change.
char data_prefix[PATH_CAPACITY];

bool is_directory(const char* name)
{
    struct stat st;
    return stat(name, &st) == 0 && S_ISDIR(st.st_mode);
}

// True when path starts with "data\" or "data/"; *rest is what follows.
bool in_data_folder(const char* path, const char** rest)
{
    if (std::strncmp(path, "data", 4) != 0 || (path[4] != '\\' && path[4] != '/'))
        return false;
    *rest = path + 5;
    return true;
}

} // namespace

int32_t paths_set_data_dir(const char* dir)
{
    if (!dir || !dir[0]) {
        data_prefix[0] = '\0';
        return 0;
    }
    size_t n = std::strlen(dir);
    if (n > static_cast<size_t>(PATHS_DATA_DIR_MAX))
        return 1;
    std::memcpy(data_prefix, dir, n);
    if (dir[n - 1] != '/')
        data_prefix[n++] = '/';
    data_prefix[n] = '\0';
    return 0;
}

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

const char* path_native(const char* path, char* out, size_t size)
{
    if (!out || size == 0)
        return nullptr;
    out[0] = '\0';
    if (!path)
        return nullptr;
    size_t used = 0;
    const char* rest = path;
    if (data_prefix[0] && in_data_folder(path, &rest)) {
        used = std::strlen(data_prefix);
        if (used >= size)
            return nullptr;
        std::memcpy(out, data_prefix, used);
    } else {
        rest = path;
    }
    for (const char* p = rest; *p; p++) {
        if (used + 1 >= size) {
            out[0] = '\0';
            return nullptr;
        }
        out[used++] = *p == '\\' ? '/' : *p;
    }
    out[used] = '\0';
    return out;
}

namespace
{

constexpr size_t REASON_CAPACITY = 160;
thread_local char failure_reason[REASON_CAPACITY];
thread_local char failure[PATH_CAPACITY + REASON_CAPACITY + 4]; // "NAME (REASON)"

void record_failure(const char* name, const char* reason)
{
    std::snprintf(failure_reason, sizeof failure_reason, "%s", reason);
    std::snprintf(failure, sizeof failure, "%s (%s)", name, failure_reason);
}

} // namespace

void path_fail(const char* path, const char* reason)
{
    char name[PATH_CAPACITY];
    const char* shown = path && path_native(path, name, sizeof name) ? name : path ? path : "";
    record_failure(shown, reason ? reason : "cannot be used");
}

const char* path_failure()
{
    return failure;
}

const char* path_failure_reason()
{
    return failure_reason;
}

int path_open_data(const char* path)
{
    char name[PATH_CAPACITY];
    if (!path_native(path, name, sizeof name)) {
        char shown[220];
        std::snprintf(shown, sizeof shown, "%.200s...", path ? path : "");
        record_failure(shown, std::strerror(ENAMETOOLONG));
        return -1;
    }
    // Without waiting: opening a FIFO for reading would block until a writer came.
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        record_failure(name, std::strerror(errno));
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
        record_failure(name, refused);
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
