// The card's clock. Everything on the card that happens later (pulse output,
// the end of a drive, a sensor reached) is a timer on this clock, never a
// sleeping thread. Two clocks exist: a manual one that unit tests step, and a
// scaled real-time one that runs at wall-clock time times a factor.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "card/host_time.h"

namespace card {

// Simulated time in nanoseconds since the clock started.
using SimTime = std::uint64_t;
using TimerId = std::uint64_t;

constexpr SimTime kNsPerUs = 1000;
constexpr SimTime kNsPerMs = 1000 * kNsPerUs;
constexpr SimTime kNsPerSecond = 1000 * kNsPerMs;

class Clock {
 public:
  virtual ~Clock() = default;

  virtual SimTime now() const = 0;

  // Calls `fn` once simulated time reaches `at` (at once, from the next
  // advance or tick, when `at` has passed). A manual clock calls it from
  // advance(); a scaled clock from its own timer thread. `fn` runs with no
  // clock lock held and may schedule or cancel timers.
  virtual TimerId schedule(SimTime at, std::function<void()> fn) = 0;

  // Cancels a timer that has not fired. Cancelling a fired or unknown timer
  // does nothing. After cancel() returns the timer's function is not running
  // and will not run (unless it is the caller itself).
  virtual void cancel(TimerId id) = 0;
};

// A clock that moves only when told to; timers fire in order of their due time
// inside advance(), each seeing now() equal to its own due time.
class ManualClock final : public Clock {
 public:
  ManualClock();
  ~ManualClock() override;
  SimTime now() const override;
  TimerId schedule(SimTime at, std::function<void()> fn) override;
  void cancel(TimerId id) override;

  void advance(SimTime delta);
  void advance_to(SimTime target);

 private:
  struct State;
  State* state_;
};

// A clock that follows the host's time times `scale` (1 = real time), with a
// thread of its own that fires the timers. now() never passes a timer that
// has not fired; a timer that the host held up (fired more than 20 us of real
// time late) sets the clock back to its due time, and the clock stays that
// much behind the host's time. The host's time is its steady clock unless
// `host` is given.
class ScaledClock final : public Clock {
 public:
  explicit ScaledClock(double scale, std::unique_ptr<HostTime> host = nullptr);
  ~ScaledClock() override;
  SimTime now() const override;
  TimerId schedule(SimTime at, std::function<void()> fn) override;
  void cancel(TimerId id) override;

  double scale() const;

  // How late the timers fired, in simulated time: a machine that keeps up
  // fires each one within a few microseconds of real time of its due time.
  struct Lateness {
    std::uint64_t fired = 0;
    SimTime worst = 0;
    SimTime total = 0;
    SimTime behind = 0;  // of the host's time times the scale, by timers held up
  };
  Lateness lateness() const;

 private:
  struct State;
  State* state_;
};

}  // namespace card
