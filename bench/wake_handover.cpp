// How long one thread takes to hand over to another through a 32-bit word
// (platform/wake.h): by sleeping in the kernel and being woken, and by
// watching the word with the pause instruction. Two threads pass a turn back
// and forth; half a round trip is one hand-over. Then how long a wake takes
// to reach a thread that has slept a while (its processor idle). The drawing share watches
// about as long as a sleeping hand-over takes before it sleeps
// (raster/share.cpp), so this is the figure to check it against.
// Usage: wake_handover [rounds]
#include "platform/counter.h"
#include "platform/wake.h"

#include <algorithm>
#include <chrono>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace
{

std::atomic<uint32_t> turn{0};

// Waits until the turn is `mine`, sleeping or watching.
void wait_turn(uint32_t mine, bool sleep)
{
    for (;;) {
        const uint32_t t = turn.load(std::memory_order_acquire);
        if (t == mine)
            return;
        if (sleep)
            wake_wait(turn, t);
        else
            wake_pause();
    }
}

void pass_turn(uint32_t next, bool sleep)
{
    turn.store(next, std::memory_order_release);
    if (sleep)
        wake_one(turn);
}

// Microseconds per hand-over, per round of 100 round trips.
std::vector<double> measure(int rounds, bool sleep)
{
    turn.store(0);
    std::thread other([rounds, sleep] {
        for (int r = 0; r < rounds * 100; r++) {
            wait_turn(2u * static_cast<uint32_t>(r) + 1u, sleep);
            pass_turn(2u * static_cast<uint32_t>(r) + 2u, sleep);
        }
    });
    std::vector<double> out;
    const double us_per_tick = 1e6 / static_cast<double>(counter_frequency());
    for (int round = 0; round < rounds; round++) {
        const int64_t start = counter_now();
        for (int r = round * 100; r < round * 100 + 100; r++) {
            pass_turn(2u * static_cast<uint32_t>(r) + 1u, sleep);
            wait_turn(2u * static_cast<uint32_t>(r) + 2u, sleep);
        }
        out.push_back(static_cast<double>(counter_now() - start) * us_per_tick / 200.0);
    }
    other.join();
    std::sort(out.begin(), out.end());
    return out;
}

// Microseconds from a wake to the sleeper running again, the sleeper having
// slept `idle_us` (its processor may have gone idle meanwhile: the costly case).
std::vector<double> measure_after_idle(int count, int idle_us)
{
    turn.store(0);
    std::atomic<int64_t> woken_at{0};
    std::thread other([count, &woken_at] {
        for (int r = 0; r < count; r++) {
            wait_turn(2u * static_cast<uint32_t>(r) + 1u, true);
            woken_at.store(counter_now(), std::memory_order_release);
            pass_turn(2u * static_cast<uint32_t>(r) + 2u, false);
        }
    });
    std::vector<double> out;
    const double us_per_tick = 1e6 / static_cast<double>(counter_frequency());
    for (int r = 0; r < count; r++) {
        std::this_thread::sleep_for(std::chrono::microseconds(idle_us));
        const int64_t start = counter_now();
        pass_turn(2u * static_cast<uint32_t>(r) + 1u, true);
        wait_turn(2u * static_cast<uint32_t>(r) + 2u, false);
        out.push_back(static_cast<double>(woken_at.load(std::memory_order_acquire) - start) * us_per_tick);
    }
    other.join();
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    for (bool sleep : {true, false}) {
        const std::vector<double> us = measure(rounds, sleep);
        std::printf("%-8s hand-over: median %.2f us, 10th %.2f us, 90th %.2f us (%d rounds of 100 round trips)\n",
                    sleep ? "sleeping" : "watching", us[us.size() / 2], us[us.size() / 10],
                    us[us.size() * 9 / 10], rounds);
    }
    for (int idle_us : {100, 1000, 10000}) {
        const std::vector<double> us = measure_after_idle(rounds * 4, idle_us);
        std::printf("woken after %5d us asleep: median %.2f us, 10th %.2f us, 90th %.2f us (%d wakes)\n", idle_us,
                    us[us.size() / 2], us[us.size() / 10], us[us.size() * 9 / 10], rounds * 4);
    }
    return 0;
}
