// The start-up yes/no question (question.h): a zenity dialog when a display
// and zenity are there, else a prompt on the terminal (on standard error, so
// that standard output keeps only the program's own lines), else No.
// Relies on POSIX isatty and posix_spawnp.
#include "platform/question.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

extern char** environ;

namespace
{

// QUESTION_YES or QUESTION_NO from the dialog; -1 when there is none.
int32_t ask_dialog(const char* caption, const char* text)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        return -1;
    std::string title = std::string("--title=") + (caption ? caption : "");
    std::string body = std::string("--text=") + (text ? text : "");
    char* argv[] = {const_cast<char*>("zenity"), const_cast<char*>("--question"), title.data(), body.data(),
                    nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "zenity", nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    pid_t r;
    do
        r = waitpid(pid, &status, 0);
    while (r < 0 && errno == EINTR);
    if (r != pid || !WIFEXITED(status))
        return -1;
    // zenity: 0 for Yes, 1 for No or a closed dialog; anything else is a failure.
    if (WEXITSTATUS(status) == 0)
        return QUESTION_YES;
    if (WEXITSTATUS(status) == 1)
        return QUESTION_NO;
    return -1;
}

int32_t ask_terminal(const char* caption, const char* text)
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

} // namespace

int32_t question_yes_no(const char* caption, const char* text)
{
    int32_t answer = ask_dialog(caption, text);
    if (answer >= 0)
        return answer;
    if (isatty(STDIN_FILENO))
        return ask_terminal(caption, text);
    return QUESTION_NO;
}
