// Entry point of the dunravel program; everything else is in the library.
#include "runtime/demo.h"

// Sanitizer builds: SDL2 (under the SDL 1.2 layer) keeps a few small blocks
// from setting the video mode past SDL_Quit, fontconfig keeps blocks of its
// font cache to the end, and libdbus (which SDL2 opens for a real window)
// keeps its connection's blocks. They are not ours to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libSDL2-2.0.so\nleak:libfontconfig.so\nleak:libdbus-1.so\n";
}

int main(int argc, char** argv)
{
    return demo_main(argc, argv);
}
