// A lock held for a few microseconds at a time by threads that must not
// sleep for it: a waiter spins a little, then yields, and never sleeps in the
// operating system. A sleep's wake-up can cost milliseconds on a virtual
// machine whose processors idle, far more than the work the lock guards:
// the card's registers (a bus access never waits that long) and the kernel's
// own bookkeeping on every request.
#pragma once

#include <atomic>
#include <thread>

namespace card {

class BriefLock {
 public:
  void lock() {
    for (int tries = 0; held_.exchange(true, std::memory_order_acquire); ++tries)
      while (held_.load(std::memory_order_relaxed)) wait_a_little(tries++);
  }
  bool try_lock() { return !held_.exchange(true, std::memory_order_acquire); }
  void unlock() { held_.store(false, std::memory_order_release); }

 private:
  static void wait_a_little(int tries) {
    constexpr int kSpinsBeforeYield = 64;
    if (tries < kSpinsBeforeYield) {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    } else {
      std::this_thread::yield();
    }
  }
  std::atomic<bool> held_{false};
};

}  // namespace card
