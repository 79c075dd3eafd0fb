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

// A timer whose thread is held up: the clock never passes the next timer meanwhile,
// the next timer sees its own due time, and the clock stays behind by the delay.
TEST(ScaledClock, NeverPassesATimerNotYetFired) {
  ScaledClock clock(1);
  const SimTime first = clock.now() + kNsPerMs, second = first + kNsPerMs;
  std::atomic<bool> held{false}, released{false}, done{false};
  std::atomic<SimTime> seen_by_second{0};
  clock.schedule(first, [&] {
    held = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    released = true;
  });
  clock.schedule(second, [&] {
    seen_by_second = clock.now();
    done = true;
  });
  while (!held) std::this_thread::yield();
  SimTime latest = 0, previous = 0;
  bool monotonic = true;
  for (;;) {
    const SimTime now = clock.now();
    if (released) break;  // the second timer may have fired since
    latest = std::max(latest, now);
    monotonic = monotonic && now >= previous;
    previous = now;
  }
  while (!done) std::this_thread::yield();
  EXPECT_TRUE(monotonic);
  EXPECT_GE(latest, first);
  EXPECT_LE(latest, second) << "the clock ran past a timer that had not fired";
  EXPECT_GE(seen_by_second.load(), second);
  EXPECT_LT(seen_by_second.load(), second + 5 * kNsPerMs) << "the late timer did not see its own time";
  EXPECT_GE(clock.lateness().behind, 25 * kNsPerMs);
}
}  // namespace
}  // namespace card
