// Program file names to operating-system names (paths.h): separator mapping
// and the choice of data folder. Relies on POSIX stat and /proc/self/exe.
#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

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

FILE* path_fopen(const char* path, const char* mode)
{
    char name[PATH_CAPACITY];
    if (!path_native(path, name, sizeof name))
        return nullptr;
    return std::fopen(name, mode);
}
