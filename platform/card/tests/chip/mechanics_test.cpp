// Limits, software limits, alarm and emergency stop, and the inputs the
// machine presents.
#include <gtest/gtest.h>

#include <stdexcept>

#include "chip_bench.h"

namespace card::chip::test {
namespace {

std::array<AxisMechanics, 4> machine_with_limits() {
  std::array<AxisMechanics, 4> axes{};
  axes[0].limit_plus = 5000;
  axes[0].limit_minus = -5000;
  axes[0].home = 1000;
  axes[0].home_width = 10;
  axes[0].near_home = 800;
  axes[0].near_home_width = 400;
  return axes;
}

class Mechanics : public ::testing::Test {
 protected:
  Mechanics() : bench(machine_with_limits()) {}
  void SetUp() override {
    bench.set32(kX, kCmdRange, kRangeM1);
    bench.load_speeds(kX, 1000, 1000, 100);  // constant 1000 PPS
    bench.write_mode(kX, kRegMode3, 0);
  }
  void set_mechanics(void (*change)(AxisMechanics&)) {
    AxisMechanics m = bench.chip.mechanics(0);
    change(m);
    bench.chip.set_mechanics(0, m);
  }
  ChipBench bench;
};

struct StopCase {
  const char* name;
  std::uint16_t mode2;
  std::uint8_t drive;
  std::int32_t expected_position;
  std::uint16_t status2;
  std::uint16_t stop_reason;
};

class LimitStop : public Mechanics, public ::testing::WithParamInterface<StopCase> {};

TEST_P(LimitStop, StopsWithStatusAndReason) {
  const StopCase& c = GetParam();
  bench.write_mode(kX, kRegMode2, c.mode2);
  bench.set32(kX, kCmdCompPlus, 3000);
  bench.set32(kX, kCmdCompMinus, -3000);
  bench.set32(kX, kCmdPulses, 20000);
  const double seconds = bench.drive_seconds(kX, c.drive);
  EXPECT_GT(seconds, 0);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_EQ(bench.command_counter(kX), c.expected_position);
  EXPECT_EQ(bench.status(kX, kRegMode2), c.status2);
  EXPECT_EQ(bench.status(kX, kRegMode1), c.stop_reason);
  EXPECT_EQ(bench.main_status(), 1u << kMainErrorShift);
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorDriveEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LimitStop,
    ::testing::Values(StopCase{"HardPlus", 0, kCmdDrivePlus, 5000, kStatus2LimitPlus, kStopLimitPlus},
                      StopCase{"HardMinus", 0, kCmdContMinus, -5000, kStatus2LimitMinus, kStopLimitMinus},
                      StopCase{"SoftPlus", kMode2SoftLimitPlus | kMode2SoftLimitMinus, kCmdDrivePlus, 3000,
                               kStatus2SoftLimitPlus, 0},
                      StopCase{"SoftMinus", kMode2SoftLimitPlus | kMode2SoftLimitMinus, kCmdContMinus, -3000,
                               kStatus2SoftLimitMinus, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Mechanics, DeceleratingLimitStopRunsPastTheSwitch) {
  bench.load_speeds(kX, 100, 5000, 100);
  bench.write_mode(kX, kRegMode2, kMode2LimitDecStop);
  bench.command(kX, kCmdContPlus);
  bench.clock.advance(10 * kNsPerSecond);
  EXPECT_FALSE(bench.busy(kX));
  // (5000^2 - 100^2) / (2 x 12,500) = 999.6 pulses of deceleration
  EXPECT_NEAR(bench.command_counter(kX), 5000 + 999, 2);
  EXPECT_EQ(bench.status(kX, kRegMode1), kStopLimitPlus);
}

TEST_F(Mechanics, MoveOffAnActiveLimitIsAllowedAndTowardItEndsAtOnce) {
  bench.set32(kX, kCmdPulses, 20000);
  bench.drive_seconds(kX, kCmdDrivePlus);
  ASSERT_EQ(bench.command_counter(kX), 5000);
  bench.status(kX, kRegMode3);

  EXPECT_EQ(bench.drive_seconds(kX, kCmdDrivePlus), 0.0);
  EXPECT_EQ(bench.command_counter(kX), 5000);
  EXPECT_EQ(bench.status(kX, kRegMode1), kStopLimitPlus);
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorDriveEnd);

  bench.set32(kX, kCmdPulses, 100);
  EXPECT_NEAR(bench.drive_seconds(kX, kCmdDriveMinus), 0.1, 1e-6);
  EXPECT_EQ(bench.command_counter(kX), 4900);
  EXPECT_EQ(bench.status(kX, kRegMode2), 0);
  EXPECT_EQ(bench.main_status(), 0);
}

TEST_F(Mechanics, AlarmStopsOnlyWhenEnabledAndTheResetOutputClearsIt) {
  bench.command(kX, kCmdContPlus);
  bench.clock.advance(kNsPerSecond);
  set_mechanics([](AxisMechanics& m) { m.alarm = true; });
  EXPECT_TRUE(bench.busy(kX));
  EXPECT_EQ(bench.status(kX, kRegMode2), 0);
  bench.write_mode(kX, kRegMode2, kMode2AlarmEnable);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_EQ(bench.status(kX, kRegMode2), kStatus2Alarm);
  EXPECT_EQ(bench.status(kX, kRegMode1), kStopAlarm);
  bench.chip.write(kRegOutput, kOutputAlarmReset);
  EXPECT_FALSE(bench.chip.mechanics(0).alarm);
  EXPECT_EQ(bench.status(kX, kRegMode2), 0);
}

TEST_F(Mechanics, EmergencyStopHaltsAndForbidsDrivesBothWays) {
  bench.command(kX, kCmdContPlus);
  bench.clock.advance(kNsPerSecond);
  set_mechanics([](AxisMechanics& m) { m.emergency_stop = true; });
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_EQ(bench.status(kX, kRegMode1), kStopEmergency);
  EXPECT_EQ(bench.status(kX, kRegMode2), kStatus2Emergency);
  bench.command(kX, kCmdContMinus);
  EXPECT_FALSE(bench.busy(kX));
}

TEST_F(Mechanics, InputByteCarriesTheConfiguredActiveLevels) {
  bench.set32(kX, kCmdPulses, 1000);
  bench.drive_seconds(kX, kCmdDrivePlus);  // at home (1000) and near home
  // Low-active levels: the active home inputs read 0, the idle index 1.
  EXPECT_EQ(bench.chip.read(kRegOutput) & 0xFF, kInputIndex);
  bench.write_mode(kX, kRegMode1, kMode1HomeLevel | kMode1NearHomeLevel);
  bench.write_mode(kX, kRegMode2, kMode2InpLogic);
  EXPECT_EQ(bench.chip.read(kRegOutput) & 0xFF,
            kInputHome | kInputNearHome | kInputInPosition | kInputIndex);
  set_mechanics([](AxisMechanics& m) { m.in3 = m.exp_minus = true; });
  EXPECT_NE(bench.chip.read(kRegOutput) & kInputIn3, 0);
  EXPECT_NE(bench.chip.read(kRegOutput) & kInputExpMinus, 0);
}

TEST_F(Mechanics, EncoderFollowsWithItsRatio) {
  set_mechanics([](AxisMechanics& m) { m.encoder_ratio = 2.5; });
  bench.set32(kX, kCmdSetEncCounter, 100);
  bench.set32(kX, kCmdPulses, 1000);
  bench.drive_seconds(kX, kCmdDrivePlus);
  EXPECT_EQ(static_cast<std::int32_t>(bench.read32(kX, kCmdReadEncCounter)), 2600);
}

TEST_F(Mechanics, SoftLimitCanWatchTheEncoder) {
  set_mechanics([](AxisMechanics& m) { m.encoder_ratio = 2.5; });
  bench.write_mode(kX, kRegMode2, kMode2SoftLimitPlus | kMode2CompareEncoder);
  bench.set32(kX, kCmdCompPlus, 7001);
  bench.set32(kX, kCmdPulses, 4000);
  bench.drive_seconds(kX, kCmdDrivePlus);
  EXPECT_EQ(bench.command_counter(kX), 2801);  // floor(2801 x 2.5) = 7002 >= 7001
  EXPECT_EQ(bench.status(kX, kRegMode2), kStatus2SoftLimitPlus);
}

TEST_F(Mechanics, InputBytesOfZAndUAreReadAtTheInterpolationRegister) {
  std::array<AxisMechanics, 4> axes{};
  axes[2].in3 = true;
  axes[3].exp_plus = true;
  ChipBench four(axes);
  constexpr unsigned kBenchInputs = kInputIn3 | kInputExpPlus | kInputExpMinus;
  EXPECT_EQ(four.chip.read(kRegInterpMode) & (kBenchInputs | kBenchInputs << 8),
            kInputIn3 | (kInputExpPlus << 8));
}

TEST_F(Mechanics, CountersAreSetWithoutMovingTheMachine) {
  bench.set32(kX, kCmdSetCmdCounter, static_cast<std::uint32_t>(-70000));
  EXPECT_EQ(bench.command_counter(kX), -70000);
  bench.set32(kX, kCmdPulses, 20000);
  bench.drive_seconds(kX, kCmdDrivePlus);  // the limit is still 5000 pulses away
  EXPECT_EQ(bench.command_counter(kX), -65000);
}

TEST_F(Mechanics, RingCounterWraps) {
  bench.set32(kX, kCmdCompPlus, 999);
  bench.ext_mode(kX, kExt1RingCounter, 0);
  bench.set32(kX, kCmdPulses, 2500);
  bench.drive_seconds(kX, kCmdDriveMinus);
  EXPECT_EQ(bench.command_counter(kX), 500);
  EXPECT_EQ(static_cast<std::int32_t>(bench.read32(kX, kCmdReadEncCounter)), 500);
}

TEST_F(Mechanics, In3LatchesTheCommandCounterWhenEnabled) {
  bench.write_mode(kX, kRegMode1, kMode1In3Enable | kMode1In3Logic);
  bench.command(kX, kCmdContPlus);
  bench.clock.advance(kNsPerSecond / 2);
  set_mechanics([](AxisMechanics& m) { m.in3 = true; });
  EXPECT_EQ(bench.read32(kX, kCmdReadLatch), 500u);
}

TEST_F(Mechanics, HandWheelDrivesPulsesPerDetent) {
  bench.set32(kX, kCmdPulses, 10);
  bench.write_mode(kX, kRegMode3, kMode3HandWheelSingle);
  set_mechanics([](AxisMechanics& m) { m.hand_wheel = 7; });
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.command_counter(kX), 70);
  bench.write_mode(kX, kRegMode3, 2 * kMode3HandWheelSingle);
  set_mechanics([](AxisMechanics& m) { m.hand_wheel = 4; });
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.command_counter(kX), 10);
}

// A wheel turning at a steady rate turns a detent every 1 / rate seconds on
// the card's clock, in the rate's direction, until the rate is 0 again.
TEST_F(Mechanics, HandWheelTurnsAtItsRate) {
  bench.set32(kX, kCmdPulses, 10);
  bench.write_mode(kX, kRegMode3, kMode3HandWheelSingle);
  set_mechanics([](AxisMechanics& m) { m.hand_wheel_rate = 20; });
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.chip.mechanics(0).hand_wheel, 20);
  bench.clock.advance(kNsPerSecond / 100);  // the last detent's pulses at 1000 PPS
  EXPECT_EQ(bench.command_counter(kX), 200);
  set_mechanics([](AxisMechanics& m) { m.hand_wheel_rate = -4; });
  bench.clock.advance(kNsPerSecond / 2 + kNsPerSecond / 100);
  EXPECT_EQ(bench.command_counter(kX), 180);
  set_mechanics([](AxisMechanics& m) { m.hand_wheel_rate = 0; });
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.command_counter(kX), 180);
}

