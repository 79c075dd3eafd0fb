// Two- and three-axis line moves with a T-curve or S-curve vector profile.
// Speeds in PPS of the line's longest axis; ACC and DEC in PPS/s, JERK and
// DEC_RATE in PPS/s^2 (milliseconds with the card's rates-as-times option);
// distances and AO in pulses.
#include <algorithm>
#include <cmath>

#include "argument_checks.h"
#include "card_options.h"
#include "card_table.h"
#include "checks.h"
#include "chip_rates.h"
#include "interpolation.h"
#include "model.h"
#include "move_all.h"
#include "s_curve_plan.h"
#include "unit_conversion.h"

namespace {

constexpr uint32_t T_MODE_SYMMETRIC = 0;

struct LineMove {
  uint16_t api_id;
  DWORD code;
  ApiStatus own_failure;
  bool s_curve;
  uint8_t card;
  InterpAxes axes;
  uint32_t sv, dv;
  uint32_t rate, decel_rate;  // ACC and DEC, or JERK and DEC_RATE
  int32_t distance[3];
  int16_t ao;
  uint16_t wait;
};

const AxisBlock &axis_block(uint8_t card, uint16_t axis) {
  return card_table.cards[card].axes[axis_index(axis)];
}

// The drive speed that the master's own maximum allows: DV below it, else
// the speed of the word DV converts to (clamped with the card's option).
ApiStatus master_speed(const LineMove &line, uint32_t *speed) {
  const AxisBlock &master = axis_block(line.card, line.axes.bit[0]);
  if (line.dv < master.speed_max) {
    *speed = line.dv;
    return SUCCESS_NO_ERROR;
  }
  uint16_t word = 0;
  if (!speed_to_register(line.card, line.axes.bit[0], line.dv, &word))
    return ERROR_INVALID_DRIVING_SPEED;
  *speed = static_cast<uint32_t>(word * master.multiplier);
  return SUCCESS_NO_ERROR;
}

// The line runs its longest axis at the vector speed and every other axis
// in proportion to its distance: the speed is lowered until no partner
// would pass its own maximum. A master that does not move keeps DV.
ApiStatus lowered_speed(const LineMove &line, uint32_t *speed) {
  uint32_t v = line.dv;
  if (line.distance[0] != 0)
    if (ApiStatus status = master_speed(line, &v)) return status;
  const double longest = max_abs3(line.distance[0], line.distance[1], line.distance[2]);
  for (int position = 1; position < line.axes.count; ++position) {
    const uint32_t distance = distance_of(line.distance[position]);
    if (distance == 0) continue;
    const double max = axis_block(line.card, line.axes.bit[position]).speed_max;
    v = std::min(v, static_cast<uint32_t>(std::trunc(max * longest / distance)));
  }
  *speed = v;
  return SUCCESS_NO_ERROR;
}

bool speed_lowering_on(uint8_t card) {
  return card_options.line_speed_from_distances[card] && !card_options.line_speed_as_given[card];
}

// Converts the line's profile on the master; *mode and *tail (AO, or the
// deceleration point of S-curve mode 7) complete the request.
ApiStatus line_profile(LineMove &line, SpeedProfile *profile, uint32_t *mode, uint32_t *tail) {
  const uint8_t card = line.card;
  if (line.s_curve) {
    // A deceleration jerk of 0 is the jerk, as for the single-axis S-curve move.
    if (line.decel_rate == 0) line.decel_rate = line.rate;
    line.rate = jerk_argument(card, line.sv, line.dv, line.rate);
    line.decel_rate = jerk_argument(card, line.sv, line.dv, line.decel_rate);
  } else {
    line.rate = acceleration_argument(card, line.sv, line.dv, line.rate);
    line.decel_rate = acceleration_argument(card, line.sv, line.dv, line.decel_rate);
  }
  uint32_t drive_speed = line.dv;
  if (speed_lowering_on(card))
    if (ApiStatus status = lowered_speed(line, &drive_speed)) return status;

  *profile = SpeedProfile{};
  profile->start_speed = static_cast<int32_t>(line.sv);
  profile->drive_speed = drive_speed;
  if (line.s_curve) {
    profile->kind = PROFILE_S_CURVE;
    profile->jerk = static_cast<int32_t>(line.rate);
    profile->deceleration_jerk = static_cast<int32_t>(line.decel_rate);
    *mode = line.rate == line.decel_rate ? S_MODE_CHIP_PROFILE : S_MODE_DECEL_POINT;
  } else {
    profile->kind = line.sv == line.dv ? PROFILE_CONSTANT_SPEED : PROFILE_T_CURVE_OWN_DECEL;
    profile->acceleration = static_cast<int32_t>(line.rate);
    profile->deceleration = line.decel_rate;
    *mode = line.sv == line.dv             ? MODE_CONSTANT_SPEED
            : line.rate == line.decel_rate ? T_MODE_SYMMETRIC
                                           : MODE_OWN_DECELERATION;
  }
  const uint16_t master = line.axes.bit[0];
  if (ApiStatus status = profile_to_registers(card, master, profile)) return status;

  *tail = static_cast<uint32_t>(static_cast<int32_t>(line.ao));
  if (line.s_curve && *mode == S_MODE_DECEL_POINT) {
    // Planned as a single-axis move over the steps of the path: the chip
    // counts a line's progress in pulses of its longest axis.
    SMove move;
    move.sv = line.sv;
    move.dv = drive_speed;
    move.jerk = line.rate;
    move.decel_jerk = line.decel_rate;
    move.pulses = static_cast<int32_t>(max_abs3(line.distance[0], line.distance[1], line.distance[2]));
    move.offset = line.ao;
    move.profile = *profile;
    move.mode = S_MODE_DECEL_POINT;
    if (ApiStatus status = plan_s_decel_point(card, master, &move)) return status;
    *profile = move.profile;
    *tail = move.tail;
  }
  return SUCCESS_NO_ERROR;
}

ApiStatus line_move(LineMove line) {
  if (ApiStatus status =
          check_interpolation(line.card, line.api_id, line.axes, line.distance, line.wait))
    return status;
  SpeedProfile profile;
  uint32_t mode = 0, tail = 0;
  if (ApiStatus status = line_profile(line, &profile, &mode, &tail)) return status;

  DriverRequest block{};
  preset_status(block);
  put_u32(block, INTERP_ASSIGNMENT, assignment_word(line.axes));
  put_u32(block, INTERP_PROFILE + MOVE_PROFILE_START_SPEED, profile.start_speed_word);
  put_u32(block, INTERP_PROFILE + MOVE_PROFILE_DRIVE_SPEED, profile.drive_speed_word);
  put_u32(block, INTERP_PROFILE + MOVE_PROFILE_RATE,
          line.s_curve ? profile.jerk_word : profile.acceleration_word);
  put_u32(block, INTERP_PROFILE + MOVE_PROFILE_DECEL_RATE,
          line.s_curve ? profile.deceleration_jerk_word : profile.deceleration_word);
  put_u32(block, INTERP_MODE, mode);
  for (int position = 0; position < line.axes.count; ++position)
    put_i32(block, INTERP_FINISH + position, line.distance[position]);
  const bool three_axes = line.axes.count == 3;
  put_u32(block, three_axes ? LINE3_MOVE_TAIL : LINE2_MOVE_TAIL, tail);
  put_u32(block, three_axes ? LINE3_MOVE_WAIT : LINE2_MOVE_WAIT, line.wait);
  return send_interpolation(line.card, line.code, block, line.own_failure, line.axes.bit[0],
                            line.wait);
}

}  // namespace

