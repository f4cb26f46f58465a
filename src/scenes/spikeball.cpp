// Scene "spikeball": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t spikeball_load() { return 0; }
void spikeball_free() {}
void spikeball_render(float) {}
