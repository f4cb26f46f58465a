// Kernel sleeps on a 32-bit word: the futex on Linux; elsewhere (the page,
// which draws with one thread) the standard library's atomic wait. Windows
// has its own file (WaitOnAddress).
#include "platform/wake.h"

#if defined(__linux__)
#include <climits>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free,
              "a futex needs a plain 32-bit word");

static long futex(const std::atomic<uint32_t>& word, int op, uint32_t value)
{
    return syscall(SYS_futex, reinterpret_cast<const uint32_t*>(&word), op | FUTEX_PRIVATE_FLAG, value, nullptr,
                   nullptr, 0);
}

void wake_wait(const std::atomic<uint32_t>& word, uint32_t expected)
{
    // The kernel compares the word with `expected` under its own lock, so a
    // store and wake between our check and the sleep cannot be lost.
    futex(word, FUTEX_WAIT, expected);
}

void wake_one(std::atomic<uint32_t>& word)
{
    futex(word, FUTEX_WAKE, 1);
}

void wake_all(std::atomic<uint32_t>& word)
{
    futex(word, FUTEX_WAKE, INT_MAX);
}
#else
void wake_wait(const std::atomic<uint32_t>& word, uint32_t expected)
{
    word.wait(expected, std::memory_order_acquire);
}

void wake_one(std::atomic<uint32_t>& word)
{
    word.notify_one();
}

void wake_all(std::atomic<uint32_t>& word)
{
    word.notify_all();
}
#endif
