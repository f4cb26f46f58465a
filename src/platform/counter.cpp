// The high-resolution counter (counter.h) on std::chrono::steady_clock, on
// every platform (QueryPerformanceCounter underneath on Windows). A thread's
// processor time is each platform's (counter_thread.cpp).
#include "platform/counter.h"

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