// Exported as rm720_t_line2_move and rm730_t_line2_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_line2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                                uint32_t sv, uint32_t dv, uint32_t acc,
                                                uint32_t dec, int32_t d1, int32_t d2, int16_t ao,
                                                uint16_t wait) {
  return line_move({API_T_LINE2_MOVE, REQ_T_LINE2_MOVE, ERROR_T_LINE2_START, false, card,
                    {{master, slave, 0}, 2}, sv, dv, acc, dec, {d1, d2, 0}, ao, wait});
}

// Exported as rm720_t_line3_move and rm730_t_line3_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_line3_move)(uint8_t card, uint16_t master, uint16_t slave1,
                                                uint16_t slave2, uint32_t sv, uint32_t dv,
                                                uint32_t acc, uint32_t dec, int32_t d1, int32_t d2,
                                                int32_t d3, int16_t ao, uint16_t wait) {
  return line_move({API_T_LINE3_MOVE, REQ_T_LINE3_MOVE, ERROR_T_LINE3_START, false, card,
                    {{master, slave1, slave2}, 3}, sv, dv, acc, dec, {d1, d2, d3}, ao, wait});
}

// Exported as rm720_s_line2_move and rm730_s_line2_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_line2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                                uint32_t sv, uint32_t dv, uint32_t jerk,
                                                uint32_t dec_rate, int32_t d1, int32_t d2,
                                                int16_t ao, uint16_t wait) {
  return line_move({API_S_LINE2_MOVE, REQ_S_LINE2_MOVE, ERROR_S_LINE2_START, true, card,
                    {{master, slave, 0}, 2}, sv, dv, jerk, dec_rate, {d1, d2, 0}, ao, wait});
}

// Exported as rm720_s_line3_move and rm730_s_line3_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_line3_move)(uint8_t card, uint16_t master, uint16_t slave1,
                                                uint16_t slave2, uint32_t sv, uint32_t dv,
                                                uint32_t jerk, uint32_t dec_rate, int32_t d1,
                                                int32_t d2, int32_t d3, int16_t ao,
                                                uint16_t wait) {
  return line_move({API_S_LINE3_MOVE, REQ_S_LINE3_MOVE, ERROR_S_LINE3_START, true, card,
                    {{master, slave1, slave2}, 3}, sv, dv, jerk, dec_rate, {d1, d2, d3}, ao,
                    wait});
}
