// Entry point of the dunravel program; everything else is in the library.
#include "runtime/demo.h"

// Sanitizer builds: SDL2 (under the SDL 1.2 layer) keeps a few small blocks
// from setting the video mode past SDL_Quit. They are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libSDL2-2.0.so\n"; }

int main(int argc, char** argv) { return demo_main(argc, argv); }
