// The card's two register windows: the bridge (BAR0) and the card registers
// (BAR2). Each callback checks the access size first, then dispatches on the
// offset.
#include "card/registers.h"
#include "card_state.h"

namespace card {

namespace {

bool bridge_size_fits(std::uint32_t offset, unsigned size) { return size == 4 && offset % 4 == 0; }

// The model-B compare counters are read as one unaligned 32-bit access; every
// other card register is 16 bits at an even offset.
unsigned register_width(std::uint32_t offset) {
  return offset == card_reg::kCmpCounterX || offset == card_reg::kCmpCounterY ? 4 : 2;
}

bool register_size_fits(std::uint32_t offset, unsigned size) {
  return size == register_width(offset) && (size == 4 || offset % 2 == 0);
}

bool is_chip_register(std::uint32_t offset) { return offset <= card_reg::kChipLast; }

// Index 0-7 of the Torix port at `offset`, or -1.
int torix_port(std::uint32_t offset) {
  if (offset < card_reg::kTorixPort) return -1;
  const std::uint32_t n = (offset - card_reg::kTorixPort) / 2;
  return n < card_reg::kTorixPortCount ? static_cast<int>(n) : -1;
}

std::uint16_t low_word(std::uint32_t value) { return static_cast<std::uint16_t>(value); }
std::uint16_t high_word(std::uint32_t value) { return static_cast<std::uint16_t>(value >> 16); }

// The model-B counter registers, read from the chip's comparator side of X
// (axis 0) or Y (axis 1): the compare counter is the counter the comparators
// watch, the trigger counter the position of the next compare-output pulse
// (written by the driver as the first trigger position), the pitch the ring
// size. None on a model-A card.
int model_b_counter_axis(std::uint32_t offset) {
  switch (offset) {
    case card_reg::kCmpCounterX:
    case card_reg::kTrigCounterXLow:
    case card_reg::kTrigCounterXHigh:
    case card_reg::kCmpPitchX: return 0;
    case card_reg::kCmpCounterY:
    case card_reg::kTrigCounterYLow:
    case card_reg::kTrigCounterYHigh:
    case card_reg::kCmpPitchY: return 1;
    default: return -1;
  }
}

std::uint32_t read_model_b_counter(MotionChip& chip, std::uint32_t offset) {
  const MotionChip::CompareOutput c = chip.compare_output(model_b_counter_axis(offset));
  switch (offset) {
    case card_reg::kCmpCounterX:
    case card_reg::kCmpCounterY: return static_cast<std::uint32_t>(c.counter);
    case card_reg::kTrigCounterXLow:
    case card_reg::kTrigCounterYLow: return low_word(static_cast<std::uint32_t>(c.trigger_position));
    case card_reg::kTrigCounterXHigh:
    case card_reg::kTrigCounterYHigh: return high_word(static_cast<std::uint32_t>(c.trigger_position));
    default: return low_word(c.pitch);
  }
}

// REG_CMP_MASK bits 3 and 4 mask the compare outputs of X and Y; bits 5-7
// are kept.
constexpr std::uint16_t kCmpMaskX = 0x0008;
constexpr std::uint16_t kCmpMaskY = 0x0010;

bool is_trigger_counter(std::uint32_t offset) {
  return offset == card_reg::kTrigCounterXLow || offset == card_reg::kTrigCounterXHigh ||
         offset == card_reg::kTrigCounterYLow || offset == card_reg::kTrigCounterYHigh;
}

unsigned masked_trigger_axes(std::uint16_t cmp_mask) {
  return ((cmp_mask & kCmpMaskX) ? 1u : 0u) | ((cmp_mask & kCmpMaskY) ? 2u : 0u);
}

}  // namespace

std::uint32_t Card::State::bridge_access(std::uint32_t offset, unsigned size,
                                         std::optional<std::uint32_t> write) {
  std::uint32_t value = 0;
  bool line_changed = false;
  {
    std::lock_guard guard(lock);
    if (!bridge_size_fits(offset, size)) {
      ++stray.bad_size;
      return 0;
    }
    if (offset != bridge_reg::kIntcsr) {
      ++(write ? stray.writes : stray.reads);
      return 0;
    }
    sample_inputs();  // may latch an edge the chip has not reported yet
    if (write) {
      bridge.write_intcsr(*write);
    } else {
      value = bridge.read_intcsr();
    }
    line_changed = update_line();
  }
  if (line_changed) notifier.notify();
  return value;
}

std::uint32_t Card::State::register_read(std::uint32_t offset, unsigned size) {
  if (!register_size_fits(offset, size)) {
    std::lock_guard guard(lock);
    ++stray.bad_size;
    return 0;
  }
  if (is_chip_register(offset)) return chip.read(offset);  // the chip has its own lock
  if (description.model == CardModel::B && model_b_counter_axis(offset) >= 0) {
    return read_model_b_counter(chip, offset);  // likewise
  }

  std::lock_guard guard(lock);
  if (const int port = torix_port(offset); port >= 0)
    return torix.read_input(kTorixFirstInput + port);
  switch (offset) {
    case card_reg::kTorixScan: return torix.scan();
    case card_reg::kCpldVersion: return description.cpld_version;
    case card_reg::kCardId: return description.dip_switch;
    case card_reg::kCmpMask: return cmp_mask;
    default: break;
  }
  ++stray.reads;
  return 0;
}

void Card::State::register_write(std::uint32_t offset, unsigned size, std::uint32_t value) {
  if (!register_size_fits(offset, size)) {
    std::lock_guard guard(lock);
    ++stray.bad_size;
    return;
  }
  const auto word = static_cast<std::uint16_t>(value);
  if (is_chip_register(offset)) return chip.write(offset, word);
  if (description.model == CardModel::B && is_trigger_counter(offset)) {
    const bool high = offset == card_reg::kTrigCounterXHigh || offset == card_reg::kTrigCounterYHigh;
    return chip.preset_trigger_position(model_b_counter_axis(offset), high, word);
  }

  change_board([&] {  // the Torix bus's interrupt may follow its registers
    if (const int port = torix_port(offset); port >= 0) return torix.write_output(port, word);
    switch (offset) {
      case card_reg::kTorixConfig: return torix.write_config(word);
      case card_reg::kTorixInt: return torix.write_interrupt_enable(word);
      case card_reg::kTorixReset: return torix.write_reset(word);
      case card_reg::kTorixAux: return torix.write_aux(word);
      case card_reg::kCmpMask: cmp_mask = word; return;
      default: ++stray.writes; return;  // unknown or read-only
    }
  });
  if (offset == card_reg::kCmpMask) chip.set_trigger_mask(masked_trigger_axes(word));
}

std::uint32_t Card::State::blank_read() {
  std::lock_guard guard(lock);
  ++stray.reads;
  return 0;
}

void Card::State::blank_write() {
  std::lock_guard guard(lock);
  ++stray.writes;
}

}  // namespace card
