// Screenshots: numbered BMP files of the frame surface in the working
// directory ("screenshot-001.bmp", ...). A file that already exists is never
// overwritten: its number is skipped.
#pragma once

#include <cstdint>

struct FrameSurface;

// The number of the next screenshot, from 1, never reset during a run.
extern int32_t screenshot_number;

// The key-hold rule, by time so that it does not depend on the frame rate: a
// press takes a shot at once, and a held key one more every 17/60 s. A shot
// is never closer than that to the one before, also across a release.
struct ScreenshotRepeat {
    int32_t taken;     // non-zero once a shot was taken
    int32_t held;      // the key was down at the previous call
    int64_t last_shot; // counter value at which the last shot was due
};
constexpr int32_t SCREENSHOT_REPEAT_SIXTIETHS = 17;

// Called once per frame with the key state and the counter value now (ticks
// at frequency per second); *repeat starts zeroed. Returns 1 when a shot is
// due now (and records it).
int32_t screenshot_due(int32_t key_down, int64_t now, int64_t frequency, ScreenshotRepeat* repeat);

// Saves surface under the next free number (exclusive create). Writes the
// name used (or tried last) into name (size bytes) when given. 0 on success,
// 1 when no file could be written, with errno saying why.
int32_t screenshot_save(const FrameSurface* surface, char* name, int32_t size);
// screenshot_save for the key: a failure is one line on standard error
// naming the file and the reason, and the program goes on. 0 or 1.
int32_t screenshot_take(const FrameSurface* surface);

// Saves surface as a BMP file under exactly this name; 0 or 1.
int32_t screenshot_write_bmp(const FrameSurface* surface, const char* name, bool exclusive);
