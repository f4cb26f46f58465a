// The loading screen (loading_screen.h). For now it draws nothing: it waits
// for the main thread to clear loading_active, so the start-up sequence and
// the join already run as they will with the real screen.
#include "runtime/loading_screen.h"

#include <SDL.h>

std::atomic<int32_t> loading_active{0};

int loading_screen_main(void*)
{
    while (loading_active.load() != 0)
        SDL_Delay(5);
    return 0;
}
