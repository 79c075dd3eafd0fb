#include "torix_bus.h"

#include <utility>

namespace card {

TorixBus::TorixBus(TorixModules modules) : modules_(std::move(modules)) {}

void TorixBus::reset() {
  registers_ = TorixRegisters{};
  pulse_due_ = false;
}

template <typename Change>
void TorixBus::watch_inputs(Change change) {
  const auto before = input_ports();
  change();
  if ((registers_.interrupt_enable & kTorixInterruptOn) && input_ports() != before) pulse_due_ = true;
}

void TorixBus::write_output(int address, std::uint16_t value) {
  if (held()) return;  // the latches are held clear
  watch_inputs([&] { registers_.outputs.at(address) = value; });
}

std::uint16_t TorixBus::read_input(int address) const {
  if (held() || !modules_.has_input(address)) return 0;
  std::uint16_t points = field_[address - kTorixFirstInput];
  for (const TorixWire& wire : modules_.wires) {
    if (wire.input == address) points |= output(wire.output);
  }
  return points;
}

std::uint16_t TorixBus::scan() const {
  if (held()) return 0;
  return static_cast<std::uint16_t>(modules_.outputs << 8 | modules_.inputs);
}

void TorixBus::write_config(std::uint16_t value) { registers_.config = value; }

void TorixBus::write_interrupt_enable(std::uint16_t value) { registers_.interrupt_enable = value; }

void TorixBus::write_reset(std::uint16_t value) {
  registers_.reset = value;
  if (held()) registers_.outputs.fill(0);
}

void TorixBus::write_aux(std::uint16_t value) { registers_.aux = value; }

bool TorixBus::set_field_input(int address, std::uint16_t points) {
  if (!modules_.has_input(address)) return false;
  watch_inputs([&] { field_[address - kTorixFirstInput] = points; });
  return true;
}

std::uint16_t TorixBus::output(int address) const {
  if (held() || !modules_.has_output(address)) return 0;
  return registers_.outputs[address];
}

const TorixRegisters& TorixBus::registers() const { return registers_; }

bool TorixBus::take_interrupt_pulse() { return std::exchange(pulse_due_, false); }

bool TorixBus::held() const { return (registers_.reset & kTorixResetHeld) != 0; }

std::array<std::uint16_t, kTorixGroups> TorixBus::input_ports() const {
  std::array<std::uint16_t, kTorixGroups> ports{};
  for (int n = 0; n < kTorixGroups; ++n) ports[n] = read_input(kTorixFirstInput + n);
  return ports;
}

}  // namespace card
