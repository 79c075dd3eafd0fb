// Continuous interpolation segment by segment: begin opens it on two or three
// axes, the caller feeds each segment when next-ready says the chip has room,
// end closes it. Every segment's end point is kept as its axes' last absolute
// target, so that segments may be given in absolute coordinates too.
#include "conti_interp.h"

#include "absolute_position.h"
#include "axes_move.h"
#include "axis_position.h"
#include "checks.h"
#include "model.h"
#include "request.h"
#include "unit_conversion.h"

namespace {

constexpr uint32_t VECTOR_SPEED_MAX = 2000000;  // PPS
// A partner's range against the master's, so that the vector of two or
// three axes runs at the master's speed.
constexpr double SECOND_AXIS_RANGE_SCALE = 1.414213;
constexpr double THIRD_AXIS_RANGE_SCALE = 1.73205;
constexpr uint8_t THIRD_AXIS_NONE = 255;
constexpr uint16_t LINE_MODE_MAX = 4;
constexpr uint16_t ARC_MODE_MAX = 1;

// One segment for the driver: end point (and arc centre) relative to where
// the segment begins, or absolute before conversion.
struct Segment {
  bool arc;
  int axis_count;
  int32_t end[3];
  int32_t center[2];
  uint16_t direction;
};

Segment line(int32_t x, int32_t y) { return {false, 2, {x, y, 0}, {0, 0}, 0}; }
Segment line(int32_t x, int32_t y, int32_t z) { return {false, 3, {x, y, z}, {0, 0}, 0}; }
Segment arc(uint16_t direction, int32_t cx, int32_t cy, int32_t ex, int32_t ey) {
  return {true, 2, {ex, ey, 0}, {cx, cy}, direction};
}

// Modes 1, 2 and 4 continue from the last targets, 0 and 3 from the counters.
uint8_t position_base(uint16_t mode) {
  return mode == 1 || mode == 2 || mode == 4 ? FROM_LAST_TARGET : FROM_COUNTER;
}

const uint16_t *run_axes(uint8_t card) { return card_table.cards[card].conti.axes; }

// The end points become the last absolute targets of the run's axes. The
// third axis of a run that a two-axis segment leaves where it stands keeps
// its target, or gets the place it stands at, so that a three-axis segment
// can follow.
void keep_targets(uint8_t card, const Segment &segment, const int32_t target[3]) {
  const uint16_t *axes = run_axes(card);
  for (int k = 0; k < 3; ++k) {
    if (axes[k] == 0) continue;
    AxisMotionState &motion = motion_of(card, axes[k]);
    int32_t standing = 0;
    if (k < segment.axis_count) {
      motion.last_abs_target = target[k];
    } else if (motion.last_target_valid ||
               relative_to_abs(card, axes[k], 0, &standing, FROM_COUNTER) != SUCCESS_NO_ERROR) {
      continue;
    } else {
      motion.last_abs_target = standing;
    }
    motion.last_target_valid = 1;
  }
}

ApiStatus send_segment(uint8_t card, const Segment &segment, uint16_t mode) {
  const ApiStatus failure = segment.arc                 ? ERROR_CONTI_INTERP_ARC2_MOVE
                            : segment.axis_count == 3 ? ERROR_CONTI_INTERP_LINE3_MOVE
                                                      : ERROR_CONTI_INTERP_LINE2_MOVE;
  if (mode > (segment.arc ? ARC_MODE_MAX : LINE_MODE_MAX))
    return ERROR_INVALID_CONTINUE_INTERPOLATION_MOTION;
  if (const ApiStatus status = check_card(card)) return status;
  // Axes the run lacks are left to the driver, which refuses the segment.
  const uint16_t *axes = run_axes(card);
  int32_t target[3] = {};
  for (int k = 0; k < segment.axis_count; ++k) {
    if (axes[k] == 0) continue;
    if (const ApiStatus status =
            relative_to_abs(card, axes[k], segment.end[k], &target[k], position_base(mode)))
      return status;
  }
  if (segment.arc && segment.direction != ARC_CLOCKWISE &&
      segment.direction != ARC_COUNTER_CLOCKWISE)
    return ERROR_INVALID_INTERPOLATION_ARC_DIRECTION;

  DriverRequest block{};
  preset_status(block);
  if (segment.arc) {
    put_u32(block, CONTI_ARC2_MOVE_DIRECTION, segment.direction);
    put_i32(block, CONTI_ARC2_MOVE_CENTER, segment.center[0]);
    put_i32(block, CONTI_ARC2_MOVE_CENTER + 1, segment.center[1]);
  }
  const int finish = segment.arc ? CONTI_ARC2_MOVE_FINISH : CONTI_LINE_FINISH;
  for (int k = 0; k < segment.axis_count; ++k) put_i32(block, finish + k, segment.end[k]);
  const int mode_slot = segment.arc               ? CONTI_ARC2_MOVE_MODE
                        : segment.axis_count == 3 ? CONTI_LINE3_MOVE_MODE
                                                  : CONTI_LINE2_MOVE_MODE;
  put_u32(block, mode_slot, mode);
  const DWORD code = segment.arc                 ? REQ_CONTI_ARC2_MOVE
                     : segment.axis_count == 3 ? REQ_CONTI_LINE3_MOVE
                                               : REQ_CONTI_LINE2_MOVE;
  const ApiStatus status = judged_request(card_device(card), code, block, failure);
  if (status == SUCCESS_NO_ERROR) keep_targets(card, segment, target);
  return status;
}

// One absolute coordinate on the run's k-th axis as a distance from the base.
ApiStatus to_distance(uint8_t card, int k, int32_t position, int32_t *distance, uint8_t base) {
  const uint16_t axis = run_axes(card)[k];
  if (axis == 0) return SUCCESS_NO_ERROR;
  return abs_to_relative(card, axis, position, distance, base);
}

ApiStatus send_absolute_segment(uint8_t card, const Segment &absolute, uint16_t mode) {
  if (const ApiStatus status = check_card(card)) return status;
  const uint8_t base = position_base(mode);
  Segment relative = absolute;
  if (absolute.arc) {
    for (int k = 0; k < 2; ++k) {
      if (const ApiStatus status =
              to_distance(card, k, absolute.center[k], &relative.center[k], base))
        return status;
    }
  }
  for (int k = 0; k < absolute.axis_count; ++k) {
    if (const ApiStatus status = to_distance(card, k, absolute.end[k], &relative.end[k], base))
      return status;
  }
  const ApiStatus status = send_segment(card, relative, mode);
  if (status == SUCCESS_NO_ERROR) keep_targets(card, absolute, absolute.end);
  return status;
}

uint32_t scaled_range(uint32_t range, double scale) {
  return static_cast<uint32_t>(static_cast<double>(range) * scale);
}

}  // namespace

