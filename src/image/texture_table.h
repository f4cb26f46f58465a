// The shared texture table: every image several effects use, loaded once as
// the first row of the effect table and addressed by index.
#pragma once

#include "image/texture.h"

#include <cstdint>

enum { TEXTURE_TABLE_SIZE = 45 };

// 0 on success; 1 when a file does not load, after freeing every entry
// loaded before it (one line on standard error names the file).
int32_t texture_table_load();
// Frees the entries loaded so far and sets them to null.
void texture_table_free();
// The entry at index (0..44), no range check; effects never free it.
Texture* texture_get(int32_t index);

// The file of entry index (0..43), or null outside that range.
const char* texture_table_path(int32_t index);
// Loads a file the way the table does: as PNG when the path contains ".png",
// else as JPEG when it contains ".jpg", else null. No mip chain.
Texture* texture_load_by_extension(const char* path);
