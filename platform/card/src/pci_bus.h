// The simulated PCI bus's resource assignment: where each slot's BARs lie in
// memory and I/O space and which interrupt line the slot gets.
#pragma once

#include <array>
#include <cstdint>

#include "card/machine_description.h"
#include "card/pci.h"

namespace card {

constexpr int kBarAndRomCount = kBarCount + 1;

struct SlotResources {
  std::uint8_t device_number = 0;  // PCI device number on bus 0
  // Where the card answers: the addresses its configuration BARs hold.
  std::array<BarInfo, kBarAndRomCount> decoded{};
  // What the bus reports to Plug and Play; equal to `decoded` unless the
  // description asks for a mismatch.
  std::array<BarInfo, kBarAndRomCount> assigned{};
  std::uint8_t interrupt_line = 0xFF;  // 0xFF: no interrupt
};

// Bus index of BAR registers that the card uses.
constexpr int kBridgeBar = 0;    // bridge registers, memory
constexpr int kBridgeIoBar = 1;  // the same registers as I/O ports
constexpr int kRegisterBar = 2;  // card registers, memory
constexpr int kExtraBar = 3;     // optional, no registers

// Lengths the bus can place for BAR2, BAR3 and the expansion ROM (powers of two).
constexpr std::uint32_t kMinBarLength = 0x10;
constexpr std::uint32_t kMaxBarLength = 0x10000;
constexpr std::uint32_t kMinRomLength = 0x800;
constexpr std::uint32_t kMaxRomLength = 0x80000;

SlotResources assign_slot_resources(const CardDescription& card);

}  // namespace card
