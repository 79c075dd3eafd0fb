// A model-A card whose interrupt sources a test raises by hand: the bridge's
// INTCSR with its line rule, the chip's per-axis interrupt factors (read and
// acknowledged through select and REG_MODE3) and the CPLD's ID registers.
// Everything else of the card reads 0 and takes writes silently. It lets the
// driver's interrupt service and DPC be driven before the handlers that arm
// the chip's factors exist.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "card/pci.h"

namespace driver_test {

class ScriptedCard final : public card::PciFunction {
 public:
  static constexpr std::uint64_t kBar0 = 0xFE000000;
  static constexpr std::uint64_t kBar2 = 0xFE001000;
  static constexpr std::uint32_t kWindow = 0x80;

  std::string hardware_id() const override { return "PCI\\VEN_7A72&DEV_0720"; }
  std::string instance_id() const override { return "4&1c2d3e4f&0&0008"; }
  void read_config(std::uint32_t offset, void* buffer, std::uint32_t length) const override;
  card::BarInfo bar(int index) const override;
  bool has_interrupt() const override { return true; }
  std::uint32_t interrupt_vector() const override { return 11; }
  bool mmio_read(std::uint64_t address, unsigned size, std::uint32_t* value) override;
  bool mmio_write(std::uint64_t address, unsigned size, std::uint32_t value) override;
  bool interrupt_asserted() const override;
  void on_interrupt_change(std::function<void()> fn) override;
  bool present() const override { return true; }

  // What a test does on the bench.
  void set_intcsr_bits(std::uint32_t bits);
  void clear_intcsr_bits(std::uint32_t bits);
  void raise_factor(int axis, std::uint16_t factor);
  std::uint32_t intcsr() const;
  // Axis masks of the select commands written so far, and the count of
  // local-interrupt-1 edge clears.
  std::vector<unsigned> selects() const;
  unsigned edge_clears() const;

 private:
  bool local1_active() const;
  bool asserted_locked() const;
  void notify();

  mutable std::mutex lock_;
  std::uint32_t intcsr_ = 0x002 | 0x010 | 0x100;  // both inputs active high, input 1 edge-triggered
  bool local1_latched_ = false;
  std::array<std::uint16_t, 4> factor_{};
  int selected_axis_ = 0;
  std::vector<unsigned> selects_;
  unsigned edge_clears_ = 0;
  std::function<void()> on_change_;
};

}  // namespace driver_test
