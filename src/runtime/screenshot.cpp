// Numbered BMP screenshots (screenshot.h) through SDL's BMP writer; files
// are created exclusively (O_EXCL), so earlier screenshots are never lost.
#include "runtime/screenshot.h"

#include "core/frame.h"

#include <SDL.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

int32_t screenshot_number = 1;

int32_t screenshot_due(int32_t key_down, int64_t now, int64_t frequency, ScreenshotRepeat* repeat)
{
    if (!key_down) {
        repeat->held = 0;
        return 0;
    }
    int64_t interval = frequency * SCREENSHOT_REPEAT_SIXTIETHS / 60;
    int64_t due = repeat->taken ? repeat->last_shot + interval : now;
    bool was_held = repeat->held != 0;
    repeat->held = 1;
    if (now < due)
        return 0;
    // While the key stays down the series is counted from when each shot was
    // due, not from the frame that took it, so the rate does not drift with
    // the frame times; a fresh press (or a long stall) starts it anew.
    repeat->last_shot = was_held && now - due < interval ? due : now;
    repeat->taken = 1;
    return 1;
}

namespace
{

// The BMP is made in memory by SDL's writer, then written with checked calls,
// so that a full disk is noticed (SDL does not check closing the file).
// 0, or an error number (EEXIST when exclusive and the name is taken).
int write_bmp(const FrameSurface* s, const char* name, bool exclusive)
{
    if (!s || !s->pixels || s->w <= 0 || s->h <= 0)
        return EINVAL;
    SDL_Surface* view = SDL_CreateRGBSurfaceFrom(s->pixels, s->w, s->h, 32, s->pitch, 0x00FF0000u,
                                                 0x0000FF00u, 0x000000FFu, 0);
    if (!view)
        return ENOMEM;
    // Headers, a palette at most, and the rows at 4 bytes a pixel.
    std::vector<unsigned char> bytes(4096 + static_cast<size_t>(s->w) * static_cast<size_t>(s->h) * 4);
    SDL_RWops* rw = SDL_RWFromMem(bytes.data(), static_cast<int>(bytes.size()));
    long size = -1;
    if (rw && SDL_SaveBMP_RW(view, rw, 0) == 0)
        size = SDL_RWtell(rw);
    if (rw)
        SDL_RWclose(rw);
    SDL_FreeSurface(view);
    if (size <= 0)
        return ENOMEM;
#ifdef _WIN32
    // Binary: the C runtime would otherwise write CR LF for every 0x0A byte.
    int fd = _open(name, _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT | (exclusive ? _O_EXCL : _O_TRUNC),
                   _S_IREAD | _S_IWRITE);
#else
    int fd = open(name, O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC), 0666);
#endif
    if (fd < 0)
        return errno;
    // Only a regular file is ours to remove after a failure, never a device.
    struct stat st;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    int error = 0;
    for (size_t done = 0; done < static_cast<size_t>(size) && error == 0;) {
        ssize_t n = write(fd, bytes.data() + done, static_cast<size_t>(size) - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : EIO;
        else
            done += static_cast<size_t>(n);
    }
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0 && regular)
        unlink(name); // our own half-written file
    return error;
}

} // namespace

int32_t screenshot_write_bmp(const FrameSurface* s, const char* name, bool exclusive)
{
    return write_bmp(s, name, exclusive) == 0 ? 0 : 1;
}

int32_t screenshot_save(const FrameSurface* s, char* name_out, int32_t size)
{
    // Bounded: at most this many taken numbers are skipped in one call.
    errno = 0;
    for (int32_t attempt = 0; attempt < 100000; attempt++) {
        char name[260];
        std::snprintf(name, sizeof name, "screenshot-%.3d.bmp", screenshot_number);
        screenshot_number++;
        int error = write_bmp(s, name, true);
        if (error == EEXIST)
            continue;
        if (name_out && size > 0)
            std::snprintf(name_out, static_cast<size_t>(size), "%s", name);
        errno = error;
        return error == 0 ? 0 : 1;
    }
    errno = EEXIST;
    return 1;
}

int32_t screenshot_take(const FrameSurface* s)
{
    char name[260] = "";
    if (screenshot_save(s, name, sizeof name) == 0)
        return 0;
    int error = errno;
    std::fprintf(stderr, "dunravel: cannot save the screenshot %s (%s)\n",
                 name[0] ? name : "screenshot-NNN.bmp", std::strerror(error ? error : EIO));
    return 1;
}
