// Stopping offline runs (stop_watch.h): a handler for every stopping signal
// that only records which came, and a raw, non-blocking terminal read for
// Escape. Relies on POSIX signals and termios.
#include "runtime/stop_watch.h"

#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

// The shared list of stopping signals uses their POSIX numbers.
static_assert(SIGHUP == 1 && SIGINT == 2 && SIGQUIT == 3 && SIGTERM == 15);

namespace
{

volatile std::sig_atomic_t stop_signal = 0;

void on_stop_signal(int signal)
{
    if (stop_signal == 0)
        stop_signal = signal;
}

// Every stopping signal to handler (SIG_DFL, SIG_IGN or on_stop_signal).
void set_stop_handlers(void (*handler)(int))
{
    for (int i = 0; stop_signal_number(i) != 0; i++)
        std::signal(stop_signal_number(i), handler);
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
    set_stop_handlers(on_stop_signal);
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
    if (int32_t reason = stop_reason_of_signal(stop_signal); reason != STOP_NONE)
        return reason;
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
    set_stop_handlers(SIG_DFL);
}
