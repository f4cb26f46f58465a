// The ffmpeg command line of the video export, shared by every platform's
// pipe (video_pipe.h): raw 640 × 480 bgr0 frames on standard input, the
// music from a file, H.264 and AAC in MP4. Every path is given as a "file:"
// name, so that no name is taken for an option ("-a.mp4") or a protocol
// ("a:b.mp4").
#pragma once

#include "platform/output_file.h"

#include <cstdint>
#include <string>
#include <vector>

// path as ffmpeg must be given it to read or write exactly that file.
std::string video_file_name(const char* path);

// The whole command (the program name first) writing output, with the music
// file (null: no sound) from from_seconds on. stream: the output cannot be
// read back (a device, a FIFO), so the MP4 is written in fragments with the
// index first.
std::vector<std::string> video_ffmpeg_command(const char* output, int32_t fps, const char* music_path,
                                              double from_seconds, bool stream);

// args as one Windows command line that the C runtime's parser splits back
// into exactly args (quoting names with spaces, quotes and backslashes).
std::string video_command_line(const std::vector<std::string>& args);

// Reserves the video's name (output_file_reserve): ffmpeg writes a temporary
// file beside it, or the file itself when it is a device or a FIFO. 0, or 1
// after saying why on standard error (a folder, or the system's reason).
int32_t video_reserve_output(const char* file, OutputFile* output);
