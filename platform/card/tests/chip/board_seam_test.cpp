// The chip as the board sees it: its interrupt output through the bridge's
// edge latch, and its comparators behind the model-B counters and the
// compare mask. Register access goes through the card's BARs, as the
// driver's does.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "card/card.h"
#include "card/chip_registers.h"
#include "card/machine.h"
#include "card/registers.h"

namespace card::chip::test {
namespace {

class BoardSeam : public testing::Test {
 protected:
  void make(const std::string& model) {
    machine = Machine::from_description("[Machine]\nClock=manual\n[Card0]\nModel=" + model + "\n");
    card = machine->cards()[0];
    clock = dynamic_cast<ManualClock*>(&machine->clock());
    ASSERT_NE(clock, nullptr);
    command(0xF, kCmdRange, 8'000'000);
    command(0xF, kCmdStartSpeed, 1000);
    command(0xF, kCmdDriveSpeed, 1000);
  }

  std::uint32_t read(int bar, std::uint32_t offset, unsigned size) {
    std::uint32_t value = 0;
    EXPECT_TRUE(card->mmio_read(card->bar(bar).base + offset, size, &value));
    return value;
  }
  void write(int bar, std::uint32_t offset, unsigned size, std::uint32_t value) {
    EXPECT_TRUE(card->mmio_write(card->bar(bar).base + offset, size, value));
  }
  void command(unsigned mask, std::uint8_t code, std::uint32_t data = 0) {
    write(2, kRegDataHigh, 2, data >> 16);
    write(2, kRegDataLow, 2, data & 0xFFFF);
    write(2, kRegCommand, 2, command_word(mask, code));
  }
  void mode(unsigned mask, std::uint32_t reg, std::uint16_t value) {
    command(mask, kCmdSelect);
    write(2, reg, 2, value);
  }
  std::uint16_t status3(unsigned mask) {
    command(mask, kCmdSelect);
    return static_cast<std::uint16_t>(read(2, kRegMode3, 2));
  }
  std::uint32_t intcsr() { return read(0, bridge_reg::kIntcsr, 4); }
  void set_intcsr(std::uint32_t value) { write(0, bridge_reg::kIntcsr, 4, value); }

