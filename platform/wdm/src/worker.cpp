// The kernel's system worker thread: work that must run at PASSIVE_LEVEL
// after the caller has gone on (device-relation queries, power requests the
// power manager sends, a close whose last reference went at DISPATCH_LEVEL).
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "kernel.h"
#include "sim_kernel.h"

namespace {

std::mutex work_lock;
std::condition_variable work_changed;
std::deque<std::function<void()>> work_items;
bool working = false;
bool stopping = false;
bool held = false;  // a test holds the worker back: it takes no new item
std::thread worker;

void work_loop() {
  kernel::become_system_thread();
  std::unique_lock<std::mutex> lock(work_lock);
  for (;;) {
    work_changed.wait(lock, [] { return stopping || (!held && !work_items.empty()); });
    if (work_items.empty()) return;
    std::function<void()> item = std::move(work_items.front());
    work_items.pop_front();
    working = true;
    lock.unlock();
    item();
    lock.lock();
    working = false;
    work_changed.notify_all();
  }
}

}  // namespace

namespace kernel {

void worker_start() {
  std::lock_guard<std::mutex> lock(work_lock);
  stopping = false;
  worker = std::thread(work_loop);
}

void worker_stop() {
  {
    std::lock_guard<std::mutex> lock(work_lock);
    stopping = true;
    held = false;
  }
  work_changed.notify_all();
  if (worker.joinable()) worker.join();
}

void worker_queue(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(work_lock);
    work_items.push_back(std::move(work));
  }
  work_changed.notify_all();
}

bool worker_idle() {
  std::lock_guard<std::mutex> lock(work_lock);
  return work_items.empty() && !working;
}

void worker_drain() {
  std::unique_lock<std::mutex> lock(work_lock);
  work_changed.wait(lock, [] { return work_items.empty() && !working; });
}

}  // namespace kernel

namespace sim {

void hold_worker(bool hold) {
  {
    std::lock_guard<std::mutex> lock(work_lock);
    held = hold;
  }
  work_changed.notify_all();
}

}  // namespace sim
