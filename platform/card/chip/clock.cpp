// The card's two clocks: a manual one that tests step and a scaled real-time
// one with a timer thread of its own. Both keep their timers in one ordered
// queue (due time, then order of scheduling) under one lock, and call a
// timer's function with that lock released. The lock never puts a waiter to
// sleep: the chip schedules under its own lock, and a sleeping scheduler
// would stall the card (see card/brief_lock.h).
#include "card/clock.h"

#include "card/brief_lock.h"

#include <sys/prctl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace card {
namespace {

// Timers in firing order; the key's second member keeps equal due times in
// the order they were scheduled.
class TimerQueue {
 public:
  using Key = std::pair<SimTime, TimerId>;

  TimerId add(SimTime at, std::function<void()> fn) {
    const TimerId id = ++last_id_;
    by_key_.emplace(Key{at, id}, std::move(fn));
    due_.emplace(id, at);
    return id;
  }
  bool remove(TimerId id) {
    auto it = due_.find(id);
    if (it == due_.end()) return false;
    by_key_.erase(Key{it->second, id});
    due_.erase(it);
    return true;
  }
  bool empty() const { return by_key_.empty(); }
  SimTime earliest() const { return by_key_.begin()->first.first; }
  // Removes the earliest timer and hands back its id and function.
  std::pair<TimerId, std::function<void()>> pop() {
    auto it = by_key_.begin();
    std::pair<TimerId, std::function<void()>> out{it->first.second, std::move(it->second)};
    due_.erase(it->first.second);
    by_key_.erase(it);
    return out;
  }

 private:
  TimerId last_id_ = 0;
  std::map<Key, std::function<void()>> by_key_;
  std::map<TimerId, SimTime> due_;
};

// Tracks the timer function being run so that cancel() can wait for it.
struct RunningTimer {
  TimerId id = 0;
  std::thread::id thread;
};

}  // namespace

// ---- ManualClock ----------------------------------------------------------

struct ManualClock::State {
  mutable BriefLock mutex;
  std::condition_variable_any finished;
  SimTime now = 0;
  TimerQueue timers;
  RunningTimer running;
};

ManualClock::ManualClock() : state_(new State) {}
ManualClock::~ManualClock() { delete state_; }

SimTime ManualClock::now() const {
  std::lock_guard<BriefLock> lock(state_->mutex);
  return state_->now;
}

TimerId ManualClock::schedule(SimTime at, std::function<void()> fn) {
  std::lock_guard<BriefLock> lock(state_->mutex);
  return state_->timers.add(at, std::move(fn));
}

void ManualClock::cancel(TimerId id) {
  std::unique_lock<BriefLock> lock(state_->mutex);
  if (state_->timers.remove(id)) return;
  if (state_->running.thread == std::this_thread::get_id()) return;
  state_->finished.wait(lock, [&] { return state_->running.id != id; });
}

void ManualClock::advance(SimTime delta) { advance_to(now() + delta); }

void ManualClock::advance_to(SimTime target) {
  std::unique_lock<BriefLock> lock(state_->mutex);
  while (!state_->timers.empty() && state_->timers.earliest() <= target) {
    // A timer already overdue fires at the current time: time never goes back.
    if (state_->timers.earliest() > state_->now) state_->now = state_->timers.earliest();
    auto [id, fn] = state_->timers.pop();
    state_->running = {id, std::this_thread::get_id()};
    lock.unlock();
    fn();
    lock.lock();
    state_->running = {};
    state_->finished.notify_all();
  }
  if (target > state_->now) state_->now = target;
}

// ---- ScaledClock ----------------------------------------------------------

// Simulated time follows the wall clock, but while the timer thread waits it
// never runs past a timer that has not fired: a card whose events came due
// while the host held that thread up does not run on past them unseen. When
// such a hold-up outlasted the few microseconds a firing takes anyway,
// simulated time resumes from the timer's due time and stays that much behind
// the wall clock from then on, so each event reaches the host, through the
// thread that fires it, as soon after it happened as the host then takes, as
// behind a real card. The host's own work on that thread (a timer's function:
// an interrupt service, a DPC) takes the card's time as it goes, as it would
// on a processor beside a real card. Everything that waits on the card's time
// (its drives, the kernel's timers and waits) waits alike.
struct ScaledClock::State {
  using WallClock = std::chrono::steady_clock;

  explicit State(double s)
      : scale(s > 0 ? s : 1.0), start(WallClock::now()), held_up(static_cast<SimTime>(20 * kNsPerUs * scale)) {}

