// The U-shaped move (model A): a lift axis rises to a safe height, one or two
// travel axes run to their targets once the lift is within its blend of the
// top, and the lift lowers to its final height once the travel is within its
// blend of the target. The card chains the three legs itself: each next leg
// is loaded with its starts held, and an interrupt action on the comparator
// of the leg before it (or on the lift's drive end) releases or starts it.
// Positions, targets and blends in pulses (absolute coordinates), speeds in
// PPS, jerks in PPS/s^2.
#ifndef RM7X0_MODEL_B

#include <cstdlib>
#include <initializer_list>

#include "card_table.h"
#include "checks.h"
#include "model.h"
#include "move_all.h"

namespace {

// Profile index of each leg in the caller's SV, DV, JERK and DEC_RATE arrays.
enum Leg : int { LIFT = 0, TRAVEL = 1, LOWERING = 2, LEGS = 3 };

constexpr int64_t LIFT_BLEND_MIN = 10;
constexpr int64_t TRAVEL_BLEND_MIN = 1;
// Interrupt factors (bits 8-15) and synch conditions of the comparator COMP+,
// which each moving axis passes at its trigger point.
constexpr uint16_t FACTOR_PASSED_COUNTING_DOWN = 2048;
constexpr uint16_t FACTOR_PASSED_COUNTING_UP = 4096;
constexpr uint16_t SYNCH_PASSED_COUNTING_UP = 1;
constexpr uint16_t SYNCH_PASSED_COUNTING_DOWN = 2;
constexpr uint16_t SYNCH_ON = 1;
constexpr uint16_t NO_AXIS = 0;

// The caller's arrays, copied once so that a bad pointer is refused before
// anything moves.
struct UMoveArgs {
  uint16_t axis[3];      // lift, travel 1, travel 2 (0: none)
  int32_t target[4];     // lift up, travel 1, travel 2, lift final
  int32_t blend[3];      // lift, travel 1, travel 2
  uint32_t sv[LEGS], dv[LEGS], jerk[LEGS], dec_rate[LEGS];
};

// One axis's move to a target, and the point before the target at which the
// next leg starts.
struct AxisLeg {
  uint16_t axis = NO_AXIS;
  int32_t target = 0;
  int64_t distance = 0;  // |target - absolute position now|
  int64_t blend = 0;
  uint16_t factor = 0;   // interrupt factor raised at the trigger
  uint16_t synch = 0;    // synch condition of the same passing
  uint32_t trigger = 0;  // command counter of the trigger point

