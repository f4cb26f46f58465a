// Offline runs (offline.h): every frame on the fixed-step clock into PNG
// files, into ffmpeg, into a timing table, or a few frames into one contact
// sheet. Ctrl-C (SIGINT, SIGTERM) and Escape on the terminal stop a run
// between frames, so every file written is complete.
#include "runtime/offline.h"

#include "core/frame.h"
#include "platform/audio.h"
#include "platform/counter.h"
#include "platform/paths.h"
#include "runtime/clock.h"
#include "runtime/effects.h"
#include "runtime/options.h"
#include "runtime/png_out.h"
#include "runtime/video.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

extern char** environ;

namespace
{

constexpr float TEMPO_BPM = 90.0f;
constexpr int32_t PNG_LEVEL = 1; // fast; frames are large and many
constexpr int32_t SHEET_STEP_BEATS = 8;
constexpr int32_t SHEET_COLUMNS = 8;
constexpr int32_t THUMB_W = SCREEN_WIDTH / 4, THUMB_H = SCREEN_HEIGHT / 4, SHEET_GAP = 4;

volatile std::sig_atomic_t stop_signal = 0;
void on_stop_signal(int)
{
    stop_signal = 1;
}

// ---- Stopping ------------------------------------------------------------------

// Escape on the terminal: reads standard input without waiting or echo while
// a run lasts, and restores the terminal afterwards.
struct TerminalKeys {
    bool raw = false;
    termios saved;
};
TerminalKeys terminal;

void terminal_restore()
{
    if (terminal.raw)
        tcsetattr(STDIN_FILENO, TCSANOW, &terminal.saved);
    terminal.raw = false;
}

void stop_watch_begin()
{
    stop_signal = 0;
    std::signal(SIGINT, on_stop_signal);
    std::signal(SIGTERM, on_stop_signal);
    std::signal(SIGPIPE, SIG_IGN); // a dead ffmpeg shows as a failed write
    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &terminal.saved) == 0) {
        termios t = terminal.saved;
        t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0) {
            terminal.raw = true;
            std::atexit(terminal_restore);
        }
    }
}

bool stop_requested()
{
    if (stop_signal)
        return true;
    if (terminal.raw) {
        unsigned char c;
        while (read(STDIN_FILENO, &c, 1) == 1)
            if (c == 27)
                return true;
    }
    return false;
}

