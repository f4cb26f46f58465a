// Stopping offline runs on Windows (stop_watch.h): the console's control
// handler records Ctrl-C (as SIGINT) and Ctrl-Break or a closed console (as
// SIGTERM); Escape comes from the console's key events, read without waiting.
#include "runtime/stop_watch.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace
{

std::atomic<int32_t> stop_control{STOP_NONE};
int32_t stop_key = STOP_NONE;

struct ConsoleKeys {
    HANDLE input = nullptr;
    DWORD saved_mode = 0;
    bool watching = false;
};
ConsoleKeys console;

BOOL WINAPI on_control(DWORD event)
{
    int32_t reason = event == CTRL_C_EVENT ? STOP_INTERRUPT : STOP_TERMINATE;
    int32_t none = STOP_NONE;
    stop_control.compare_exchange_strong(none, reason);
    return TRUE; // handled: the run stops between frames
}

} // namespace

void stop_watch_begin()
{
    stop_control.store(STOP_NONE);
    stop_key = STOP_NONE;
    SetConsoleCtrlHandler(on_control, TRUE);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode)) {
        console.input = input;
        console.saved_mode = mode;
        // Key events without line editing or echo; Ctrl-C still reaches the handler.
        SetConsoleMode(input, (mode & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) | ENABLE_PROCESSED_INPUT);
        console.watching = true;
    }
}

int32_t stop_requested()
{
    int32_t control = stop_control.load();
    if (control != STOP_NONE)
        return control;
    if (stop_key == STOP_NONE && console.watching) {
        DWORD pending = 0;
        while (GetNumberOfConsoleInputEvents(console.input, &pending) && pending > 0) {
            INPUT_RECORD record;
            DWORD read = 0;
            if (!ReadConsoleInputW(console.input, &record, 1, &read) || read == 0)
                break;
            if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
                record.Event.KeyEvent.wVirtualKeyCode == VK_ESCAPE)
                stop_key = STOP_ESCAPE;
        }
    }
    return stop_key;
}

void stop_watch_end()
{
    if (console.watching)
        SetConsoleMode(console.input, console.saved_mode);
    console.watching = false;
    SetConsoleCtrlHandler(on_control, FALSE);
}
