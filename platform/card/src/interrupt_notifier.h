// Delivers "the interrupt line may have changed" to the one function that
// listens, with no lock of the card held. Replacing the function waits until
// no call of the old one is running, unless the replacement comes from inside
// such a call on the same thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "card/brief_lock.h"

namespace card {

class InterruptNotifier {
 public:
  void set(std::function<void()> fn);
  void notify();

 private:
  BriefLock mutex_;  // taken on every change of the line, from any thread
  std::condition_variable_any idle_;
  std::shared_ptr<const std::function<void()>> fn_;
  int running_ = 0;  // calls in progress
};

}  // namespace card
