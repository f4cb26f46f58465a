// Scene "collider": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t collider_load() { return 0; }
void collider_free() {}
void collider_render(float) {}
