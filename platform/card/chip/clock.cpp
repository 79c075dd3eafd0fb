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

// Simulated time follows the host's time, but while the timer thread waits it
// never runs past a timer that has not fired: a card whose events came due
// while the host held that thread up does not run on past them unseen. When
// such a hold-up outlasted the few microseconds a firing takes anyway,
// simulated time resumes from the timer's due time and stays that much behind
// the host's time from then on, so each event reaches the host, through the
// thread that fires it, as soon after it happened as the host then takes, as
// behind a real card. The host's own work on that thread (a timer's function:
// an interrupt service, a DPC) takes the card's time as it goes, as it would
// on a processor beside a real card. Everything that waits on the card's time
// (its drives, the kernel's timers and waits) waits alike.
struct ScaledClock::State {
  State(double s, std::unique_ptr<HostTime> h)
      : scale(s > 0 ? s : 1.0),
        host(h ? std::move(h) : HostTime::steady()),
        start(host->now()),
        held_up(static_cast<SimTime>(20 * kNsPerUs * scale)) {}

  // The host's time less what the clock fell behind; under `mutex`.
  SimTime unbounded_now() const {
    const auto at = static_cast<SimTime>(static_cast<double>(host->now() - start) * scale);
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
  std::uint64_t host_time_of(SimTime at) const {
    return start + static_cast<std::uint64_t>(static_cast<double>(at + behind) / scale);
  }
  void run();

  const double scale;
  const std::unique_ptr<HostTime> host;
  const std::uint64_t start;  // the host's time when the clock started
  const SimTime held_up;  // a timer fired later than 20 us of real time was held up
  BriefLock mutex;
  std::condition_variable_any finished;
  TimerQueue timers;
  RunningTimer running;
  Lateness lateness;
  SimTime behind = 0;  // of the host's time, by timers that fired late
  SimTime told = 0;    // the latest time now() returned
  SimTime idle_since = 0;  // when the thread last finished a timer's function
  bool stopping = false;
  std::thread thread;
};

void ScaledClock::State::run() {
  // A timer fires at its due time, not up to the kernel's default 50 us of
  // slack later: the card's events must reach the host when they happen.
  prctl(PR_SET_TIMERSLACK, 1UL);
  std::unique_lock<BriefLock> lock(mutex);
  while (!stopping) {
    if (timers.empty()) {
      host->wait(HostTime::kNever, lock);
      continue;
    }
    const SimTime now = unbounded_now();
    const SimTime due = timers.earliest();
    if (due > now) {
      host->wait(host_time_of(due), lock);
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

ScaledClock::ScaledClock(double scale, std::unique_ptr<HostTime> host)
    : state_(new State(scale, std::move(host))) {
  state_->thread = std::thread([s = state_] { s->run(); });
}

ScaledClock::~ScaledClock() {
  {
    std::lock_guard<BriefLock> lock(state_->mutex);
    state_->stopping = true;
  }
  state_->host->wake_waiter();
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
  state_->host->wake_waiter();
  return id;
}

void ScaledClock::cancel(TimerId id) {
  std::unique_lock<BriefLock> lock(state_->mutex);
  if (state_->timers.remove(id)) return;
  if (state_->running.thread == std::this_thread::get_id()) return;
  state_->finished.wait(lock, [&] { return state_->running.id != id; });
}

}  // namespace card
