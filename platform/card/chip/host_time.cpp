// The host's steady clock as a scaled clock's host time. A timed wait of the
// operating system ends some microseconds late (tens on a virtual machine),
// so the timer thread sleeps until that much before its wake-up and spins
// the rest, with the clock's lock released; the margin follows the oversleep
// it measures.
#include "card/host_time.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>

namespace card {
namespace {

class SteadyHostTime final : public HostTime {
 public:
  std::uint64_t now() override { return since_origin(Steady::now()); }

  void wait(std::uint64_t wake, std::unique_lock<BriefLock>& lock) override {
    if (wake == kNever) {
      changed_.wait(lock);
      return;
    }
    using std::chrono::microseconds;
    const auto margin = std::clamp(oversleep_ * 3 / 2 + microseconds(5), Steady::duration(microseconds(10)),
                                   Steady::duration(microseconds(200)));
    const Steady::time_point wake_at = time_point_of(wake), sleep_until = wake_at - margin;
    if (Steady::now() < sleep_until) {
      if (changed_.wait_until(lock, sleep_until) == std::cv_status::timeout) {
        const auto late = Steady::now() - sleep_until;
        oversleep_ += (late - oversleep_) / 8;
      }
      return;
    }
    const std::uint64_t seen = wakes_.load(std::memory_order_acquire);
    lock.unlock();
    while (Steady::now() < wake_at && wakes_.load(std::memory_order_acquire) == seen) {
    }
    lock.lock();
  }

  void wake_waiter() override {
    wakes_.fetch_add(1, std::memory_order_release);
    changed_.notify_all();
  }

 private:
  using Steady = std::chrono::steady_clock;

  static std::uint64_t since_origin(Steady::time_point at) {
    return static_cast<std::uint64_t>(std::chrono::nanoseconds(at.time_since_epoch()).count());
  }
  static Steady::time_point time_point_of(std::uint64_t ns) {
    return Steady::time_point(std::chrono::duration_cast<Steady::duration>(std::chrono::nanoseconds(ns)));
  }

  std::condition_variable_any changed_;
  std::atomic<std::uint64_t> wakes_{0};  // counts wake_waiter() calls: ends a spin
  Steady::duration oversleep_{std::chrono::microseconds(20)};  // of a timed wait, smoothed; the waiter's own
};

}  // namespace

std::unique_ptr<HostTime> HostTime::steady() { return std::make_unique<SteadyHostTime>(); }

}  // namespace card
