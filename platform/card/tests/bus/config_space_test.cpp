// The cards as the PCI bus shows them: identity, configuration space, BARs and
// the resources handed to Plug and Play.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <vector>

#include "bus_test_support.h"

namespace card {
namespace {

using test::manual_machine;
using test::one_card;

std::array<std::uint8_t, 256> config_of(const PciFunction& f) {
  std::array<std::uint8_t, 256> bytes{};
  f.read_config(0, bytes.data(), 256);
  return bytes;
}

std::uint16_t u16(const std::array<std::uint8_t, 256>& c, int at) {
  return static_cast<std::uint16_t>(c[at] | c[at + 1] << 8);
}

std::uint32_t u32(const std::array<std::uint8_t, 256>& c, int at) {
  return static_cast<std::uint32_t>(u16(c, at) | u16(c, at + 2) << 16);
}

TEST(PciBus, DefaultMachineShowsBothModels) {
  auto machine = manual_machine("[Card0]\nModel=A\n[Card1]\nModel=B\n");
  const auto functions = machine->functions();
  ASSERT_EQ(functions.size(), 2u);
  EXPECT_EQ(functions[0]->hardware_id(), "PCI\\VEN_7A72&DEV_0720");
  EXPECT_EQ(functions[1]->hardware_id(), "PCI\\VEN_7A72&DEV_0730");
  EXPECT_NE(functions[0]->instance_id(), functions[1]->instance_id());
  EXPECT_EQ(functions[0]->instance_id().rfind(functions[0]->hardware_id(), 0), 0u);
  EXPECT_EQ(u16(config_of(*functions[0]), 0x02), 0x0720);
  EXPECT_EQ(u16(config_of(*functions[1]), 0x02), 0x0730);
}

TEST(PciBus, InstanceIdsDifferBetweenSlotsOfTheSameModel) {
  auto machine = manual_machine("[Card0]\n[Card1]\n[Card7]\n");
  std::set<std::string> ids;
  for (PciFunction* f : machine->functions()) ids.insert(f->instance_id());
  EXPECT_EQ(ids.size(), 3u);
}

TEST(PciBus, ConfigurationHeaderHoldsIdentityAndResources) {
  auto machine = one_card("Model=B\n");
  Card& card = *machine->cards()[0];
  const auto c = config_of(card);
  EXPECT_EQ(u16(c, 0x00), 0x7A72);                // vendor
  EXPECT_EQ(u16(c, 0x02), 0x0730);                // device
  EXPECT_EQ(u16(c, 0x04) & 0x3, 0x3);             // I/O and memory decoding on
  EXPECT_EQ(c[0x0E], 0x00);                       // type-0 header
  EXPECT_EQ(u16(c, 0x2C), 0x7A72);                // subsystem vendor
  EXPECT_EQ(u16(c, 0x2E), 0x0730);                // subsystem
  EXPECT_EQ(u32(c, 0x10), card.bar(0).base);      // BAR0: memory, 32-bit
  EXPECT_EQ(u32(c, 0x14), card.bar(1).base | 1);  // BAR1: I/O
  EXPECT_EQ(u32(c, 0x18), card.bar(2).base);      // BAR2: memory
  EXPECT_EQ(u32(c, 0x1C), card.bar(3).base);      // BAR3: memory
  EXPECT_EQ(u32(c, 0x20), 0u);
  EXPECT_EQ(u32(c, 0x24), 0u);
  EXPECT_EQ(u32(c, 0x30), 0u);                  // no expansion ROM
  EXPECT_EQ(c[0x3C], card.interrupt_vector());  // interrupt line
  EXPECT_EQ(c[0x3D], 1);                        // INTA#
}

TEST(PciBus, ReadsPastTheHeaderReturnAllOnes) {
  auto machine = one_card();
  std::array<std::uint8_t, 8> bytes{};
  machine->cards()[0]->read_config(252, bytes.data(), 8);
  EXPECT_EQ(bytes[3], 0x00);  // max latency, inside
  for (int i = 4; i < 8; ++i) EXPECT_EQ(bytes[i], 0xFF);
}

TEST(PciBus, BarsHaveTheirKindsAndLengths) {
  auto machine = one_card();
  const Card& card = *machine->cards()[0];
  EXPECT_EQ(card.bar(0).kind, BarKind::Memory);
  EXPECT_EQ(card.bar(0).length, 0x80u);
  EXPECT_EQ(card.bar(1).kind, BarKind::Io);
  EXPECT_EQ(card.bar(1).length, 0x80u);
  EXPECT_EQ(card.bar(2).kind, BarKind::Memory);
  EXPECT_EQ(card.bar(4).kind, BarKind::None);
  EXPECT_EQ(card.bar(5).kind, BarKind::None);
  EXPECT_EQ(card.bar(kRomIndex).kind, BarKind::None);
  EXPECT_EQ(card.bar(7).kind, BarKind::None);
  EXPECT_TRUE(card.has_interrupt());
}

TEST(PciBus, AddressesAreAlignedDistinctAndBelowFourGigabytes) {
  auto machine = manual_machine("[Card0]\nBar2Length=0x10000\nRomLength=0x80000\n[Card1]\n[Card15]\n");
  std::vector<std::pair<std::uint64_t, std::uint64_t>> memory;
  for (Card* card : machine->cards()) {
    for (int i = 0; i <= kRomIndex; ++i) {
      const BarInfo bar = card->bar(i);
      if (bar.kind != BarKind::Memory) continue;
      EXPECT_EQ(bar.base % bar.length, 0u) << "slot " << card->slot() << " BAR" << i;
      EXPECT_LE(bar.base + bar.length, 0x100000000u);
      memory.emplace_back(bar.base, bar.base + bar.length);
    }
  }
  std::sort(memory.begin(), memory.end());
  for (std::size_t i = 1; i < memory.size(); ++i) EXPECT_LE(memory[i - 1].second, memory[i].first);
}

TEST(PciBus, ExpansionRomIsEnabledWhenDescribed) {
  auto machine = one_card("RomLength=0x8000\n");
  const Card& card = *machine->cards()[0];
  const BarInfo rom = card.bar(kRomIndex);
  EXPECT_EQ(rom.kind, BarKind::Memory);
  EXPECT_EQ(rom.length, 0x8000u);
  EXPECT_EQ(u32(config_of(card), 0x30), rom.base | 1);
}

TEST(PciBus, MissingBarsAndInterrupt) {
  auto machine = one_card("Bar0=missing\nBar2Length=0\nBar3Length=0\nInterrupt=no\n");
  const Card& card = *machine->cards()[0];
  const auto c = config_of(card);
  for (int bar : {0, 2, 3}) {
    EXPECT_EQ(card.bar(bar).kind, BarKind::None) << bar;
    EXPECT_EQ(u32(c, 0x10 + 4 * bar), 0u) << bar;
  }
  EXPECT_EQ(card.bar(1).kind, BarKind::Io);
  EXPECT_FALSE(card.has_interrupt());
  EXPECT_EQ(c[0x3D], 0);
}

// The driver's start matches each resource with a BAR of the configuration
// space; a mismatch leaves every resource without its BAR.
TEST(PciBus, BarMismatchReportsResourcesWhereNoBarIs) {
  auto machine = one_card("BarMismatch=yes\nRomLength=0x800\n");
  const Card& card = *machine->cards()[0];
  const auto c = config_of(card);
  std::set<std::uint64_t> bar_bases;
  for (int i = 0; i < kBarCount; ++i) bar_bases.insert(u32(c, 0x10 + 4 * i) & ~0xFu);
  bar_bases.insert(u32(c, 0x30) & ~1u);
  for (int i = 0; i <= kRomIndex; ++i) {
    const BarInfo bar = card.bar(i);
    if (bar.kind == BarKind::None) continue;
    const std::uint64_t start = bar.kind == BarKind::Io ? bar.base & ~3u : bar.base;
    EXPECT_EQ(bar_bases.count(start), 0u) << "resource " << i;
  }
  std::uint32_t value = 0;
  EXPECT_FALSE(machine->cards()[0]->mmio_read(card.bar(2).base + 0x40, 2, &value));
}

// The driver's board date code comes from the lengths of BAR2 and BAR3.
struct DateCodeRow {
  const char* keys;
  std::uint32_t bar2;
  std::uint32_t bar3;
  const char* date_code;  // what the driver reports for this board
};

class BoardDateCode : public testing::TestWithParam<DateCodeRow> {};

TEST_P(BoardDateCode, BarLengthsFollowTheDescription) {
  auto machine = one_card(GetParam().keys);
  const Card& card = *machine->cards()[0];
  EXPECT_EQ(card.bar(2).length, GetParam().bar2) << GetParam().date_code;
  EXPECT_EQ(card.bar(3).length, GetParam().bar3) << GetParam().date_code;
  EXPECT_EQ(card.bar(3).kind, GetParam().bar3 ? BarKind::Memory : BarKind::None);
}

INSTANTIATE_TEST_SUITE_P(PciBus, BoardDateCode,
                         testing::Values(DateCodeRow{"Bar2Length=0x100\n", 0x100, 0x80, "0x20060428"},
                                         DateCodeRow{"Bar3Length=0\n", 0x80, 0, "0x20060927"},
                                         DateCodeRow{"", 0x80, 0x80, "0x20080826"},
                                         DateCodeRow{"Bar2Length=0x40\n", 0x40, 0x80, "0xFFFFFFFF"}));

TEST(PciBus, PhysicalAddressesOutsideTheMemoryBarsAreNotTheCards) {
  auto machine = one_card();
  Card& card = *machine->cards()[0];
  std::uint32_t value = 0;
  EXPECT_FALSE(card.mmio_read(card.bar(2).base + card.bar(2).length, 2, &value));
  EXPECT_FALSE(card.mmio_read(card.bar(2).base + card.bar(2).length - 2, 4, &value));  // runs past the end
  EXPECT_FALSE(card.mmio_read(card.bar(1).base, 4, &value));                           // I/O space
  EXPECT_FALSE(card.mmio_write(card.bar(0).base - 4, 4, 0));
}

}  // namespace
}  // namespace card
