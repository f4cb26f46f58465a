// The progress line (progress.h); relies on platform/counter.h and isatty.
#include "runtime/progress.h"

#include "platform/counter.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

void progress_begin(Progress* p, int64_t total)
{
    p->total = total;
    p->done = 0;
    p->start = counter_now();
    p->last_print = 0;
    p->live = isatty(STDERR_FILENO) ? 1 : 0;
}

bool progress_due(bool live, bool final, int64_t since_last_print, int64_t frequency)
{
    if (final)
        return true;
    return live && since_last_print >= frequency / 4;
}

void progress_format(const Progress* p, double elapsed, bool final, char* out, size_t size)
{
    double fps = elapsed > 0.0 ? static_cast<double>(p->done) / elapsed : 0.0;
    if (!p->live) {
        std::snprintf(out, size, "dunravel: %lld/%lld frames in %.1f s, %.1f fps%s",
                      static_cast<long long>(p->done), static_cast<long long>(p->total), elapsed, fps,
                      final ? "\n" : "");
        return;
    }
    char bar[33];
    int32_t filled =
        p->total > 0 ? static_cast<int32_t>(32 * std::min<int64_t>(p->done, p->total) / p->total) : 0;
    for (int32_t i = 0; i < 32; i++)
        bar[i] = i < filled ? '#' : '.';
    bar[32] = '\0';
    double left = (fps > 0.0 && p->total > p->done) ? static_cast<double>(p->total - p->done) / fps : 0.0;
    int32_t left_s = static_cast<int32_t>(left + 0.5);
    std::snprintf(out, size, "\r[%s] %lld/%lld frames  %.1f fps  %d:%02d left %s", bar,
                  static_cast<long long>(p->done), static_cast<long long>(p->total), fps, left_s / 60,
                  left_s % 60, final ? "\n" : "");
}

void progress_print(Progress* p, bool final)
{
    int64_t now = counter_now();
    if (!progress_due(p->live != 0, final, now - p->last_print, counter_frequency()))
        return;
    p->last_print = now;
    double elapsed = static_cast<double>(now - p->start) / static_cast<double>(counter_frequency());
    char line[160];
    progress_format(p, elapsed, final, line, sizeof line);
    std::fputs(line, stderr);
    std::fflush(stderr);
}
