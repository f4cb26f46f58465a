// The start-up yes/no question (question.h) as a terminal prompt. The prompt
// goes to standard error so that standard output keeps only the program's
// own lines. Relies on POSIX isatty.
#include "platform/question.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>

int32_t question_yes_no(const char* caption, const char* text)
{
    if (!isatty(STDIN_FILENO))
        return QUESTION_NO;
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
