// The card's four-axis motion-control chip as a software model.
//
// The chip occupies the first 16 bytes of the card's register window (BAR2
// offsets 0x00-0x0E, 16-bit registers); the card routes those accesses here.
// Its interrupt output is the bridge's local interrupt 1.
//
// This header is the seam between the chip and the rest of the card model:
// the PCI function owns one MotionChip per card and calls only what is
// declared here; tests and benchmarks may also use the mechanics accessors.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "card/clock.h"
#include "card/mechanics.h"

namespace card {

class MotionChip {
 public:
  MotionChip(Clock& clock, const std::array<AxisMechanics, 4>& axes);
  ~MotionChip();
  MotionChip(const MotionChip&) = delete;
  MotionChip& operator=(const MotionChip&) = delete;

  // Register access at an offset of the chip window (0x00-0x0E, even).
  // Thread-safe: the chip has a lock of its own.
  std::uint16_t read(std::uint32_t offset);
  void write(std::uint32_t offset, std::uint16_t value);

  // Level of the interrupt output (local interrupt 1).
  bool interrupt_pending() const;

  // Called, with no chip lock held and possibly from the clock's thread,
  // whenever interrupt_pending() may have changed.
  void on_interrupt_change(std::function<void()> fn);

  // Power-on state, as the chip's reset command leaves it.
  void reset();

  // What a technician sees and sets on the bench: sensors, alarm, emergency
  // stop, in-position, the encoder. Index 0..3 = X, Y, Z, U.
  AxisMechanics mechanics(int axis) const;
  void set_mechanics(int axis, const AxisMechanics& m);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace card
