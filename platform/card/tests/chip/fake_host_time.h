// A host time that the test moves: the scaled clock's timer thread waits on
// it, wakes when the test has moved it to the thread's wake-up, and can be
// held up by the test as a busy host holds a thread up.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "card/clock.h"
#include "card/host_time.h"

namespace card::test {

class FakeHostTime final : public HostTime {
 public:
  std::uint64_t now() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
  }

  void wait(std::uint64_t wake, std::unique_lock<BriefLock>& clock_lock) override {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!held_ && (woken_ || wake <= now_)) {
      woken_ = false;
      return;
    }
    parked_ = true;
    wake_ = wake;
    changed_.notify_all();
    clock_lock.unlock();
    changed_.wait(lock, [&] { return !parked_; });
    lock.unlock();
    clock_lock.lock();
  }

  void wake_waiter() override {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
    release_if_due();
  }

  // Moves the host's time on; wakes the timer thread if that reaches its
  // wake-up and it is not held up.
  void advance(std::uint64_t ns) {
    std::lock_guard<std::mutex> lock(mutex_);
    now_ += ns;
    release_if_due();
  }

  // The host stops running the timer thread: it wakes for nothing until
  // resume(), as if the host had stopped it.
  void hold_up() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = true;
  }
  void resume() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
    release_if_due();
  }

  // Returns once the timer thread has done all it can at the host's present
  // time: it waits for a later time, for a change of its timers, or is held up.
  void settle() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return parked_; });
  }

 private:
  // Under `mutex_`.
  void release_if_due() {
    if (parked_ && !held_ && (woken_ || wake_ <= now_)) {
      parked_ = woken_ = false;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t now_ = 0;
  std::uint64_t wake_ = 0;  // of the parked thread
  bool parked_ = false;  // the timer thread waits in wait()
  bool woken_ = false;   // wake_waiter() was called since the thread last woke
  bool held_ = false;
};

// A scaled clock on a host time the test moves.
struct FakeHostClock {
  explicit FakeHostClock(double scale)
      : host(*new FakeHostTime), clock(scale, std::unique_ptr<HostTime>(&host)) {}
  ~FakeHostClock() { host.resume(); }  // the clock's thread ends only if it runs

  FakeHostTime& host;
  ScaledClock clock;
};

}  // namespace card::test
