// The card's two clocks: a manual one that tests step and a scaled real-time
// one with a timer thread of its own. Both keep their timers in one ordered
// queue (due time, then order of scheduling) under one mutex, and call a
// timer's function with that mutex released.
#include "card/clock.h"

#include <sys/prctl.h>

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
  mutable std::mutex mutex;
  std::condition_variable finished;
  SimTime now = 0;
  TimerQueue timers;
  RunningTimer running;
};

ManualClock::ManualClock() : state_(new State) {}
ManualClock::~ManualClock() { delete state_; }

SimTime ManualClock::now() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->now;
}

TimerId ManualClock::schedule(SimTime at, std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->timers.add(at, std::move(fn));
}

void ManualClock::cancel(TimerId id) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  if (state_->timers.remove(id)) return;
  if (state_->running.thread == std::this_thread::get_id()) return;
  state_->finished.wait(lock, [&] { return state_->running.id != id; });
}

void ManualClock::advance(SimTime delta) { advance_to(now() + delta); }

void ManualClock::advance_to(SimTime target) {
  std::unique_lock<std::mutex> lock(state_->mutex);
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

struct ScaledClock::State {
  using WallClock = std::chrono::steady_clock;

  explicit State(double s) : scale(s > 0 ? s : 1.0), start(WallClock::now()) {}

  SimTime sim_now() const {
    const auto wall = std::chrono::duration<double, std::nano>(WallClock::now() - start).count();
    return static_cast<SimTime>(wall * scale);
  }
  WallClock::time_point wall_time_of(SimTime at) const {
    return start + std::chrono::duration_cast<WallClock::duration>(
                       std::chrono::duration<double, std::nano>(static_cast<double>(at) / scale));
  }
  void run();

  const double scale;
  const WallClock::time_point start;
  std::mutex mutex;
  std::condition_variable changed;
  std::condition_variable finished;
  TimerQueue timers;
  RunningTimer running;
  bool stopping = false;
  std::thread thread;
};

void ScaledClock::State::run() {
  // The card's events come when they are due: no timer slack, which would
  // let a timer fire up to 50 us late (a segment end, a drive end).
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  std::unique_lock<std::mutex> lock(mutex);
  while (!stopping) {
    if (timers.empty()) {
      changed.wait(lock);
      continue;
    }
    if (timers.earliest() > sim_now()) {
      changed.wait_until(lock, wall_time_of(timers.earliest()));
      continue;
    }
    auto [id, fn] = timers.pop();
    running = {id, std::this_thread::get_id()};
    lock.unlock();
    fn();
    lock.lock();
    running = {};
    finished.notify_all();
  }
}

ScaledClock::ScaledClock(double scale) : state_(new State(scale)) {
  state_->thread = std::thread([s = state_] { s->run(); });
}

ScaledClock::~ScaledClock() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
  }
  state_->changed.notify_all();
  state_->thread.join();
  delete state_;
}

SimTime ScaledClock::now() const { return state_->sim_now(); }

double ScaledClock::scale() const { return state_->scale; }

TimerId ScaledClock::schedule(SimTime at, std::function<void()> fn) {
  TimerId id;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    id = state_->timers.add(at, std::move(fn));
  }
  state_->changed.notify_all();
  return id;
}

void ScaledClock::cancel(TimerId id) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  if (state_->timers.remove(id)) return;
  if (state_->running.thread == std::this_thread::get_id()) return;
  state_->finished.wait(lock, [&] { return state_->running.id != id; });
}

}  // namespace card
