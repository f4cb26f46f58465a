// Stopping an offline run between frames: SIGINT, SIGTERM, and Escape typed
// on the terminal (standard input read without waiting or echo while a run
// lasts; the terminal is restored afterwards, also on exit).
#pragma once

#include <cstdint>

// Why a run stopped early.
enum { STOP_NONE = 0, STOP_ESCAPE = 1, STOP_INTERRUPT = 2, STOP_TERMINATE = 3 };

// Installs the signal handlers (SIGPIPE is ignored: a dead pipe shows as a
// failed write) and puts the terminal into key-at-a-time mode.
void stop_watch_begin();
// STOP_NONE, or the first reason seen since stop_watch_begin.
int32_t stop_requested();
// Restores the terminal and the default signal handlers.
void stop_watch_end();

// The exit status of a run stopped for reason: 0 for Escape (the user's own
// stop), 130 for SIGINT, 143 for SIGTERM, as a shell reports a process those
// signals ended.
int32_t stop_exit_status(int32_t reason);
// "Escape", "SIGINT", "SIGTERM" (null for STOP_NONE).
const char* stop_reason_name(int32_t reason);
