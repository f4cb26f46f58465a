// Offline runs (offline.h): one frame loop drives every mode through a table
// of three hooks (begin, take a drawn frame, end). Frames before --from are
// drawn without output when --warm-up asks for them. Relies on the clock,
// demo_draw_frame, and the pieces each mode writes with: frame_writer.h,
// video_pipe.h, bench_report.h, contact_sheet.h; stop_watch.h and
// progress.h for stopping and the progress line.
#include "runtime/offline.h"

#include "core/frame.h"
#include "platform/audio.h"
#include "platform/counter.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "raster/raster.h"
#include "runtime/bench_report.h"
#include "yardstick/yardstick.h"
#include "runtime/clock.h"
#include "runtime/contact_sheet.h"
#include "runtime/demo.h"
#include "runtime/effects.h"
#include "runtime/frame_writer.h"
#include "runtime/options.h"
#include "runtime/png_out.h"
#include "runtime/progress.h"
#include "runtime/stop_watch.h"
#include "runtime/video_pipe.h"

#include <sys/stat.h>
#ifdef _WIN32
#include <direct.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{

constexpr int32_t SHEET_PNG_LEVEL = 6;

// Everything a run and its mode keep between frames.
struct OfflineRun {
    const Options* options;
    int64_t first_frame;  // the first frame handed to the mode
    int64_t warm_up_left; // frames still to draw before it, without output
    int64_t frames_taken; // frames handed to the mode
    FrameWriter writer;   // capture
    VideoPipe* pipe;      // video
    std::vector<BenchFrame> bench_frames;
    double bench_seconds;
    BenchYardstick yardstick;
    ContactSheet sheet;
};

// What a mode does: begin (0, or 1 after reporting), count (the frames it
// expects), next (positions the clock on the next frame; false when there is
// none), take (the screen holds the frame, drawn in seconds of wall clock and
// cpu_seconds of the drawing threads' processor time; 0, or 1 after
// reporting), end (after the last frame, a failure or a stop; the status so
// far in, 0 or 1 out). verb says what happened to a frame ("written").
struct OfflineMode {
    int32_t (*begin)(OfflineRun* run);
    int64_t (*count)(OfflineRun* run);
    bool (*next)(OfflineRun* run);
    int32_t (*take)(OfflineRun* run, double seconds, double cpu_seconds);
    int32_t (*end)(OfflineRun* run, int32_t status);
    const char* verb;
};

// Where the run ends: the end of the show, which is the timeline's last beat
// (the same end --from and --start are held to) or the end of the track when
// that comes first; or --to when earlier still.
double run_end_seconds(const Options* o)
{
    double end = audio_bytes_to_seconds(audio_track_bytes(music_track()));
    double timeline_end = timeline_end_beat() * 60.0 / DEMO_TEMPO_BPM;
    if (timeline_end < end)
        end = timeline_end;
    if (o->to_seconds >= 0.0 && o->to_seconds < end)
        end = o->to_seconds;
    return end;
}

// The frames a sequential run draws: from its first frame to the end, at
// most --frames.
int64_t count_in_sequence(OfflineRun* run)
{
    const Options* o = run->options;
    int64_t first = run->first_frame;
    int64_t last = music_frame_at(run_end_seconds(o), o->fps); // first frame not drawn
    int64_t n = last > first ? last - first : 0;
    if (o->max_frames > 0 && n > o->max_frames)
        n = o->max_frames;
    return n;
}

bool next_in_sequence(OfflineRun* run)
{
    const Options* o = run->options;
    return music_is_playing() && (o->max_frames == 0 || run->frames_taken < o->max_frames);
}

// ---- Capture -----------------------------------------------------------------------

int32_t capture_begin(OfflineRun* run)
{
    const char* dir = run->options->capture_dir;
    struct stat st;
#ifdef _WIN32
    int made = _mkdir(dir);
#else
    int made = mkdir(dir, 0777);
#endif
    if (made != 0 && !(errno == EEXIST && stat(dir, &st) == 0 && S_ISDIR(st.st_mode))) {
        std::fprintf(stderr, "dunravel: cannot make the capture folder %s (%s)\n", dir,
                     errno == EEXIST ? "a file of that name is in the way" : std::strerror(errno));
        return 1;
    }
    frame_writer_start(&run->writer);
    return 0;
}

