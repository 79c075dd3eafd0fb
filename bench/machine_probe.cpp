#include "machine_probe.h"

#include <sim_kernel.h>

#include "card/card.h"

std::uint64_t machine_now_ns() { return sim::machine()->clock().now(); }

std::uint64_t machine_last_drive_end_ns(std::size_t card_slot, int axis) {
  return sim::machine()->cards().at(card_slot)->chip().last_drive_end(axis);
}

MachineTimerLateness machine_timer_lateness() {
  auto *scaled = dynamic_cast<card::ScaledClock *>(&sim::machine()->clock());
  if (scaled == nullptr) return {};
  const card::ScaledClock::Lateness late = scaled->lateness();
  return {late.fired, late.worst,
          late.fired ? static_cast<double>(late.total) / static_cast<double>(late.fired) : 0.0,
          late.behind};
}
