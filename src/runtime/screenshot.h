// Screenshots: numbered BMP files of the frame surface in the working
// directory ("screenshot-001.bmp", ...). A file that already exists is never
// overwritten: its number is skipped.
#pragma once

#include <cstdint>

struct FrameSurface;

// The number of the next screenshot, from 1, never reset during a run.
extern int32_t screenshot_number;

// The key-hold rule: a held key takes a shot on its first frame and then
// every 17th frame. Called once per frame with the key state; *guard is the
// frame count-down (start it at 0). Returns 1 when a shot is due now.
int32_t screenshot_due(int32_t key_down, int32_t* guard);

// Saves surface under the next free number (exclusive create). Writes the
// name used (or tried last) into name (size bytes) when given. 0 on success,
// 1 when no file could be written, with errno saying why.
int32_t screenshot_save(const FrameSurface* surface, char* name, int32_t size);
// screenshot_save for the key: a failure is one line on standard error
// naming the file and the reason, and the program goes on. 0 or 1.
int32_t screenshot_take(const FrameSurface* surface);

// Saves surface as a BMP file under exactly this name; 0 or 1.
int32_t screenshot_write_bmp(const FrameSurface* surface, const char* name, bool exclusive);
