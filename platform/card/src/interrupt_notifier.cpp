#include "interrupt_notifier.h"

namespace card {

namespace {

// The calls this thread is inside, innermost first (a chain through the stack).
struct RunningCall {
  const InterruptNotifier* notifier;
  const RunningCall* outer;
};
thread_local const RunningCall* t_innermost __attribute__((tls_model("initial-exec"))) = nullptr;

bool inside_call_of(const InterruptNotifier* notifier) {
  for (const RunningCall* call = t_innermost; call; call = call->outer) {
    if (call->notifier == notifier) return true;
  }
  return false;
}

}  // namespace

void InterruptNotifier::set(std::function<void()> fn) {
  std::unique_lock lock(mutex_);
  fn_ = fn ? std::make_shared<const std::function<void()>>(std::move(fn)) : nullptr;
  if (inside_call_of(this)) return;  // waiting for ourselves would never end
  idle_.wait(lock, [this] { return running_ == 0; });
}

void InterruptNotifier::notify() {
  std::shared_ptr<const std::function<void()>> fn;
  {
    std::lock_guard lock(mutex_);
    if (!fn_) return;
    fn = fn_;
    ++running_;
  }
  const RunningCall call{this, t_innermost};
  t_innermost = &call;
  (*fn)();
  t_innermost = call.outer;
  std::lock_guard lock(mutex_);
  if (--running_ == 0) idle_.notify_all();
}

}  // namespace card
