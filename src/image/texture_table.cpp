// The shared texture table: not built yet; holds no textures.
#include "image/texture_table.h"

int32_t texture_table_load() { return 0; }
void texture_table_free() {}
Texture* texture_get(int32_t) { return nullptr; }
