// Stops, hold and release, and changes to a running drive.
#include <gtest/gtest.h>

#include "chip_bench.h"

namespace card::chip::test {
namespace {

class DriveControl : public ::testing::Test {
 protected:
  void SetUp() override {
    bench.set32(kX | kY, kCmdRange, kRangeM1);
    bench.load_speeds(kX | kY, 100, 5000, 100);  // 12,500 PPS/s
    bench.write_mode(kX | kY, kRegMode3, 0);
  }
  ChipBench bench;
};

TEST_F(DriveControl, DeceleratingStopRampsDownToTheStartSpeed) {
  bench.command(kX, kCmdContPlus);
  bench.clock.advance(kNsPerSecond);  // at 5000 after 0.392 s
  ASSERT_EQ(bench.speed_word(kX), 5000);
  const double stop_seconds = bench.drive_seconds(kX, kCmdDecStop);
  EXPECT_NEAR(stop_seconds, (5000 - 100) / 12500.0, 1e-3);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_EQ(bench.status(kX, kRegMode1), 0);  // no stop reason: commanded
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorDriveEnd);
}

TEST_F(DriveControl, SuddenStopEndsAtOnceWhereTheAxisIs) {
  bench.command(kX, kCmdContMinus);
  bench.clock.advance(kNsPerSecond);
  const std::int32_t before = bench.command_counter(kX);
  EXPECT_EQ(bench.drive_seconds(kX, kCmdSuddenStop), 0.0);
  EXPECT_EQ(bench.command_counter(kX), before);
  EXPECT_EQ(bench.speed_word(kX), 0);
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.command_counter(kX), before);
}

TEST_F(DriveControl, HoldThenReleaseStartsBothAxesOnTheSameTick) {
  bench.set32(kX | kY, kCmdPulses, 3000);
  bench.command(kX | kY, kCmdDriveHold);
  bench.command(kX, kCmdDrivePlus);
  bench.clock.advance(7 * kNsPerMs);
  bench.command(kY, kCmdDriveMinus);
  bench.clock.advance(5 * kNsPerMs);
  EXPECT_FALSE(bench.busy(kX | kY));
  EXPECT_EQ(bench.command_counter(kX), 0);

  bench.command(kX | kY, kCmdDriveRelease);
  EXPECT_EQ(bench.main_status() & (kX | kY), kX | kY);
  for (int i = 0; i < 30; ++i) {  // the drives take 0.984 s
    bench.clock.advance(37 * kNsPerMs);
    EXPECT_EQ(bench.command_counter(kX), -bench.command_counter(kY));
  }
  EXPECT_EQ(bench.command_counter(kX), 3000);
}

TEST_F(DriveControl, ReleaseStartsOnlyAxesThatWereGivenADrive) {
  bench.command(kX | kY, kCmdDriveHold);
  bench.command(kX, kCmdContPlus);
  bench.command(kX | kY, kCmdDriveRelease);
  EXPECT_EQ(bench.main_status() & 0xF, kX);
  bench.command(kY, kCmdContPlus);  // no longer held
  EXPECT_EQ(bench.main_status() & 0xF, kX | kY);
}

TEST_F(DriveControl, DriveSpeedWrittenWhileDrivingTakesEffectAtOnce) {
  bench.command(kX, kCmdContPlus);
  bench.clock.advance(kNsPerSecond);
  ASSERT_EQ(bench.speed_word(kX), 5000);
  bench.set16(kX, kCmdDriveSpeed, 2000);
  EXPECT_NE(bench.status(kX, kRegMode1) & kStatus1Decelerating, 0);
  bench.clock.advance((3000 * kNsPerSecond) / 12500 + kNsPerMs);
  EXPECT_EQ(bench.speed_word(kX), 2000);
  EXPECT_NE(bench.status(kX, kRegMode1) & kStatus1AtDriveSpeed, 0);
  bench.set16(kX, kCmdDriveSpeed, 3000);
  EXPECT_NE(bench.status(kX, kRegMode1) & kStatus1Accelerating, 0);
}

TEST_F(DriveControl, SpeedRaisedDuringAFixedDriveShortensItAndKeepsThePulses) {
  bench.set16(kX, kCmdDriveSpeed, 1000);
  bench.set32(kX, kCmdPulses, 10000);
  bench.enable_drive_end(kX);
  bench.command(kX, kCmdDrivePlus);
  bench.clock.advance(kNsPerSecond);
  bench.set16(kX, kCmdDriveSpeed, 5000);
  bench.clock.advance(3 * kNsPerSecond);
  ASSERT_TRUE(bench.interrupt_at.has_value());  // at 1000 PPS it would need 10 s
  EXPECT_EQ(bench.command_counter(kX), 10000);
}

TEST_F(DriveControl, TargetWrittenWhileDrivingTakesEffectAtOnce) {
  bench.set32(kX, kCmdPulses, 100000);
  bench.command(kX, kCmdDrivePlus);
  bench.clock.advance(kNsPerSecond);
  bench.set32(kX, kCmdPulses, 6000);
  bench.clock.advance(2 * kNsPerSecond);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_EQ(bench.command_counter(kX), 6000);
}

TEST_F(DriveControl, TargetAlreadyPassedEndsTheDriveWhereItIs) {
  bench.set32(kX, kCmdPulses, 100000);
  bench.command(kX, kCmdDrivePlus);
  bench.clock.advance(kNsPerSecond);
  const std::int32_t at = bench.command_counter(kX);
  bench.set32(kX, kCmdPulses, 10);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_EQ(bench.command_counter(kX), at);
}

TEST_F(DriveControl, ADriveCommandWhileDrivingIsIgnored) {
  bench.command(kX, kCmdContPlus);
  bench.clock.advance(kNsPerSecond);
  bench.command(kX, kCmdContMinus);
  bench.clock.advance(kNsPerSecond);
  EXPECT_GT(bench.command_counter(kX), 5000);
}

TEST_F(DriveControl, InPositionCheckKeepsTheAxisBusyUntilTheServoSettles) {
  AxisMechanics m = bench.chip.mechanics(0);
  m.in_position = false;
  bench.chip.set_mechanics(0, m);
  bench.write_mode(kX, kRegMode2, kMode2InpEnable);
  bench.set32(kX, kCmdPulses, 100);
  bench.enable_drive_end(kX);
  bench.command(kX, kCmdDrivePlus);
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.command_counter(kX), 100);
  EXPECT_TRUE(bench.busy(kX));
  EXPECT_FALSE(bench.chip.interrupt_pending());
  m.in_position = true;
  bench.chip.set_mechanics(0, m);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_TRUE(bench.chip.interrupt_pending());
}

}  // namespace
}  // namespace card::chip::test
