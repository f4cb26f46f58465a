// Video export: an ffmpeg process reading raw 640 × 480 frames (bgr0) at a
// frame rate from a pipe and muxing them with the music into H.264 in MP4.
// ffmpeg runs in its own process group, so Ctrl-C on the terminal reaches
// only this program, which then closes the pipe and lets ffmpeg finish the
// file. ffmpeg writes a temporary file beside the one named, which replaces
// it only when ffmpeg finished it: a failed run leaves the old file as it
// was. Every failure is reported on standard error.
#pragma once

#include <cstdint>

struct VideoPipe;

// Starts ffmpeg writing file, with the music file (null: no sound) from
// from_seconds on. An existing file that is not a regular file (a device, a
// FIFO) is written directly as a stream MP4; a folder is refused. Null when
// the temporary file cannot be made or ffmpeg cannot be started.
VideoPipe* video_pipe_open(const char* file, int32_t fps, const char* music_path, double from_seconds);
// Hands over one frame of SCREEN_WIDTH × SCREEN_HEIGHT words: 0, or 1 when
// ffmpeg stopped taking frames.
int32_t video_pipe_write(VideoPipe* pipe, const uint32_t* pixels);
// Closes the pipe and waits for ffmpeg. With keep, the finished file takes
// the name given: 0, or 1 when ffmpeg failed or the file cannot be moved
// into place (reported with ffmpeg's exit status or the reason). Without
// keep, or after a failure, the temporary file is removed. Frees the pipe.
int32_t video_pipe_close(VideoPipe* pipe, bool keep);