TEST(MechanicsKeys, ReadsEveryKeyAndRefusesBadValues) {
  const AxisMechanics m = mechanics_from_keys({{"LimitPlus", "120000"}, {"limitminus", "-5"}, {"Home", "none"},
                                               {"NearHome", "40"}, {"IndexPeriod", "2000"},
                                               {"EncoderRatio", "0.5"}, {"Alarm", "yes"}, {"Other", "kept"},
                                               {"HandWheelRate", "-2.5"}});
  EXPECT_EQ(m.hand_wheel_rate, -2.5);
  EXPECT_THROW(mechanics_from_keys({{"HandWheelRate", "fast"}}), std::invalid_argument);
  EXPECT_THROW(mechanics_from_keys({{"HandWheelRate", "1e9"}}), std::invalid_argument);
  EXPECT_EQ(m.limit_plus, 120000);
  EXPECT_EQ(m.limit_minus, -5);
  EXPECT_FALSE(m.home.has_value());
  EXPECT_EQ(m.near_home, 40);
  EXPECT_EQ(m.index_period, 2000);
  EXPECT_DOUBLE_EQ(m.encoder_ratio, 0.5);
  EXPECT_TRUE(m.alarm);
  EXPECT_THROW(mechanics_from_keys({{"Home", "12x"}}), std::invalid_argument);
  EXPECT_THROW(mechanics_from_keys({{"EncoderRatio", "0"}}), std::invalid_argument);
  EXPECT_THROW(mechanics_from_keys({{"Alarm", "maybe"}}), std::invalid_argument);
  EXPECT_THROW(mechanics_from_keys({{"HomeWidth", "-1"}}), std::invalid_argument);
}

}  // namespace
}  // namespace card::chip::test