  bool used() const { return axis != NO_AXIS; }
  // Only an axis that starts outside its blend passes its trigger point.
  bool passes_trigger() const { return used() && distance > blend; }
};

template <typename T, int N>
bool copy_array(const T *caller, T (&copy)[N]) {
  for (int i = 0; i < N; ++i)
    if (!load_entry(caller, i, &copy[i])) return false;
  return true;
}

ApiStatus copy_args(const int16_t *axes, const int32_t *targets, const int32_t *blends,
                    const uint32_t *sv, const uint32_t *dv, const uint32_t *jerk,
                    const uint32_t *dec_rate, UMoveArgs *args) {
  int16_t axis[3];
  if (!copy_array(axes, axis) || !copy_array(targets, args->target) ||
      !copy_array(blends, args->blend) || !copy_array(sv, args->sv) ||
      !copy_array(dv, args->dv) || !copy_array(jerk, args->jerk) ||
      !copy_array(dec_rate, args->dec_rate))
    return ERROR_ACCESS_VIOLATION_DATA_COPY;
  for (int i = 0; i < 3; ++i) args->axis[i] = static_cast<uint16_t>(axis[i]);
  return SUCCESS_NO_ERROR;
}

// One bit each, and three different axes: a lift among the travel axes
// would be its own synch partner, two equal travel axes no line.
ApiStatus check_axes(const UMoveArgs &args) {
  const uint16_t lift = args.axis[0], travel1 = args.axis[1], travel2 = args.axis[2];
  for (uint16_t axis : {lift, travel1}) {
    if (const int index = axis_index(axis); index < 0) return static_cast<ApiStatus>(index);
  }
  if (travel2 != NO_AXIS)
    if (const int index = axis_index(travel2); index < 0) return static_cast<ApiStatus>(index);
  if (lift == travel1 || lift == travel2) return ERROR_INVALID_SYNCHRONOUS_AXES;
  if (travel1 == travel2) return ERROR_INVALID_INTERPOLATION_SLAVE_AXES;
  return SUCCESS_NO_ERROR;
}

// Where the axis stands against its target, and its trigger point: `blend`
// before the target on the side the axis comes from, in command-counter
// units (the absolute position may follow the encoder).
ApiStatus plan_leg(uint8_t card, uint16_t axis, int32_t target, int64_t blend, AxisLeg *leg) {
  int32_t position = 0, counter = 0;
  if (ApiStatus status = rm720_get_abs_position(card, axis, &position)) return status;
  if (ApiStatus status = rm720_get_cmdcounter(card, axis, &counter)) return status;
  const bool down = target < position;
  const int64_t trigger = down ? int64_t{target} + blend : int64_t{target} - blend;
  *leg = AxisLeg{.axis = axis,
                 .target = target,
                 .distance = std::llabs(int64_t{target} - position),
                 .blend = blend,
                 .factor = down ? FACTOR_PASSED_COUNTING_DOWN : FACTOR_PASSED_COUNTING_UP,
                 .synch = down ? SYNCH_PASSED_COUNTING_DOWN : SYNCH_PASSED_COUNTING_UP,
                 .trigger = static_cast<uint32_t>(trigger + counter - position)};
  return SUCCESS_NO_ERROR;
}

int64_t blend_at_least(int32_t blend, int64_t least) {
  const int64_t magnitude = std::llabs(int64_t{blend});
  return magnitude < least ? least : magnitude;
}

ApiStatus is_moving(uint8_t card, const AxisLeg &leg, bool *moving) {
  *moving = false;
  if (!leg.used()) return SUCCESS_NO_ERROR;
  uint8_t done = 0;
  int16_t state = 0;
  if (ApiStatus status = rm720_motion_done(card, leg.axis, &done, &state)) return status;
  *moving = done != 1;
  return SUCCESS_NO_ERROR;
}

// A previous run still under way ends here: the lift, and the travel axes
// when any of them drives, have their held starts released and are stopped
// at once (the stop also disarms the actions chained to them).
ApiStatus stop_previous_run(uint8_t card, uint16_t lift, bool lift_moving, uint16_t travel_axes,
                            bool travel_moving) {
  if (lift_moving) {
    if (ApiStatus status = rm720_drv_start(card, lift)) return status;
    if (ApiStatus status = rm720_stop_move(card, lift, STOP_SUDDEN)) return status;
  }
  if (travel_moving) {
    if (ApiStatus status = rm720_drv_start(card, travel_axes)) return status;
    if (ApiStatus status = rm720_stop_move_all(card, travel_axes, STOP_SUDDEN)) return status;
  }
  return SUCCESS_NO_ERROR;
}

ApiStatus s_move_to(uint8_t card, const UMoveArgs &args, Leg leg, uint16_t axis, int32_t target) {
  return rm720_s_abs_move(card, axis, args.sv[leg], args.dv[leg], args.jerk[leg],
                          args.dec_rate[leg], target, 0);
}

// The comparator COMP+ of the axis at its trigger point; its passing raises
// the leg's factor.
ApiStatus arm_trigger(uint8_t card, const AxisLeg &leg, uint16_t partner) {
  return rm720_set_synch(card, leg.axis, SYNCH_ON, partner, leg.synch, 0, 0, 0, leg.trigger, 0);
}

// The lowering: loaded now behind the lift's held start, or started by the
// driver as a relative move from the top once the lift has ended.
ApiStatus prepare_lowering(uint8_t card, const UMoveArgs &args, const AxisLeg &lift,
                           bool lift_rises, int32_t final_position) {
  if (!lift_rises) return s_move_to(card, args, LOWERING, lift.axis, final_position);
  const int32_t record[5] = {static_cast<int32_t>(args.sv[LOWERING]),
                             static_cast<int32_t>(args.dv[LOWERING]),
                             static_cast<int32_t>(args.jerk[LOWERING]),
                             static_cast<int32_t>(args.dec_rate[LOWERING]),
                             static_cast<int32_t>(int64_t{final_position} - lift.target)};
  return rm720_set_int_action(card, lift.axis, INT_FACTOR_DRIVE_END, lift.axis, ACTION_S_MOVE,
                              record);
}

ApiStatus start_travel(uint8_t card, const UMoveArgs &args, const AxisLeg &travel1,
                       const AxisLeg &travel2) {
  if (!travel2.used()) return s_move_to(card, args, TRAVEL, travel1.axis, travel1.target);
  return rm720_s_abs_line2_move(card, travel1.axis, travel2.axis, args.sv[TRAVEL],
                                args.dv[TRAVEL], args.jerk[TRAVEL], args.dec_rate[TRAVEL],
                                travel1.target, travel2.target, 0, 0);
}

// The travel axes wait, held, until the lift passes its trigger point.
ApiStatus chain_travel_to_lift(uint8_t card, const AxisLeg &lift, const AxisLeg &travel1,
                               uint16_t travel_axes) {
  if (ApiStatus status = arm_trigger(card, lift, travel1.axis)) return status;
  return rm720_set_int_action(card, lift.axis, lift.factor, travel_axes, ACTION_RELEASE, nullptr);
}

// The held lowering starts once every travel axis that passes its trigger
// point has passed it; with none to pass, at once, and nothing stays armed.
ApiStatus chain_lowering_to_travel(uint8_t card, const AxisLeg &lift, const AxisLeg (&travel)[2]) {
  uint16_t sources = 0, factor = 0;
  for (const AxisLeg &leg : travel) {
    if (!leg.passes_trigger()) continue;
    sources |= leg.axis;
    factor |= leg.factor;
  }
  if (sources == 0) return rm720_drv_start(card, lift.axis);
  for (const AxisLeg &leg : travel) {
    if (!leg.passes_trigger()) continue;
    if (ApiStatus status = arm_trigger(card, leg, lift.axis)) return status;
  }
  return rm720_set_int_action(card, sources, factor, lift.axis, ACTION_RELEASE, nullptr);
}

}  // namespace

