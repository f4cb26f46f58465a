// Video export: an ffmpeg process reading raw 640 × 480 frames (bgr0) at a
// frame rate from a pipe and muxing them with the music into H.264 in MP4.
// ffmpeg runs in its own process group, so Ctrl-C on the terminal reaches
// only this program, which then closes the pipe and lets ffmpeg finish the
// file. Every failure is reported on standard error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct VideoPipe;

// Starts ffmpeg writing file, with the music file (null: no sound) from
// from_seconds on. An existing file that is not a regular file (a device, a
// FIFO) is written as a stream MP4; a folder is refused. Null when ffmpeg
// cannot be started.
VideoPipe* video_pipe_open(const char* file, int32_t fps, const char* music_path, double from_seconds);
// Hands over one frame of SCREEN_WIDTH × SCREEN_HEIGHT words: 0, or 1 when
// ffmpeg stopped taking frames.
int32_t video_pipe_write(VideoPipe* pipe, const uint32_t* pixels);
// Closes the pipe and waits for ffmpeg: 0 when it finished the file, 1
// otherwise (reported with ffmpeg's exit status). Frees the pipe.
int32_t video_pipe_close(VideoPipe* pipe);

// ffmpeg's arguments (the first is "ffmpeg") for writing file; stream: the
// target is a device or a FIFO, which gets a fragmented MP4 with the index
// first.
std::vector<std::string> video_pipe_arguments(const char* file, int32_t fps, const char* music_path,
                                              double from_seconds, bool stream);
// args as one Windows command line that the C runtime's parser splits back
// into exactly args (quoting names with spaces, quotes and backslashes).
std::string video_pipe_command_line(const std::vector<std::string>& args);
