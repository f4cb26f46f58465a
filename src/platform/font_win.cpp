// Font files by face name (font.h) on Windows: the program's folder carries
// one face, Liberation Sans (metric-compatible with Arial), in fonts/; when
// it is missing the system's Arial stands in. Every name gets that face.
#include "platform/font.h"

#include "platform/utf8_win.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace
{

bool is_file(const std::wstring& name)
{
    DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder of the running program, with a trailing backslash ("" if unknown).
std::wstring program_folder()
{
    std::wstring exe(MAX_PATH * 8, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0 || n >= exe.size())
        return {};
    exe.resize(n);
    size_t slash = exe.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash + 1);
}

std::wstring system_fonts_folder()
{
    wchar_t windows[MAX_PATH];
    UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return std::wstring(windows) + L"\\Fonts\\";
}

} // namespace

bool font_file(const char*, char* path, size_t size, int32_t* index)
{
    if (!path || size == 0)
        return false;
    path[0] = '\0';
    std::wstring candidates[] = {program_folder() + L"fonts\\LiberationSans-Regular.ttf",
                                 system_fonts_folder() + L"arial.ttf"};
    for (const std::wstring& candidate : candidates) {
        if (candidate.find(L'\\') == std::wstring::npos || !is_file(candidate))
            continue;
        std::string name = utf8_from_wide(candidate.c_str());
        if (name.empty() || name.size() >= size)
            continue;
        std::memcpy(path, name.c_str(), name.size() + 1);
        *index = 0;
        return true;
    }
    return false;
}
