// Scene "terrain": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t terrain_load() { return 0; }
void terrain_free() {}
void terrain_render(float) {}
