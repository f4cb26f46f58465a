// The progress line (progress.h); relies on platform/counter.h.
#include "runtime/progress.h"

#include "platform/counter.h"

#include <algorithm>
#include <cstdio>

void progress_begin(Progress* p, int64_t total)
{
    p->total = total;
    p->done = 0;
    p->start = counter_now();
    p->last_print = 0;
}

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
