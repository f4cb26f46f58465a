// The ffmpeg command line of the video export (video_command.h). Plain
// strings; starting the process is each platform's pipe's business.
#include "runtime/video_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

std::string video_file_name(const char* path)
{
    return std::string("file:") + (path ? path : "");
}

std::vector<std::string> video_ffmpeg_command(const char* output, int32_t fps, const char* music_path,
                                              double from_seconds, bool stream)
{
    std::string rate = std::to_string(fps);
    char from[32];
    std::snprintf(from, sizeof from, "%.6f", from_seconds);
    std::vector<std::string> args = {
        "ffmpeg",        "-hide_banner", "-loglevel",   "error",   "-nostdin",   "-y", "-f", "rawvideo",
        "-pixel_format", "bgr0",         "-video_size", "640x480", "-framerate", rate, "-i", "pipe:0"};
    if (music_path) {
        std::vector<std::string> audio = {"-ss",   from,   "-i",  video_file_name(music_path), "-map", "0:v:0",
                                          "-map",  "1:a:0", "-c:a", "aac", "-b:a", "192k", "-shortest"};
        args.insert(args.end(), audio.begin(), audio.end());
    }
    std::vector<std::string> video = {"-c:v", "libx264", "-preset",  "veryfast",
                                      "-crf", "18",      "-pix_fmt", "yuv420p"};
    args.insert(args.end(), video.begin(), video.end());
    // The container is named, not guessed from the name: the file is written
    // under a temporary name first. A device or a FIFO cannot be read back to
    // move the index to the front: write fragments with the index first.
    std::vector<std::string> container = {"-f", "mp4", "-movflags", "+faststart"};
    if (stream)
        container = {"-f", "mp4", "-movflags", "frag_keyframe+empty_moov"};
    args.insert(args.end(), container.begin(), container.end());
    args.push_back(video_file_name(output));
    return args;
}

std::string video_command_line(const std::vector<std::string>& args)
{
    // The rules CommandLineToArgvW and the C runtimes parse with: an argument
    // with a space, a tab or a quote (or an empty one) is quoted; inside,
    // backslashes are literal except before a quote, where each is doubled
    // and the quote escaped.
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty())
            line += ' ';
        if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += arg;
            continue;
        }
        line += '"';
        size_t backslashes = 0;
        for (char c : arg) {
            if (c == '\\') {
                backslashes++;
                continue;
            }
            if (c == '"')
                line.append(backslashes * 2 + 1, '\\');
            else
                line.append(backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\'); // before the closing quote
        line += '"';
    }
    return line;
}

int32_t video_reserve_output(const char* file, OutputFile* output)
{
    int error = output_file_reserve(file, output);
    if (error == EISDIR)
        std::fprintf(stderr, "dunravel: cannot write the video %s: it is a folder\n", file);
    else if (error != 0)
        std::fprintf(stderr, "dunravel: cannot write the video %s (%s)\n", file, std::strerror(error));
    return error != 0 ? 1 : 0;
}
