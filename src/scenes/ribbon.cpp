// Scene "ribbon": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t ribbon_load() { return 0; }
void ribbon_free() {}
void ribbon_render(float) {}