void stop_watch_end()
{
    terminal_restore();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

// ---- Progress --------------------------------------------------------------------

struct Progress {
    int64_t total = 0; // frames expected (0 = unknown)
    int64_t done = 0;
    int64_t start = 0;
    int64_t last_print = 0;
};

void progress_print(Progress* p, bool final)
{
    int64_t now = counter_now();
    if (!final && now - p->last_print < counter_frequency() / 4)
        return;
    p->last_print = now;
    double elapsed = static_cast<double>(now - p->start) / static_cast<double>(counter_frequency());
    double fps = elapsed > 0.0 ? static_cast<double>(p->done) / elapsed : 0.0;
    char bar[33];
    int32_t filled =
        p->total > 0 ? static_cast<int32_t>(32 * std::min<int64_t>(p->done, p->total) / p->total) : 0;
    for (int32_t i = 0; i < 32; i++)
        bar[i] = i < filled ? '#' : '.';
    bar[32] = '\0';
    double left = (fps > 0.0 && p->total > p->done) ? static_cast<double>(p->total - p->done) / fps : 0.0;
    int32_t left_s = static_cast<int32_t>(left + 0.5);
    std::fprintf(stderr, "\r[%s] %lld/%lld frames  %.1f fps  %d:%02d left ", bar,
                 static_cast<long long>(p->done), static_cast<long long>(p->total), fps, left_s / 60,
                 left_s % 60);
    if (final)
        std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

// The frames the run will draw: from the next frame to the end, at most max.
int64_t frames_expected(const Options* o, double end_seconds)
{
    int64_t first = music_next_frame();
    int64_t last = music_frame_at(end_seconds, o->fps); // first frame not drawn
    int64_t n = last > first ? last - first : 0;
    if (o->max_frames > 0 && n > o->max_frames)
        n = o->max_frames;
    return n;
}

double demo_end_seconds(const Options* o)
{
    double end = audio_bytes_to_seconds(audio_track_bytes(music_track()));
    if (o->to_seconds >= 0.0 && o->to_seconds < end)
        end = o->to_seconds;
    return end;
}

// Frames drawn only to bring the scenes' carried state up to --from.
void warm_up(const Options* o)
{
    if (!o->warm_up || o->from_seconds <= 0.0)
        return;
    int64_t first = music_frame_at(o->from_seconds, o->fps);
    music_seek_frame(0);
    while (music_next_frame() < first && !stop_requested()) {
        music_update();
        offline_draw_frame();
    }
    music_seek_frame(first);
}

// ---- Capture ---------------------------------------------------------------------

// Encodes PNG files on worker threads while the main thread draws the next
// frames: one worker per processor (at most four; compressing a frame costs
// several times drawing it, so the workers share the drawing's processor),
// and up to QUEUE frames waiting, so a slow file write does not stop the
// drawing. finish() writes what is left.
struct FrameWriter {
    static constexpr size_t QUEUE = 4;
    struct Job {
        std::vector<uint32_t> pixels;
        std::string name;
    };
    std::vector<std::thread> threads;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Job> waiting;
    std::vector<std::vector<uint32_t>> spare; // buffers of written frames, for reuse
    bool closing = false;
    bool failed = false;
    std::string failed_name;

    void run()
    {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return !waiting.empty() || closing; });
                if (waiting.empty())
                    return;
                job = std::move(waiting.front());
                waiting.pop_front();
            }
            changed.notify_all();
            bool ok = png_out_write(job.name.c_str(), job.pixels.data(), SCREEN_WIDTH, SCREEN_HEIGHT,
                                    SCREEN_WIDTH, PNG_LEVEL) == 0;
            std::lock_guard<std::mutex> guard(lock);
            if (!ok && !failed) {
                failed_name = job.name;
                failed = true;
            }
            spare.push_back(std::move(job.pixels));
        }
    }

    void start()
    {
        unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        for (unsigned i = 0; i < count; i++)
            threads.emplace_back([this] { run(); });
    }

    // Hands over a copy of the screen; false once a write has failed.
    bool submit(const std::string& name)
    {
        Job job;
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [&] { return waiting.size() < QUEUE || failed; });
            if (failed)
                return false;
            if (!spare.empty()) {
                job.pixels = std::move(spare.back());
                spare.pop_back();
            }
        }
        job.pixels.resize(static_cast<size_t>(SCREEN_WIDTH) * SCREEN_HEIGHT);
        for (int32_t y = 0; y < SCREEN_HEIGHT; y++)
            std::memcpy(&job.pixels[static_cast<size_t>(y) * SCREEN_WIDTH], screen_row(y), SCREEN_WIDTH * 4);
        job.name = name;
        {
            std::lock_guard<std::mutex> guard(lock);
            waiting.push_back(std::move(job));
        }
        changed.notify_all();
        return true;
    }

    // Writes the frames still waiting, stops the threads; false if any write failed.
    bool finish()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            closing = true;
        }
        changed.notify_all();
        for (std::thread& t : threads)
            t.join();
        return !failed;
    }
};

int run_capture(const Options* o)
{
    if (mkdir(o->capture_dir, 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "dunravel: cannot make the capture folder %s\n", o->capture_dir);
        return 1;
    }
    Progress progress;
    progress.total = frames_expected(o, demo_end_seconds(o));
    progress.start = counter_now();
    FrameWriter writer;
    writer.start();
    while (music_is_playing() && !stop_requested() && (o->max_frames == 0 || progress.done < o->max_frames)) {
        music_update();
        offline_draw_frame();
        char number[32];
        std::snprintf(number, sizeof number, "/frame-%06lld.png",
                      static_cast<long long>(music_frame_index()));
        if (!writer.submit(std::string(o->capture_dir) + number))
            break;
        progress.done++;
        progress_print(&progress, false);
    }
    bool ok = writer.finish();
    progress_print(&progress, true);
    if (!ok) {
        std::fprintf(stderr, "dunravel: cannot write %s\n", writer.failed_name.c_str());
        return 1;
    }
    return 0;
}

// ---- Video -------------------------------------------------------------------------