ApiStatus vector_speed_word(uint8_t card, uint16_t master, uint32_t speed, uint16_t *word) {
  if (speed > VECTOR_SPEED_MAX) return ERROR_INVALID_DRIVING_SPEED;
  SpeedProfile profile{};
  profile.kind = PROFILE_CONSTANT_SPEED;
  profile.drive_speed = speed;
  if (const ApiStatus status = profile_to_registers(card, master, &profile)) return status;
  *word = profile.drive_speed_word;
  return SUCCESS_NO_ERROR;
}

ApiStatus check_conti_axis_bits(uint8_t card, uint16_t axis1, uint16_t axis2, uint16_t axis3,
                                ContiAxes *axes) {
  const bool third = axis3 != 0 && axis3 != THIRD_AXIS_NONE;
  if (const ApiStatus status = check_card_axis(card, axis1)) return status;
  if (const ApiStatus status = check_axis(axis2)) return status;
  if (third)
    if (const ApiStatus status = check_axis(axis3)) return status;
  *axes = ContiAxes{{axis1, axis2, third ? axis3 : uint16_t{0}}};
  return SUCCESS_NO_ERROR;
}

ApiStatus check_conti_axes_free(uint8_t card, const ContiAxes &axes) {
  const uint16_t axis1 = axes.axis[0], axis2 = axes.axis[1];
  if (axis2 == axes.axis[2]) return ERROR_INTERPOLATION_SLAVE_AXES_DUPLICATED;
  if (axis1 & (axis2 | axes.axis[2])) return ERROR_INVALID_INTERPOLATION_SLAVE_AXES;
  // The driver's axis word names the third axis by its index, 0 meaning none:
  // X as the third axis would run a two-axis path and keep its stretched range.
  if (axes.axis[2] == AXIS_X) return ERROR_CONTI_INTERP_INCORRECT_CONFIG;
  uint8_t direction[4] = {DIRECTION_NONE, DIRECTION_NONE, DIRECTION_NONE, DIRECTION_NONE};
  fill_move_directions(api_id(REQ_CONTI_INTERP_BEGIN), axis1, axis2, axes.axis[2], 0, 0, 0,
                       direction);
  return check_axes_move(card, static_cast<uint16_t>(axis1 | axis2 | axes.axis[2]), direction);
}

