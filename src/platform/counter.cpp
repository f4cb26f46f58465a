// The high-resolution counter (counter.h) on std::chrono::steady_clock.
#include "platform/counter.h"

#include <chrono>

int64_t counter_now()
{
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(since).count();
}

int64_t counter_frequency()
{
    return 1000000000;
}
