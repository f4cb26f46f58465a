// UTF-8 names to and from the wide-character names the Windows calls take.
// Windows builds only.
#pragma once

#include <string>

// Empty for null, "" or text that is not UTF-8.
std::wstring utf8_to_wide(const char* text);
std::string utf8_from_wide(const wchar_t* text);
