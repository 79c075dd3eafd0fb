// Tearing the chip down while its clock timer is still telling the board
// about an interrupt: the board reads the chip back from that call, so the
// chip must not be gone before the call returns.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "card/chip_registers.h"
#include "card/clock.h"
#include "card/motion_chip.h"

namespace card::chip::test {
namespace {

// The steps of the race, told between the threads that take them.
class Steps {
 public:
  void mark(bool Steps::*step) {
    std::lock_guard<std::mutex> lock(mutex_);
    this->*step = true;
    changed_.notify_all();
  }
  void await(bool Steps::*step) { await(step, step); }
  // Until either step was taken.
  void await(bool Steps::*one, bool Steps::*other) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return this->*one || this->*other; });
  }
  bool taken(bool Steps::*step) {
    std::lock_guard<std::mutex> lock(mutex_);
    return this->*step;
  }

  bool notifying = false;           // the timer's interrupt call began
  bool released = false;            // the call may go on
  bool chip_gone = false;           // the chip's destructor returned
  bool waiting_for_firing = false;  // the destructor cancels the timer that runs

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
};

// A manual clock that tells when a timer whose function runs is cancelled.
class WatchedClock final : public Clock {
 public:
  explicit WatchedClock(Steps& steps) : steps_(steps) {}
  SimTime now() const override { return clock.now(); }
  TimerId schedule(SimTime at, std::function<void()> fn) override {
    auto own_id = std::make_shared<std::atomic<TimerId>>(0);
    const TimerId id = clock.schedule(at, [this, own_id, fn = std::move(fn)] {
      firing_ = own_id->load();
      fn();
    });
    own_id->store(id);
    return id;
  }
  void cancel(TimerId id) override {
    if (id == firing_) steps_.mark(&Steps::waiting_for_firing);
    clock.cancel(id);
  }

  ManualClock clock;

 private:
  Steps& steps_;
  std::atomic<TimerId> firing_{0};
};

void command(MotionChip& chip, unsigned mask, std::uint8_t code, std::uint32_t data = 0) {
  chip.write(kRegDataHigh, static_cast<std::uint16_t>(data >> 16));
  chip.write(kRegDataLow, static_cast<std::uint16_t>(data));
  chip.write(kRegCommand, command_word(mask, code));
}

TEST(ChipTeardown, WaitsForTheTimerThatIsStillNotifying) {
  Steps steps;
  WatchedClock clock(steps);
  auto chip = std::make_unique<MotionChip>(clock, std::array<AxisMechanics, 4>{});
  MotionChip* const board_view = chip.get();
  bool read_a_gone_chip = false;
  // The board samples the chip's output from the notification, as the card does.
  chip->on_interrupt_change([&] {
    steps.mark(&Steps::notifying);
    steps.await(&Steps::released);
    read_a_gone_chip = steps.taken(&Steps::chip_gone);
    if (!read_a_gone_chip) board_view->interrupt_pending();
  });
  command(*chip, 1, kCmdRange, 8'000'000);
  command(*chip, 1, kCmdStartSpeed, 1000);
  command(*chip, 1, kCmdDriveSpeed, 1000);
  command(*chip, 1, kCmdSelect);
  chip->write(kRegMode1, 0x8000);  // drive end raises the output
  command(*chip, 1, kCmdPulses, 100);
  command(*chip, 1, kCmdDrivePlus);

  std::thread timer_thread([&] { clock.clock.advance(kNsPerSecond); });
  steps.await(&Steps::notifying);
  std::thread teardown([&] {
    chip.reset();
    steps.mark(&Steps::chip_gone);
  });
  steps.await(&Steps::chip_gone, &Steps::waiting_for_firing);
  steps.mark(&Steps::released);
  timer_thread.join();
  teardown.join();
  EXPECT_FALSE(read_a_gone_chip);
}

}  // namespace
}  // namespace card::chip::test
