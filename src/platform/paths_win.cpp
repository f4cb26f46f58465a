// Data files on Windows (paths.h): the data folder beside the program (its
// folder from GetModuleFileNameW), and files opened through the
// wide-character calls (names are UTF-8) in binary mode (the C runtime would
// otherwise turn CR LF into LF in the data).
#include "platform/paths_internal.h"

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

bool is_directory(const std::wstring& name)
{
    DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

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

int path_open_data(const char* path)
{
    char name[PATH_CAPACITY];
    if (!path_native(path, name, sizeof name)) {
        char shown[220];
        std::snprintf(shown, sizeof shown, "%.200s...", path ? path : "");
        paths_record_failure(shown, std::strerror(ENAMETOOLONG));
        return -1;
    }
    std::wstring wide = utf8_to_wide(name);
    if (wide.empty()) {
        paths_record_failure(name, "not a valid UTF-8 name");
        return -1;
    }
    // Devices and pipes are refused before they are opened: reading one
    // would block or never end.
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        paths_record_failure(name, std::strerror(ENOENT));
        return -1;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        paths_record_failure(name, "a folder, not a file");
        return -1;
    }
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        paths_record_failure(name, error == ERROR_ACCESS_DENIED ? std::strerror(EACCES) : std::strerror(ENOENT));
        return -1;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        paths_record_failure(name, "not a regular file");
        return -1;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        paths_record_failure(name, std::strerror(errno));
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
