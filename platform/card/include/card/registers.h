// The card's register map as the board decodes it: the PCI bridge's window
// (BAR0) and the card's register window (BAR2). Offsets are bytes from the
// start of the window. docs/card-model.md lists access, reset value and side
// effects of each.
#pragma once

#include <cstdint>

namespace card {

// BAR0: the PCI bridge. Only its interrupt control and status register is
// modelled; it is read and written as 32 bits.
namespace bridge_reg {
constexpr std::uint32_t kWindowLength = 0x80;
constexpr std::uint32_t kIntcsr = 0x4C;
}  // namespace bridge_reg

// Bits of INTCSR.
namespace intcsr {
constexpr std::uint32_t kLocal1Enable = 0x001;    // motion chip
constexpr std::uint32_t kLocal1Polarity = 0x002;  // 1 = active high
constexpr std::uint32_t kLocal1Status = 0x004;    // read-only
constexpr std::uint32_t kLocal2Enable = 0x008;    // Torix bus
constexpr std::uint32_t kLocal2Polarity = 0x010;  // 1 = active high
constexpr std::uint32_t kLocal2Status = 0x020;    // read-only
constexpr std::uint32_t kPciEnable = 0x040;
constexpr std::uint32_t kSoftware = 0x080;
constexpr std::uint32_t kLocal1Edge = 0x100;  // 1 = edge-triggered
constexpr std::uint32_t kLocal2Edge = 0x200;
constexpr std::uint32_t kLocal1EdgeClear = 0x400;  // write 1; reads 0
constexpr std::uint32_t kLocal2EdgeClear = 0x800;

// Bits software can write and read back (status and edge clear excluded).
constexpr std::uint32_t kWritable = kLocal1Enable | kLocal1Polarity | kLocal2Enable | kLocal2Polarity |
                                    kPciEnable | kSoftware | kLocal1Edge | kLocal2Edge;
// Power-on value: both inputs active high, local interrupt 1 edge-triggered,
// nothing enabled (see docs/card-model.md, "Board").
constexpr std::uint32_t kPowerOn = kLocal1Polarity | kLocal2Polarity | kLocal1Edge;
}  // namespace intcsr

// BAR2: the card's registers, 16 bits wide unless stated.
namespace card_reg {
// 0x00-0x0E belong to the motion chip (card/motion_chip.h).
constexpr std::uint32_t kChipFirst = 0x00;
constexpr std::uint32_t kChipLast = 0x0E;

constexpr std::uint32_t kTorixPort = 0x10;  // + 2n: write DO group n, read DI group 8 + n
constexpr int kTorixPortCount = 8;
constexpr std::uint32_t kTorixScan = 0x20;    // read-only
constexpr std::uint32_t kCpldVersion = 0x30;  // read-only
constexpr std::uint32_t kCardId = 0x40;       // read-only: the raw DIP switch
constexpr std::uint32_t kTorixConfig = 0x42;  // write-only
constexpr std::uint32_t kTorixInt = 0x44;     // write-only
constexpr std::uint32_t kTorixReset = 0x46;   // write-only
constexpr std::uint32_t kTorixAux = 0x48;     // write-only
constexpr std::uint32_t kCmpMask = 0x4C;      // read/write

// Model B only, read-only.
constexpr std::uint32_t kCmpCounterX = 0x62;  // 32-bit, read unaligned
constexpr std::uint32_t kCmpCounterY = 0x6A;  // 32-bit, read unaligned
constexpr std::uint32_t kTrigCounterXLow = 0x72;
constexpr std::uint32_t kTrigCounterXHigh = 0x74;
constexpr std::uint32_t kCmpPitchX = 0x76;
constexpr std::uint32_t kTrigCounterYLow = 0x7A;
constexpr std::uint32_t kTrigCounterYHigh = 0x7C;
constexpr std::uint32_t kCmpPitchY = 0x7E;
}  // namespace card_reg

}  // namespace card
