// Entry point of the dunravel program; everything else is in the library.
#include "runtime/demo.h"

int main(int argc, char** argv) { return demo_main(argc, argv); }