ApiStatus check_conti_axes(uint8_t card, uint16_t axis1, uint16_t axis2, uint16_t axis3,
                           ContiAxes *axes) {
  if (const ApiStatus status = check_conti_axis_bits(card, axis1, axis2, axis3, axes))
    return status;
  return check_conti_axes_free(card, *axes);
}

ApiStatus query_reply_byte(uint8_t card, DWORD code, bool judged, int slot, ApiStatus failure,
                           uint8_t *out) {
  if (const ApiStatus status = check_card(card)) return status;
  DriverRequest block{};
  preset_status(block);
  const ApiStatus status = judged ? judged_request(card_device(card), code, block, failure)
                                  : request_only(card_device(card), code, block, failure);
  if (status != SUCCESS_NO_ERROR) return status;
  return seh::try_store(out, static_cast<uint8_t>(slot_u32(block, slot)))
             ? ApiStatus{SUCCESS_NO_ERROR}
             : ApiStatus{ERROR_ACCESS_VIOLATION_DATA_COPY};
}

uint16_t conti_axis_word(const ContiAxes &axes) {
  uint16_t word = 0;
  for (int k = 0; k < 3; ++k) {
    if (axes.axis[k] != 0) word |= static_cast<uint16_t>(axis_index(axes.axis[k]) << (2 * k));
  }
  return word;
}

void forget_last_targets(uint8_t card, const ContiAxes &axes) {
  for (uint16_t axis : axes.axis) {
    if (axis != 0) motion_of(card, axis).last_target_valid = 0;
  }
}

ApiStatus open_conti_run(uint8_t card, const ContiAxes &axes) {
  const uint32_t master_range = card_table.cards[card].axes[axis_index(axes.axis[0])].range;
  // A partner whose range cannot follow would run the vector at the wrong
  // speed: either refusal closes the run and is reported.
  ApiStatus status = RM7X0_NAME(set_range)(card, axes.axis[1],
                                           scaled_range(master_range, SECOND_AXIS_RANGE_SCALE));
  if (status == SUCCESS_NO_ERROR && axes.axis[2] != 0)
    status = RM7X0_NAME(set_range)(card, axes.axis[2],
                                   scaled_range(master_range, THIRD_AXIS_RANGE_SCALE));
  if (status != SUCCESS_NO_ERROR) {
    RM7X0_NAME(conti_interp_end)(card);
    return status;
  }
  for (int k = 0; k < 3; ++k) card_table.cards[card].conti.axes[k] = axes.axis[k];
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_conti_interp_begin and rm730_conti_interp_begin.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_interp_begin)(uint8_t card, uint16_t axis1,
                                                      uint16_t axis2, uint16_t axis3,
                                                      uint32_t speed) {
  ContiAxes axes{};
  if (const ApiStatus status = check_conti_axes(card, axis1, axis2, axis3, &axes)) return status;
  uint16_t speed_word = 0;
  if (const ApiStatus status = vector_speed_word(card, axis1, speed, &speed_word)) return status;
  forget_last_targets(card, axes);
  DriverRequest block{};
  preset_status(block);
  put_u32(block, INTERP_ASSIGNMENT, conti_axis_word(axes));
  put_u32(block, CONTI_INTERP_BEGIN_SPEED, speed_word);
  if (const ApiStatus status = judged_request(card_device(card), REQ_CONTI_INTERP_BEGIN, block,
                                              ERROR_CONTI_INTERP_SET))
    return status;
  return open_conti_run(card, axes);
}

