#include "conti_probe.h"

#include <sim_kernel.h>

#include <optional>

#include "card/card.h"
// After the card model's headers: the driver's register names are macros.
#include "rm7x0_driver.h"

namespace {

// Read after the simulated kernel went idle: no DPC changes them meanwhile.
const CardExtension &extension() { return *card_extension(sim::devices().at(0).fdo); }

// The table's counters under the conti lock, as the driver reads them: a
// run on a scaled clock is looked at while the DPC feeds it.
template <typename Field>
unsigned under_conti_lock(Field field) {
  CardExtension &ext = *card_extension(sim::devices().at(0).fdo);
  KIRQL irql;
  KeAcquireSpinLock(&ext.interp.conti_lock, &irql);
  const unsigned value = field(ext);
  KeReleaseSpinLock(&ext.interp.conti_lock, irql);
  return value;
}

}  // namespace

std::uint32_t probe_driver_range(int axis) { return extension().axis[axis].range; }
std::uint32_t probe_end_threshold() { return extension().interp.table.end_threshold; }
unsigned probe_segment_count() {
  return under_conti_lock([](const CardExtension &ext) { return ext.interp.table.segment_count; });
}
unsigned probe_next_segment() {
  return under_conti_lock([](const CardExtension &ext) { return ext.interp.table.next_segment; });
}

void probe_hold_chip_interrupt(bool held) {
  sim::machine()->cards().at(0)->force_local_interrupt(
      card::LocalInterrupt::Chip, held ? std::optional<bool>(false) : std::nullopt);
}
