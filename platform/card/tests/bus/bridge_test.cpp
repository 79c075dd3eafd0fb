// The bridge's INTCSR: its power-on value, the level and edge modes of the two
// local interrupt inputs, the PCI line equation and the change notifications.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "bus_test_support.h"
#include "card/chip_registers.h"
#include "card/registers.h"

namespace card {
namespace {

using namespace intcsr;
using test::intcsr;
using test::one_card;
using test::set_intcsr;

class BridgeIntcsr : public testing::Test {
 protected:
  BridgeIntcsr() : machine_(one_card()), card_(*machine_->cards()[0]) {}

  void force(LocalInterrupt input, bool level) { card_.force_local_interrupt(input, level); }
  std::uint32_t status() { return intcsr(card_) & (kLocal1Status | kLocal2Status); }

  std::unique_ptr<Machine> machine_;
  Card& card_;
};

TEST_F(BridgeIntcsr, PowersUpActiveHighWithLocalInterruptOneEdgeTriggered) {
  EXPECT_EQ(intcsr(card_), kLocal1Polarity | kLocal2Polarity | kLocal1Edge);
  EXPECT_FALSE(card_.interrupt_asserted());
}

TEST_F(BridgeIntcsr, StatusAndEdgeClearBitsAreNotStored) {
  set_intcsr(card_, 0xFFFFFFFF);
  EXPECT_EQ(intcsr(card_), kWritable);  // inputs idle: no status
  set_intcsr(card_, 0);
  EXPECT_EQ(intcsr(card_), 0u | kLocal1Status | kLocal2Status);  // active low: idle inputs are active
}

// The PCI line = 0x40 and ((0x01 and 0x04) or (0x08 and 0x20) or 0x80), with
// both inputs level-triggered here.
struct LineRow {
  std::uint32_t control;
  bool chip;
  bool torix;
  std::uint32_t status;
  bool line;
};

class LineEquation : public BridgeIntcsr, public testing::WithParamInterface<LineRow> {};

TEST_P(LineEquation, Holds) {
  const LineRow& row = GetParam();
  force(LocalInterrupt::Chip, row.chip);
  force(LocalInterrupt::Torix, row.torix);
  set_intcsr(card_, row.control);
  EXPECT_EQ(status(), row.status);
  EXPECT_EQ(card_.interrupt_asserted(), row.line);
}

constexpr std::uint32_t kHigh = kLocal1Polarity | kLocal2Polarity;

INSTANTIATE_TEST_SUITE_P(
    BridgeIntcsr, LineEquation,
    testing::Values(LineRow{kHigh, false, false, 0, false},
                    LineRow{kHigh | kPciEnable | kLocal1Enable, true, false, kLocal1Status, true},
                    LineRow{kHigh | kLocal1Enable, true, false, kLocal1Status, false},
                    LineRow{kHigh | kPciEnable, true, false, kLocal1Status, false},
                    LineRow{kHigh | kPciEnable | kLocal2Enable, true, false, kLocal1Status, false},
                    LineRow{kHigh | kPciEnable | kLocal2Enable, false, true, kLocal2Status, true},
                    LineRow{kHigh | kPciEnable | kLocal1Enable, false, true, kLocal2Status, false},
                    LineRow{kHigh | kPciEnable | kLocal1Enable | kLocal2Enable, true, true,
                            kLocal1Status | kLocal2Status, true},
                    LineRow{kHigh | kPciEnable | kSoftware, false, false, 0, true},
                    LineRow{kHigh | kSoftware, false, false, 0, false},
                    LineRow{kPciEnable | kLocal1Enable, false, false, kLocal1Status | kLocal2Status, true},
                    LineRow{kPciEnable | kLocal1Enable, true, true, 0, false}));

TEST_F(BridgeIntcsr, EdgeModeLatchesARisingEdgeUntilCleared) {
  const std::uint32_t on = kHigh | kLocal1Edge | kPciEnable | kLocal1Enable;
  set_intcsr(card_, on);
  force(LocalInterrupt::Chip, true);
  EXPECT_EQ(status(), kLocal1Status);
  EXPECT_TRUE(card_.interrupt_asserted());

  force(LocalInterrupt::Chip, false);  // the latch holds
  EXPECT_EQ(status(), kLocal1Status);
  EXPECT_TRUE(card_.interrupt_asserted());

  set_intcsr(card_, on | kLocal1EdgeClear);
  EXPECT_EQ(intcsr(card_), on);  // cleared, and the clear bit reads 0
  EXPECT_FALSE(card_.interrupt_asserted());
}

TEST_F(BridgeIntcsr, EdgeModeTakesEachNewEventButNotAHeldLevel) {
  const std::uint32_t on = kHigh | kLocal1Edge | kPciEnable | kLocal1Enable;
  set_intcsr(card_, on);
  for (int event = 0; event < 3; ++event) {
    force(LocalInterrupt::Chip, true);
    ASSERT_TRUE(card_.interrupt_asserted()) << event;
    set_intcsr(card_, on | kLocal1EdgeClear);  // cleared while the input is still high
    EXPECT_FALSE(card_.interrupt_asserted()) << event;
    force(LocalInterrupt::Chip, false);
    EXPECT_FALSE(card_.interrupt_asserted()) << event;
  }
}

TEST_F(BridgeIntcsr, EdgeClearOfOneInputLeavesTheOther) {
  const std::uint32_t on = kHigh | kLocal1Edge | kLocal2Edge | kPciEnable | kLocal1Enable | kLocal2Enable;
  set_intcsr(card_, on);
  force(LocalInterrupt::Chip, true);
  force(LocalInterrupt::Torix, true);
  set_intcsr(card_, on | kLocal2EdgeClear);
  EXPECT_EQ(status(), kLocal1Status);
  set_intcsr(card_, on | kLocal1EdgeClear);
  EXPECT_EQ(status(), 0u);
}

TEST_F(BridgeIntcsr, LevelModeFollowsTheInput) {
  set_intcsr(card_, kHigh | kPciEnable | kLocal1Enable);
  force(LocalInterrupt::Chip, true);
  EXPECT_TRUE(card_.interrupt_asserted());
  set_intcsr(card_, kHigh | kPciEnable | kLocal1Enable | kLocal1EdgeClear);  // no latch to clear
  EXPECT_TRUE(card_.interrupt_asserted());
  force(LocalInterrupt::Chip, false);
  EXPECT_FALSE(card_.interrupt_asserted());
}

// The driver's interrupt path: the ISR masks the card (0x40 off), the DPC
// clears the edge and sets 0x40 again; a second event then interrupts again.
TEST_F(BridgeIntcsr, DriverSequenceSeesRepeatedEvents) {
  set_intcsr(card_, intcsr(card_) | kPciEnable | kLocal1Enable);
  for (int event = 0; event < 3; ++event) {
    force(LocalInterrupt::Chip, true);
    ASSERT_TRUE(card_.interrupt_asserted()) << event;
    set_intcsr(card_, intcsr(card_) & ~kPciEnable);  // ISR
    EXPECT_FALSE(card_.interrupt_asserted());
    ASSERT_EQ(intcsr(card_) & (kLocal1Polarity | kLocal1Edge), kLocal1Polarity | kLocal1Edge);
    set_intcsr(card_, intcsr(card_) | kLocal1EdgeClear);  // DPC step 1
    force(LocalInterrupt::Chip, false);                   // factors read
    set_intcsr(card_, intcsr(card_) | kPciEnable);        // DPC end
    EXPECT_FALSE(card_.interrupt_asserted()) << event;
  }
}

TEST_F(BridgeIntcsr, ResetRestoresThePowerOnValue) {
  set_intcsr(card_, kPciEnable | kSoftware);
  ASSERT_TRUE(card_.interrupt_asserted());
  card_.reset();
  EXPECT_EQ(intcsr(card_), kPowerOn);
  EXPECT_FALSE(card_.interrupt_asserted());
}

TEST_F(BridgeIntcsr, NotifiesEachLineChangeWithNoCardLockHeld) {
  std::vector<bool> seen;
  card_.on_interrupt_change([&] {
    seen.push_back(card_.interrupt_asserted());
    intcsr(card_);  // the card's registers are reachable from the callback
  });
  set_intcsr(card_, kPowerOn | kPciEnable | kLocal1Enable);
  force(LocalInterrupt::Chip, true);
  force(LocalInterrupt::Chip, false);  // latched: no change
  set_intcsr(card_, kPowerOn | kPciEnable | kLocal1Enable | kLocal1EdgeClear);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));

