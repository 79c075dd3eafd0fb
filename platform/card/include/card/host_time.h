// The host's side of a scaled clock: the host's own monotonic time and the
// waits of the clock's timer thread on it. The product uses the host's steady
// clock; a test hands the clock a host time it drives itself, to move the
// host's time in steps and to hold the timer thread up where it wants.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "card/brief_lock.h"

namespace card {

class HostTime {
 public:
  // A wait with no time to wake at ends only at wake_waiter().
  static constexpr std::uint64_t kNever = UINT64_MAX;

  virtual ~HostTime() = default;

  // The host's time in nanoseconds since any fixed origin; never goes back.
  virtual std::uint64_t now() = 0;

  // Called by the clock's timer thread with `lock` (the clock's) held, and
  // returns with it held again: waits, with `lock` released, until now()
  // reaches `wake` or wake_waiter() is called. May return sooner.
  virtual void wait(std::uint64_t wake, std::unique_lock<BriefLock>& lock) = 0;

  // Ends the wait of the timer thread: its timers changed. Called after the
  // clock's lock was released.
  virtual void wake_waiter() = 0;

  // The host's steady clock, its timed waits made to end on time.
  static std::unique_ptr<HostTime> steady();
};

}  // namespace card
