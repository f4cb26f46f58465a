// Command-line parsing (options.h): "--name value" and "--name=value" forms,
// strict number checks, usage text.
#include "runtime/options.h"

#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/pacing.h"
#include "runtime/video.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>

namespace
{

// The one rule for numbers on the command line: plain decimal, an optional
// sign, digits with an optional fraction and exponent ("12", "409.5",
// "1e3"); whole numbers are digits only. No hexadecimal, no "inf" or "nan",
// no spaces: the C library's readers take all of those.
bool decimal_text(const char* text, bool whole)
{
    const char* p = text;
    if (*p == '+' || *p == '-')
        p++;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; p++)
        digits++;
    if (whole)
        return digits > 0 && *p == '\0';
    if (*p == '.')
        for (p++; *p >= '0' && *p <= '9'; p++)
            digits++;
    if (digits == 0)
        return false;
    if (*p == 'e' || *p == 'E') {
        p++;
        if (*p == '+' || *p == '-')
            p++;
        if (!(*p >= '0' && *p <= '9'))
            return false;
        while (*p >= '0' && *p <= '9')
            p++;
    }
    return *p == '\0';
}

bool parse_int(const char* text, int32_t low, int32_t high, int32_t* out)
{
    if (!text || !decimal_text(text, true))
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
    if (!text || !decimal_text(text, false))
        return false;
    // Too large to hold is as past any end as the largest float.
    double d = std::strtod(text, nullptr);
    if (!(d >= static_cast<double>(low)))
        return false;
    float v = d > static_cast<double>(high) ? high : static_cast<float>(d);
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
                 "      --vsync         present in step with the display where the video driver\n"
                 "                      can (the default); --no-vsync presents at once\n"
                 "      --max-fps N     draw at most N frames a second (default %d; 0 = no cap)\n"
                 "      --no-sound      play without a sound device (the clock still follows the track)\n"
                 "      --start BEAT    start the music at this beat (90 beats per minute)\n"
                 "      --data DIR      read the data files from DIR instead of data/\n"
                 "      --threads N     draw with N threads, 1 or 2 (default %d: the processors\n"
                 "                      here, at most 2; 1 for --capture and --video on two\n"
                 "                      processors or fewer); the picture is the same\n"
                 "  -h, --help          show this text\n"
                 "offline (fixed-step clock: frame k at k / fps, no window, no sound device):\n"
                 "      --capture DIR   write every frame as DIR/frame-NNNNNN.png (N = frame number k)\n"
                 "      --video FILE    pipe the frames and the music to ffmpeg (H.264 in MP4)\n"
                 "      --bench         time every frame; print a table per timeline row\n"
                 "      --bench-json F  also write the bench results as JSON to F\n"
                 "      --contact-sheet FILE.png  one picture: a labelled frame every 8 beats\n"
                 "      --fps N         frames per second of the fixed-step clock (default 60)\n"
                 "      --from X        start at X: a beat, or seconds with the suffix s (12.5s)\n"
                 "      --to X          stop before X (same units; default: the end)\n"
                 "      --frames N      stop after N frames\n"
                 "      --warm-up       draw the frames before --from too (without output), so\n"
                 "                      scenes that carry state from frame to frame match a full run\n"
                 "keys: Escape quits, 1 or F12 saves screenshot-NNN.bmp, Space pauses and resumes;\n"
                 "      Left/Right a bar (4 beats) back/forward, with Shift one beat, Down/Up 16 beats;\n"
                 "      Page Up/Page Down the previous/next scene, Home the start; f full screen,\n"
                 "      m mute, o the position; . and , one 1/60-s frame forward/back (pausing);\n"
                 "      Escape or Ctrl-C stops an offline run (every written file is complete)\n",
                 PACING_DEFAULT_MAX_FPS, options_default_threads());
}

