#include "scripted_card.h"

#include <cstring>

namespace driver_test {

namespace {

constexpr std::uint32_t kIntcsr = 0x4C;
constexpr std::uint32_t kLocal1Enable = 0x001, kLocal1Status = 0x004;
constexpr std::uint32_t kPciEnable = 0x040, kSoftware = 0x080;
constexpr std::uint32_t kLocal1Edge = 0x100, kLocal1EdgeClear = 0x400;
constexpr std::uint32_t kWritable = 0x3DB;  // everything but the status and edge-clear bits

constexpr std::uint32_t kCommand = 0x00, kMode3 = 0x06, kCpldVersion = 0x30, kCardId = 0x40;
constexpr std::uint32_t kSelect = 0x0F;

bool inside(std::uint64_t address, std::uint64_t base, std::uint32_t* offset) {
  if (address < base || address >= base + ScriptedCard::kWindow) return false;
  *offset = static_cast<std::uint32_t>(address - base);
  return true;
}

}  // namespace

void ScriptedCard::read_config(std::uint32_t offset, void* buffer, std::uint32_t length) const {
  std::uint8_t space[256] = {};
  const std::uint16_t ids[2] = {0x7A72, 0x0720};
  std::memcpy(space, ids, sizeof ids);
  const std::uint32_t bar0 = static_cast<std::uint32_t>(kBar0), bar2 = static_cast<std::uint32_t>(kBar2);
  std::memcpy(space + 0x10, &bar0, 4);
  std::memcpy(space + 0x18, &bar2, 4);
  space[0x3C] = static_cast<std::uint8_t>(interrupt_vector());
  space[0x3D] = 1;
  auto* out = static_cast<std::uint8_t*>(buffer);
  for (std::uint32_t i = 0; i < length; ++i) out[i] = offset + i < sizeof space ? space[offset + i] : 0xFF;
}

card::BarInfo ScriptedCard::bar(int index) const {
  if (index == 0) return {card::BarKind::Memory, kBar0, kWindow};
  if (index == 2) return {card::BarKind::Memory, kBar2, kWindow};
  return {};
}

bool ScriptedCard::mmio_read(std::uint64_t address, unsigned size, std::uint32_t* value) {
  std::lock_guard<std::mutex> guard(lock_);
  std::uint32_t offset;
  *value = 0;
  if (inside(address, kBar0, &offset)) {
    if (offset == kIntcsr && size == 4) *value = intcsr_ | (local1_active() ? kLocal1Status : 0);
    return true;
  }
  if (!inside(address, kBar2, &offset)) return false;
  if (offset == kMode3) {
    *value = factor_[selected_axis_];
    factor_[selected_axis_] = 0;  // reading the factor acknowledges it
  } else if (offset == kCardId) {
    *value = 0x0006;
  } else if (offset == kCpldVersion) {
    *value = 0x0003;
  } else if (offset == kCommand) {
    *value = 0;  // no axis busy, no error
  }
  return true;
}

bool ScriptedCard::mmio_write(std::uint64_t address, unsigned size, std::uint32_t value) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    std::uint32_t offset;
    if (inside(address, kBar0, &offset)) {
      if (offset == kIntcsr && size == 4) {
        if (value & kLocal1EdgeClear) {
          local1_latched_ = false;
          ++edge_clears_;
        }
        intcsr_ = value & kWritable;
      }
    } else if (!inside(address, kBar2, &offset)) {
      return false;
    } else if (offset == kCommand && (value & 0xFF) == kSelect) {
      const unsigned mask = (value >> 8) & 0xF;
      selects_.push_back(mask);
      for (int axis = 0; axis < 4; ++axis) {
        if (mask & (1u << axis)) {
          selected_axis_ = axis;
          break;
        }
      }
    }
  }
  notify();
  return true;
}

// Edge-triggered, the bridge latches the rise of the chip's output;
// level-triggered, the status follows the factors still unread.
bool ScriptedCard::local1_active() const {
  if (intcsr_ & kLocal1Edge) return local1_latched_;
  for (std::uint16_t factor : factor_)
    if (factor) return true;
  return false;
}

bool ScriptedCard::asserted_locked() const {
  if (!(intcsr_ & kPciEnable)) return false;
  return ((intcsr_ & kLocal1Enable) && local1_active()) || (intcsr_ & kSoftware);
}

bool ScriptedCard::interrupt_asserted() const {
  std::lock_guard<std::mutex> guard(lock_);
  return asserted_locked();
}

void ScriptedCard::on_interrupt_change(std::function<void()> fn) {
  std::lock_guard<std::mutex> guard(lock_);
  on_change_ = std::move(fn);
}

void ScriptedCard::notify() {
  std::function<void()> fn;
  {
    std::lock_guard<std::mutex> guard(lock_);
    fn = on_change_;
  }
  if (fn) fn();
}

void ScriptedCard::set_intcsr_bits(std::uint32_t bits) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    intcsr_ |= bits & kWritable;
  }
  notify();
}

void ScriptedCard::clear_intcsr_bits(std::uint32_t bits) {
  std::lock_guard<std::mutex> guard(lock_);
  intcsr_ &= ~bits;
}

void ScriptedCard::raise_factor(int axis, std::uint16_t factor) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    factor_[axis] |= factor;
    local1_latched_ = true;
  }
  notify();
}

std::uint32_t ScriptedCard::intcsr() const {
  std::lock_guard<std::mutex> guard(lock_);
  return intcsr_;
}

std::vector<unsigned> ScriptedCard::selects() const {
  std::lock_guard<std::mutex> guard(lock_);
  return selects_;
}

unsigned ScriptedCard::edge_clears() const {
  std::lock_guard<std::mutex> guard(lock_);
  return edge_clears_;
}

}  // namespace driver_test
