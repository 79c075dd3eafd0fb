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

  // Count of interrupt events: every newly latched enabled factor and every
  // freeing of the continuous-interpolation slot. The output pulses once per
  // event, so an edge-triggered input that samples the count sees a fresh
  // edge whenever it has moved, even while the level stayed high.
  std::uint64_t interrupt_events() const;

  // Called, with no chip lock held and possibly from the clock's thread,
  // whenever interrupt_pending() may have changed.
  void on_interrupt_change(std::function<void()> fn);

  // Power-on state, as the chip's reset command leaves it.
  void reset();

  // An axis's comparator side as the board sees it: the counter the
  // comparators watch (as it reads), the compare-output pulses since its
  // synchronous action was switched active, the trigger position (where the
  // next pulse is due: preset by the board, one pitch further in the
  // counting direction at each pulse), the ring size (the compare pitch; 0
  // with the ring counter off) and the level of its ERC output.
  struct CompareOutput {
    std::int32_t counter = 0;
    std::uint32_t triggers = 0;
    std::int32_t trigger_position = 0;
    std::uint32_t pitch = 0;
    bool erc = false;
  };
  CompareOutput compare_output(int axis);
  // Presets the low or high half of an axis's trigger position.
  void preset_trigger_position(int axis, bool high_half, std::uint16_t word);

  // Axes (bit i = axis i) whose compare output the board masks: their
  // pulses are not counted.
  void set_trigger_mask(unsigned axes);

  // What an axis's last drive did, as a bench instrument on its pulse output
  // sees it: when output began and ended (ns of the card's clock), the pulses
  // output, the speed at which the last pulse went out and the highest speed
  // on the way (PPS; a path's master counts path steps). While a drive runs
  // `running` is set and `ended_ns`, `final_speed` are those of the moment.
  struct DriveRecord {
    std::uint64_t started_ns = 0;
    std::uint64_t ended_ns = 0;
    std::int64_t pulses = 0;
    double final_speed = 0;
    double peak_speed = 0;
    bool running = false;
  };
  DriveRecord last_drive(int axis);

  // What a technician sees and sets on the bench: sensors, alarm, emergency
  // stop, in-position, the encoder. Index 0..3 = X, Y, Z, U.
  AxisMechanics mechanics(int axis) const;
  void set_mechanics(int axis, const AxisMechanics& m);

  // When the axis's last drive ended, on the card's clock (0: none yet).
  SimTime last_drive_end(int axis) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace card
