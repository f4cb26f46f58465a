// texture-info: for each image named on the command line, loads it the way
// the texture table does (".png" -> PNG loader, else ".jpg" -> JPEG loader)
// and prints "path width height checksum", the checksum being 32-bit FNV-1a
// over the loaded 0xAARRGGBB words in row order. A file that does not load
// prints "path - error"; the exit status is then 1. Relies on image/.
#include "image/texture_table.h"

#include <cstdio>
#include <cstring>

static uint32_t fnv1a_words(const uint32_t* words, size_t count)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < count; i++)
        h = (h ^ words[i]) * 16777619u;
    return h;
}

int main(int argc, char** argv)
{
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::printf("usage: texture-info IMAGE...\n"
                    "prints \"path width height checksum\" per image (FNV-1a of the loaded pixels)\n");
        return argc < 2 ? 2 : 0;
    }
    int status = 0;
    for (int i = 1; i < argc; i++) {
        Texture* t = texture_load_by_extension(argv[i]);
        if (!t) {
            std::printf("%s - error\n", argv[i]);
            status = 1;
            continue;
        }
        size_t count = static_cast<size_t>(t->width) * static_cast<size_t>(t->height);
        std::printf("%s %d %d %08x\n", argv[i], t->width, t->height, fnv1a_words(t->pixels, count));
        texture_free(t);
    }
    return status;
}
