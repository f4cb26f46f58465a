// Bench statistics (bench_report.h) over the timeline rows of effects.h.
#include "runtime/bench_report.h"

#include "runtime/effects.h"

#include <algorithm>
#include <cmath>

namespace
{

struct RowStats {
    int64_t frames;
    double median, p95, max;
    double max_at; // the slowest frame's music time in beats
    double cpu_median;
    double cpu_max;    // the heaviest frame by processor time
    double cpu_max_at; // its music time in beats
};

// Nearest rank p (0 < p <= 1) of sorted values.
double rank(const std::vector<double>& sorted, double p)
{
    size_t r = static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[r > 0 ? r - 1 : 0];
}

// Nearest-rank percentiles over the frames in which the row drew.
RowStats row_stats(const std::vector<BenchFrame>& frames, int32_t row)
{
    std::vector<double> ms, cpu;
    RowStats s = {0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    for (const BenchFrame& f : frames) {
        if (timeline_row_active(row, f.beat)) {
            if (ms.empty() || f.ms > s.max) {
                s.max = f.ms;
                s.max_at = f.at_beat;
            }
            ms.push_back(f.ms);
            cpu.push_back(f.cpu_ms);
            if (cpu.size() == 1 || f.cpu_ms > s.cpu_max) {
                s.cpu_max = f.cpu_ms;
                s.cpu_max_at = f.at_beat;
            }
        }
    }
    s.frames = static_cast<int64_t>(ms.size());
    if (ms.empty())
        return s;
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    s.median = rank(ms, 0.5);
    s.p95 = rank(ms, 0.95);
    s.cpu_median = rank(cpu, 0.5);
    return s;
}

// A time in yardstick units (0 without a yardstick): wall-clock times in
// the wall-clock yardstick, processor times in its processor time.
double in_units(double ms, const BenchYardstick& y)
{
    const double unit = 0.5 * (y.before_ms + y.after_ms);
    return unit > 0.0 ? ms / unit : 0.0;
}
double in_cpu_units(double ms, const BenchYardstick& y)
{
    const double unit = 0.5 * (y.before_cpu_ms + y.after_cpu_ms);
    return unit > 0.0 ? ms / unit : 0.0;
}

} // namespace

void bench_report_text(FILE* to, const std::vector<BenchFrame>& frames, double seconds,
                       const BenchYardstick& yardstick)
{
    std::fprintf(to, "%-4s %-12s %-9s %7s %10s %8s %8s %10s %10s %8s %8s %8s %10s\n", "row", "name", "beats",
                 "frames", "median_ms", "p95_ms", "max_ms", "cpu_med_ms", "cpu_max_ms", "at_beat", "max_at",
                 "median_y", "cpu_med_y");
    for (int32_t row = 0; row < TIMELINE_COUNT; row++) {
        RowStats s = row_stats(frames, row);
        char beats[16];
        std::snprintf(beats, sizeof beats, "%d-%d", timeline[row].first_beat, timeline[row].end_beat);
        std::fprintf(to, "%-4d %-12s %-9s %7lld %10.3f %8.3f %8.3f %10.3f %10.3f %8.2f %8.2f %8.3f %10.3f\n",
                     row, timeline_name(row), beats, static_cast<long long>(s.frames), s.median, s.p95, s.max,
                     s.cpu_median, s.cpu_max, s.cpu_max_at, s.max_at, in_units(s.median, yardstick),
                     in_cpu_units(s.cpu_median, yardstick));
    }
    double fps = seconds > 0.0 ? static_cast<double>(frames.size()) / seconds : 0.0;
    std::fprintf(to, "all: %zu frames in %.3f s, %.1f frames per second\n", frames.size(), seconds, fps);
    std::fprintf(to,
                 "yardstick: %.3f ms before the frames, %.3f ms after (processor time %.3f and %.3f ms); "
                 "*_y columns in units of their means\n",
                 yardstick.before_ms, yardstick.after_ms, yardstick.before_cpu_ms, yardstick.after_cpu_ms);
}

void bench_report_json(FILE* to, const std::vector<BenchFrame>& frames, double seconds,
                       const BenchYardstick& yardstick)
{
    double fps = seconds > 0.0 ? static_cast<double>(frames.size()) / seconds : 0.0;
    std::fprintf(to, "{\"fps\": %.3f, \"frames\": %zu, \"rows\": [", fps, frames.size());
    for (int32_t row = 0; row < TIMELINE_COUNT; row++) {
        RowStats s = row_stats(frames, row);
        std::fprintf(
            to,
            "%s\n  {\"row\": %d, \"name\": \"%s\", \"first_beat\": %d, \"end_beat\": %d, \"frames\": %lld, "
            "\"median_ms\": %.4f, \"p95_ms\": %.4f, \"max_ms\": %.4f, \"cpu_median_ms\": %.4f, "
            "\"cpu_max_ms\": %.4f, \"cpu_max_at_beat\": %.4f, \"max_at_beat\": %.4f, "
            "\"median_yardsticks\": %.4f, \"cpu_median_yardsticks\": %.4f}",
            row ? "," : "", row, timeline_name(row), timeline[row].first_beat, timeline[row].end_beat,
            static_cast<long long>(s.frames), s.median, s.p95, s.max, s.cpu_median, s.cpu_max, s.cpu_max_at,
            s.max_at, in_units(s.median, yardstick), in_cpu_units(s.cpu_median, yardstick));
    }
    std::fprintf(to,
                 "\n], \"yardstick\": {\"before_ms\": %.4f, \"after_ms\": %.4f, \"before_cpu_ms\": %.4f, "
                 "\"after_cpu_ms\": %.4f}}\n",
                 yardstick.before_ms, yardstick.after_ms, yardstick.before_cpu_ms, yardstick.after_cpu_ms);
}
