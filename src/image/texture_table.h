// The shared texture table: every image several effects use, loaded once as
// the first row of the effect table and addressed by index.
#pragma once

#include "image/texture.h"

#include <cstdint>

enum { TEXTURE_TABLE_SIZE = 45 };

// Rows of the table by name: TEXTURE_ and the file's stem (data\\invenv.jpg is
// TEXTURE_INVENV), and the generated cosine ramp last.
enum TextureRow : int32_t {
    TEXTURE_ENVIGOLDEN = 0,
    TEXTURE_ENVIBLUE = 1,
    TEXTURE_INVENV = 2,
    TEXTURE_INVENV_BLUE = 3,
    TEXTURE_SUMMER = 4,
    TEXTURE_CORKSCREW_SEPIA = 5,
    TEXTURE_CORKSCREW_BLUE = 6,
    TEXTURE_CORKSCREW_GRAY = 7,
    TEXTURE_PARTICLE2 = 8,
    TEXTURE_CIRCLE_PARTICLE = 9,
    TEXTURE_HIPHOP = 10,
    TEXTURE_ANGEL = 11,
    TEXTURE_ANGEL_ENVMAP = 12,
    TEXTURE_ANGEL_SPRITE = 13,
    TEXTURE_TWISTER_BG = 14,
    TEXTURE_STONE_TILES_12_256X = 15,
    TEXTURE_SCREAM = 16,
    TEXTURE_GROUP_OF_PEOPLE = 17,
    TEXTURE_GRACE_FILTER = 18,
    TEXTURE_POINTLIGHT = 19,
    TEXTURE_CORKSCREW_GRAYDUDV = 20,
    TEXTURE_CELLTILE = 21,
    TEXTURE_CELLTILEDUDV = 22,
    TEXTURE_LIGHTENV128 = 23,
    TEXTURE_SKYDOT3 = 24,
    TEXTURE_TUNNEL_COLOR = 25,
    TEXTURE_CORKSCREW_GRAYDOT3 = 26,
    TEXTURE_SPEC_MAP_BG = 27,
    TEXTURE_FLARES = 28,
    TEXTURE_RIBBONS_BG = 29,
    TEXTURE_POET_PORTRAIT = 30,
    TEXTURE_THINKER_SMALL = 31,
    TEXTURE_YO_MAN = 32,
    TEXTURE_PUPPETS = 33,
    TEXTURE_COLLIDER_BG = 34,
    TEXTURE_SINGER_PORTRAIT = 35,
    TEXTURE_SINGER_PORTRAIT_2 = 36,
    TEXTURE_MUSICIAN_PORTRAIT = 37,
    TEXTURE_WAGON = 38,
    TEXTURE_MUSICIAN_HEAD = 39,
    TEXTURE_HAND_1 = 40,
    TEXTURE_HAND_2 = 41,
    TEXTURE_HAND_3 = 42,
    TEXTURE_HAND_4 = 43,
    TEXTURE_COSINE_RAMP = 44,
};

// 0 on success; 1 when a file does not load, after freeing every entry
// loaded before it (one line on standard error names the file).
int32_t texture_table_load();
// Frees the entries loaded so far and sets them to null.
void texture_table_free();
// The entry at index (0..44), or null outside that range or before the
// load; effects never free it.
Texture* texture_get(int32_t index);

// The file of entry index (0..43), or null outside that range.
const char* texture_table_path(int32_t index);
// Loads a file the way the table does: as PNG when the path contains ".png",
// else as JPEG when it contains ".jpg", else null. No mip chain.
Texture* texture_load_by_extension(const char* path);
