// The command protocol, interrupt factors and the chip reset.
#include <gtest/gtest.h>

#include <atomic>

#include "chip_bench.h"
#include "fake_host_time.h"

namespace card::chip::test {
namespace {

TEST(ChipProtocol, DataIsTakenAtTheCommandAndReadsComeBackLowThenHigh) {
  ChipBench bench;
  bench.chip.write(kRegDataHigh, 0x1234);
  bench.chip.write(kRegDataLow, 0x5678);
  bench.command(kZ | kU, kCmdSetCmdCounter);
  EXPECT_EQ(bench.read32(kZ, kCmdReadCmdCounter), 0x12345678u);
  EXPECT_EQ(bench.read32(kU, kCmdReadCmdCounter), 0x12345678u);
  EXPECT_EQ(bench.read32(kX, kCmdReadCmdCounter), 0u);
  // The read result stays until the next read command, whatever is written.
  bench.command(kZ, kCmdReadCmdCounter);
  bench.chip.write(kRegDataLow, 1);
  EXPECT_EQ(bench.chip.read(kRegDataLow), 0x5678);
}

TEST(ChipProtocol, SelectPersistsUntilTheNextSelect) {
  ChipBench bench;
  bench.command(kY, kCmdSelect);
  bench.chip.write(kRegMode2, kMode2SoftLimitPlus);  // COMP+ = 0: active at 0
  bench.set32(kX, kCmdPulses, 5);                   // commands do not change the selection
  EXPECT_EQ(bench.chip.read(kRegMode2), kStatus2SoftLimitPlus);
  EXPECT_EQ(bench.main_status(), 1u << (kMainErrorShift + 1));
}

TEST(ChipProtocol, ModeWriteReachesEverySelectedAxis) {
  ChipBench bench;
  bench.write_mode(kX | kZ, kRegMode2, kMode2SoftLimitMinus);
  EXPECT_EQ(bench.main_status(), (1u << kMainErrorShift) | (1u << (kMainErrorShift + 2)));
}

TEST(InterruptFactors, DriveEndIsLatchedOnlyWhileEnabledAndReadingAcknowledges) {
  ChipBench bench;
  bench.load_speeds(kX, 8000, 8000, 1);
  bench.set32(kX, kCmdPulses, 100);
  bench.command(kX, kCmdDrivePlus);
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.status(kX, kRegMode3), 0);  // not enabled: nothing latched
  bench.enable_drive_end(kX);
  EXPECT_FALSE(bench.chip.interrupt_pending());

  bench.command(kX, kCmdDrivePlus);
  bench.clock.advance(kNsPerSecond);
  EXPECT_TRUE(bench.chip.interrupt_pending());
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorDriveEnd);
  EXPECT_FALSE(bench.chip.interrupt_pending());
  EXPECT_EQ(bench.status(kX, kRegMode3), 0);
}

TEST(InterruptFactors, OutputIsAnyAxisWithAnEnabledFactor) {
  ChipBench bench;
  bench.load_speeds(kX | kY, 8000, 8000, 1);
  bench.set32(kX | kY, kCmdPulses, 100);
  bench.enable_drive_end(kX | kY);
  int notifications = 0;
  bench.chip.on_interrupt_change([&] { ++notifications; });
  bench.command(kX, kCmdDrivePlus);
  bench.clock.advance(kNsPerMs);
  bench.command(kY, kCmdDrivePlus);
  bench.clock.advance(kNsPerMs);
  // X's factor rose the output, Y's came while it was up: both notified.
  EXPECT_EQ(notifications, 2);
  bench.status(kX, kRegMode3);
  EXPECT_TRUE(bench.chip.interrupt_pending());
  bench.status(kY, kRegMode3);
  EXPECT_FALSE(bench.chip.interrupt_pending());
  EXPECT_EQ(notifications, 3);
  // Switching the enable off lowers the output, the factor stays latched.
  bench.command(kX, kCmdDrivePlus);
  bench.clock.advance(kNsPerMs);
  bench.write_mode(kX, kRegMode1, 0);
  EXPECT_FALSE(bench.chip.interrupt_pending());
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorDriveEnd);
}

