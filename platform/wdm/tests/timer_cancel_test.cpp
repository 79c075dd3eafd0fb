// KeCancelTimer racing the timer's expiry on the clock's thread: whatever it
// answers, a driver may act on the answer at once.
#include "booted_machine.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// The manual clock, able to hold one thread at its next read of the time (an
// injected stall). A cancel on the clock lets the held thread go, as the
// canceller then waits for that thread's running timer function.
class StallingClock final : public card::Clock {
 public:
  explicit StallingClock(card::ManualClock& clock) : clock_(clock) {}

  card::SimTime now() const override {
    stall_if_held();
    return clock_.now();
  }
  card::TimerId schedule(card::SimTime at, std::function<void()> fn) override {
    return clock_.schedule(at, std::move(fn));
  }
  void cancel(card::TimerId id) override {
    let_go();
    clock_.cancel(id);
  }

  void hold_this_thread() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_thread_ = std::this_thread::get_id();
  }
  void wait_until_stalled() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return stalled_; });
  }
  void let_go() {
    std::lock_guard<std::mutex> lock(mutex_);
    held_thread_ = {};
    changed_.notify_all();
  }

 private:
  void stall_if_held() const {
    std::unique_lock<std::mutex> lock(mutex_);
    if (held_thread_ != std::this_thread::get_id()) return;
    stalled_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return held_thread_ != std::this_thread::get_id(); });
  }

  card::ManualClock& clock_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::thread::id held_thread_;
  mutable bool stalled_ = false;
};

class TimerOnStallingClock : public BootedMachine {
 protected:
  card::Clock* machine_clock() override { return &stalling_; }
  StallingClock stalling_{clock_};
};

void count_run(PKDPC, PVOID context, PVOID, PVOID) { ++*static_cast<std::atomic<int>*>(context); }

// The clock's thread is held at the expiry's read of the time; the driver
// cancels meanwhile. FALSE: the timer expired, so its DPC was queued and a
// flush waits for it (a driver then frees the timer and the DPC). TRUE: the
// timer neither expires nor queues its DPC.
TEST_F(TimerOnStallingClock, CancelAnswersAsIfTheExpiryWereAtomic) {
  KTIMER timer;
  KDPC dpc;
  std::atomic<int> runs{0};
  KeInitializeTimer(&timer);
  KeInitializeDpc(&dpc, count_run, &runs);
  constexpr card::SimTime kTick = card::PlatformTraits{}.timer_resolution_ns;
  const card::SimTime expiry = (clock_.now() + card::kNsPerMs + kTick - 1) / kTick * kTick;
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(card::kNsPerMs / 100);
  KeSetTimer(&timer, due, &dpc);
  clock_.advance_to(expiry - 1);

  std::thread clock_thread([this] {
    stalling_.hold_this_thread();
    clock_.advance(1);
  });
  stalling_.wait_until_stalled();
  const BOOLEAN was_set = KeCancelTimer(&timer);
  KeFlushQueuedDpcs();
  const int runs_after_flush = runs;
  const BOOLEAN signalled = KeReadStateTimer(&timer);
  stalling_.let_go();
  clock_thread.join();
  sim::wait_idle();

  if (was_set) {
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(KeReadStateTimer(&timer));
  } else {
    EXPECT_EQ(runs_after_flush, 1);
    EXPECT_TRUE(signalled);
  }
}

}  // namespace
