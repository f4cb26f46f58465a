// Scene "metaball": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t metaball_load() { return 0; }
void metaball_free() {}
void metaball_render(float) {}
