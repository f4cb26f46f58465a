// The high-resolution counter (counter.h) on std::chrono::steady_clock
// (QueryPerformanceCounter underneath); thread processor time from
// GetThreadTimes in 100-ns units (the C library's thread clock here counts
// in whole scheduler ticks of 10 ms or more).
#include "platform/counter.h"

#include <windows.h>

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

static int64_t thread_time(HANDLE thread)
{
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(thread, &created, &ended, &kernel, &user))
        return 0;
    auto ticks = [](const FILETIME& t) {
        return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) * 100;
}

int64_t counter_thread_time()
{
    return thread_time(GetCurrentThread());
}
