// Grain and TV post filter: not built yet; loads nothing and draws nothing.
#include "overlays/overlays.h"

int32_t post_filter_load() { return 0; }
void post_filter_free() {}
void post_filter_render(float) {}
