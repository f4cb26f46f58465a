// Sleeping on a 32-bit word until another thread changes it, for the drawing
// threads' hand-overs: a short watch with the processor's pause instruction,
// then a real sleep in the kernel (a futex on Linux) that cannot miss a wake.
#pragma once
#include <atomic>
#include <cstdint>

// Sleeps while `word` holds `expected`. May return early: callers check again.
void wake_wait(const std::atomic<uint32_t>& word, uint32_t expected);

// Wakes one thread, or every thread, sleeping in wake_wait on `word`. Call
// after storing the new value.
void wake_one(std::atomic<uint32_t>& word);
void wake_all(std::atomic<uint32_t>& word);

// Tells the processor that this thread spins (x86's pause): the core's
// sibling runs on, and leaving the loop costs no pipeline flush.
inline void wake_pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}
