// The automatic home search: each step kind, alone and chained, and its end
// on a limit.
#include <gtest/gtest.h>

#include "chip_bench.h"

namespace card::chip::test {
namespace {

std::array<AxisMechanics, 4> homing_machine() {
  std::array<AxisMechanics, 4> axes{};
  axes[0].limit_plus = 50000;
  axes[0].limit_minus = -50000;
  axes[0].near_home = 20000;  // active 19,000 .. 21,000
  axes[0].near_home_width = 2000;
  axes[0].home = 20500;  // active 20,495 .. 20,505
  axes[0].home_width = 10;
  axes[0].index_period = 1000;
  return axes;
}

constexpr std::uint16_t step(int k, bool minus) {
  return static_cast<std::uint16_t>((kHomeStepEnable | (minus ? kHomeStepMinus : 0)) << (2 * (k - 1)));
}

struct HomeCase {
  const char* name;
  std::int32_t start;
  std::uint16_t steps;
  std::int32_t expected;
  std::uint16_t status2;
};

class HomeSearchSteps : public ::testing::TestWithParam<HomeCase> {
 protected:
  HomeSearchSteps() : bench(homing_machine()) {}
  void SetUp() override {
    bench.set32(kX, kCmdRange, kRangeM1);
    // 125,000 PPS/s: the near-home step stops 100 pulses after the band's edge.
    bench.load_speeds(kX, 100, 5000, 1000);
    bench.set16(kX, kCmdHomeSpeed, 500);
    bench.write_mode(kX, kRegMode3, 0);
  }
  void move_to(std::int32_t position) {
    if (position == 0) return;
    bench.set32(kX, kCmdPulses, static_cast<std::uint32_t>(std::abs(position)));
    bench.command(kX, position > 0 ? kCmdDrivePlus : kCmdDriveMinus);
    bench.clock.advance(100 * kNsPerSecond);
    ASSERT_EQ(bench.command_counter(kX), position);
  }
  ChipBench bench;
};

TEST_P(HomeSearchSteps, FindsHomeAndRaisesHomeEnd) {
  const HomeCase& c = GetParam();
  move_to(c.start);
  bench.set32(kX, kCmdPulses, 300);  // the home offset of step 4
  bench.ext_mode(kX, kExt1HomeEndEnable, c.steps);
  bench.interrupt_at.reset();
  bench.command(kX, kCmdHomeStart);
  EXPECT_EQ(bench.busy(kX), c.steps != 0);
  bench.clock.advance(300 * kNsPerSecond);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_TRUE(bench.interrupt_at.has_value());
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorHomeEnd);
  EXPECT_EQ(bench.command_counter(kX), c.expected);
  EXPECT_EQ(bench.status(kX, kRegMode2), c.status2);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, HomeSearchSteps,
    ::testing::Values(HomeCase{"HomePlus", 0, step(2, false), 20495, 0},
                      HomeCase{"HomeMinus", 30000, step(2, true), 20505, 0},
                      HomeCase{"NearHomeThenHome", 0, step(1, false) | step(2, false), 20495, 0},
                      HomeCase{"HomeActiveAtStartBacksOff", 20500, step(2, false), 20495, 0},
                      HomeCase{"HomeThenIndex", 0, step(2, false) | step(3, false), 21000, 0},
                      HomeCase{"IndexMinus", 2500, step(3, true), 2000, 0},
                      HomeCase{"HomeThenOffset", 0, step(2, false) | step(4, false), 20795, 0},
                      HomeCase{"AllFourSteps", 40000,
                               step(1, true) | step(2, true) | step(3, true) | step(4, true), 19700, 0},
                      HomeCase{"StopsOnALimit", 0, step(2, true), -50000, kStatus2LimitMinus},
                      HomeCase{"NoSteps", 0, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HomeSearch, StopCommandEndsTheSearchWithHomeEnd) {
  ChipBench bench(homing_machine());
  bench.set32(kX, kCmdRange, kRangeM1);
  bench.set16(kX, kCmdHomeSpeed, 500);
  bench.ext_mode(kX, kExt1HomeEndEnable, step(2, false));
  bench.command(kX, kCmdHomeStart);
  bench.clock.advance(kNsPerSecond);
  bench.command(kX, kCmdSuddenStop);
  EXPECT_FALSE(bench.busy(kX));
  EXPECT_EQ(bench.status(kX, kRegMode3), kFactorHomeEnd);
  EXPECT_EQ(bench.command_counter(kX), 500);
}

}  // namespace
}  // namespace card::chip::test
