// What stops an offline run, alike on every platform (stop_watch.h): the
// signals that ask for a clean stop, their names and the exit status each
// gives. Signal numbers are the POSIX ones, written out because not every
// platform's <csignal> names them all.
#include "runtime/stop_watch.h"

namespace
{

struct StopSignal {
    int number; // POSIX
    int32_t reason;
    const char* name;
};

// A hang-up (the terminal closed) and a quit key stop a run as Ctrl-C does:
// whole files only, the terminal restored, a note of how far it got.
const StopSignal SIGNALS[] = {
    {2, STOP_INTERRUPT, "SIGINT"},
    {15, STOP_TERMINATE, "SIGTERM"},
    {1, STOP_HANG_UP, "SIGHUP"},
    {3, STOP_QUIT, "SIGQUIT"},
};

} // namespace

int stop_signal_number(int i)
{
    return i >= 0 && i < static_cast<int>(sizeof SIGNALS / sizeof SIGNALS[0]) ? SIGNALS[i].number : 0;
}

int32_t stop_reason_of_signal(int signal_number)
{
    for (const StopSignal& s : SIGNALS)
        if (s.number == signal_number)
            return s.reason;
    return STOP_NONE;
}

int32_t stop_exit_status(int32_t reason)
{
    for (const StopSignal& s : SIGNALS)
        if (s.reason == reason)
            return 128 + s.number;
    return 0;
}

const char* stop_reason_name(int32_t reason)
{
    if (reason == STOP_ESCAPE)
        return "Escape";
    for (const StopSignal& s : SIGNALS)
        if (s.reason == reason)
            return s.name;
    return nullptr;
}