  // The wall clock's time less what the clock fell behind; under `mutex`.
  SimTime unbounded_now() const {
    const auto wall = std::chrono::duration<double, std::nano>(WallClock::now() - start).count();
    const auto at = static_cast<SimTime>(wall * scale);
    return at > behind ? at - behind : 0;
  }
  // The time that now() tells: while no timer's function runs, held at the
  // earliest unfired timer; never going back; under `mutex`.
  SimTime bounded_now() {
    SimTime at = unbounded_now();
    if (running.id == 0 && !timers.empty()) at = std::min(at, timers.earliest());
    told = std::max(told, at);
    return told;
  }
  WallClock::time_point wall_time_of(SimTime at) const {
    return start + std::chrono::duration_cast<WallClock::duration>(
                       std::chrono::duration<double, std::nano>(static_cast<double>(at + behind) / scale));
  }
  void run();
  void wait_for(WallClock::time_point wake, std::unique_lock<BriefLock>& lock);

  const double scale;
  const WallClock::time_point start;
  const SimTime held_up;  // a timer fired later than 20 us of real time was held up
  BriefLock mutex;
  std::condition_variable_any changed;
  std::condition_variable_any finished;
  TimerQueue timers;
  RunningTimer running;
  Lateness lateness;
  SimTime behind = 0;  // of the wall clock, by timers that fired late
  SimTime told = 0;    // the latest time now() returned
  SimTime idle_since = 0;  // when the thread last finished a timer's function
  std::atomic<std::uint64_t> schedules{0};  // counts schedule() calls: ends a spin
  WallClock::duration oversleep{std::chrono::microseconds(20)};  // of a timed wait, smoothed
  bool stopping = false;
  std::thread thread;
};

// Waits until `wake` or a change of the queue. A timed wait of the operating
// system ends some microseconds late (tens on a virtual machine), so the
// thread sleeps until that much before `wake` and spins the rest, with the
// lock released; the margin follows the oversleep it measures.
void ScaledClock::State::wait_for(WallClock::time_point wake, std::unique_lock<BriefLock>& lock) {
  using std::chrono::microseconds;
  const auto margin = std::clamp(oversleep * 3 / 2 + microseconds(5), WallClock::duration(microseconds(10)),
                                 WallClock::duration(microseconds(200)));
  const auto sleep_until = wake - margin;
  if (WallClock::now() < sleep_until) {
    if (changed.wait_until(lock, sleep_until) == std::cv_status::timeout) {
      const auto late = WallClock::now() - sleep_until;
      oversleep += (late - oversleep) / 8;
    }
    return;
  }
  const std::uint64_t seen = schedules.load(std::memory_order_acquire);
  lock.unlock();
  while (WallClock::now() < wake && schedules.load(std::memory_order_acquire) == seen) {
  }
  lock.lock();
}

void ScaledClock::State::run() {
  // A timer fires at its due time, not up to the kernel's default 50 us of
  // slack later: the card's events must reach the host when they happen.
  prctl(PR_SET_TIMERSLACK, 1UL);
  std::unique_lock<BriefLock> lock(mutex);
  while (!stopping) {
    if (timers.empty()) {
      changed.wait(lock);
      continue;
    }
    const SimTime now = unbounded_now();
    const SimTime due = timers.earliest();
    if (due > now) {
      wait_for(wall_time_of(due), lock);
      continue;
    }
    ++lateness.fired;
    lateness.total += now - due;
    lateness.worst = std::max(lateness.worst, now - due);
    // After a hold-up, time resumes from the due time: the timer's function
    // sees it happen now. A firing's own few microseconds pass as they are,
    // and so does the time of the functions it ran meanwhile.
    const SimTime late = now - std::max(due, told);
    if (due >= idle_since && late > held_up) {
      behind += late;
      lateness.behind = behind;
    }
    auto [id, fn] = timers.pop();
    running = {id, std::this_thread::get_id()};
    lock.unlock();
    fn();
    lock.lock();
    running = {};
    idle_since = unbounded_now();
    finished.notify_all();
  }
}

ScaledClock::ScaledClock(double scale) : state_(new State(scale)) {
  state_->thread = std::thread([s = state_] { s->run(); });
}

ScaledClock::~ScaledClock() {
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    state_->stopping = true;
  }
  state_->changed.notify_all();
  state_->thread.join();
  delete state_;
}

SimTime ScaledClock::now() const {
  std::lock_guard<BriefLock> lock(state_->mutex);
  return state_->bounded_now();
}

double ScaledClock::scale() const { return state_->scale; }

ScaledClock::Lateness ScaledClock::lateness() const {
  std::lock_guard<BriefLock> lock(state_->mutex);
  return state_->lateness;
}

TimerId ScaledClock::schedule(SimTime at, std::function<void()> fn) {
  TimerId id;
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    id = state_->timers.add(at, std::move(fn));
  }
  state_->schedules.fetch_add(1, std::memory_order_release);
  state_->changed.notify_all();
  return id;
}

void ScaledClock::cancel(TimerId id) {
  std::unique_lock<BriefLock> lock(state_->mutex);
  if (state_->timers.remove(id)) return;
  if (state_->running.thread == std::this_thread::get_id()) return;
  state_->finished.wait(lock, [&] { return state_->running.id != id; });
}

}  // namespace card
