// Kernel sleeps on a 32-bit word on Windows (wake.h): WaitOnAddress compares
// the word with the expected value inside the kernel's own wait, so a store
// and wake between the caller's check and the sleep cannot be lost.
// Relies on synchronization.lib (Windows 8 and later).
#include "platform/wake.h"

#include <windows.h>

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free,
              "WaitOnAddress needs a plain 32-bit word");

void wake_wait(const std::atomic<uint32_t>& word, uint32_t expected)
{
    WaitOnAddress(const_cast<std::atomic<uint32_t>*>(&word), &expected, sizeof expected, INFINITE);
}

void wake_one(std::atomic<uint32_t>& word)
{
    WakeByAddressSingle(&word);
}

void wake_all(std::atomic<uint32_t>& word)
{
    WakeByAddressAll(&word);
}