// The driver names the partners and the ranges they had before the run.
// While the path still runs out, the driver gives those ranges to the chip
// once the axes stand; the library's own take them at once.
// Exported as rm720_conti_interp_end and rm730_conti_interp_end.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_interp_end)(uint8_t card) {
  if (const ApiStatus status = check_card(card)) return status;
  DriverRequest block{};
  preset_status(block);
  if (const ApiStatus status = judged_request(card_device(card), REQ_CONTI_INTERP_END, block,
                                              ERROR_CONTI_INTERP_CLEAR))
    return status;
  const uint16_t axis2 = slot_u16(block, CONTI_INTERP_END_REPLY_SECOND_AXIS);
  const uint32_t range2 = slot_u32(block, CONTI_INTERP_END_REPLY_SECOND_RANGE);
  const uint16_t axis3 = slot_u16(block, CONTI_INTERP_END_REPLY_THIRD_AXIS);
  const uint32_t range3 = slot_u32(block, CONTI_INTERP_END_REPLY_THIRD_RANGE);
  if (RM7X0_NAME(set_range)(card, axis2, range2) == SUCCESS_NO_ERROR && axis3 != 0 && range3 != 0) {
    if (const ApiStatus status = RM7X0_NAME(set_range)(card, axis3, range3)) return status;
  }
  for (uint16_t &axis : card_table.cards[card].conti.axes) axis = 0;
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_conti_interp_next_ready and rm730_conti_interp_next_ready.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_interp_next_ready)(uint8_t card, uint8_t *ready) {
  return query_reply_byte(card, REQ_CONTI_INTERP_NEXT_READY, true,
                          CONTI_INTERP_NEXT_READY_REPLY_READY, ERROR_CONTI_INTERP_NEXT_READY,
                          ready);
}

// Exported as rm720_conti_line2_move and rm730_conti_line2_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_line2_move)(uint8_t card, int32_t dx, int32_t dy,
                                                    uint16_t mode) {
  return send_segment(card, line(dx, dy), mode);
}

// Exported as rm720_conti_line3_move and rm730_conti_line3_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_line3_move)(uint8_t card, int32_t dx, int32_t dy,
                                                    int32_t dz, uint16_t mode) {
  return send_segment(card, line(dx, dy, dz), mode);
}

// Exported as rm720_conti_arc2_move and rm730_conti_arc2_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_arc2_move)(uint8_t card, uint16_t direction, int32_t cx,
                                                   int32_t cy, int32_t ex, int32_t ey,
                                                   uint16_t mode) {
  return send_segment(card, arc(direction, cx, cy, ex, ey), mode);
}

// Exported as rm720_conti_abs_line2_move and rm730_conti_abs_line2_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_abs_line2_move)(uint8_t card, int32_t x, int32_t y,
                                                        uint16_t mode) {
  return send_absolute_segment(card, line(x, y), mode);
}

// Exported as rm720_conti_abs_line3_move and rm730_conti_abs_line3_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_abs_line3_move)(uint8_t card, int32_t x, int32_t y,
                                                        int32_t z, uint16_t mode) {
  return send_absolute_segment(card, line(x, y, z), mode);
}

// Exported as rm720_conti_abs_arc2_move and rm730_conti_abs_arc2_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_abs_arc2_move)(uint8_t card, uint16_t direction,
                                                       int32_t cx, int32_t cy, int32_t ex,
                                                       int32_t ey, uint16_t mode) {
  return send_absolute_segment(card, arc(direction, cx, cy, ex, ey), mode);
}
