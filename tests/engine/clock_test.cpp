// The real clock's wait for a handshake reply ends when woken, not at the
// end of its allowance: the allowance here is a minute, and a wait that
// missed the wake-up would hold the test that long (and fail it by timeout).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/clock.h"

namespace j3 {
namespace {

TEST(SystemClock, AWakeEndsTheWaitOnceReadyHolds) {
    SystemClock clock;
    for (int round = 0; round < 20; ++round) {
        std::atomic<bool> reply{false};
        std::thread receiver([&] {
            // A wake before the reply changes nothing; the one after it counts.
            clock.wake();
            reply = true;
            clock.wake();
        });
        clock.sleep_ms_or_until(60000, [&] { return reply.load(); });
        EXPECT_TRUE(reply.load()) << "round " << round;
        receiver.join();
    }
    // Ready from the start: no wait at all.
    clock.sleep_ms_or_until(60000, [] { return true; });
}

}  // namespace
}  // namespace j3