int run_video(const Options* o)
{
    char music[4096];
    const char* music_path = path_native("data\\dunravel.mp3", music, sizeof music);
    double from = static_cast<double>(music_next_frame()) / o->fps;
    VideoPipe* pipe = video_pipe_open(o->video_file, o->fps, music_path, from);
    if (!pipe)
        return 1;
    Progress progress;
    progress.total = frames_expected(o, demo_end_seconds(o));
    progress.start = counter_now();
    int status = 0;
    while (music_is_playing() && !stop_requested() && (o->max_frames == 0 || progress.done < o->max_frames)) {
        music_update();
        offline_draw_frame();
        if (video_pipe_write(pipe, screen->pixels) != 0) {
            status = 1;
            break;
        }
        progress.done++;
        progress_print(&progress, false);
    }
    progress_print(&progress, true);
    if (video_pipe_close(pipe) != 0) {
        std::fprintf(stderr, "dunravel: ffmpeg failed to write %s\n", o->video_file);
        status = 1;
    }
    return status;
}

// ---- Bench ---------------------------------------------------------------------------

int run_bench(const Options* o)
{
    std::vector<BenchFrame> frames;
    Progress progress;
    progress.total = frames_expected(o, demo_end_seconds(o));
    progress.start = counter_now();
    double total = 0.0;
    while (music_is_playing() && !stop_requested() && (o->max_frames == 0 || progress.done < o->max_frames)) {
        int64_t t0 = counter_now();
        music_update();
        offline_draw_frame();
        int64_t t1 = counter_now();
        double seconds = static_cast<double>(t1 - t0) / static_cast<double>(counter_frequency());
        frames.push_back({seconds * 1000.0, clock_beat_index()});
        total += seconds;
        progress.done++;
        progress_print(&progress, false);
    }
    progress_print(&progress, true);
    bench_report_text(stdout, frames, total);
    if (o->bench_json) {
        FILE* fp = std::fopen(o->bench_json, "w");
        if (!fp) {
            std::fprintf(stderr, "dunravel: cannot write %s\n", o->bench_json);
            return 1;
        }
        bench_report_json(fp, frames, total);
        if (std::fclose(fp) != 0) {
            std::fprintf(stderr, "dunravel: cannot write %s\n", o->bench_json);
            return 1;
        }
    }
    return 0;
}

struct RowStats {
    int64_t frames;
    double median, p95, max;
};

// Nearest-rank percentiles over the frames in which the row drew.
RowStats row_stats(const std::vector<BenchFrame>& frames, int32_t row)
{
    std::vector<double> ms;
    for (const BenchFrame& f : frames)
        if (timeline_row_active(row, f.beat))
            ms.push_back(f.ms);
    RowStats s = {static_cast<int64_t>(ms.size()), 0.0, 0.0, 0.0};
    if (ms.empty())
        return s;
    std::sort(ms.begin(), ms.end());
    auto rank = [&](double p) {
        size_t r = static_cast<size_t>(std::ceil(p * static_cast<double>(ms.size())));
        return ms[r > 0 ? r - 1 : 0];
    };
    s.median = rank(0.5);
    s.p95 = rank(0.95);
    s.max = ms.back();
    return s;
}

// ---- Contact sheet -----------------------------------------------------------------------

