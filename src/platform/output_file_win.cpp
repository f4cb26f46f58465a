// Safe output files on Windows (output_file.h): the temporary file is made
// with CreateFileW(CREATE_NEW) beside the file the name leads to and moved
// onto it with MoveFileExW (the C runtime's rename never replaces a file);
// devices (NUL, CON) are written directly; names are UTF-8.
#include "platform/output_file.h"

#include "platform/utf8_win.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace
{

int errno_from(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

// A stdio stream over handle; 0, or an error number (the handle is closed).
int open_stream(HANDLE handle, OutputFile* file)
{
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return EMFILE;
    }
    file->stream = _fdopen(fd, "wb");
    if (file->stream)
        return 0;
    int error = errno ? errno : ENOMEM;
    _close(fd);
    return error;
}

// The file behind links and junctions, as a name MoveFileExW takes.
std::wstring final_name(HANDLE handle, const std::wstring& fallback)
{
    std::wstring name(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), 0);
    if (n >= name.size()) {
        name.resize(n + 1);
        n = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), 0);
    }
    if (n == 0 || n >= name.size())
        return fallback;
    name.resize(n);
    return name;
}

} // namespace

int output_file_open(const char* name, OutputFile* file)
{
    file->stream = nullptr;
    file->temp.clear();
    file->target.clear();
    if (!name || !name[0])
        return ENOENT;
    std::wstring wide = utf8_to_wide(name);
    if (wide.empty())
        return ENOENT;
    std::wstring target = wide;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    HANDLE existing = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (existing != INVALID_HANDLE_VALUE)
            CloseHandle(existing);
        return EISDIR;
    }
    if (existing != INVALID_HANDLE_VALUE) {
        if (GetFileType(existing) != FILE_TYPE_DISK) {
            file->target = name;
            return open_stream(existing, file);
        }
        // A regular file, perhaps behind a link: the file itself is replaced.
        target = final_name(existing, wide);
        CloseHandle(existing);
    } else {
        DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
            return errno_from(error);
        // A link that leads nowhere is not replaced.
        if (attributes != INVALID_FILE_ATTRIBUTES)
            return ENOENT;
    }
    file->target = utf8_from_wide(target.c_str());
    size_t slash = target.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    std::wstring base = slash == std::wstring::npos ? target : target.substr(slash + 1);
    std::random_device random;
    for (int attempt = 0; attempt < 100; attempt++) {
        wchar_t suffix[16];
        std::swprintf(suffix, 16, L".%08x", static_cast<unsigned>(random()));
        std::wstring temp = folder + L"." + base + suffix;
        HANDLE handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
                continue;
            return errno_from(error);
        }
        file->temp = utf8_from_wide(temp.c_str());
        int result = open_stream(handle, file);
        if (result != 0) {
            DeleteFileW(temp.c_str());
            file->temp.clear();
        }
        return result;
    }
    return EEXIST;
}

int output_file_reserve(const char* name, OutputFile* file)
{
    int error = output_file_open(name, file);
    if (error != 0)
        return error;
    // Another program writes the file: keep only the name (and the empty
    // temporary file that holds it).
    std::fclose(file->stream);
    file->stream = nullptr;
    return 0;
}

int output_file_publish(OutputFile* file, bool keep)
{
    if (file->temp.empty())
        return 0;
    std::wstring temp = utf8_to_wide(file->temp.c_str());
    std::wstring target = utf8_to_wide(file->target.c_str());
    int error = 0;
    if (keep && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = errno_from(GetLastError());
    if (!keep || error != 0)
        DeleteFileW(temp.c_str());
    file->temp.clear();
    return error;
}
