// Scene "greetings": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t greetings_load() { return 0; }
void greetings_free() {}
void greetings_render(float) {}
