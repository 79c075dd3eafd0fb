// The manual and the scaled clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "card/clock.h"

namespace card {
namespace {

TEST(ManualClock, FiresTimersInDueOrderAtTheirOwnTime) {
  ManualClock clock;
  std::vector<std::pair<int, SimTime>> fired;
  clock.schedule(300, [&] { fired.emplace_back(3, clock.now()); });
  clock.schedule(100, [&] { fired.emplace_back(1, clock.now()); });
  clock.schedule(100, [&] { fired.emplace_back(2, clock.now()); });
  const TimerId cancelled = clock.schedule(200, [&] { fired.emplace_back(9, clock.now()); });
  clock.cancel(cancelled);
  clock.advance_to(250);
  EXPECT_EQ(fired, (std::vector<std::pair<int, SimTime>>{{1, 100}, {2, 100}}));
  EXPECT_EQ(clock.now(), 250u);
  clock.advance(50);
  EXPECT_EQ(fired.back(), (std::pair<int, SimTime>{3, 300}));
}

TEST(ManualClock, TimerScheduledFromATimerWithinTheStepFires) {
  ManualClock clock;
  std::vector<SimTime> fired;
  clock.schedule(10, [&] {
    fired.push_back(clock.now());
    clock.schedule(20, [&] { fired.push_back(clock.now()); });
    clock.schedule(5, [&] { fired.push_back(clock.now()); });  // overdue: fires now
  });
  clock.advance_to(100);
  EXPECT_EQ(fired, (std::vector<SimTime>{10, 10, 20}));
}

TEST(ScaledClock, RunsFasterThanTheWallClockAndFiresTimers) {
  ScaledClock clock(1000);
  std::atomic<bool> fired{false};
  std::atomic<SimTime> at{0};
  clock.schedule(clock.now() + 50 * kNsPerMs, [&] {
    at = clock.now();
    fired = true;
  });
  for (int i = 0; i < 2000 && !fired; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(fired);
  EXPECT_GE(at.load(), 50 * kNsPerMs);
  EXPECT_DOUBLE_EQ(clock.scale(), 1000);
}

TEST(ScaledClock, CancelWaitsForARunningTimer) {
  ScaledClock clock(1);
  std::atomic<bool> started{false}, finished{false};
  const TimerId id = clock.schedule(0, [&] {
    started = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    finished = true;
  });
  while (!started) std::this_thread::yield();
  clock.cancel(id);
  EXPECT_TRUE(finished);
}

TEST(ScaledClock, CancelFromWithinItsOwnTimerReturns) {
  ScaledClock clock(1);
  std::atomic<bool> done{false};
  TimerId id = 0;
  std::atomic<bool> scheduled{false};
  id = clock.schedule(clock.now() + kNsPerMs, [&] {
    while (!scheduled) std::this_thread::yield();
    clock.cancel(id);
    done = true;
  });
  scheduled = true;
  for (int i = 0; i < 2000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(done);
}

}  // namespace
}  // namespace card
