#include "sweep_probe.h"

#include <sim_kernel.h>

#include <cstring>

#include "card/card.h"
// After the card model's headers: the driver's register names are macros.
#include "rm7x0_driver.h"

namespace {

CardExtension &extension(std::size_t card_slot) {
  return *card_extension(sim::devices().at(card_slot).fdo);
}

template <typename T>
void append(std::vector<std::uint8_t> &bytes, const T &value) {
  const auto *first = reinterpret_cast<const std::uint8_t *>(&value);
  bytes.insert(bytes.end(), first, first + sizeof value);
}

}  // namespace

std::vector<std::uint8_t> probe_card_state(std::size_t card_slot) {
  // A copy whose bookkeeping fields are blanked: what is left is the card's state.
  CardExtension copy;
  std::memcpy(static_cast<void *>(&copy), &extension(card_slot), sizeof copy);
  copy.io_references = 0;
  std::memset(static_cast<void *>(&copy.remove_event), 0, sizeof copy.remove_event);
  std::memset(static_cast<void *>(&copy.request_mutex), 0, sizeof copy.request_mutex);
  std::memset(static_cast<void *>(&copy.home.timer_dpc), 0, sizeof copy.home.timer_dpc);
  std::memset(static_cast<void *>(&copy.home.timer), 0, sizeof copy.home.timer);
  copy.interp.conti_lock = 0;
  for (DriverAxisState &axis : copy.axis) axis.wait.lock = 0;
  std::vector<std::uint8_t> bytes;
  append(bytes, copy);
  card::MotionChip &chip = sim::machine()->cards().at(card_slot)->chip();
  for (int axis = 0; axis < AXIS_COUNT; ++axis) {
    const card::MotionChip::CompareOutput side = chip.compare_output(axis);
    append(bytes, side.counter);
    append(bytes, side.triggers);
    append(bytes, side.trigger_position);
    append(bytes, side.pitch);
    append(bytes, side.erc);
  }
  append(bytes, chip.interrupt_events());
  return bytes;
}

void probe_accelerate(std::size_t card_slot, int axis, std::uint16_t acceleration_word) {
  card::MotionChip &chip = sim::machine()->cards().at(card_slot)->chip();
  const auto command = [&](std::uint16_t code, std::uint16_t data) {
    chip.write(REG_DATA_LOW, data);
    chip.write(REG_COMMAND, static_cast<std::uint16_t>((1u << axis) << 8 | code));
  };
  command(CHIP_ACC, acceleration_word);
  command(CHIP_START_SPEED, 1);
  command(CHIP_DRIVE_SPEED, 8000);
  command(CHIP_CONT_PLUS, 0);
}

void probe_wait_idle() { sim::wait_idle(); }

long probe_open_files(std::size_t card_slot) { return extension(card_slot).open_count; }
