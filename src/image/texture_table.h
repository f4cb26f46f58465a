// The shared texture table: every image several effects use, loaded once as
// the first row of the effect table and addressed by index.
#pragma once

#include "image/texture.h"

#include <cstdint>

enum { TEXTURE_TABLE_SIZE = 45 };

int32_t texture_table_load();
void texture_table_free();
Texture* texture_get(int32_t index);