TEST(InterruptFactors, TimerRaisesTheOutputAtTheDriveEndWithoutAnyAccess) {
  ChipBench bench;
  bench.set32(kX, kCmdRange, kRangeM1);
  bench.load_speeds(kX, 1000, 1000, 1);
  bench.set32(kX, kCmdPulses, 1234);
  EXPECT_DOUBLE_EQ(bench.drive_seconds(kX, kCmdDrivePlus), 1.234);
}

TEST(ChipReset, ClearsRegistersStopsMotionAndKeepsTheMachine) {
  std::array<AxisMechanics, 4> axes{};
  axes[1].home = 12;
  ChipBench bench(axes);
  bench.load_speeds(kY, 8000, 8000, 1);
  bench.set32(kY, kCmdRange, kRangeM1);
  bench.write_mode(kY, kRegMode2, kMode2SoftLimitPlus | kMode2SoftLimitMinus);
  bench.set32(kY, kCmdCompPlus, 1'000'000);
  bench.set32(kY, kCmdCompMinus, static_cast<std::uint32_t>(-1'000'000));
  bench.enable_drive_end(kY);
  bench.command(kY, kCmdContPlus);
  bench.clock.advance(kNsPerSecond);
  bench.chip.write(kRegCommand, kCommandReset);
  EXPECT_EQ(bench.main_status(), 0);
  EXPECT_FALSE(bench.chip.interrupt_pending());
  EXPECT_EQ(bench.command_counter(kY), 0);
  EXPECT_EQ(bench.status(kY, kRegMode2), 0);
  // Range back at 16000: a drive speed word of 8000 is 4,000,000 PPS.
  bench.load_speeds(kY, 8000, 8000, 1);
  bench.set32(kY, kCmdPulses, 4'000'000);
  bench.enable_drive_end(kY);
  EXPECT_DOUBLE_EQ(bench.drive_seconds(kY, kCmdDrivePlus), 1.0);
  EXPECT_EQ(bench.chip.mechanics(1).home, 12);
}

TEST(ChipSeam, RefusesBadAxesAndMechanics) {
  ChipBench bench;
  EXPECT_THROW(bench.chip.mechanics(4), std::out_of_range);
  AxisMechanics m;
  m.encoder_ratio = -1;
  EXPECT_THROW(bench.chip.set_mechanics(0, m), std::invalid_argument);
}

TEST(ChipSeam, RangeIsKeptWithinTheChipsLimits) {
  ChipBench bench;
  bench.set32(kX, kCmdRange, 0);  // as 16000: M = 500
  bench.load_speeds(kX, 1, 1, 1);
  bench.set32(kX, kCmdPulses, 500);
  EXPECT_DOUBLE_EQ(bench.drive_seconds(kX, kCmdDrivePlus), 1.0);
}

}  // namespace
}  // namespace card::chip::test

namespace card::chip::test {
namespace {

TEST(ChipSeam, RunsOnTheScaledClockAndTearsDownWithATimerPending) {
  card::test::FakeHostClock fake(1000);
  MotionChip chip(fake.clock, std::array<AxisMechanics, 4>{});
  std::atomic<int> notifications{0};
  chip.on_interrupt_change([&] { ++notifications; });
  chip.write(kRegDataLow, 1);
  chip.write(kRegCommand, command_word(kX, kCmdPulses));  // 1 pulse at 500 PPS: 2 ms
  chip.write(kRegCommand, command_word(kX, kCmdSelect));
  chip.write(kRegMode1, 0x8000);
  chip.write(kRegCommand, command_word(kX, kCmdDrivePlus));
  fake.host.settle();
  fake.host.advance(2 * kNsPerUs);  // 2 ms on the card
  fake.host.settle();
  EXPECT_GT(notifications, 0);
  EXPECT_TRUE(chip.interrupt_pending());
  chip.write(kRegDataHigh, 0x7FFF);
  chip.write(kRegCommand, command_word(kY, kCmdPulses));
  chip.write(kRegCommand, command_word(kY, kCmdDrivePlus));  // still running at teardown
}

}  // namespace
}  // namespace card::chip::test
