// The manual and the scaled clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "card/clock.h"
#include "fake_host_time.h"

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

TEST(ScaledClock, RunsAtItsScaleOfTheHostsTimeAndFiresTimers) {
  test::FakeHostClock fake(1000);
  std::vector<SimTime> fired;
  fake.clock.schedule(50 * kNsPerMs, [&] { fired.push_back(fake.clock.now()); });
  fake.host.settle();
  fake.host.advance(49 * kNsPerUs);
  fake.host.settle();
  EXPECT_EQ(fake.clock.now(), 49 * kNsPerMs);
  EXPECT_TRUE(fired.empty());
  fake.host.advance(kNsPerUs);
  fake.host.settle();
  EXPECT_EQ(fired, std::vector<SimTime>{50 * kNsPerMs});
  EXPECT_DOUBLE_EQ(fake.clock.scale(), 1000);
}

// The host's steady clock is the default host time.
TEST(ScaledClock, FiresTimersOnTheHostsOwnTime) {
  ScaledClock clock(1000);
  std::atomic<bool> fired{false};
  clock.schedule(clock.now() + kNsPerMs, [&] { fired = true; });
  while (!fired) std::this_thread::yield();
  EXPECT_GE(clock.now(), kNsPerMs);
}

TEST(ScaledClock, CancelWaitsForARunningTimer) {
  ScaledClock clock(1);
  std::atomic<bool> started{false}, finished{false};
  const TimerId id = clock.schedule(0, [&] {
    started = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the timer's work, not a wait
    finished = true;
  });
  while (!started) std::this_thread::yield();
  clock.cancel(id);
  EXPECT_TRUE(finished);
}

TEST(ScaledClock, CancelFromWithinItsOwnTimerReturns) {
  test::FakeHostClock fake(1);
  bool done = false;
  TimerId id = 0;
  id = fake.clock.schedule(kNsPerMs, [&] {
    fake.clock.cancel(id);
    done = true;
  });
  fake.host.settle();
  fake.host.advance(kNsPerMs);
  fake.host.settle();
  EXPECT_TRUE(done);
}

// The host holds the timer thread up while a timer comes due: the clock does
// not run past the timer meanwhile, the timer sees its own due time, and the
// clock stays behind the host by the hold-up. A firing a few microseconds
// late is no hold-up: the clock runs on as the host's time does.
TEST(ScaledClock, AHoldUpOfTheHostDoesNotRunPastATimer) {
  struct Case {
    SimTime late;
    SimTime seen, behind;
  };
  const SimTime due = 5 * kNsPerMs;
  for (const Case& c : {Case{25 * kNsPerMs, due, 25 * kNsPerMs}, Case{10 * kNsPerUs, due + 10 * kNsPerUs, 0}}) {
    test::FakeHostClock fake(1);
    SimTime seen = 0;
    fake.clock.schedule(due, [&] { seen = fake.clock.now(); });
    fake.host.settle();
    fake.host.hold_up();
    fake.host.advance(due + c.late);
    EXPECT_EQ(fake.clock.now(), due) << "the clock ran past a timer that had not fired";
    fake.host.resume();
    fake.host.settle();
    EXPECT_EQ(seen, c.seen) << "late " << c.late;
    EXPECT_EQ(fake.clock.lateness().behind, c.behind) << "late " << c.late;
    fake.host.advance(kNsPerMs);
    EXPECT_EQ(fake.clock.now(), c.seen + kNsPerMs) << "the clock does not run on after the firing";
  }
}

// The work of a timer's function is the host's: the card's time runs on
// meanwhile, a timer that came due during it fires late, and the clock does
// not fall behind.
TEST(ScaledClock, ATimersOwnWorkTakesTheCardsTime) {
  test::FakeHostClock fake(1);
  const SimTime first = kNsPerMs, second = 2 * kNsPerMs;
  SimTime after_work = 0, seen_by_second = 0;
  fake.clock.schedule(first, [&] {
    fake.host.advance(30 * kNsPerMs);  // the function's own work
    after_work = fake.clock.now();
  });
  fake.clock.schedule(second, [&] { seen_by_second = fake.clock.now(); });
  fake.host.settle();
  fake.host.advance(first);
  fake.host.settle();
  EXPECT_EQ(after_work, first + 30 * kNsPerMs);
  EXPECT_EQ(seen_by_second, after_work);
  EXPECT_EQ(fake.clock.lateness().behind, 0u);
}
}  // namespace
}  // namespace card
