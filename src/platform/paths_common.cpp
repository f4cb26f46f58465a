// Program file names, alike on every platform (paths.h): the data folder
// that replaces a name's leading "data", the separator mapping and the
// record of why a file failed. Opening files is each platform's (paths.cpp,
// paths_win.cpp).
#include "platform/paths_internal.h"

#include <cstdio>
#include <cstring>

namespace
{

// Replaces the leading "data" folder of program names; empty = no change.
char data_prefix[PATH_CAPACITY];

// True when path starts with "data\" or "data/"; *rest is what follows.
bool in_data_folder(const char* path, const char** rest)
{
    if (std::strncmp(path, "data", 4) != 0 || (path[4] != '\\' && path[4] != '/'))
        return false;
    *rest = path + 5;
    return true;
}

// A folder name already ends in a separator: '/' everywhere, and '\\' on
// Windows too (elsewhere a backslash is part of a name).
bool ends_in_separator(char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

constexpr size_t REASON_CAPACITY = 160;
thread_local char failure_reason[REASON_CAPACITY];
thread_local char failure[PATH_CAPACITY + REASON_CAPACITY + 4]; // "NAME (REASON)"

} // namespace

void paths_record_failure(const char* name, const char* reason)
{
    std::snprintf(failure_reason, sizeof failure_reason, "%s", reason);
    std::snprintf(failure, sizeof failure, "%s (%s)", name, failure_reason);
}

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
    if (!ends_in_separator(dir[n - 1]))
        data_prefix[n++] = '/';
    data_prefix[n] = '\0';
    return 0;
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

void path_fail(const char* path, const char* reason)
{
    char name[PATH_CAPACITY];
    const char* shown = path && path_native(path, name, sizeof name) ? name : path ? path : "";
    paths_record_failure(shown, reason ? reason : "cannot be used");
}

const char* path_failure()
{
    return failure;
}

const char* path_failure_reason()
{
    return failure_reason;
}
