// What the program (demo.cpp) and the page (demo_web.cpp) do alike: one frame
// drawn at the clock's time, and the length of the loaded music against the
// timeline. Relies on the video brackets, the timeline and the music clock.
#include "runtime/demo.h"

#include "core/frame.h"
#include "platform/audio.h"
#include "raster/raster.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/video.h"

#include <cstdio>
#include <cstring>

namespace
{

// A black frame and a clear depth buffer, row by row.
void clear_rows(void*, int32_t first_row, int32_t end_row)
{
    const size_t pitch = static_cast<size_t>(screen->pitch);
    std::memset(reinterpret_cast<unsigned char*>(screen->pixels) + pitch * static_cast<size_t>(first_row), 0,
                pitch * static_cast<size_t>(end_row - first_row));
    depth_buffer_fill_rows(depth_buffer, DEPTH_CLEAR, first_row, end_row);
}

} // namespace

void demo_draw_picture()
{
    frame_lock();
    // Both halves at once when the drawing helper is awake (it is, right
    // after the last frame's work).
    raster_split_in_two(clear_rows, nullptr);
    timeline_render();
}

void demo_draw_frame()
{
    demo_draw_picture();
    frame_end();
}

double demo_music_seconds()
{
    return audio_bytes_to_seconds(audio_track_bytes(music_track()));
}

void demo_warn_short_music(double track)
{
    double timeline_seconds = timeline_end_beat() * 60.0 / DEMO_TEMPO_BPM;
    if (track < timeline_seconds)
        std::fprintf(stderr,
                     "dunravel: warning: the music lasts %.3fs, the timeline %.3fs; the demo ends with the "
                     "music\n",
                     track, timeline_seconds);
}
