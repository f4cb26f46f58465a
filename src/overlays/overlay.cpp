// Text overlay track: not built yet; loads nothing and draws nothing.
#include "overlays/overlays.h"

int32_t overlay_load() { return 0; }
void overlay_free() {}
void overlay_render(float) {}
