#include "machine_probe.h"

#include <sim_kernel.h>

#include "card/card.h"
// After the card model's headers: the driver's register names are macros.
#include "rm7x0_driver.h"

namespace {

CardExtension *extension(std::size_t card_slot) {
  return card_extension(sim::devices().at(card_slot).fdo);
}

card::MotionChip &chip(std::size_t card_slot) {
  return sim::machine()->cards().at(card_slot)->chip();
}

}  // namespace

AxisProbe probe_axis(std::size_t card_slot, int axis) {
  const DriverAxisState &state = extension(card_slot)->axis[axis];
  AxisProbe probe{};
  probe.mode1 = state.shadow[SHADOW_MODE1];
  probe.mode2 = state.shadow[SHADOW_MODE2];
  probe.ext_word1 = state.shadow[SHADOW_EXT_WORD1];
  probe.ext_word2 = state.shadow[SHADOW_EXT_WORD2];
  probe.servo_state = state.output[OUTPUT_SERVO_STATE];
  probe.feature_owner = state.owners.feature_owner;
  card::MotionChip &motion_chip = chip(card_slot);
  motion_chip.write(REG_COMMAND, static_cast<std::uint16_t>((1u << axis) << 8 | CHIP_SELECT));
  probe.status2 = motion_chip.read(REG_MODE2);
  const std::uint16_t inputs = motion_chip.read(axis < 2 ? REG_OUTPUT : REG_INTERP_MODE);
  probe.inputs = static_cast<std::uint8_t>(axis % 2 ? inputs >> 8 : inputs);
  return probe;
}

std::uint16_t probe_output_word(std::size_t card_slot) {
  return extension(card_slot)->output_shadow;
}

void probe_start_drive(std::size_t card_slot, int axis) {
  card::MotionChip &motion_chip = chip(card_slot);
  motion_chip.write(REG_DATA_LOW, 100);
  motion_chip.write(REG_COMMAND, static_cast<std::uint16_t>((1u << axis) << 8 | CHIP_DRIVE_SPEED));
  motion_chip.write(REG_COMMAND, static_cast<std::uint16_t>((1u << axis) << 8 | CHIP_CONT_PLUS));
}

void probe_stop_drive(std::size_t card_slot, int axis) {
  chip(card_slot).write(REG_COMMAND, static_cast<std::uint16_t>((1u << axis) << 8 | CHIP_SUDDEN_STOP));
}

bool probe_sleep_and_wake(std::size_t card_slot) {
  return sim::set_device_power(card_slot, PowerDeviceD3) == STATUS_SUCCESS &&
         sim::set_device_power(card_slot, PowerDeviceD0) == STATUS_SUCCESS;
}
