#include "torix_bus.h"

namespace card {

void TorixBus::reset() { registers_ = TorixRegisters{}; }

void TorixBus::write_output(int group, std::uint16_t value) { registers_.outputs.at(group) = value; }

std::uint16_t TorixBus::read_input(int /*group*/) const { return 0; }

std::uint16_t TorixBus::scan() const { return 0; }

void TorixBus::write_config(std::uint16_t value) { registers_.config = value; }

void TorixBus::write_interrupt_enable(std::uint16_t value) { registers_.interrupt_enable = value; }

void TorixBus::write_reset(std::uint16_t value) { registers_.reset = value; }

void TorixBus::write_aux(std::uint16_t value) { registers_.aux = value; }

bool TorixBus::interrupt_pending() const { return false; }

}  // namespace card
