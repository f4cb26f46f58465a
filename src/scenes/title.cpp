// Scene "title": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t title_load() { return 0; }
void title_free() {}
void title_render(float) {}
