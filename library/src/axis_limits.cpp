// The limits of an axis follow from its multiplier M = 8,000,000 / range: a
// legal speed gives a chip word of 1..8,000 (speed / M), a legal acceleration
// likewise (acceleration / (125 M)), and a legal jerk a word of 1..65,535
// (62,500,000 M / jerk).
#include <cmath>

#include "card_table.h"
#include "checks.h"

namespace {

constexpr double TWO_TO_32 = 4294967296.0;

uint32_t jerk_max_for(double multiplier) {
  const double jerk = 62500000.0 * multiplier;
  return jerk >= TWO_TO_32 ? 0xFFFFFFFFu : static_cast<uint32_t>(std::floor(jerk));
}

}  // namespace

double multiplier_for_range(uint32_t range) {
  return static_cast<double>(8000000.0f / static_cast<float>(range));
}

void update_axis_limits(uint8_t card) {
  for (AxisBlock &axis : card_table.cards[card].axes) {
    const double m = axis.multiplier;
    axis.jerk_max = jerk_max_for(m);
    axis.jerk_min = static_cast<uint32_t>(62500000.0 * m / 65535.0);
    axis.acc_min = static_cast<uint32_t>(std::ceil(125.0 * m));
    axis.acc_max = static_cast<uint32_t>(std::floor(1000000.0 * m));
    axis.speed_min = static_cast<uint32_t>(std::ceil(m));
    axis.speed_max = static_cast<uint32_t>(std::floor(8000.0 * m));
  }
}
