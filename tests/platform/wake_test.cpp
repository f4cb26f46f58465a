// Sleeping on a word (wake.h): two threads hand a counter back and forth a
// hundred thousand times, each sleeping until the other's store. A lost
// wake-up leaves both asleep, which the watchdog reports instead of hanging.
#include "platform/wake.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

namespace
{

// Odd values are the helper's turn, even ones the caller's.
void take_turns(std::atomic<uint32_t>& turn, uint32_t parity, uint32_t rounds)
{
    for (uint32_t i = parity; i < 2 * rounds; i += 2) {
        for (uint32_t seen = turn.load(std::memory_order_acquire); seen != i;
             seen = turn.load(std::memory_order_acquire))
            wake_wait(turn, seen);
        turn.store(i + 1, std::memory_order_release);
        wake_one(turn);
    }
}

} // namespace

TEST(Wake, HandOversBetweenTwoThreadsAreNeverLost)
{
    constexpr uint32_t ROUNDS = 100000;
    std::atomic<uint32_t> turn{0};
    std::thread helper([&] { take_turns(turn, 1, ROUNDS); });
    auto caller = std::async(std::launch::async, [&] { take_turns(turn, 0, ROUNDS); });
    if (caller.wait_for(std::chrono::minutes(2)) != std::future_status::ready) {
        std::fprintf(stderr, "wake: both threads asleep at turn %u: a wake-up was lost\n", turn.load());
        std::_Exit(1);
    }
    helper.join();
    EXPECT_EQ(turn.load(), 2 * ROUNDS);
}

TEST(Wake, WakeAllReleasesEverySleeper)
{
    std::atomic<uint32_t> gate{0};
    std::atomic<int> through{0};
    std::thread sleepers[3];
    for (std::thread& t : sleepers)
        t = std::thread([&] {
            while (gate.load(std::memory_order_acquire) == 0)
                wake_wait(gate, 0);
            through.fetch_add(1);
        });
    gate.store(1, std::memory_order_release);
    wake_all(gate);
    for (std::thread& t : sleepers)
        t.join();
    EXPECT_EQ(through.load(), 3);
}
