// A thread's processor time on Windows (counter.h): its cycle count
// (QueryThreadCycleTime, time-stamp counter cycles) scaled by the counter's
// rate, measured once; where the system does not count cycles (Wine), from
// GetThreadTimes, which moves in scheduler ticks. The C library's thread
// clock here also moves in 10-ms steps.
#include "platform/counter.h"

#include <intrin.h>
#include <windows.h>

#include <mutex>

namespace
{

// Time-stamp counter cycles per nanosecond, measured against the
// performance counter over a few milliseconds; 0 when cycles are not counted.
double cycles_per_nanosecond()
{
    static std::once_flag once;
    static double rate = 0.0;
    std::call_once(once, [] {
        ULONG64 cycles = 0;
        if (!QueryThreadCycleTime(GetCurrentThread(), &cycles) || cycles == 0)
            return;
        LARGE_INTEGER frequency, q0, q1;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&q0);
        uint64_t t0 = __rdtsc();
        Sleep(5);
        QueryPerformanceCounter(&q1);
        uint64_t t1 = __rdtsc();
        double ns = static_cast<double>(q1.QuadPart - q0.QuadPart) * 1e9 / static_cast<double>(frequency.QuadPart);
        if (ns > 0.0 && t1 > t0)
            rate = static_cast<double>(t1 - t0) / ns;
    });
    return rate;
}

int64_t times_of(const FILETIME& t)
{
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

} // namespace

int64_t counter_thread_time()
{
    HANDLE thread = GetCurrentThread();
    double rate = cycles_per_nanosecond();
    ULONG64 cycles = 0;
    if (rate > 0.0 && QueryThreadCycleTime(thread, &cycles))
        return static_cast<int64_t>(static_cast<double>(cycles) / rate);
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(thread, &created, &ended, &kernel, &user))
        return 0;
    return (times_of(kernel) + times_of(user)) * 100; // 100-ns units
}