  card_.on_interrupt_change({});
  force(LocalInterrupt::Chip, true);
  EXPECT_EQ(seen.size(), 2u);
}

TEST_F(BridgeIntcsr, ListenerMayReplaceItselfFromItsOwnCall) {
  int calls = 0;
  card_.on_interrupt_change([&] {
    ++calls;
    card_.on_interrupt_change({});
  });
  set_intcsr(card_, kPciEnable | kSoftware);
  set_intcsr(card_, 0);
  EXPECT_EQ(calls, 1);
}

// The whole way: a drive end on the chip's axis X raises local interrupt 1,
// reading the factor acknowledges it, and the next drive end interrupts again.
TEST_F(BridgeIntcsr, ChipDriveEndRaisesTheLine) {
  auto& clock = dynamic_cast<ManualClock&>(machine_->clock());
  std::atomic<int> changes = 0;
  card_.on_interrupt_change([&] { ++changes; });
  set_intcsr(card_, intcsr(card_) | kPciEnable | kLocal1Enable);

  using namespace chip;
  auto command = [&](std::uint8_t code, std::uint32_t data) {
    test::set_reg16(card_, kRegDataHigh, static_cast<std::uint16_t>(data >> 16));
    test::set_reg16(card_, kRegDataLow, static_cast<std::uint16_t>(data));
    test::set_reg16(card_, kRegCommand, command_word(1, code));
  };
  test::set_reg16(card_, kRegCommand, command_word(1, kCmdSelect));
  test::set_reg16(card_, kRegMode1, 0x8000);  // drive-end factor enabled
  command(kCmdStartSpeed, 100);
  command(kCmdDriveSpeed, 100);
  for (int move = 0; move < 2; ++move) {
    command(kCmdPulses, 100);
    test::set_reg16(card_, kRegCommand, command_word(1, kCmdDrivePlus));
    clock.advance(kNsPerSecond);
    ASSERT_TRUE(card_.interrupt_asserted()) << move;
    EXPECT_TRUE(card_.chip().interrupt_pending());

    test::set_reg16(card_, kRegCommand, command_word(1, kCmdSelect));
    EXPECT_NE(test::reg16(card_, kRegMode3) & 0x80, 0) << "drive end";  // acknowledges
    EXPECT_FALSE(card_.chip().interrupt_pending());
    set_intcsr(card_, intcsr(card_) | kLocal1EdgeClear);
    EXPECT_FALSE(card_.interrupt_asserted());
  }
  EXPECT_EQ(changes, 4);
  card_.on_interrupt_change({});
}

