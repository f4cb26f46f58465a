// Numbered BMP screenshots (screenshot.h) through SDL's BMP writer; files
// are created exclusively ("wbx"), so earlier screenshots are never lost.
#include "runtime/screenshot.h"

#include "core/frame.h"

#include <SDL.h>

#include <cerrno>
#include <cstdio>

int32_t screenshot_number = 1;

int32_t screenshot_due(int32_t key_down, int32_t* guard)
{
    if (key_down && *guard == 0) {
        *guard += 16;
        return 1;
    }
    *guard -= 1;
    if (*guard < 0)
        *guard = 0;
    return 0;
}

namespace
{

enum { WRITE_OK = 0, WRITE_FAILED = 1, WRITE_EXISTS = 2 };

int32_t write_bmp(const FrameSurface* s, const char* name, bool exclusive)
{
    if (!s || !s->pixels)
        return WRITE_FAILED;
    errno = 0;
    FILE* fp = std::fopen(name, exclusive ? "wbx" : "wb");
    if (!fp)
        return errno == EEXIST ? WRITE_EXISTS : WRITE_FAILED;
    SDL_Surface* view = SDL_CreateRGBSurfaceFrom(s->pixels, s->w, s->h, 32, s->pitch, 0x00FF0000u,
                                                 0x0000FF00u, 0x000000FFu, 0);
    SDL_RWops* rw = SDL_RWFromFP(fp, 1);
    int32_t result = WRITE_FAILED;
    if (view && rw)
        result = SDL_SaveBMP_RW(view, rw, 1) == 0 ? WRITE_OK : WRITE_FAILED; // closes the file
    else if (rw)
        SDL_RWclose(rw);
    else
        std::fclose(fp);
    if (view)
        SDL_FreeSurface(view);
    if (result != WRITE_OK)
        std::remove(name); // our own half-written file
    return result;
}

} // namespace

int32_t screenshot_write_bmp(const FrameSurface* s, const char* name, bool exclusive)
{
    return write_bmp(s, name, exclusive) == WRITE_OK ? 0 : 1;
}

int32_t screenshot_save(const FrameSurface* s, char* name_out, int32_t size)
{
    // Bounded: at most this many taken numbers are skipped in one call.
    for (int32_t attempt = 0; attempt < 100000; attempt++) {
        char name[260];
        std::snprintf(name, sizeof name, "screenshot-%.3d.bmp", screenshot_number);
        screenshot_number++;
        int32_t result = write_bmp(s, name, true);
        if (result == WRITE_OK) {
            if (name_out && size > 0)
                std::snprintf(name_out, static_cast<size_t>(size), "%s", name);
            return 0;
        }
        if (result != WRITE_EXISTS)
            return 1;
    }
    return 1;
}
