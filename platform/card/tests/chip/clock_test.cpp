// The manual and the scaled clock.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// The host holds the whole process up (stopped by a signal, as a virtual
// machine's processor can be) while a timer comes due: the clock does not run
// past the timer meanwhile, the timer sees its own due time, and the clock
// stays behind by the hold-up.
TEST(ScaledClock, AHoldUpOfTheHostDoesNotRunPastATimer) {
  ScaledClock clock(1);
  const SimTime due = clock.now() + 5 * kNsPerMs;
  std::atomic<bool> fired{false};
  std::atomic<SimTime> seen{0};
  clock.schedule(due, [&] {
    seen = clock.now();
    fired = true;
  });
  std::atomic<bool> reading{true};
  std::atomic<SimTime> latest{0};
  std::thread reader([&] {
    while (reading) {
      const SimTime now = clock.now();
      if (!fired) latest = std::max(latest.load(), now);
    }
  });
  const pid_t process = getpid();
  const pid_t child = fork();
  if (child == 0) {  // only async-signal-safe calls here
    usleep(1000);
    kill(process, SIGSTOP);
    usleep(30000);
    kill(process, SIGCONT);
    _exit(0);
  }
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  while (!fired) std::this_thread::yield();
  reading = false;
  reader.join();
  EXPECT_LE(latest.load(), due + kNsPerMs) << "the clock ran past a timer that had not fired";
  EXPECT_GE(seen.load(), due);
  EXPECT_LT(seen.load(), due + 5 * kNsPerMs) << "the held-up timer did not see its own time";
  EXPECT_GE(clock.lateness().behind, 20 * kNsPerMs);
}

// The work of a timer's function is the host's: the card's time runs on
// meanwhile, a timer that came due during it fires late, and the clock does
// not fall behind.
TEST(ScaledClock, ATimersOwnWorkTakesTheCardsTime) {
  ScaledClock clock(1);
  const SimTime first = clock.now() + kNsPerMs, second = first + kNsPerMs;
  std::atomic<SimTime> after_work{0}, seen_by_second{0};
  std::atomic<bool> done{false};
  clock.schedule(first, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    after_work = clock.now();
  });
  clock.schedule(second, [&] {
    seen_by_second = clock.now();
    done = true;
  });
  for (int i = 0; i < 2000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(done);
  EXPECT_GE(after_work.load(), first + 29 * kNsPerMs);
  EXPECT_GE(seen_by_second.load(), after_work.load());
  EXPECT_LT(clock.lateness().behind, kNsPerMs);
}
}  // namespace
}  // namespace card
