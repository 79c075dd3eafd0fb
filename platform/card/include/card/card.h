// One motion card on the simulated PCI bus: its configuration space and BARs,
// the PCI bridge (INTCSR and the interrupt line), the CPLD registers of BAR2,
// the Torix bus interface and the motion chip behind them.
//
// The machine creates its cards; tests and the bench reach them through
// Machine::cards() to look at the chip, set remote inputs, pull a card or
// force a level.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "card/clock.h"
#include "card/machine_description.h"
#include "card/motion_chip.h"
#include "card/pci.h"

namespace card {

// The bridge's two local interrupt inputs.
enum class LocalInterrupt { Chip, Torix };

// Accesses that reached the card but no register: reads of unknown or
// write-only offsets, writes to unknown or read-only offsets, and accesses of
// the wrong size or alignment. Reads of them return 0; writes are dropped.
struct StrayAccesses {
  std::uint64_t reads = 0;
  std::uint64_t writes = 0;
  std::uint64_t bad_size = 0;
};

class Card;

// The field side of a card's Torix bus, for tests and the bench: the points
// that reach its input modules and what its output modules drive. A handle
// from Card::torix(), valid as long as its card.
class TorixField {
 public:
  // Points reaching the input module at `address` (8-15); its port reads them
  // ORed with the output groups wired to it, and a change interrupts as the
  // bus would. Throws std::invalid_argument when no input module sits there.
  void set_input(int address, std::uint16_t points);
  // What the output module at `address` (0-7) drives: 0 without a module or
  // while the bus is held in reset.
  std::uint16_t output(int address) const;
  // The write-only configuration and auxiliary registers, as last written.
  std::uint16_t config() const;
  std::uint16_t aux() const;

 private:
  friend class Card;
  explicit TorixField(Card& card) : card_(card) {}
  Card& card_;
};

class Card final : public PciFunction {
 public:
  // Powers the card up in its slot; `clock` must outlive the card.
  Card(const CardDescription& description, Clock& clock);
  ~Card() override;
  Card(const Card&) = delete;
  Card& operator=(const Card&) = delete;

  // PciFunction
  std::string hardware_id() const override;
  std::string instance_id() const override;
  void read_config(std::uint32_t offset, void* buffer, std::uint32_t length) const override;
  BarInfo bar(int index) const override;
  bool has_interrupt() const override;
  std::uint32_t interrupt_vector() const override;
  bool mmio_read(std::uint64_t address, unsigned size, std::uint32_t* value) override;
  bool mmio_write(std::uint64_t address, unsigned size, std::uint32_t value) override;
  bool interrupt_asserted() const override;
  void on_interrupt_change(std::function<void()> fn) override;
  bool present() const override;
  void set_powered(bool powered) override;

  CardModel model() const;
  int slot() const;
  std::uint16_t dip_switch() const;
  MotionChip& chip();
  TorixField torix();

  // Power-on state of every board register, and a chip reset.
  void reset();

  // Surprise removal: the card leaves the slot. Register reads then return
  // all ones, writes are dropped, the interrupt line drops for good.
  void pull();

  // Forces the level of a local interrupt input (active high, before the
  // bridge's polarity), e.g. a stuck line; no value gives it back to its
  // source (the motion chip, the Torix bus).
  void force_local_interrupt(LocalInterrupt input, std::optional<bool> level);

  StrayAccesses stray_accesses() const;

 private:
  friend class TorixField;
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace card
