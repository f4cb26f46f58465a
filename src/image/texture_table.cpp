// The shared texture table: the 44 image files several effects use, loaded
// once as the first row of the effect table, plus a generated cosine ramp
// (entry 44). Effects borrow entries by index and never free them.
// Relies on the loaders of texture.h and core_sin.
#include "image/texture_table.h"

#include "core/core.h"
#include "platform/paths.h"

#include <cstdio>
#include <cstring>

enum { TEXTURE_FILE_COUNT = 44, TEXTURE_PATH_SIZE = 64 };
static_assert(static_cast<int>(TEXTURE_COSINE_RAMP) == static_cast<int>(TEXTURE_FILE_COUNT), "the ramp follows the files");

static const char texture_paths[TEXTURE_FILE_COUNT][TEXTURE_PATH_SIZE] = {
    "data\\EnviGolden.jpg",
    "data\\EnviBlue.jpg",
    "data\\invenv.jpg",
    "data\\invenv_blue.jpg",
    "data\\summer.jpg",
    "data\\corkscrew_sepia.jpg",
    "data\\corkscrew_blue.jpg",
    "data\\corkscrew_gray.jpg",
    "data\\particle2.jpg",
    "data\\circle_particle.jpg",
    "data\\hiphop.jpg",
    "data\\angel.jpg",
    "data\\angel_envmap.jpg",
    "data\\angel_sprite.png",
    "data\\twister_bg.jpg",
    "data\\stone_tiles_12_256x.jpg",
    "data\\scream.png",
    "data\\group_of_people.png",
    "data\\grace_filter.png",
    "data\\pointlight.png",
    "data\\corkscrew_grayDUDV.png",
    "data\\celltile.jpg",
    "data\\celltileDUDV.jpg",
    "data\\lightEnv128.jpg",
    "data\\skyDOT3.jpg",
    "data\\tunnel_color.jpg",
    "data\\corkscrew_grayDOT3.jpg",
    "data\\spec_map_bg.jpg",
    "data\\flares.jpg",
    "data\\ribbons_bg.png",
    "data\\poet_portrait.png",
    "data\\thinker_small.png",
    "data\\yo_man.png",
    "data\\puppets.png",
    "data\\collider_bg.jpg",
    "data\\singer_portrait.png",
    "data\\singer_portrait_2.png",
    "data\\musician_portrait.png",
    "data\\wagon.png",
    "data\\musician_head.png",
    "data\\hand_1.png",
    "data\\hand_2.png",
    "data\\hand_3.png",
    "data\\hand_4.png",
};

static Texture* textures[TEXTURE_TABLE_SIZE];
static int32_t texture_count;

const char* texture_table_path(int32_t index)
{
    return index >= 0 && index < TEXTURE_FILE_COUNT ? texture_paths[index] : nullptr;
}

Texture* texture_load_by_extension(const char* path)
{
    if (std::strstr(path, ".png"))
        return texture_load_png(path, 0);
    if (std::strstr(path, ".jpg"))
        return texture_load_jpeg(path, 0);
    path_fail(path, "neither .png nor .jpg");
    return nullptr;
}

// Entry 44: red follows half a cosine wave across x (0 at x = 0, 254 at
// x = 255), green is the row, blue and alpha are 0.
static Texture* texture_cosine_ramp()
{
    Texture* t = texture_create(256, 256);
    if (!t)
        return nullptr;
    for (int32_t y = 0; y < 256; y++) {
        for (int32_t x = 0; x < 256; x++) {
            float u = static_cast<float>(x) / 255.0f;
            float s = core_sin(u * 3.1415927f - 1.5707964f);
            uint32_t red = static_cast<uint32_t>(static_cast<int32_t>(s * 127.0f + 127.0f));
            t->pixels[y * 256 + x] = red << 16 | static_cast<uint32_t>(y) << 8;
        }
    }
    return t;
}

int32_t texture_table_load()
{
    texture_count = 0;
    for (int32_t i = 0; i < TEXTURE_FILE_COUNT; i++) {
        textures[i] = texture_load_by_extension(texture_paths[i]);
        if (!textures[i]) {
            std::fprintf(stderr, "texture table: cannot load %s\n", texture_load_failure());
            texture_table_free();
            return 1;
        }
        texture_count++;
    }
    textures[TEXTURE_FILE_COUNT] = texture_cosine_ramp();
    if (!textures[TEXTURE_FILE_COUNT]) {
        std::fprintf(stderr, "texture table: out of memory for the cosine ramp\n");
        texture_table_free();
        return 1;
    }
    texture_count++;
    return 0;
}

void texture_table_free()
{
    for (int32_t i = 0; i < texture_count; i++) {
        texture_free(textures[i]);
        textures[i] = nullptr;
    }
}

Texture* texture_get(int32_t index)
{
    return index >= 0 && index < TEXTURE_TABLE_SIZE ? textures[index] : nullptr;
}
