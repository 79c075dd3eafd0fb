// Stops, hold and release, and changes to a running drive.
#include <gtest/gtest.h>

#include "chip_bench.h"

namespace card::chip::test {
namespace {

class DriveControl : public ::testing::Test {
 protected:
  void SetUp() override {
    bench.set32(kX | kY, CHIP_RANGE, kRangeM1);
    bench.load_speeds(kX | kY, 100, 5000, 100);  // 12,500 PPS/s
    bench.write_mode(kX | kY, REG_MODE3, 0);
  }
  ChipBench bench;
};

TEST_F(DriveControl, DeceleratingStopRampsDownToTheStartSpeed) {
  bench.command(kX, CHIP_CONT_PLUS);
  bench.clock.advance(kNsPerSecond);  // at 5000 after 0.392 s
  ASSERT_EQ(bench.speed_word(kX), 5000);
  const double stop_seconds = bench.drive_seconds(kX, CHIP_DEC_STOP);
  EXPECT_NEAR(stop_seconds, (5000 - 100) / 12500.0, 1e-3);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_EQ(bench.status(kX, REG_MODE1), 0);  // no stop reason: commanded
  EXPECT_EQ(bench.status(kX, REG_MODE3), FACTOR_DRIVE_END);
}

TEST_F(DriveControl, SuddenStopEndsAtOnceWhereTheAxisIs) {
  bench.command(kX, CHIP_CONT_MINUS);
  bench.clock.advance(kNsPerSecond);
  const std::int32_t before = bench.command_counter(kX);
  EXPECT_EQ(bench.drive_seconds(kX, CHIP_SUDDEN_STOP), 0.0);
  EXPECT_EQ(bench.command_counter(kX), before);
  EXPECT_EQ(bench.speed_word(kX), 0);
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.command_counter(kX), before);
}

TEST_F(DriveControl, HoldThenReleaseStartsBothAxesOnTheSameTick) {
  bench.set32(kX | kY, CHIP_PULSES, 3000);
  bench.command(kX | kY, CHIP_DRIVE_HOLD);
  bench.command(kX, CHIP_DRIVE_PLUS);
  bench.clock.advance(7 * kNsPerMs);
  bench.command(kY, CHIP_DRIVE_MINUS);
  bench.clock.advance(5 * kNsPerMs);
  EXPECT_FALSE(bench.busy(kX | kY));
  EXPECT_EQ(bench.command_counter(kX), 0);

  bench.command(kX | kY, CHIP_DRIVE_RELEASE);
  EXPECT_EQ(bench.main_status() & (kX | kY), kX | kY);
  for (int i = 0; i < 30; ++i) {  // the drives take 0.984 s
    bench.clock.advance(37 * kNsPerMs);
    EXPECT_EQ(bench.command_counter(kX), -bench.command_counter(kY));
  }
  EXPECT_EQ(bench.command_counter(kX), 3000);
}

TEST_F(DriveControl, ReleaseStartsOnlyAxesThatWereGivenADrive) {
  bench.command(kX | kY, CHIP_DRIVE_HOLD);
  bench.command(kX, CHIP_CONT_PLUS);
  bench.command(kX | kY, CHIP_DRIVE_RELEASE);
  EXPECT_EQ(bench.main_status() & 0xF, kX);
  bench.command(kY, CHIP_CONT_PLUS);  // no longer held
  EXPECT_EQ(bench.main_status() & 0xF, kX | kY);
}

TEST_F(DriveControl, DriveSpeedWrittenWhileDrivingTakesEffectAtOnce) {
  bench.command(kX, CHIP_CONT_PLUS);
  bench.clock.advance(kNsPerSecond);
  ASSERT_EQ(bench.speed_word(kX), 5000);
  bench.set16(kX, CHIP_DRIVE_SPEED, 2000);
  EXPECT_NE(bench.status(kX, REG_MODE1) & STATUS1_DECELERATING, 0);
  bench.clock.advance((3000 * kNsPerSecond) / 12500 + kNsPerMs);
  EXPECT_EQ(bench.speed_word(kX), 2000);
  EXPECT_NE(bench.status(kX, REG_MODE1) & STATUS1_AT_DRIVE_SPEED, 0);
  bench.set16(kX, CHIP_DRIVE_SPEED, 3000);
  EXPECT_NE(bench.status(kX, REG_MODE1) & STATUS1_ACCELERATING, 0);
}

TEST_F(DriveControl, SpeedRaisedDuringAFixedDriveShortensItAndKeepsThePulses) {
  bench.set16(kX, CHIP_DRIVE_SPEED, 1000);
  bench.set32(kX, CHIP_PULSES, 10000);
  bench.enable_drive_end(kX);
  bench.command(kX, CHIP_DRIVE_PLUS);
  bench.clock.advance(kNsPerSecond);
  bench.set16(kX, CHIP_DRIVE_SPEED, 5000);
  bench.clock.advance(3 * kNsPerSecond);
  ASSERT_TRUE(bench.interrupt_at.has_value());  // at 1000 PPS it would need 10 s
  EXPECT_EQ(bench.command_counter(kX), 10000);
}

TEST_F(DriveControl, TargetWrittenWhileDrivingTakesEffectAtOnce) {
  bench.set32(kX, CHIP_PULSES, 100000);
  bench.command(kX, CHIP_DRIVE_PLUS);
  bench.clock.advance(kNsPerSecond);
  bench.set32(kX, CHIP_PULSES, 6000);
  bench.clock.advance(2 * kNsPerSecond);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_EQ(bench.command_counter(kX), 6000);
}

TEST_F(DriveControl, TargetAlreadyPassedEndsTheDriveWhereItIs) {
  bench.set32(kX, CHIP_PULSES, 100000);
  bench.command(kX, CHIP_DRIVE_PLUS);
  bench.clock.advance(kNsPerSecond);
  const std::int32_t at = bench.command_counter(kX);
  bench.set32(kX, CHIP_PULSES, 10);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_EQ(bench.command_counter(kX), at);
}

TEST_F(DriveControl, ADriveCommandWhileDrivingIsIgnored) {
  bench.command(kX, CHIP_CONT_PLUS);
  bench.clock.advance(kNsPerSecond);
  bench.command(kX, CHIP_CONT_MINUS);
  bench.clock.advance(kNsPerSecond);
  EXPECT_GT(bench.command_counter(kX), 5000);
}

TEST_F(DriveControl, InPositionCheckKeepsTheAxisBusyUntilTheServoSettles) {
  AxisMechanics m = bench.chip.mechanics(0);
  m.in_position = false;
  bench.chip.set_mechanics(0, m);
  bench.write_mode(kX, REG_MODE2, MODE2_INP_ENABLE);
  bench.set32(kX, CHIP_PULSES, 100);
  bench.enable_drive_end(kX);
  bench.command(kX, CHIP_DRIVE_PLUS);
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
