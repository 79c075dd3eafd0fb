// The card's side of the Torix remote-I/O bus: the registers the CPLD gives it
// in BAR2 and its interrupt (the bridge's local interrupt 2). No modules are
// attached yet: the inputs read 0, the scan finds nothing and the bus never
// interrupts; writes are kept as the last values written.
#pragma once

#include <array>
#include <cstdint>

namespace card {

// The last values written to the Torix registers.
struct TorixRegisters {
  std::array<std::uint16_t, 8> outputs{};  // DO groups 0-7
  std::uint16_t config = 0;
  std::uint16_t interrupt_enable = 0;
  std::uint16_t reset = 0;  // 1 holds the bus in reset
  std::uint16_t aux = 0;
};

class TorixBus {
 public:
  void reset();

  void write_output(int group, std::uint16_t value);  // group 0-7
  std::uint16_t read_input(int group) const;          // group 8-15
  std::uint16_t scan() const;
  void write_config(std::uint16_t value);
  void write_interrupt_enable(std::uint16_t value);
  void write_reset(std::uint16_t value);
  void write_aux(std::uint16_t value);

  // Level of the bus's interrupt output (local interrupt 2).
  bool interrupt_pending() const;

 private:
  TorixRegisters registers_;
};

}  // namespace card
