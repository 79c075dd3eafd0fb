// The card's PCI bridge as far as the card uses it: INTCSR, which gathers the
// two local interrupt inputs and a software interrupt into the PCI interrupt
// line (INTA#). The card's lock guards it.
#pragma once

#include <array>
#include <cstdint>

#include "card/card.h"

namespace card {

// Index 0 or 1 of a local interrupt input in per-input arrays.
constexpr int index_of(LocalInterrupt input) { return input == LocalInterrupt::Chip ? 0 : 1; }

class Bridge {
 public:
  Bridge();

  // Power-on value of INTCSR (intcsr::kPowerOn); latches cleared, input
  // levels kept (they belong to the sources).
  void reset();

  // Level of a local interrupt input, active high (1 = its source asks for
  // service); the polarity bit decides which level counts as active.
  void set_input(LocalInterrupt input, bool level);
  // A short high pulse from an idle-low source: an edge-triggered input
  // latches it; a level-triggered one has nothing left to see.
  void pulse_input(LocalInterrupt input);
  // A short low pulse from a source whose output stays high: an
  // edge-triggered input latches it again.
  void retrigger_input(LocalInterrupt input);

  std::uint32_t read_intcsr() const;
  void write_intcsr(std::uint32_t value);

  // INTA#: PCI enable and (an enabled local status or the software interrupt).
  bool line() const;

 private:
  struct Input {
    bool level = false;       // pin level
    bool was_active = false;  // active at the last evaluation (edge detection)
    bool latched = false;     // edge mode: an active edge seen since the last clear
  };

  // Whether an input's level is the one its polarity bit calls active.
  bool active(int index) const;
  // Evaluates one input after its level or the control bits changed.
  void evaluate(int index);
  bool status(int index) const;

  std::uint32_t control_ = 0;  // the writable bits of INTCSR
  std::array<Input, 2> inputs_{};
};

}  // namespace card
