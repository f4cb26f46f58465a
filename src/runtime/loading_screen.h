// The loading screen: a second thread that keeps the picture alive while the
// main thread loads every effect. The main thread sets loading_active to 1
// before starting it and to 0 when loading has ended; the thread stops within
// a frame of reading 0. The flag is the only state the two threads share.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<int32_t> loading_active;

// The thread function (SDL_CreateThread); the argument is not read. Returns
// 0 after a normal end, 1 when its images or mesh could not be made.
int loading_screen_main(void* argument);
