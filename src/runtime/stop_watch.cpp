// Stopping offline runs (stop_watch.h): a signal handler that only records
// which signal came, and a raw, non-blocking terminal read for Escape.
// Relies on POSIX signals and termios.
#include "runtime/stop_watch.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace
{

volatile std::sig_atomic_t stop_signal = 0;

void on_stop_signal(int signal)
{
    if (stop_signal == 0)
        stop_signal = signal;
}

struct TerminalKeys {
    bool raw = false;
    bool restore_registered = false;
    termios saved;
};
TerminalKeys terminal;
int32_t stop_key = STOP_NONE;

void terminal_restore()
{
    if (terminal.raw)
        tcsetattr(STDIN_FILENO, TCSANOW, &terminal.saved);
    terminal.raw = false;
}

} // namespace

void stop_watch_begin()
{
    stop_signal = 0;
    stop_key = STOP_NONE;
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
    std::signal(SIGPIPE, SIG_IGN);
    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &terminal.saved) == 0) {
        termios t = terminal.saved;
        t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0) {
            terminal.raw = true;
            if (!terminal.restore_registered)
                std::atexit(terminal_restore);
            terminal.restore_registered = true;
        }
    }
}

int32_t stop_requested()
{
    if (stop_signal == SIGINT)
        return STOP_INTERRUPT;
    if (stop_signal == SIGTERM)
        return STOP_TERMINATE;
    if (stop_key == STOP_NONE && terminal.raw) {
        unsigned char c;
        while (read(STDIN_FILENO, &c, 1) == 1)
            if (c == 27)
                stop_key = STOP_ESCAPE;
    }
    return stop_key;
}

void stop_watch_end()
{
    terminal_restore();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

int32_t stop_exit_status(int32_t reason)
{
    switch (reason) {
    case STOP_INTERRUPT:
        return 128 + SIGINT;
    case STOP_TERMINATE:
        return 128 + SIGTERM;
    default:
        return 0;
    }
}

const char* stop_reason_name(int32_t reason)
{
    switch (reason) {
    case STOP_ESCAPE:
        return "Escape";
    case STOP_INTERRUPT:
        return "SIGINT";
    case STOP_TERMINATE:
        return "SIGTERM";
    default:
        return nullptr;
    }
}