// On a scaled clock the chip's drive end arrives from the clock's thread.
TEST(BridgeThreads, ChipInterruptArrivesFromTheClockThread) {
  auto machine = Machine::from_description("[Machine]\nTimeScale=1000\n[Card0]\n");
  Card& card = *machine->cards()[0];
  std::mutex mutex;
  std::condition_variable changed;
  bool asserted = false;
  card.on_interrupt_change([&] {
    const bool now = card.interrupt_asserted();
    std::lock_guard lock(mutex);
    asserted = now;
    changed.notify_all();
  });
  set_intcsr(card, intcsr(card) | kPciEnable | kLocal1Enable);

  using namespace chip;
  test::set_reg16(card, kRegCommand, command_word(1, kCmdSelect));
  test::set_reg16(card, kRegMode1, 0x8000);  // drive-end factor enabled
  for (std::uint8_t code : {kCmdStartSpeed, kCmdDriveSpeed}) {
    test::set_reg16(card, kRegDataLow, 100);
    test::set_reg16(card, kRegCommand, command_word(1, code));
  }
  test::set_reg16(card, kRegDataHigh, 0);
  test::set_reg16(card, kRegDataLow, 1000);
  test::set_reg16(card, kRegCommand, command_word(1, kCmdPulses));
  test::set_reg16(card, kRegCommand, command_word(1, kCmdDrivePlus));

  std::unique_lock lock(mutex);
  changed.wait(lock, [&] { return asserted; });
  lock.unlock();
  EXPECT_NE(intcsr(card) & kLocal1Status, 0u);
  card.on_interrupt_change({});
}

}  // namespace
}  // namespace card
