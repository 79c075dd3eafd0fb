// The card registers behind BAR2 and the bridge window behind BAR0 as the
// driver reaches them: the CPLD registers, access sizes, stray accesses, the
// placeholders of the Torix bus and the model-B counters, surprise removal.
#include <gtest/gtest.h>

#include "bus_test_support.h"
#include "card/chip_registers.h"
#include "card/registers.h"

namespace card {
namespace {

using test::intcsr;
using test::one_card;
using test::reg16;
using test::set_intcsr;
using test::set_reg16;

TEST(CardRegisters, CardIdReadsTheWholeDipSwitch) {
  auto machine = one_card("DipSwitch=0x1235\n");
  Card& card = *machine->cards()[0];
  EXPECT_EQ(reg16(card, card_reg::kCardId), 0x1235);  // the driver keeps bits 0-3: card ID 5
  EXPECT_EQ(card.dip_switch(), 0x1235);
}

TEST(CardRegisters, CpldVersionReadsTheDescribedVersion) {
  auto machine = one_card("CpldVersion=0x0107\n");
  EXPECT_EQ(reg16(*machine->cards()[0], card_reg::kCpldVersion), 0x0107);
}

TEST(CardRegisters, ChipWindowReachesTheMotionChip) {
  auto machine = one_card();
  Card& card = *machine->cards()[0];
  set_reg16(card, chip::kRegDataHigh, 0x0001);
  set_reg16(card, chip::kRegDataLow, 0x2345);
  set_reg16(card, chip::kRegCommand, chip::command_word(1, chip::kCmdSetCmdCounter));
  set_reg16(card, chip::kRegCommand, chip::command_word(1, chip::kCmdReadCmdCounter));
  EXPECT_EQ(reg16(card, chip::kRegDataLow), 0x2345);
  EXPECT_EQ(reg16(card, chip::kRegDataHigh), 0x0001);
  EXPECT_EQ(card.stray_accesses().reads + card.stray_accesses().writes, 0u);
}

TEST(CardRegisters, CompareMaskKeepsWhatIsWritten) {
  auto machine = one_card();
  Card& card = *machine->cards()[0];
  set_reg16(card, card_reg::kCmpMask, 0x00F8);
  EXPECT_EQ(reg16(card, card_reg::kCmpMask), 0x00F8);
  card.reset();
  EXPECT_EQ(reg16(card, card_reg::kCmpMask), 0);
}

TEST(CardRegisters, TorixRegistersTakeWritesAndReadNoModules) {
  auto machine = one_card();
  Card& card = *machine->cards()[0];
  for (int n = 0; n < 8; ++n) set_reg16(card, card_reg::kTorixPort + 2 * n, 0x5A5A);
  for (std::uint32_t offset :
       {card_reg::kTorixConfig, card_reg::kTorixInt, card_reg::kTorixReset, card_reg::kTorixAux}) {
    set_reg16(card, offset, 1);
  }
  for (int n = 0; n < 8; ++n) EXPECT_EQ(reg16(card, card_reg::kTorixPort + 2 * n), 0) << n;
  EXPECT_EQ(reg16(card, card_reg::kTorixScan), 0);
  EXPECT_EQ(card.stray_accesses().reads + card.stray_accesses().writes, 0u);
}

TEST(CardRegisters, ModelBCountersReadZeroUntilTheComparatorsCount) {
  auto machine = one_card("Model=B\n");
  Card& card = *machine->cards()[0];
  EXPECT_EQ(test::read(card, 2, card_reg::kCmpCounterX, 4), 0u);
  EXPECT_EQ(test::read(card, 2, card_reg::kCmpCounterY, 4), 0u);
  for (std::uint32_t offset :
       {card_reg::kTrigCounterXLow, card_reg::kTrigCounterXHigh, card_reg::kCmpPitchX,
        card_reg::kTrigCounterYLow, card_reg::kTrigCounterYHigh, card_reg::kCmpPitchY}) {
    EXPECT_EQ(reg16(card, offset), 0) << std::hex << offset;
  }
  EXPECT_EQ(card.stray_accesses().reads, 0u);
}

TEST(CardRegisters, ModelAHasNoCounters) {
  auto machine = one_card("Model=A\n");
  Card& card = *machine->cards()[0];
  EXPECT_EQ(test::read(card, 2, card_reg::kCmpCounterX, 4), 0u);
  EXPECT_EQ(reg16(card, card_reg::kCmpPitchY), 0);
  EXPECT_EQ(card.stray_accesses().reads, 2u);
}

// Each access either reaches a register or is counted as one kind of stray.
enum class Stray { None, Read, Write, BadSize };

struct AccessRow {
  int bar;
  std::uint32_t offset;
  unsigned size;
  bool write;
  Stray expect;
};

class AccessCheck : public testing::TestWithParam<AccessRow> {};

TEST_P(AccessCheck, SizeFirstThenOffset) {
  const AccessRow& row = GetParam();
  auto machine = one_card("Model=B\n");
  Card& card = *machine->cards()[0];
  std::uint32_t value = 0xDEADBEEF;
  if (row.write) {
    test::write(card, row.bar, row.offset, row.size, 0xFFFF);
  } else {
    value = test::read(card, row.bar, row.offset, row.size);
  }
  const StrayAccesses stray = card.stray_accesses();
  EXPECT_EQ(stray.reads, row.expect == Stray::Read ? 1u : 0u);
  EXPECT_EQ(stray.writes, row.expect == Stray::Write ? 1u : 0u);
  EXPECT_EQ(stray.bad_size, row.expect == Stray::BadSize ? 1u : 0u);
  if (!row.write && row.expect != Stray::None) {
    EXPECT_EQ(value, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    CardRegisters, AccessCheck,
    testing::Values(AccessRow{0, bridge_reg::kIntcsr, 4, false, Stray::None},
                    AccessRow{0, bridge_reg::kIntcsr, 4, true, Stray::None},
                    AccessRow{0, bridge_reg::kIntcsr, 2, false, Stray::BadSize},
                    AccessRow{0, bridge_reg::kIntcsr, 1, true, Stray::BadSize},
                    AccessRow{0, bridge_reg::kIntcsr + 2, 4, false, Stray::BadSize},
                    AccessRow{0, 0x00, 4, false, Stray::Read}, AccessRow{0, 0x7C, 4, true, Stray::Write},
                    AccessRow{2, card_reg::kCardId, 2, false, Stray::None},
                    AccessRow{2, card_reg::kCardId, 4, false, Stray::BadSize},
                    AccessRow{2, card_reg::kCardId, 1, false, Stray::BadSize},
                    AccessRow{2, card_reg::kCardId + 1, 2, false, Stray::BadSize},
                    AccessRow{2, chip::kRegCommand, 4, true, Stray::BadSize},
                    AccessRow{2, card_reg::kCmpCounterX, 4, false, Stray::None},
                    AccessRow{2, card_reg::kCmpCounterX, 2, false, Stray::BadSize},
                    AccessRow{2, card_reg::kCmpCounterY, 4, false, Stray::None},
                    AccessRow{2, card_reg::kCmpCounterX, 4, true, Stray::Write},  // read-only
                    AccessRow{2, card_reg::kCardId, 2, true, Stray::Write},       // read-only
                    AccessRow{2, card_reg::kCpldVersion, 2, true, Stray::Write},  // read-only
                    AccessRow{2, card_reg::kTorixScan, 2, true, Stray::Write},    // read-only
                    AccessRow{2, card_reg::kTorixConfig, 2, false, Stray::Read},  // write-only
                    AccessRow{2, card_reg::kTorixAux, 2, false, Stray::Read},     // write-only
                    AccessRow{2, 0x22, 2, false, Stray::Read},                    // unknown
                    AccessRow{2, 0x50, 2, true, Stray::Write},                    // unknown
                    AccessRow{3, 0x00, 2, false, Stray::Read},                    // BAR3 has no registers
                    AccessRow{3, 0x10, 4, true, Stray::Write}));

TEST(CardRegisters, ReadOnlyRegistersKeepTheirValueAfterAWrite) {
  auto machine = one_card("DipSwitch=3\n");
  Card& card = *machine->cards()[0];
  set_reg16(card, card_reg::kCardId, 0xFFFF);
  EXPECT_EQ(reg16(card, card_reg::kCardId), 3);
}

TEST(SurpriseRemoval, PulledCardReadsAllOnesAndDropsWrites) {
  auto machine = one_card("DipSwitch=2\n");
  Card& card = *machine->cards()[0];
  set_reg16(card, card_reg::kCmpMask, 0x0018);
  card.pull();
  EXPECT_FALSE(card.present());
  EXPECT_EQ(reg16(card, card_reg::kCardId), 0xFFFF);
  EXPECT_EQ(reg16(card, chip::kRegCommand), 0xFFFF);
  EXPECT_EQ(intcsr(card), 0xFFFFFFFFu);
  EXPECT_EQ(test::read(card, 2, card_reg::kCmpMask, 1), 0xFFu);
  set_intcsr(card, intcsr::kPciEnable | intcsr::kSoftware);  // dropped
  EXPECT_FALSE(card.interrupt_asserted());
  std::uint8_t config[4];
  card.read_config(0, config, 4);
  for (std::uint8_t byte : config) EXPECT_EQ(byte, 0xFF);
  EXPECT_EQ(card.stray_accesses().writes, 0u);
}

TEST(SurpriseRemoval, PullingDropsAnAssertedLineAndSaysSo) {
  auto machine = one_card();
  Card& card = *machine->cards()[0];
  int changes = 0;
  card.on_interrupt_change([&] { ++changes; });
  set_intcsr(card, intcsr::kPciEnable | intcsr::kSoftware);
  ASSERT_TRUE(card.interrupt_asserted());
  card.pull();
  EXPECT_FALSE(card.interrupt_asserted());
  EXPECT_EQ(changes, 2);
  card.force_local_interrupt(LocalInterrupt::Chip, true);
  EXPECT_FALSE(card.interrupt_asserted());
  card.on_interrupt_change({});
}

TEST(SurpriseRemoval, OtherCardsStayPresent) {
  auto machine = test::manual_machine("[Card0]\nDipSwitch=4\n[Card1]\nDipSwitch=5\n");
  machine->cards()[0]->pull();
  EXPECT_TRUE(machine->cards()[1]->present());
  EXPECT_EQ(reg16(*machine->cards()[1], card_reg::kCardId), 5);
}

// The card has no power management: its power goes with D3, and with it
// every register and counter; back in D0 it is in its power-on state.
TEST(PowerLoss, AnUnpoweredCardReadsAllOnesAndComesBackInItsPowerOnState) {
  auto machine = one_card("DipSwitch=2\n");
  Card& card = *machine->cards()[0];
  set_reg16(card, card_reg::kCmpMask, 0x0018);
  set_intcsr(card, intcsr::kPciEnable | intcsr::kSoftware);
  ASSERT_TRUE(card.interrupt_asserted());
  card.set_powered(false);
  EXPECT_FALSE(card.interrupt_asserted());
  EXPECT_EQ(reg16(card, card_reg::kCardId), 0xFFFF);
  EXPECT_EQ(intcsr(card), 0xFFFFFFFFu);
  set_intcsr(card, intcsr::kPciEnable | intcsr::kSoftware);  // dropped
  card.set_powered(true);
  EXPECT_TRUE(card.present());
  EXPECT_EQ(reg16(card, card_reg::kCardId), 2);
  EXPECT_EQ(test::read(card, 2, card_reg::kCmpMask, 1), 0u) << "lost with the power";
  EXPECT_EQ(intcsr(card) & (intcsr::kPciEnable | intcsr::kSoftware), 0u);
  EXPECT_FALSE(card.interrupt_asserted());
}

TEST(InterruptLines, NeighbouringSlotsShareALineUnlessTheFileRoutesThem) {
  auto machine = test::manual_machine("[Card0]\n[Card1]\n[Card2]\n[Card3]\nInterruptLine=17\n");
  const auto cards = machine->cards();
  EXPECT_EQ(cards[0]->interrupt_vector(), 16u);
  EXPECT_EQ(cards[1]->interrupt_vector(), 16u);
  EXPECT_EQ(cards[2]->interrupt_vector(), 17u);
  EXPECT_EQ(cards[3]->interrupt_vector(), 17u);
}

}  // namespace
}  // namespace card
