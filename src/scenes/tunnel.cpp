// Scene "tunnel": not built yet; loads nothing and draws nothing.
#include "scenes/scenes.h"

int32_t tunnel_load() { return 0; }
void tunnel_free() {}
void tunnel_render(float) {}
