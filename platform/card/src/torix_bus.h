// The card's Torix remote-I/O bus: the registers the CPLD gives it in BAR2,
// the modules the machine description places on it, and its interrupt output
// (the bridge's local interrupt 2). The card's lock guards it.
//
// Differs from the card: data moves at once. A written output word reaches
// its module, and a module's input points reach their port, within the access
// that changes them, where the real bus takes a scan cycle; nothing the driver
// does waits on that cycle, so the model leaves it out and the periodic-scan
// factor of the configuration word is kept without changing any timing.
#pragma once

#include <array>
#include <cstdint>

#include "card/machine_description.h"

namespace card {

// The last values written to the Torix registers.
struct TorixRegisters {
  std::array<std::uint16_t, kTorixGroups> outputs{};  // output latches, addresses 0-7
  std::uint16_t config = 0;  // bits 0-7: periodic-scan factor; bits 8-15 reserved
  std::uint16_t interrupt_enable = 0;
  std::uint16_t reset = 0;
  std::uint16_t aux = 0;  // kept; drives nothing on the modelled modules
};

// Bit 0 of REG_TORIX_INT: an input change interrupts.
constexpr std::uint16_t kTorixInterruptOn = 0x0001;
// Bit 0 of REG_TORIX_RESET: the bus is held in reset.
constexpr std::uint16_t kTorixResetHeld = 0x0001;

class TorixBus {
 public:
  explicit TorixBus(TorixModules modules);

  // Power-on registers. The points at the input modules stay: they come
  // from the field, not from the card.
  void reset();

  // The CPLD's side. Addresses are the bus's: outputs 0-7, inputs 8-15.
  void write_output(int address, std::uint16_t value);
  std::uint16_t read_input(int address) const;
  // Low byte: an input module answers at 8 + bit; high byte: an output
  // module at bit - 8. 0 while the bus is held in reset.
  std::uint16_t scan() const;
  void write_config(std::uint16_t value);
  void write_interrupt_enable(std::uint16_t value);
  // Holding the bus in reset clears the output latches and keeps them clear;
  // the inputs read 0 until it is released.
  void write_reset(std::uint16_t value);
  void write_aux(std::uint16_t value);

  // The field's side. Points reaching the input module at `address`; its
  // port reads them ORed with the output groups wired to it. False (nothing
  // kept) when no input module sits there.
  bool set_field_input(int address, std::uint16_t points);
  // What the output module at `address` drives: its latch, or 0 without a
  // module or while the bus is held in reset.
  std::uint16_t output(int address) const;
  const TorixRegisters& registers() const;

  // The bus signals an input change with a short pulse on its interrupt
  // output, which idles low: an edge-triggered bridge input latches it, a
  // level-triggered one misses it. A pulse is due when the value of an input
  // port changed while the interrupt was on (the bus's reset itself raises
  // none); true once per due pulse.
  bool take_interrupt_pulse();

 private:
  bool held() const;
  std::array<std::uint16_t, kTorixGroups> input_ports() const;
  // Runs `change` and makes a pulse due when it changed an input port while
  // the interrupt is on.
  template <typename Change>
  void watch_inputs(Change change);

  TorixModules modules_;
  TorixRegisters registers_;
  std::array<std::uint16_t, kTorixGroups> field_{};  // points at input modules 8-15
  bool pulse_due_ = false;
};

}  // namespace card
