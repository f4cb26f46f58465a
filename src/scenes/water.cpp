// Scene "water": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t water_load() { return 0; }
void water_free() {}
void water_render(float) {}