int32_t capture_take(OfflineRun* run, double, double)
{
    char number[32];
    std::snprintf(number, sizeof number, "/frame-%06lld.png", static_cast<long long>(music_frame_index()));
    return frame_writer_submit(&run->writer, std::string(run->options->capture_dir) + number) ? 0 : 1;
}

int32_t capture_end(OfflineRun* run, int32_t status)
{
    if (run->writer.threads.empty())
        return status;
    if (!frame_writer_finish(&run->writer)) {
        std::fprintf(stderr, "dunravel: cannot write %s (%s)\n", run->writer.failed_name.c_str(),
                     std::strerror(run->writer.failed_error));
        return 1;
    }
    return status;
}

// ---- Video ---------------------------------------------------------------------------

int32_t video_begin(OfflineRun* run)
{
    const Options* o = run->options;
    char music[4096];
    const char* music_path = path_native(DEMO_MUSIC_PATH, music, sizeof music);
    double from = static_cast<double>(run->first_frame) / o->fps;
    run->pipe = video_pipe_open(o->video_file, o->fps, music_path, from);
    return run->pipe ? 0 : 1;
}

int32_t video_take(OfflineRun* run, double, double)
{
    if (video_pipe_write(run->pipe, screen->pixels) == 0)
        return 0;
    std::fprintf(stderr, "dunravel: ffmpeg stopped taking frames (%s)\n", std::strerror(errno));
    return 1;
}

int32_t video_end(OfflineRun* run, int32_t status)
{
    // A run stopped between frames still gives a whole video of the frames
    // so far; after a failure the old file stays as it was.
    if (run->pipe && video_pipe_close(run->pipe, status == 0) != 0)
        status = 1;
    run->pipe = nullptr;
    return status;
}

// ---- Bench ---------------------------------------------------------------------------

// Frames of the yardstick timed before and after the bench's own (the
// median of them): enough for a steady median, few enough to cost well
// under a second.
enum { YARDSTICK_FRAMES = 5 };

int32_t bench_begin(OfflineRun* run)
{
    run->yardstick.before_ms = yardstick_measure(YARDSTICK_FRAMES, &run->yardstick.before_cpu_ms);
    return 0;
}

int32_t bench_take(OfflineRun* run, double seconds, double cpu_seconds)
{
    run->bench_frames.push_back(
        {seconds * 1000.0, clock_beat_index(), cpu_seconds * 1000.0, static_cast<double>(clock_beat())});
    run->bench_seconds += seconds;
    return 0;
}

int32_t bench_end(OfflineRun* run, int32_t status)
{
    run->yardstick.after_ms = yardstick_measure(YARDSTICK_FRAMES, &run->yardstick.after_cpu_ms);
    bench_report_text(stdout, run->bench_frames, run->bench_seconds, run->yardstick);
    const char* json = run->options->bench_json;
    if (!json)
        return status;
    OutputFile file;
    int error = output_file_open(json, &file);
    if (error == 0) {
        bench_report_json(file.stream, run->bench_frames, run->bench_seconds, run->yardstick);
        error = output_file_close(&file, true);
    }
    if (error != 0) {
        std::fprintf(stderr, "dunravel: cannot write %s (%s)\n", json, std::strerror(error));
        return 1;
    }
    return status;
}

// ---- Contact sheet -------------------------------------------------------------------

int32_t sheet_begin(OfflineRun* run)
{
    const Options* o = run->options;
    double from = o->from_seconds > 0.0 ? o->from_seconds : 0.0;
    if (!contact_sheet_init(&run->sheet, from, run_end_seconds(o))) {
        std::fprintf(stderr, "dunravel: no beat of the contact sheet lies in the chosen range\n");
        return 1;
    }
    return 0;
}

int64_t sheet_count(OfflineRun* run)
{
    return static_cast<int64_t>(run->sheet.beats.size());
}

bool sheet_next(OfflineRun* run)
{
    size_t i = static_cast<size_t>(run->frames_taken);
    if (i >= run->sheet.beats.size())
        return false;
    music_seek_frame(music_frame_at(contact_sheet_seconds(&run->sheet, i), run->options->fps));
    return true;
}