// A 3 × 5 digit font, one row of three bits per line, top line first.
const uint8_t DIGITS[10][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
                               {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
                               {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};

int run_contact_sheet(const Options* o)
{
    double end = demo_end_seconds(o);
    double from = o->from_seconds > 0.0 ? o->from_seconds : 0.0;
    std::vector<int32_t> beats;
    for (int32_t b = 0; b < timeline_end_beat(); b += SHEET_STEP_BEATS) {
        double t = b * 60.0 / TEMPO_BPM;
        if (t >= from && t < end)
            beats.push_back(b);
    }
    if (beats.empty()) {
        std::fprintf(stderr, "dunravel: no beat of the contact sheet lies in the chosen range\n");
        return 1;
    }
    int32_t columns = std::min<int32_t>(SHEET_COLUMNS, static_cast<int32_t>(beats.size()));
    int32_t rows = (static_cast<int32_t>(beats.size()) + columns - 1) / columns;
    int32_t width = columns * (THUMB_W + SHEET_GAP) + SHEET_GAP;
    int32_t height = rows * (THUMB_H + SHEET_GAP) + SHEET_GAP;
    std::vector<uint32_t> sheet(static_cast<size_t>(width) * static_cast<size_t>(height), 0x00202020u);
    for (size_t i = 0; i < beats.size() && !stop_requested(); i++) {
        music_seek_frame(music_frame_at(beats[i] * 60.0 / TEMPO_BPM, o->fps));
        music_update();
        offline_draw_frame();
        int32_t x0 = SHEET_GAP + static_cast<int32_t>(i % columns) * (THUMB_W + SHEET_GAP);
        int32_t y0 = SHEET_GAP + static_cast<int32_t>(i / columns) * (THUMB_H + SHEET_GAP);
        // A 4 × 4 box average per thumbnail pixel, per channel.
        for (int32_t y = 0; y < THUMB_H; y++) {
            for (int32_t x = 0; x < THUMB_W; x++) {
                uint32_t r = 0, g = 0, b = 0;
                for (int32_t dy = 0; dy < 4; dy++) {
                    const uint32_t* row = screen_row(y * 4 + dy) + x * 4;
                    for (int32_t dx = 0; dx < 4; dx++) {
                        r += (row[dx] >> 16) & 0xFFu;
                        g += (row[dx] >> 8) & 0xFFu;
                        b += row[dx] & 0xFFu;
                    }
                }
                sheet[static_cast<size_t>(y0 + y) * width + x0 + x] =
                    ((r / 16) << 16) | ((g / 16) << 8) | (b / 16);
            }
        }
        contact_sheet_label(sheet.data(), width, height, x0 + 2, y0 + 2, beats[i]);
    }
    if (png_out_write(o->contact_sheet, sheet.data(), width, height, width, 6) != 0) {
        std::fprintf(stderr, "dunravel: cannot write %s\n", o->contact_sheet);
        return 1;
    }
    return 0;
}

} // namespace

// ---- Public ------------------------------------------------------------------------------

void offline_draw_frame()
{
    frame_begin();
    std::memset(screen->pixels, 0, static_cast<size_t>(screen->pitch) * SCREEN_HEIGHT);
    timeline_render();
    frame_end();
}

int offline_run(const Options* o)
{
    music_set_end(o->to_seconds);
    // The first frame from the exact --from time (the start position that
    // opened the music went through a 32-bit float).
    if (o->from_seconds >= 0.0)
        music_seek_frame(music_frame_at(o->from_seconds, o->fps));
    stop_watch_begin();
    warm_up(o);
    int status;
    if (o->capture_dir)
        status = run_capture(o);
    else if (o->video_file)
        status = run_video(o);
    else if (o->bench)
        status = run_bench(o);
    else
        status = run_contact_sheet(o);
    stop_watch_end();
    return status;
}

void bench_report_text(FILE* to, const std::vector<BenchFrame>& frames, double seconds)
{
    std::fprintf(to, "%-4s %-12s %-9s %7s %10s %8s %8s\n", "row", "name", "beats", "frames", "median_ms",
                 "p95_ms", "max_ms");
    for (int32_t row = 0; row < TIMELINE_COUNT; row++) {
        RowStats s = row_stats(frames, row);
        char beats[16];
        std::snprintf(beats, sizeof beats, "%d-%d", timeline[row].first_beat, timeline[row].end_beat);
        std::fprintf(to, "%-4d %-12s %-9s %7lld %10.3f %8.3f %8.3f\n", row, timeline_name(row), beats,
                     static_cast<long long>(s.frames), s.median, s.p95, s.max);
    }
    double fps = seconds > 0.0 ? static_cast<double>(frames.size()) / seconds : 0.0;
    std::fprintf(to, "all: %zu frames in %.3f s, %.1f frames per second\n", frames.size(), seconds, fps);
}

void bench_report_json(FILE* to, const std::vector<BenchFrame>& frames, double seconds)
{
    double fps = seconds > 0.0 ? static_cast<double>(frames.size()) / seconds : 0.0;
    std::fprintf(to, "{\"fps\": %.3f, \"frames\": %zu, \"rows\": [", fps, frames.size());
    for (int32_t row = 0; row < TIMELINE_COUNT; row++) {
        RowStats s = row_stats(frames, row);
        std::fprintf(
            to,
            "%s\n  {\"row\": %d, \"name\": \"%s\", \"first_beat\": %d, \"end_beat\": %d, \"frames\": %lld, "
            "\"median_ms\": %.4f, \"p95_ms\": %.4f, \"max_ms\": %.4f}",
            row ? "," : "", row, timeline_name(row), timeline[row].first_beat, timeline[row].end_beat,
            static_cast<long long>(s.frames), s.median, s.p95, s.max);
    }
    std::fprintf(to, "\n]}\n");
}

struct VideoPipe {
    pid_t pid;
    int fd;
};

VideoPipe* video_pipe_open(const char* file, int32_t fps, const char* music_path, double from_seconds)
{
    int fds[2];
    if (pipe(fds) != 0)
        return nullptr;
    std::string rate = std::to_string(fps);
    char from[32];
    std::snprintf(from, sizeof from, "%.6f", from_seconds);
    std::vector<std::string> args = {
        "ffmpeg",        "-hide_banner", "-loglevel",   "error",   "-nostdin",   "-y", "-f", "rawvideo",
        "-pixel_format", "bgr0",         "-video_size", "640x480", "-framerate", rate, "-i", "pipe:0"};
    if (music_path) {
        std::vector<std::string> audio = {"-ss",   from,   "-i",  music_path, "-map", "0:v:0",    "-map",
                                          "1:a:0", "-c:a", "aac", "-b:a",     "192k", "-shortest"};
        args.insert(args.end(), audio.begin(), audio.end());
    }
    std::vector<std::string> video = {"-c:v",     "libx264", "-preset",   "veryfast",   "-crf", "18",
                                      "-pix_fmt", "yuv420p", "-movflags", "+faststart", file};
    args.insert(args.end(), video.begin(), video.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (spawned != 0) {
        close(fds[1]);
        std::fprintf(stderr, "dunravel: --video needs ffmpeg, which could not be started (%s)\n",
                     std::strerror(spawned));
        return nullptr;
    }
    fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    return new VideoPipe{pid, fds[1]};
}

int32_t video_pipe_write(VideoPipe* p, const uint32_t* pixels)
{
    const char* bytes = reinterpret_cast<const char*>(pixels);
    size_t left = static_cast<size_t>(SCREEN_WIDTH) * SCREEN_HEIGHT * 4;
    while (left > 0) {
        ssize_t n = write(p->fd, bytes, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 1;
        bytes += n;
        left -= static_cast<size_t>(n);
    }
    return 0;
}

int32_t video_pipe_close(VideoPipe* p)
{
    if (!p)
        return 1;
    close(p->fd);
    int status = 0;
    pid_t r;
    do
        r = waitpid(p->pid, &status, 0);
    while (r < 0 && errno == EINTR);
    delete p;
    return (r > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) ? 0 : 1;
}

void contact_sheet_label(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y, int32_t value)
{
    char text[16];
    int32_t n = std::snprintf(text, sizeof text, "%d", value);
    const int32_t scale = 2, advance = 4 * scale;
    int32_t box_w = n * advance + scale, box_h = 5 * scale + 2 * scale;
    for (int32_t py = y; py < y + box_h; py++)
        for (int32_t px = x; px < x + box_w; px++)
            if (px >= 0 && py >= 0 && px < width && py < height)
                pixels[static_cast<size_t>(py) * width + px] = 0;
    for (int32_t i = 0; i < n; i++) {
        if (text[i] < '0' || text[i] > '9')
            continue;
        const uint8_t* glyph = DIGITS[text[i] - '0'];
        for (int32_t gy = 0; gy < 5 * scale; gy++) {
            for (int32_t gx = 0; gx < 3 * scale; gx++) {
                if (!((glyph[gy / scale] >> (2 - gx / scale)) & 1))
                    continue;
                int32_t px = x + scale + i * advance + gx, py = y + scale + gy;
                if (px >= 0 && py >= 0 && px < width && py < height)
                    pixels[static_cast<size_t>(py) * width + px] = 0x00FFFFFFu;
            }
        }
    }
}
