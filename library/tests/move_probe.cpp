#include "move_probe.h"

#include <sim_kernel.h>

#include "card/card.h"
// After the card model's headers: the driver's register names are macros.
#include "rm7x0_driver.h"

namespace {

card::MotionChip &chip() { return sim::machine()->cards().at(0)->chip(); }

card::ManualClock &manual_clock() {
  return dynamic_cast<card::ManualClock &>(sim::machine()->clock());
}

std::uint16_t command(int axis, UCHAR code) {
  return static_cast<std::uint16_t>((1u << axis) << 8 | code);
}

}  // namespace

std::uint64_t probe_now_ns() { return manual_clock().now(); }

void probe_advance_ns(std::uint64_t ns) {
  manual_clock().advance(ns);
  sim::wait_idle();
}

void probe_step_clock_ns(std::uint64_t ns) { manual_clock().advance(ns); }

bool probe_axis_busy(int axis) { return chip().read(REG_COMMAND) & (1u << axis); }

std::int32_t probe_command_counter(int axis) {
  card::MotionChip &motion_chip = chip();
  motion_chip.write(REG_COMMAND, command(axis, CHIP_READ_CMD_COUNTER));
  const std::uint32_t low = motion_chip.read(REG_DATA_LOW);
  return static_cast<std::int32_t>(low | static_cast<std::uint32_t>(motion_chip.read(REG_DATA_HIGH)) << 16);
}

std::uint16_t probe_status1(int axis) {
  chip().write(REG_COMMAND, command(axis, CHIP_SELECT));
  return chip().read(REG_MODE1);
}

double probe_final_speed(int axis) { return chip().last_drive(axis).final_speed; }

std::uint16_t probe_mode3(int axis) {
  return card_extension(sim::devices().at(0).fdo)->axis[axis].shadow[SHADOW_MODE3];
}

void probe_run_until_idle(unsigned axis_mask, std::uint64_t step_ns, std::uint64_t limit_ns,
                          std::uint64_t end_ns[4]) {
  const std::uint64_t start = probe_now_ns();
  unsigned running = axis_mask;
  while (running != 0 && probe_now_ns() - start < limit_ns) {
    probe_advance_ns(step_ns);  // the interrupts and DPCs of each step are served before the next
    for (int axis = 0; axis < 4; ++axis) {
      if ((running >> axis & 1) && !probe_axis_busy(axis)) {
        end_ns[axis] = probe_now_ns();
        running &= ~(1u << axis);
      }
    }
  }
}
