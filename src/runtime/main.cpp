// Entry point of the dunravel program; everything else is in the library.
// Sanitizer builds also carry their leak suppressions here (so the plain
// command is clean), and keep shared libraries loaded to the end.
#include "runtime/demo.h"

#if defined(__SANITIZE_ADDRESS__)
// Sanitizer builds: SDL2 (under the SDL 1.2 layer) keeps a few small blocks
// from setting the video mode past SDL_Quit, fontconfig keeps blocks of its
// font cache to the end, and libdbus (which SDL2 opens for a real window)
// keeps its connection's blocks. They are not ours to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libSDL2-2.0.so\nleak:libfontconfig.so\nleak:libdbus-1.so\n";
}

// The leak check runs at exit, after SDL has unloaded Mesa's GL driver (a
// real window loads it): the blocks the driver still held would then be
// reported from an unknown module, which no suppression can name. Loaded
// libraries stay loaded instead, the driver's blocks stay reachable from it,
// and nothing is reported. The program opens a handful of libraries, once
// each; this definition takes the place of the C library's.
extern "C" int dlclose(void*)
{
    return 0;
}
#endif

int main(int argc, char** argv)
{
    return demo_main(argc, argv);
}
