// Command-line parsing (options.h): "--name value" and "--name=value" forms,
// strict number checks, usage text.
#include "runtime/options.h"

#include "runtime/video.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool parse_int(const char* text, int32_t low, int32_t high, int32_t* out)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    *out = static_cast<int32_t>(v);
    return true;
}

bool parse_float(const char* text, float low, float high, float* out)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    float v = std::strtof(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < low || v > high)
        return false;
    *out = v;
    return true;
}

} // namespace

void options_print_usage(FILE* to)
{
    std::fprintf(to,
                 "usage: dunravel [options]\n"
                 "  -w, --window        run in a window (do not ask)\n"
                 "  -f, --fullscreen    run full screen (do not ask)\n"
                 "      --scale N       enlarge the window N times (1 to 8)\n"
                 "      --vsync         present in step with the display\n"
                 "      --no-sound      play without a sound device (the clock still follows the track)\n"
                 "      --start BEAT    start the music at this beat (90 beats per minute)\n"
                 "      --data DIR      read the data files from DIR instead of data/\n"
                 "  -h, --help          show this text\n"
                 "keys: Escape quits, 1 saves screenshot-NNN.bmp\n");
}

int32_t options_parse(int argc, char** argv, Options* out)
{
    *out = Options{VIDEO_ASK, 1, 0, 0, 0.0f, nullptr};
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        // Split "--name=value".
        char name[64];
        const char* value = nullptr;
        const char* eq = std::strchr(arg, '=');
        if (arg[0] == '-' && arg[1] == '-' && eq && eq - arg < static_cast<long>(sizeof name)) {
            std::memcpy(name, arg, static_cast<size_t>(eq - arg));
            name[eq - arg] = '\0';
            value = eq + 1;
        } else {
            std::snprintf(name, sizeof name, "%s", arg);
        }
        auto take_value = [&]() -> const char* {
            if (value)
                return value;
            if (i + 1 < argc)
                return argv[++i];
            return nullptr;
        };
        bool flag = !value;
        if (flag && (!std::strcmp(name, "-w") || !std::strcmp(name, "--window"))) {
            out->video_mode = VIDEO_WINDOW;
        } else if (flag && (!std::strcmp(name, "-f") || !std::strcmp(name, "--fullscreen"))) {
            out->video_mode = VIDEO_FULLSCREEN;
        } else if (flag && !std::strcmp(name, "--vsync")) {
            out->vsync = 1;
        } else if (flag && !std::strcmp(name, "--no-sound")) {
            out->no_sound = 1;
        } else if (flag && (!std::strcmp(name, "-h") || !std::strcmp(name, "--help"))) {
            return OPTIONS_HELP;
        } else if (!std::strcmp(name, "--scale")) {
            if (!parse_int(take_value(), 1, 8, &out->scale)) {
                std::fprintf(stderr, "dunravel: --scale needs a whole number from 1 to 8\n");
                return OPTIONS_ERROR;
            }
        } else if (!std::strcmp(name, "--start")) {
            if (!parse_float(take_value(), 0.0f, 100000.0f, &out->start_beat)) {
                std::fprintf(stderr, "dunravel: --start needs a beat number of 0 or more\n");
                return OPTIONS_ERROR;
            }
        } else if (!std::strcmp(name, "--data")) {
            const char* dir = take_value();
            if (!dir || !*dir) {
                std::fprintf(stderr, "dunravel: --data needs a folder\n");
                return OPTIONS_ERROR;
            }
            out->data_dir = dir;
        } else {
            std::fprintf(stderr, "dunravel: unknown option %s\n", arg);
            return OPTIONS_ERROR;
        }
    }
    return OPTIONS_RUN;
}