// Every status is examined: a hold or a trigger that did not take would
// leave a leg held for ever while the call reported success. A failure once
// the lift has started leaves the legs already armed; the caller stops the
// axes.
RM7X0_EXPORT ApiStatus rm720_s_abs_u_shaped_move(uint8_t card, const int16_t *axes,
                                                 const int32_t *targets, const int32_t *blends,
                                                 const uint32_t *sv, const uint32_t *dv,
                                                 const uint32_t *jerk, const uint32_t *dec_rate) {
  if (ApiStatus status = check_card(card)) return status;
  UMoveArgs args{};
  if (ApiStatus status = copy_args(axes, targets, blends, sv, dv, jerk, dec_rate, &args))
    return status;
  if (ApiStatus status = check_axes(args)) return status;

  AxisLeg lift, travel[2];
  if (ApiStatus status = plan_leg(card, args.axis[0], args.target[0],
                                  blend_at_least(args.blend[0], LIFT_BLEND_MIN), &lift))
    return status;
  for (int i = 0; i < 2; ++i) {
    if (args.axis[1 + i] == NO_AXIS) continue;
    if (ApiStatus status =
            plan_leg(card, args.axis[1 + i], args.target[1 + i],
                     blend_at_least(args.blend[1 + i], TRAVEL_BLEND_MIN), &travel[i]))
      return status;
  }
  const uint16_t travel_axes = travel[0].axis | travel[1].axis;

  bool lift_moving = false, travel_moving[2] = {};
  if (ApiStatus status = is_moving(card, lift, &lift_moving)) return status;
  for (int i = 0; i < 2; ++i)
    if (ApiStatus status = is_moving(card, travel[i], &travel_moving[i])) return status;
  if (ApiStatus status = stop_previous_run(card, lift.axis, lift_moving, travel_axes,
                                           travel_moving[0] || travel_moving[1]))
    return status;

  // The lift rises unless it is up already or the travel is too short to
  // need it; otherwise it goes straight to its final position.
  const bool lift_rises = lift.distance != 0 && travel[0].passes_trigger();
  if (lift_rises)
    if (ApiStatus status = s_move_to(card, args, LIFT, lift.axis, lift.target)) return status;
  if (ApiStatus status = rm720_drv_hold(card, lift.axis)) return status;
  if (ApiStatus status = prepare_lowering(card, args, lift, lift_rises, args.target[3]))
    return status;

  const bool travel_waits = lift_rises && lift.passes_trigger();
  if (travel_waits)
    if (ApiStatus status = rm720_drv_hold(card, travel_axes)) return status;
  if (ApiStatus status = start_travel(card, args, travel[0], travel[1])) return status;
  if (travel_waits)
    if (ApiStatus status = chain_travel_to_lift(card, lift, travel[0], travel_axes))
      return status;
  return chain_lowering_to_travel(card, lift, travel);
}

#endif
