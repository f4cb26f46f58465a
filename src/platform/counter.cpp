// The high-resolution counter (counter.h) on std::chrono::steady_clock;
// thread processor time from clock_gettime(CLOCK_THREAD_CPUTIME_ID).
#include "platform/counter.h"

#include <time.h>

#include <chrono>
#include <thread>

int64_t counter_now()
{
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
}

int64_t counter_frequency()
{
    return 1000000000;
}

void counter_sleep_until(int64_t ticks)
{
    std::chrono::steady_clock::time_point until{
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::nanoseconds(ticks))};
    std::this_thread::sleep_until(until);
}

int64_t counter_thread_time()
{
    timespec ts;
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0)
        return 0;
    return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}
