// Scene "end": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t end_load() { return 0; }
void end_free() {}
void end_render(float) {}