int32_t options_default_threads()
{
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

int32_t options_threads(const Options* o, unsigned processors)
{
    if (o->threads == 1 || o->threads == 2)
        return o->threads;
    if (processors < 2)
        return 1;
    if ((o->capture_dir || o->video_file) && processors <= 2)
        return 1;
    return 2;
}

bool options_offline(const Options* o)
{
    return o->capture_dir || o->video_file || o->bench || o->contact_sheet;
}

double options_parse_time(const char* text)
{
    if (!text || !*text)
        return -1.0;
    // A number as every option writes it, then the suffix s or nothing.
    char number[64];
    size_t n = std::strlen(text);
    bool seconds = text[n - 1] == 's';
    if (seconds)
        n--;
    if (n == 0 || n >= sizeof number)
        return -1.0;
    std::memcpy(number, text, n);
    number[n] = '\0';
    if (!decimal_text(number, false))
        return -1.0;
    // Past the end is the caller's to say: a number too large to hold is
    // kept as the largest that converts without overflow.
    double v = std::strtod(number, nullptr);
    if (!(v >= 0.0))
        return -1.0;
    v = std::min(v, 1e300);
    return seconds ? v : v * 60.0 / DEMO_TEMPO_BPM;
}

int32_t options_parse(int argc, char** argv, Options* out)
{
    *out = Options{};
    out->video_mode = VIDEO_ASK;
    out->scale = 1;
    out->vsync = 1;
    out->max_fps = PACING_DEFAULT_MAX_FPS;
    out->threads = 0; // options_threads() decides
    out->fps = 60;
    out->from_seconds = -1.0;
    out->to_seconds = -1.0;
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
        } else if (flag && !std::strcmp(name, "--no-vsync")) {
            out->vsync = 0;
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
            if (!parse_float(take_value(), 0.0f, std::numeric_limits<float>::max(), &out->start_beat)) {
                std::fprintf(stderr, "dunravel: --start needs a beat number of 0 or more\n");
                return OPTIONS_ERROR;
            }
        } else if (flag && !std::strcmp(name, "--bench")) {
            out->bench = 1;
        } else if (flag && !std::strcmp(name, "--warm-up")) {
            out->warm_up = 1;
        } else if (!std::strcmp(name, "--fps")) {
            if (!parse_int(take_value(), 1, 1000, &out->fps)) {
                std::fprintf(stderr, "dunravel: --fps needs a whole number from 1 to 1000\n");
                return OPTIONS_ERROR;
            }
        } else if (!std::strcmp(name, "--max-fps")) {
            if (!parse_int(take_value(), 0, 10000, &out->max_fps)) {
                std::fprintf(stderr, "dunravel: --max-fps needs a whole number from 0 (no cap) to 10000\n");
                return OPTIONS_ERROR;
            }
        } else if (!std::strcmp(name, "--threads")) {
            if (!parse_int(take_value(), 1, 2, &out->threads)) {
                std::fprintf(stderr, "dunravel: --threads needs 1 or 2\n");
                return OPTIONS_ERROR;
            }
        } else if (!std::strcmp(name, "--frames")) {
            if (!parse_int(take_value(), 1, 100000000, &out->max_frames)) {
                std::fprintf(stderr, "dunravel: --frames needs a whole number of 1 or more\n");
                return OPTIONS_ERROR;
            }
        } else if (!std::strcmp(name, "--from") || !std::strcmp(name, "--to")) {
            bool from = !std::strcmp(name, "--from");
            double t = options_parse_time(take_value());
            if (t < 0.0) {
                std::fprintf(stderr, "dunravel: %s needs a beat (12.5) or seconds (8.3s) of 0 or more\n",
                             name);
                return OPTIONS_ERROR;
            }
            (from ? out->from_seconds : out->to_seconds) = t;
        } else if (!std::strcmp(name, "--capture") || !std::strcmp(name, "--video") ||
                   !std::strcmp(name, "--bench-json") || !std::strcmp(name, "--contact-sheet")) {
            const char* file = take_value();
            if (!file || !*file) {
                std::fprintf(stderr, "dunravel: %s needs a file or folder name\n", name);
                return OPTIONS_ERROR;
            }
            if (!std::strcmp(name, "--capture"))
                out->capture_dir = file;
            else if (!std::strcmp(name, "--video"))
                out->video_file = file;
            else if (!std::strcmp(name, "--contact-sheet"))
                out->contact_sheet = file;
            else {
                out->bench_json = file;
                out->bench = 1;
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
    // Ranges: something must lie between the start and the end.
    int32_t end_beat = timeline_end_beat();
    double end_seconds = end_beat * 60.0 / DEMO_TEMPO_BPM;
    double start = out->from_seconds >= 0.0 ? out->from_seconds : 0.0;
    if (out->to_seconds >= 0.0 && out->to_seconds <= start) {
        if (out->from_seconds >= 0.0)
            std::fprintf(stderr, "dunravel: --to must come after --from\n");
        else
            std::fprintf(stderr, "dunravel: --to must come after the start of the demo (0)\n");
        return OPTIONS_ERROR;
    }
    if (out->from_seconds >= end_seconds) {
        std::fprintf(stderr, "dunravel: --from %.6gs lies past the end of the demo (beat %d, %.3fs)\n",
                     out->from_seconds, end_beat, end_seconds);
        return OPTIONS_ERROR;
    }
    if (out->start_beat >= static_cast<float>(end_beat)) {
        std::fprintf(stderr, "dunravel: --start %g lies past the end of the demo (beat %d, %.3fs)\n",
                     static_cast<double>(out->start_beat), end_beat, end_seconds);
        return OPTIONS_ERROR;
    }
    int32_t modes = (out->capture_dir != nullptr) + (out->video_file != nullptr) + (out->bench != 0) +
                    (out->contact_sheet != nullptr);
    if (modes > 1) {
        std::fprintf(stderr, "dunravel: choose one of --capture, --video, --bench and --contact-sheet\n");
        return OPTIONS_ERROR;
    }
    return OPTIONS_RUN;
}
