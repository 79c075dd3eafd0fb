#include "pci_bus.h"

#include "card/registers.h"

namespace card {

namespace {

// Each slot gets a 1 MB block of memory space below 4 GB and 256 I/O ports;
// inside the block every window sits at an offset aligned to its largest
// allowed length.
constexpr std::uint64_t kMemoryBase = 0xF7000000;
constexpr std::uint64_t kMemoryPerSlot = 0x100000;
constexpr std::uint64_t kBridgeOffset = 0x00000;
constexpr std::uint64_t kRegisterOffset = 0x10000;
constexpr std::uint64_t kExtraOffset = 0x20000;
constexpr std::uint64_t kRomOffset = 0x80000;
constexpr std::uint64_t kIoBase = 0xE000;
constexpr std::uint64_t kIoPerSlot = 0x100;

static_assert(kBridgeOffset + 0x80 <= kRegisterOffset && kRegisterOffset + kMaxBarLength <= kExtraOffset &&
                  kExtraOffset % kMaxBarLength == 0 && kExtraOffset + kMaxBarLength <= kRomOffset &&
                  kRomOffset % kMaxRomLength == 0 && kRomOffset + kMaxRomLength <= kMemoryPerSlot,
              "every window fits its place in the slot's block, aligned to its largest length");

// A mismatch moves the reported resources this far from the BARs, which
// still stays inside the slot's block and hits no BAR of it.
constexpr std::uint64_t kMismatchMemoryShift = 0x40000;
constexpr std::uint64_t kMismatchIoShift = 0x80;

constexpr std::uint8_t kFirstDeviceNumber = 8;
constexpr std::uint8_t kFirstInterruptLine = 16;

BarInfo memory_window(std::uint64_t base, std::uint32_t length) {
  if (length == 0) return BarInfo{};
  return BarInfo{BarKind::Memory, base, length};
}

BarInfo shifted(BarInfo bar) {
  if (bar.kind == BarKind::Memory) bar.base += kMismatchMemoryShift;
  if (bar.kind == BarKind::Io) bar.base += kMismatchIoShift;
  return bar;
}

// The board routes the interrupt pins of two neighbouring slots to one line,
// as PC boards share their few lines: the cards of slots 0 and 1 share one.
std::uint8_t interrupt_line_of(const CardDescription& card) {
  if (card.interrupt_line >= 0) return static_cast<std::uint8_t>(card.interrupt_line);
  return static_cast<std::uint8_t>(kFirstInterruptLine + card.slot / 2);
}

}  // namespace

SlotResources assign_slot_resources(const CardDescription& card) {
  SlotResources slot;
  slot.device_number = static_cast<std::uint8_t>(kFirstDeviceNumber + card.slot);
  const std::uint64_t memory = kMemoryBase + kMemoryPerSlot * card.slot;

  if (card.bar0_present) {
    slot.decoded[kBridgeBar] = memory_window(memory + kBridgeOffset, bridge_reg::kWindowLength);
  }
  slot.decoded[kBridgeIoBar] =
      BarInfo{BarKind::Io, kIoBase + kIoPerSlot * card.slot, bridge_reg::kWindowLength};
  slot.decoded[kRegisterBar] = memory_window(memory + kRegisterOffset, card.bar2_length);
  slot.decoded[kExtraBar] = memory_window(memory + kExtraOffset, card.bar3_length);
  slot.decoded[kRomIndex] = memory_window(memory + kRomOffset, card.rom_length);

  slot.assigned = slot.decoded;
  if (card.bar_mismatch) {
    for (BarInfo& bar : slot.assigned) bar = shifted(bar);
  }
  if (card.interrupt) slot.interrupt_line = interrupt_line_of(card);
  return slot;
}

}  // namespace card
