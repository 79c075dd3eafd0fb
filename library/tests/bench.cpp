#include "bench.h"

#include <sim_kernel.h>

#include "card/card.h"
#include "card/clock.h"

void bench_set_fault(std::size_t card_slot, int axis, BenchFault fault, bool on) {
  card::MotionChip &chip = sim::machine()->cards().at(card_slot)->chip();
  card::AxisMechanics mechanics = chip.mechanics(axis);
  (fault == BenchFault::Alarm ? mechanics.alarm : mechanics.emergency_stop) = on;
  chip.set_mechanics(axis, mechanics);
  sim::wait_idle();
}

void bench_advance_us(std::uint64_t microseconds) {
  auto &clock = dynamic_cast<card::ManualClock &>(sim::machine()->clock());
  constexpr std::uint64_t kStep = 100;
  for (std::uint64_t done = 0; done < microseconds; done += kStep) {
    clock.advance(kStep * card::kNsPerUs);
    sim::wait_idle();
  }
}

void bench_set_torix_input(std::size_t card_slot, int address, std::uint16_t points) {
  sim::machine()->cards().at(card_slot)->torix().set_input(address, points);
  sim::wait_idle();
}

std::uint16_t bench_torix_output(std::size_t card_slot, int address) {
  return sim::machine()->cards().at(card_slot)->torix().output(address);
}

std::uint16_t bench_torix_config(std::size_t card_slot) {
  return sim::machine()->cards().at(card_slot)->torix().config();
}

void bench_settle() { sim::wait_idle(); }

void bench_advance_ns(std::uint64_t nanoseconds) {
  dynamic_cast<card::ManualClock &>(sim::machine()->clock()).advance(nanoseconds);
  sim::wait_idle();
}

void bench_turn_hand_wheel(std::size_t card_slot, int axis, std::int64_t detents) {
  card::MotionChip &chip = sim::machine()->cards().at(card_slot)->chip();
  card::AxisMechanics mechanics = chip.mechanics(axis);
  mechanics.hand_wheel += detents;
  chip.set_mechanics(axis, mechanics);
  sim::wait_idle();
}

BenchDrive bench_last_drive(std::size_t card_slot, int axis) {
  const card::MotionChip::DriveRecord record =
      sim::machine()->cards().at(card_slot)->chip().last_drive(axis);
  return BenchDrive{record.started_ns, record.ended_ns, record.pulses,
                    record.final_speed, record.peak_speed, record.running};
}
