// Scene "twister": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t twister_load() { return 0; }
void twister_free() {}
void twister_render(float) {}
