// Program file names to Windows names (paths.h): the same separator mapping,
// data folder choice and failure record as on POSIX, with files opened
// through the wide-character calls (names are UTF-8) in binary mode (the C
// runtime would otherwise turn CR LF into LF in the data) and the
// executable's folder from GetModuleFileNameW.
#include "platform/paths.h"

#include "platform/utf8_win.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace
{

enum { PATH_CAPACITY = 4096 };

// Replaces the leading "data" folder of program names; empty = no change.
char data_prefix[PATH_CAPACITY];

bool is_directory(const std::wstring& name)
{
    DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
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
    if (dir[n - 1] != '/' && dir[n - 1] != '\\')
        data_prefix[n++] = '/';
    data_prefix[n] = '\0';
    return 0;
}

void paths_init()
{
    if (is_directory(L"data"))
        return;
    std::wstring exe(PATH_CAPACITY, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0 || n >= exe.size())
        return;
    exe.resize(n);
    size_t slash = exe.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return;
    exe.resize(slash + 1);
    exe += L"data";
    std::string folder = utf8_from_wide(exe.c_str());
    if (is_directory(exe) && !folder.empty())
        paths_set_data_dir(folder.c_str()); // a name too long to use leaves the default
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
    std::wstring wide = utf8_to_wide(name);
    if (wide.empty()) {
        record_failure(name, "not a valid UTF-8 name");
        return -1;
    }
    // Devices and pipes are refused before they are opened: reading one
    // would block or never end.
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        record_failure(name, std::strerror(ENOENT));
        return -1;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        record_failure(name, "a folder, not a file");
        return -1;
    }
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        record_failure(name, error == ERROR_ACCESS_DENIED ? std::strerror(EACCES) : std::strerror(ENOENT));
        return -1;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        record_failure(name, "not a regular file");
        return -1;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        record_failure(name, std::strerror(errno));
        CloseHandle(handle);
        return -1;
    }
    return fd;
}

FILE* path_fopen(const char* path, const char* mode)
{
    int fd = path_open_data(path);
    if (fd < 0)
        return nullptr;
    FILE* file = _fdopen(fd, "rb");
    (void)mode; // data files are read as bytes in every mode
    if (!file) {
        path_fail(path, std::strerror(errno));
        _close(fd);
    }
    return file;
}
