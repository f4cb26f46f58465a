// A thread's processor time (counter.h) from
// clock_gettime(CLOCK_THREAD_CPUTIME_ID).
#include "platform/counter.h"

#include <time.h>

int64_t counter_thread_time()
{
    timespec ts;
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0)
        return 0;
    return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}
