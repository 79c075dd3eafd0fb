// The state record of one card, shared by card.cpp (the PCI function) and
// card_registers.cpp (the BAR callbacks).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "bridge.h"
#include "card/brief_lock.h"
#include "card/card.h"
#include "config_space.h"
#include "interrupt_notifier.h"
#include "pci_bus.h"
#include "torix_bus.h"

namespace card {

struct Card::State {
  State(const CardDescription& card, Clock& clock);
  ~State();

  // BAR callbacks: `offset` from the start of the window, size in bytes. The
  // bridge window takes a read, or a write of the given value; BAR3 and the
  // ROM are blank windows.
  std::uint32_t bridge_access(std::uint32_t offset, unsigned size, std::optional<std::uint32_t> write);
  std::uint32_t register_read(std::uint32_t offset, unsigned size);
  void register_write(std::uint32_t offset, unsigned size, std::uint32_t value);
  std::uint32_t blank_read();
  void blank_write();

  // Under `lock`: copies the sources' levels into the bridge, then notes
  // whether the line changed (true: the caller notifies after unlocking).
  void sample_inputs();
  bool update_line();
  // Runs `change` on the board under the lock, samples the inputs, and after
  // unlocking tells the listener when the line changed.
  template <typename Change>
  void change_board(Change change) {
    bool line_changed = false;
    {
      std::lock_guard guard(lock);
      change();
      sample_inputs();
      line_changed = update_line();
    }
    if (line_changed) notifier.notify();
  }
  // A source's level may have changed.
  void refresh_interrupt() { change_board([] {}); }

  const CardDescription description;
  const SlotResources slot;
  const std::array<std::uint8_t, kConfigSpaceLength> config;
  std::atomic<bool> present{true};
  std::atomic<bool> powered{true};  // the slot's power (device power D0)
  // Reachable on the bus: in its slot and powered.
  bool reachable() const { return present && powered; }

  // Guards the board registers below; taken before the chip's own lock, and
  // never held while calling into the chip's registers or the listener.
  mutable BriefLock lock;
  Bridge bridge;
  TorixBus torix;
  std::uint16_t cmp_mask = 0;  // REG_CMP_MASK
  std::uint64_t chip_events = 0;  // the chip's interrupt events as last sampled
  std::array<std::optional<bool>, 2> forced_inputs{};  // bench overrides
  StrayAccesses stray;
  bool line = false;  // INTA# as last notified

  InterruptNotifier notifier;
  // Last: destroyed first, so its callbacks never reach a torn-down board.
  MotionChip chip;
};

}  // namespace card