int32_t sheet_take(OfflineRun* run, double, double)
{
    contact_sheet_add(&run->sheet, static_cast<size_t>(run->frames_taken));
    return 0;
}

int32_t sheet_end(OfflineRun* run, int32_t status)
{
    if (run->sheet.beats.empty())
        return status;
    const char* name = run->options->contact_sheet;
    // A sheet with empty cells is not the sheet asked for: what the file
    // held before stays.
    if (static_cast<size_t>(run->frames_taken) < run->sheet.beats.size()) {
        std::fprintf(stderr, "dunravel: %s is not written: %lld of %zu pictures drawn\n", name,
                     static_cast<long long>(run->frames_taken), run->sheet.beats.size());
        return status;
    }
    int error = png_out_write(name, run->sheet.pixels.data(), run->sheet.width, run->sheet.height,
                              run->sheet.width, SHEET_PNG_LEVEL);
    if (error != 0) {
        std::fprintf(stderr, "dunravel: cannot write %s (%s)\n", name, std::strerror(error));
        return 1;
    }
    return status;
}

const OfflineMode CAPTURE = {capture_begin, count_in_sequence, next_in_sequence,
                             capture_take,  capture_end,       "written"};
const OfflineMode VIDEO = {video_begin, count_in_sequence, next_in_sequence,
                           video_take,  video_end,         "written"};
const OfflineMode BENCH = {bench_begin,   count_in_sequence, next_in_sequence,
                           bench_take,    bench_end,         "timed"};
const OfflineMode SHEET = {sheet_begin, sheet_count, sheet_next, sheet_take, sheet_end, "drawn"};

// The frame loop: warm-up frames first (drawn, not handed over), then the
// mode's frames until it has none, one fails or a stop is asked for.
int run_frames(OfflineRun* run, const OfflineMode* mode)
{
    int32_t status = mode->begin(run);
    if (status != 0)
        return mode->end(run, status); // reported; no frames to count
    int64_t total = mode->count(run);
    Progress progress;
    progress_begin(&progress, total);
    int32_t stop = STOP_NONE;
    while (status == 0) {
        bool warming = run->warm_up_left > 0;
        if (!warming && !mode->next(run))
            break;
        if ((stop = stop_requested()) != STOP_NONE)
            break;
        int64_t t0 = counter_now();
        int64_t cpu0 = counter_thread_time() + raster_threads_time();
        music_update();
        demo_draw_frame();
        int64_t t1 = counter_now();
        int64_t cpu1 = counter_thread_time() + raster_threads_time();
        if (warming) {
            if (--run->warm_up_left == 0)
                progress_begin(&progress, total);
            continue;
        }
        double frequency = static_cast<double>(counter_frequency());
        double seconds = static_cast<double>(t1 - t0) / frequency;
        double cpu_seconds = static_cast<double>(cpu1 - cpu0) / frequency;
        if (mode->take(run, seconds, cpu_seconds) != 0) {
            status = 1;
            break;
        }
        run->frames_taken++;
        progress.done = run->frames_taken;
        progress_print(&progress, false);
    }
    progress_print(&progress, true);
    status = mode->end(run, status);
    if (stop != STOP_NONE) {
        std::fprintf(stderr, "dunravel: stopped (%s): %lld of %lld frames %s\n", stop_reason_name(stop),
                     static_cast<long long>(run->frames_taken), static_cast<long long>(total), mode->verb);
        if (status == 0)
            status = stop_exit_status(stop);
    }
    return status;
}

} // namespace

int offline_run(const Options* o)
{
    music_set_end(run_end_seconds(o));
    // The first frame from the exact --from time (the start position that
    // opened the music went through a 32-bit float).
    if (o->from_seconds >= 0.0)
        music_seek_frame(music_frame_at(o->from_seconds, o->fps));
    OfflineRun run = {};
    run.options = o;
    run.first_frame = music_next_frame();
    if (o->warm_up && o->from_seconds > 0.0) {
        run.warm_up_left = run.first_frame;
        music_seek_frame(0);
    }
    const OfflineMode* mode = o->capture_dir ? &CAPTURE : o->video_file ? &VIDEO : o->bench ? &BENCH : &SHEET;
    stop_watch_begin();
    int status = run_frames(&run, mode);
    stop_watch_end();
    return status;
}
