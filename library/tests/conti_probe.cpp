#include "conti_probe.h"

#include <sim_kernel.h>

#include "rm7x0_driver.h"

namespace {

// Read after the simulated kernel went idle: no DPC changes them meanwhile.
const CardExtension &extension() { return *card_extension(sim::devices().at(0).fdo); }

}  // namespace

std::uint32_t probe_driver_range(int axis) { return extension().axis[axis].range; }
std::uint32_t probe_end_threshold() { return extension().end_threshold; }
unsigned probe_segment_count() { return extension().segment_count; }
