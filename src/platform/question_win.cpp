// The start-up yes/no question (question.h) on Windows: a prompt in the
// console when standard input is one; a message box when the program has no
// console and no standard input at all (started without a console window);
// otherwise (input from a file or a pipe) nobody can answer and it is No.
#include "platform/question.h"

#include "platform/utf8_win.h"

#include <io.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace
{

int32_t ask_console(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s [y/N] ", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    char line[64];
    if (!std::fgets(line, sizeof line, stdin))
        return QUESTION_NO;
    const char* p = line;
    while (*p == ' ' || *p == '\t')
        p++;
    return (std::tolower(static_cast<unsigned char>(*p)) == 'y') ? QUESTION_YES : QUESTION_NO;
}

int32_t ask_box(const char* caption, const char* text)
{
    std::wstring title = utf8_to_wide(caption);
    std::wstring body = utf8_to_wide(text);
    int answer = MessageBoxW(nullptr, body.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
    return answer == IDYES ? QUESTION_YES : QUESTION_NO;
}

} // namespace

int32_t question_yes_no(const char* caption, const char* text)
{
    if (_isatty(_fileno(stdin)))
        return ask_console(caption, text);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if ((input == nullptr || input == INVALID_HANDLE_VALUE) && GetConsoleWindow() == nullptr)
        return ask_box(caption, text);
    return QUESTION_NO;
}
