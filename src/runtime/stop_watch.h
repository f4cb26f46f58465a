// Stopping an offline run between frames: SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// and Escape typed on the terminal (standard input read without waiting or
// echo while a run lasts; the terminal is restored afterwards, also on exit).
// Which signals stop a run and what they mean is shared by every platform
// (stop_reason.cpp); catching them is each platform's (stop_watch.cpp).
#pragma once

#include <cstdint>

// Why a run stopped early.
enum { STOP_NONE = 0, STOP_ESCAPE = 1, STOP_INTERRUPT = 2, STOP_TERMINATE = 3, STOP_HANG_UP = 4, STOP_QUIT = 5 };

// Installs the signal handlers (SIGPIPE is ignored: a dead pipe shows as a
// failed write) and puts the terminal into key-at-a-time mode.
void stop_watch_begin();
// STOP_NONE, or the first reason seen since stop_watch_begin.
int32_t stop_requested();
// Restores the terminal and the default signal handlers.
void stop_watch_end();

// The exit status of a run stopped for reason: 0 for Escape (the user's own
// stop), else 128 + the signal's number as a shell reports a process the
// signal ended: 129 SIGHUP, 130 SIGINT, 131 SIGQUIT, 143 SIGTERM.
int32_t stop_exit_status(int32_t reason);
// "Escape", "SIGINT", "SIGTERM", "SIGHUP", "SIGQUIT" (null for STOP_NONE).
const char* stop_reason_name(int32_t reason);
// The reason a signal of this (POSIX) number gives, or STOP_NONE for a
// signal that does not stop a run.
int32_t stop_reason_of_signal(int signal_number);
// The POSIX number of the i-th signal that stops a run cleanly, or 0 past
// the last.
int stop_signal_number(int i);
