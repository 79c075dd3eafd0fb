#include "bridge.h"

#include "card/registers.h"

namespace card {

namespace {

// The INTCSR bits that belong to one local interrupt input.
struct InputBits {
  std::uint32_t enable;
  std::uint32_t polarity;
  std::uint32_t status;
  std::uint32_t edge;
  std::uint32_t edge_clear;
};

constexpr std::array<InputBits, 2> kInputBits{{
    {intcsr::kLocal1Enable, intcsr::kLocal1Polarity, intcsr::kLocal1Status, intcsr::kLocal1Edge,
     intcsr::kLocal1EdgeClear},
    {intcsr::kLocal2Enable, intcsr::kLocal2Polarity, intcsr::kLocal2Status, intcsr::kLocal2Edge,
     intcsr::kLocal2EdgeClear},
}};

}  // namespace

Bridge::Bridge() { reset(); }

void Bridge::reset() {
  control_ = intcsr::kPowerOn;
  for (int i = 0; i < 2; ++i) {
    inputs_[i].latched = false;
    inputs_[i].was_active = active(i);  // a level already active is no edge
  }
}

void Bridge::set_input(LocalInterrupt input, bool level) {
  const int i = index_of(input);
  inputs_[i].level = level;
  evaluate(i);
}

void Bridge::pulse_input(LocalInterrupt input) {
  set_input(input, true);
  set_input(input, false);
}

void Bridge::retrigger_input(LocalInterrupt input) {
  set_input(input, false);
  set_input(input, true);
}

std::uint32_t Bridge::read_intcsr() const {
  std::uint32_t value = control_;
  for (int i = 0; i < 2; ++i) {
    if (status(i)) value |= kInputBits[i].status;
  }
  return value;
}

void Bridge::write_intcsr(std::uint32_t value) {
  control_ = value & intcsr::kWritable;
  for (int i = 0; i < 2; ++i) {
    if (value & kInputBits[i].edge_clear) inputs_[i].latched = false;
    evaluate(i);  // a polarity change can itself make an active edge
  }
}

bool Bridge::line() const {
  if (!(control_ & intcsr::kPciEnable)) return false;
  for (int i = 0; i < 2; ++i) {
    if ((control_ & kInputBits[i].enable) && status(i)) return true;
  }
  return (control_ & intcsr::kSoftware) != 0;
}

bool Bridge::active(int index) const {
  const bool active_high = (control_ & kInputBits[index].polarity) != 0;
  return inputs_[index].level == active_high;
}

void Bridge::evaluate(int index) {
  Input& in = inputs_[index];
  const bool now_active = active(index);
  const bool edge_mode = (control_ & kInputBits[index].edge) != 0;
  if (edge_mode && now_active && !in.was_active) in.latched = true;
  in.was_active = now_active;
}

bool Bridge::status(int index) const {
  const Input& in = inputs_[index];
  if (control_ & kInputBits[index].edge) return in.latched;
  return in.was_active;  // level mode: follows the input
}

}  // namespace card
