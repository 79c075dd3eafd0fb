// The two-axis arc move with a T-curve vector profile, and its deceleration
// point. Speeds in PPS, ACC in PPS/s (milliseconds with the card's
// rates-as-times option); centre and end point in pulses relative to the start.
#include <cmath>
#include <cstdlib>

#include "arc_decel_point.h"
#include "argument_checks.h"
#include "chip_rates.h"
#include "interpolation.h"
#include "model.h"
#include "unit_conversion.h"

namespace {


struct Partial {
  int64_t start, end;
};

// The steps of the first octant after the start vector s and of the last
// octant before the end vector u, by the octants' position in their quadrant.
Partial partial_steps(bool clockwise, int start_octant, int end_octant, int64_t length,
                      int64_t sx, int64_t sy, int64_t ux, int64_t uy) {
  const int64_t start_by_octant[2][4] = {
      {length - std::llabs(sy), std::llabs(sx), length - std::llabs(sx), std::llabs(sy)},
      {std::llabs(sy), length - std::llabs(sx), std::llabs(sx), length - std::llabs(sy)}};
  const int64_t end_by_octant[2][4] = {
      {std::llabs(uy), length - std::llabs(ux), std::llabs(ux), length - std::llabs(uy)},
      {length - std::llabs(uy), std::llabs(ux), length - std::llabs(ux), std::llabs(uy)}};
  return {start_by_octant[clockwise][start_octant % 4], end_by_octant[clockwise][end_octant % 4]};
}

// Whole octants between the first and the last, in the arc's direction
// (-1 when both are the same).
int64_t whole_octants(bool clockwise, int start_octant, int end_octant) {
  const int ahead = clockwise ? start_octant - end_octant : end_octant - start_octant;
  if (ahead == 0) return -1;
  return ahead > 0 ? ahead - 1 : ahead + 7;
}

}  // namespace

int arc_octant(int64_t x, int64_t y, bool clockwise, bool is_start) {
  const int64_t ax = std::llabs(x), ay = std::llabs(y);
  // The quadrant's two octants: its first (from an axis) and its second.
  const int first = x >= 0 ? (y >= 0 ? 0 : 6) : (y >= 0 ? 2 : 4);
  if (ax == ay) return first + ((clockwise == is_start) ? 0 : 1);
  // Octants 0, 4 begin on the master axis, 2, 6 on the second axis.
  const bool near_master_axis = ay < ax;
  const bool second = (first == 0 || first == 4) ? !near_master_axis : near_master_axis;
  return first + (second ? 1 : 0);
}

int64_t arc_steps(uint16_t direction, int32_t cx, int32_t cy, int32_t ex, int32_t ey) {
  const bool clockwise = direction == ARC_CLOCKWISE;
  const int64_t sx = -static_cast<int64_t>(cx), sy = -static_cast<int64_t>(cy);
  const int64_t ux = static_cast<int64_t>(ex) - cx, uy = static_cast<int64_t>(ey) - cy;
  const auto length = static_cast<int64_t>(
      std::sqrt(static_cast<double>(sx * sx + sy * sy)) / std::sqrt(2.0));
  if (ex == 0 && ey == 0) return 8 * length;
  const int start_octant = arc_octant(sx, sy, clockwise, true);
  const int end_octant = arc_octant(ux, uy, clockwise, false);
  const Partial part = partial_steps(clockwise, start_octant, end_octant, length, sx, sy, ux, uy);
  return part.start + part.end + length * whole_octants(clockwise, start_octant, end_octant);
}

// The ramps must fit in the steps before the last AO: an arc too short to
// reach DV and come down again turns at the middle of them, where the ramps
// up and down meet. The ramp down is rounded up to whole steps: a point a
// fraction early adds a creep at SV, one late would end the arc at speed.
int32_t arc_decel_point(uint16_t direction, double sv, double dv, double acc, int32_t cx,
                        int32_t cy, int32_t ex, int32_t ey, int16_t ao) {
  if (!(acc > 0)) return 0;
  const int64_t room = arc_steps(direction, cx, cy, ex, ey) - ao;
  if (room <= 0) return 0;
  const double sv2 = sv * sv;
  double decel = (dv * dv - sv2) / (2 * acc);
  if (room <= 2 * decel) decel = static_cast<double>(room) / 2;  // the peak sqrt(ACC room + SV^2)
  const auto steps = static_cast<int64_t>(std::ceil(decel - 1e-9));
  if (steps <= 0) return 0;
  return static_cast<int32_t>(room - steps);
}

// Exported as rm720_t_arc2_move and rm730_t_arc2_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_arc2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                               uint32_t sv, uint32_t dv, uint32_t acc,
                                               uint16_t direction, int32_t cx, int32_t cy,
                                               int32_t ex, int32_t ey, int16_t ao,
                                               uint16_t wait) {
  if (direction != ARC_CLOCKWISE && direction != ARC_COUNTER_CLOCKWISE)
    return ERROR_INVALID_INTERPOLATION_ARC_DIRECTION;
  const InterpAxes axes = {{master, slave, 0}, 2};
  const int32_t no_distances[3] = {};
  if (ApiStatus status = check_interpolation(card, API_T_ARC2_MOVE, axes, no_distances, wait))
    return status;
  acc = acceleration_argument(card, sv, dv, acc);
  const bool constant_speed = sv == dv;
  SpeedProfile profile{};
  profile.kind = constant_speed ? PROFILE_CONSTANT_SPEED : PROFILE_T_CURVE_OWN_DECEL;
  profile.start_speed = static_cast<int32_t>(sv);
  profile.drive_speed = dv;
  profile.acceleration = static_cast<int32_t>(acc);
  profile.deceleration = acc;
  if (ApiStatus status = profile_to_registers(card, master, &profile)) return status;
  int32_t decel_point = 0;
  if (!constant_speed) {
    // Planned from what the chip runs: the words, not the raw rates.
    const double m = chip_multiplier_of(card, master);
    decel_point = arc_decel_point(direction, chip_speed(profile.start_speed_word, m),
                                  chip_speed(profile.drive_speed_word, m),
                                  chip_acceleration(profile.acceleration_word, m), cx, cy, ex, ey,
                                  ao);
    // A point at or before the start cannot be given to the chip.
    if (decel_point <= 0) return ERROR_ARC_DECELERATION_POINT_CALCULATE;
  }

  DriverRequest block{};
  preset_status(block);
  put_u32(block, INTERP_ASSIGNMENT, assignment_word(axes));
  put_u32(block, INTERP_PROFILE + MOVE_PROFILE_START_SPEED, profile.start_speed_word);
  put_u32(block, INTERP_PROFILE + MOVE_PROFILE_DRIVE_SPEED, profile.drive_speed_word);
  put_u32(block, INTERP_PROFILE + MOVE_PROFILE_RATE, profile.acceleration_word);
  put_u32(block, T_ARC2_MOVE_DIRECTION, direction);
  put_u32(block, INTERP_MODE, constant_speed ? MODE_CONSTANT_SPEED : MODE_DECEL_POINT);
  put_i32(block, T_ARC2_MOVE_CENTER, cx);
  put_i32(block, T_ARC2_MOVE_CENTER + 1, cy);
  put_i32(block, T_ARC2_MOVE_FINISH, ex);
  put_i32(block, T_ARC2_MOVE_FINISH + 1, ey);
  put_i32(block, T_ARC2_MOVE_DECEL_POINT, decel_point);
  put_u32(block, T_ARC2_MOVE_WAIT, wait);
  return send_interpolation(card, REQ_T_ARC2_MOVE, block, ERROR_T_ARC2_START, master, wait);
}