  std::unique_ptr<Machine> machine;
  Card* card = nullptr;
  ManualClock* clock = nullptr;
};

constexpr std::uint32_t kServing = intcsr::kPowerOn | intcsr::kLocal1Enable;  // PCI enable cleared
constexpr std::uint32_t kArmed = kServing | intcsr::kPciEnable;

// The driver's deferred call reads status 3 of X, then of Y. A drive end of
// X raised between the two reads keeps the chip's output high throughout;
// the chip's pulse for it still latches a fresh edge, so it is not lost.
TEST_F(BoardSeam, AFactorRaisedBetweenTwoStatusReadsGetsAnEdgeOfItsOwn) {
  make("A");
  mode(0xF, kRegMode1, 0x8000);  // drive end on every axis
  set_intcsr(kArmed);
  command(1, kCmdPulses, 100);
  command(2, kCmdPulses, 50);
  command(1 | 2, kCmdDrivePlus);
  clock->advance(kNsPerSecond);
  ASSERT_TRUE(card->interrupt_asserted());

  set_intcsr(kServing);                              // the service routine masks the card
  set_intcsr(kServing | intcsr::kLocal1EdgeClear);   // the deferred call clears the edge
  EXPECT_EQ(status3(1), kFactorDriveEnd);
  command(1, kCmdPulses, 0);
  command(1, kCmdDrivePlus);                       // ends at once: a new drive end on X
  EXPECT_EQ(status3(2), kFactorDriveEnd);
  set_intcsr(kArmed);                                // and unmasks it

  EXPECT_NE(intcsr() & intcsr::kLocal1Status, 0u);
  EXPECT_TRUE(card->interrupt_asserted());
  EXPECT_EQ(status3(1), kFactorDriveEnd);
}

TEST_F(BoardSeam, AnAcknowledgedOutputLatchesNoFurtherEdge) {
  make("A");
  mode(1, kRegMode1, 0x8000);
  set_intcsr(kArmed);
  command(1, kCmdPulses, 10);
  command(1, kCmdDrivePlus);
  clock->advance(kNsPerSecond);
  set_intcsr(kServing | intcsr::kLocal1EdgeClear);
  EXPECT_EQ(status3(1), kFactorDriveEnd);
  set_intcsr(kArmed);
  EXPECT_EQ(intcsr() & intcsr::kLocal1Status, 0u);
  EXPECT_FALSE(card->interrupt_asserted());
}

// The driver's interval trigger on X with a pitch of 100, read back through
// the model-B registers: the trigger counter starts where the driver presets
// it and moves one pitch per pulse; the compare mask's bit 3 keeps X's
// pulses from it.
TEST_F(BoardSeam, ModelBCountersFollowTheIntervalTrigger) {
  make("B");
  constexpr std::uint32_t kPitch = 100;
  constexpr std::uint32_t kStart = 70000;  // beyond 16 bits: both halves count
  const auto trigger_counter = [&] {
    return read(2, card_reg::kTrigCounterXLow, 2) | (read(2, card_reg::kTrigCounterXHigh, 2) << 16);
  };
  command(1, kCmdCompPlus, kPitch - 1);
  command(1, kCmdCompMinus, kPitch - 1);
  command(1, kCmdSetCmdCounter, kPitch - 1);
  command(1, kCmdExtMode, (std::uint32_t{kExt2CompareOutput} << 16) | kExt1RingCounter);
  command(1, kCmdSyncMode, (std::uint32_t{kSync2Active} << 16) | kSync1CompPlusUp);
  EXPECT_EQ(read(2, card_reg::kCmpPitchX, 2), kPitch);
  EXPECT_EQ(trigger_counter(), 0u);  // switching the action active clears it
  write(2, card_reg::kTrigCounterXLow, 2, kStart & 0xFFFF);
  write(2, card_reg::kTrigCounterXHigh, 2, kStart >> 16);
  EXPECT_EQ(trigger_counter(), kStart);
  EXPECT_EQ(card->stray_accesses().writes, 0u);

  command(1, kCmdPulses, 1050);
  command(1, kCmdDrivePlus);
  clock->advance(2 * kNsPerSecond);
  EXPECT_EQ(read(2, card_reg::kCmpCounterX, 4), (kPitch - 1 + 1050) % kPitch);
  EXPECT_EQ(trigger_counter(), kStart + 10 * kPitch);
  EXPECT_EQ(read(2, card_reg::kCmpCounterY, 4), 0u);
  EXPECT_EQ(read(2, card_reg::kCmpPitchY, 2), 0u);

  write(2, card_reg::kCmpMask, 2, 0x0008);
  EXPECT_EQ(read(2, card_reg::kCmpMask, 2), 0x0008u);
  command(1, kCmdDrivePlus);
  clock->advance(2 * kNsPerSecond);
  EXPECT_EQ(trigger_counter(), kStart + 10 * kPitch);

  write(2, card_reg::kCmpMask, 2, 0);
  command(1, kCmdDriveMinus);  // counting down: the interval trigger counts up only
  clock->advance(2 * kNsPerSecond);
  EXPECT_EQ(trigger_counter(), kStart + 10 * kPitch);
  command(1, kCmdDrivePlus);  // from 1050 to 2100: eleven multiples of the pitch
  clock->advance(2 * kNsPerSecond);
  EXPECT_EQ(trigger_counter(), kStart + 21 * kPitch);
}

// Counting down (COMP+ reached from above), the trigger position moves down.
TEST_F(BoardSeam, ModelBTriggerCounterFollowsTheCountingDirection) {
  make("B");
  constexpr std::uint32_t kPitch = 50;
  command(1, kCmdCompPlus, kPitch - 1);
  command(1, kCmdSetCmdCounter, kPitch - 1);
  command(1, kCmdExtMode, (std::uint32_t{kExt2CompareOutput} << 16) | kExt1RingCounter);
  command(1, kCmdSyncMode, (std::uint32_t{kSync2Active} << 16) | kSync1CompPlusDown);
  write(2, card_reg::kTrigCounterXLow, 2, 1000);
  command(1, kCmdPulses, 120);
  command(1, kCmdDriveMinus);
  clock->advance(2 * kNsPerSecond);
  EXPECT_EQ(read(2, card_reg::kTrigCounterXLow, 2), 1000u - 2 * kPitch);
}

}  // namespace
}  // namespace card::chip::test
