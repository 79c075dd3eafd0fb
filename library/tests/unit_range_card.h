// Card 0 of the model under test on the manual clock, every axis at range
// 8,000,000 (M = 1: speeds 1..8,000 PPS, rates 125..1,000,000 PPS/s), with
// the helpers the move tests time and read it by.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "manual_clock_card.h"
#include "move_probe.h"

#ifdef RM7X0_MODEL_B
inline const char *const MODEL = "B";
#else
inline const char *const MODEL = "A";
#endif

constexpr std::uint64_t MS = 1000000;   // ns
constexpr std::uint64_t STEP = 100000;  // 0.1 ms

class UnitRangeCard : public testing::Test {
 protected:
  // axis_keys: machine-file keys of the card's axes (a limit switch ...).
  explicit UnitRangeCard(const std::string &axis_keys)
      : card_(card_section(0, MODEL, 0) + axis_keys) {
    for (std::uint16_t axis : {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U})
      EXPECT_EQ(RM7X0_NAME(set_range)(0, axis, 8000000), 0);
  }
  static std::int32_t counter(std::uint16_t axis) {
    std::int32_t value = 12345;
    EXPECT_EQ(RM7X0_NAME(get_cmdcounter)(0, axis, &value), 0);
    return value;
  }
  // Runs the axes of the mask to rest; the duration of each since t0 (s).
  static void run(unsigned mask, std::uint64_t t0, double seconds[4],
                  std::uint64_t limit = 10000 * MS) {
    std::uint64_t end[4] = {0, 0, 0, 0};
    probe_run_until_idle(mask, STEP, limit, end);
    for (int i = 0; i < 4; ++i) seconds[i] = end[i] ? (end[i] - t0) * 1e-9 : 0.0;
  }

 private:
  OpenCard card_;
};

// Ideal T-curve duration of N pulses from SV to V with rates A and D.
inline double t_curve_s(double n, double sv, double v, double a, double d) {
  return (v - sv) / a + (v - sv) / d + (n - (v * v - sv * sv) / (2 * a) -
                                        (v * v - sv * sv) / (2 * d)) / v;
}

#define EXPECT_DURATION(got, want) EXPECT_NEAR((got), (want), 0.0003)
