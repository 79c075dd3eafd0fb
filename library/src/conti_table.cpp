// Continuous interpolation from the driver's segment table (model A): the
// segments after the first are stored in the driver, which hands each to the
// chip at its next-segment interrupt; starting the first starts the run, and
// the master's drive end closes it. The drive-end factor is switched on
// before every table run, or its end would never be seen.
#include <cmath>
#include <cstring>
#include <vector>

#include "absolute_position.h"
#include "axis_position.h"
#include "checks.h"
#include "chip_rates.h"
#include "conti_interp.h"
#include "model.h"
#include "request.h"
#include "speed_and_rates.h"
#include "unit_conversion.h"

namespace {

constexpr uint32_t DRIVE_SPEED_MAX = 2000000;     // PPS
constexpr size_t SEGMENT_RECORD_BYTES = 28;
constexpr uint8_t SEGMENT_SHAPE = 0x0F;           // the type without the absolute flag
constexpr uint8_t PERCENTAGE_MAX = 100;
// Profile-mode words of a table run.

// The library's ranges of the partners, kept across a run's opening: the
// driver keeps the scaled ranges, the library its own.
struct PartnerRanges {
  uint32_t range[2];
};

PartnerRanges remember_partner_ranges(uint8_t card, const ContiAxes &axes) {
  PartnerRanges ranges{};
  for (int k = 0; k < 2; ++k) {
    if (axes.axis[k + 1] != 0)
      ranges.range[k] = card_table.cards[card].axes[axis_index(axes.axis[k + 1])].range;
  }
  return ranges;
}

void put_back_partner_ranges(uint8_t card, const ContiAxes &axes, const PartnerRanges &ranges) {
  for (int k = 0; k < 2; ++k) {
    if (axes.axis[k + 1] == 0) continue;
    AxisBlock &block = card_table.cards[card].axes[axis_index(axes.axis[k + 1])];
    block.range = ranges.range[k];
    block.multiplier = multiplier_for_range(ranges.range[k]);
  }
  update_axis_limits(card);
}

bool is_absolute(const ContiSegmentRecord &record) { return record.type >= SEGMENT_ABSOLUTE; }
uint8_t shape_of(const ContiSegmentRecord &record) { return record.type & SEGMENT_SHAPE; }

// One 28-byte record of the caller's array, little-endian.
ContiSegmentRecord decode_record(const uint8_t *bytes) {
  auto i32_at = [bytes](size_t offset) {
    int32_t value = 0;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
  };
  ContiSegmentRecord record;
  record.type = bytes[0];
  record.x = i32_at(4);
  record.y = i32_at(8);
  record.z = i32_at(12);
  record.arc_direction = bytes[16];
  record.cx = i32_at(20);
  record.cy = i32_at(24);
  return record;
}

// The records, all of one coordinate kind, arcs with a direction, and lines
// of three axes exactly when the run has three.
ApiStatus check_records(const std::vector<ContiSegmentRecord> &records, bool three_axes) {
  const bool absolute = is_absolute(records[0]);
  for (const ContiSegmentRecord &record : records) {
    if (is_absolute(record) != absolute) return ERROR_CONTI_SEGMENT_KIND_MIXED;
  }
  for (const ContiSegmentRecord &record : records) {
    if (shape_of(record) == SEGMENT_ARC2 && record.arc_direction != ARC_CLOCKWISE &&
        record.arc_direction != ARC_COUNTER_CLOCKWISE)
      return ERROR_INVALID_INTERPOLATION_ARC_DIRECTION;
  }
  for (const ContiSegmentRecord &record : records) {
    if ((shape_of(record) == SEGMENT_LINE3) != three_axes) return ERROR_CONTI_SEGMENT_AXES;
  }
  return SUCCESS_NO_ERROR;
}

// An absolute record's coordinates as distances from the base on the run's
// axes; its end point becomes the axes' last absolute targets.
ApiStatus make_relative(uint8_t card, const ContiAxes &axes, uint8_t base,
                        ContiSegmentRecord *record) {
  const bool arc = shape_of(*record) == SEGMENT_ARC2;
  const bool three = shape_of(*record) == SEGMENT_LINE3;
  const int32_t end[3] = {record->x, record->y, record->z};
  struct Conversion {
    bool used;
    int axis;
    int32_t *value;
  } conversions[] = {{true, 0, &record->x},  {true, 1, &record->y}, {arc, 0, &record->cx},
                     {arc, 1, &record->cy}, {three, 2, &record->z}};
  for (const Conversion &conversion : conversions) {
    if (!conversion.used) continue;
    if (const ApiStatus status = abs_to_relative(card, axes.axis[conversion.axis],
                                                 *conversion.value, conversion.value, base))
      return status;
  }
  for (int k = 0; k < (three ? 3 : 2); ++k) {
    AxisMotionState &motion = motion_of(card, axes.axis[k]);
    motion.last_abs_target = end[k];
    motion.last_target_valid = 1;
  }
  return SUCCESS_NO_ERROR;
}

// Stores one segment in the driver's table. A segment the driver did not
// store is refused like one that never reached it.
ApiStatus load_segment(uint8_t card, const ContiSegmentRecord &record, uint32_t length) {
  DriverRequest block{};
  preset_status(block);
  put_u32(block, CONTI_LOAD_SEGMENT_TYPE, record.type);
  put_i32(block, CONTI_LOAD_SEGMENT_FINISH, record.x);
  put_i32(block, CONTI_LOAD_SEGMENT_FINISH + 1, record.y);
  put_i32(block, CONTI_LOAD_SEGMENT_FINISH + 2, record.z);
  put_u32(block, CONTI_LOAD_SEGMENT_ARC_DIRECTION, record.arc_direction);
  put_i32(block, CONTI_LOAD_SEGMENT_CENTER, record.cx);
  put_i32(block, CONTI_LOAD_SEGMENT_CENTER + 1, record.cy);
  put_u32(block, CONTI_LOAD_SEGMENT_LENGTH, length);
  if (!send_request(card_device(card), REQ_CONTI_LOAD_SEGMENT, block) ||
      status_word(block) != DRV_SUCCESS)
    return ERROR_INVALID_CONTINUE_INTERPOLATION_MOTION;
  return SUCCESS_NO_ERROR;
}

ApiStatus send_first_segment(uint8_t card, const ContiSegmentRecord &record) {
  switch (shape_of(record)) {
    case SEGMENT_LINE2:
      return RM7X0_NAME(conti_line2_move)(card, record.x, record.y, SEGMENT_FIRST);
    case SEGMENT_ARC2:
      return RM7X0_NAME(conti_arc2_move)(card, record.arc_direction, record.cx, record.cy,
                                         record.x, record.y, SEGMENT_FIRST);
    default:
      return RM7X0_NAME(conti_line3_move)(card, record.x, record.y, record.z, SEGMENT_FIRST);
  }
}

// Starts a kept (relative) record as the run's first segment. With the table
// holding the rest, the axes' last targets stay those the table's segments
// left (the first segment's end is not where the path ends).
ApiStatus start_first_segment(uint8_t card, const ContiAxes &axes,
                              const ContiSegmentRecord &record, bool table_follows) {
  AxisMotionState kept[3];
  for (int k = 0; k < 3; ++k) {
    if (axes.axis[k] != 0) kept[k] = motion_of(card, axes.axis[k]);
  }
  const ApiStatus status = send_first_segment(card, record);
  if (status != SUCCESS_NO_ERROR || !table_follows) return status;
  for (int k = 0; k < 3; ++k) {
    if (axes.axis[k] == 0) continue;
    AxisMotionState &motion = motion_of(card, axes.axis[k]);
    motion.last_abs_target = kept[k].last_abs_target;
    motion.last_target_valid = kept[k].last_target_valid;
  }
  return SUCCESS_NO_ERROR;
}

bool is_segment_type(uint8_t type) {
  return (type & ~SEGMENT_ABSOLUTE) <= SEGMENT_LINE3;
}

// Pulses before the end at which the run decelerates from DV to SV at DEC,
// as the chip runs the words of the three (PPS, PPS/s), rounded up and
// shortened by the percentage; saturated where it would not fit 32 bits.
uint32_t deceleration_point(double sv, double dv, double dec, uint8_t percentage) {
  const double point = std::ceil((dv * dv - sv * sv) / (2 * dec) - 1e-9);
  const uint64_t pulses = point >= 4294967295.0 ? 0xFFFFFFFFull : static_cast<uint64_t>(std::max(point, 0.0));
  return static_cast<uint32_t>(pulses * (PERCENTAGE_MAX - percentage) / PERCENTAGE_MAX);
}

// Length of a line segment in pulses, saturated at 32 bits.
uint32_t line_length(int32_t dx, int32_t dy, int32_t dz) {
  const double length = std::trunc(std::sqrt(static_cast<double>(dx) * dx +
                                             static_cast<double>(dy) * dy +
                                             static_cast<double>(dz) * dz));
  return length >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(length);
}

ApiStatus read_records(const void *segments, uint8_t count,
                       std::vector<ContiSegmentRecord> *records) {
  std::vector<uint8_t> bytes(count * SEGMENT_RECORD_BYTES);
  if (!seh::try_copy_from(bytes.data(), segments, bytes.size()))
    return ERROR_ACCESS_VIOLATION_DATA_COPY;
  for (size_t k = 0; k < count; ++k)
    records->push_back(decode_record(bytes.data() + k * SEGMENT_RECORD_BYTES));
  return SUCCESS_NO_ERROR;
}

}  // namespace

// Exported as rm720_conti_interp_start.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_interp_start)(uint8_t card, uint16_t axis1,
                                                      uint16_t axis2, uint16_t axis3,
                                                      uint32_t speed, const void *segments,
                                                      uint8_t count) {
  const bool three_axes = axis3 != 0 && axis3 != 255;
  ContiAxes axes{};
  if (const ApiStatus status = check_conti_axis_bits(card, axis1, axis2, axis3, &axes))
    return status;
  // Without a first record there is no run to start.
  if (count == 0) return ERROR_INVALID_CONTINUE_INTERPOLATION_MOTION;
  std::vector<ContiSegmentRecord> records;
  if (const ApiStatus status = read_records(segments, count, &records)) return status;
  // The records are judged before the axes' state: a table that can never
  // run is refused as such whether or not the axes stand.
  if (const ApiStatus status = check_records(records, three_axes)) return status;
  if (const ApiStatus status = check_conti_axes_free(card, axes)) return status;

  // The speed is checked before the factor is switched on, so that its refusal changes nothing.
  uint16_t speed_word = 0;
  if (const ApiStatus status = vector_speed_word(card, axis1, speed, &speed_word)) return status;
  const PartnerRanges ranges = remember_partner_ranges(card, axes);
  if (const ApiStatus status = RM7X0_NAME(set_int_factor)(card, axis1, INT_FACTOR_DRIVE_END))
    return status;
  if (const ApiStatus status = RM7X0_NAME(conti_interp_begin)(card, axis1, axis2, axis3, speed))
    return status;
  put_back_partner_ranges(card, axes, ranges);

  for (size_t k = 0; k < records.size(); ++k) {
    ContiSegmentRecord &record = records[k];
    if (is_absolute(record)) {
      const uint8_t base = k == 0 ? FROM_COUNTER : FROM_LAST_TARGET;
      if (const ApiStatus status = make_relative(card, axes, base, &record)) return status;
    }
    if (k == 0) continue;  // started last, once the table holds the rest
    if (const ApiStatus status = load_segment(card, record, 0)) return status;
  }
  return start_first_segment(card, axes, records[0], records.size() > 1);
}

// Exported as rm720_conti_interp_config.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_interp_config)(uint8_t card, uint16_t axis1,
                                                       uint16_t axis2, uint16_t axis3,
                                                       uint32_t sv, uint32_t dv, uint32_t acc,
                                                       uint32_t dec, uint8_t percentage) {
  if (percentage > PERCENTAGE_MAX) return ERROR_CONTI_INTERP_SET;
  ContiAxes axes{};
  if (const ApiStatus status = check_conti_axes(card, axis1, axis2, axis3, &axes)) return status;
  if (dv > DRIVE_SPEED_MAX) return ERROR_INVALID_DRIVING_SPEED;
  SpeedProfile profile{};
  profile.start_speed = static_cast<int32_t>(sv);
  profile.drive_speed = dv;
  uint16_t mode = MODE_CONSTANT_SPEED;
  if (sv != dv) {
    profile.kind = PROFILE_T_CURVE_OWN_DECEL;
    profile.acceleration = static_cast<int32_t>(acc);
    profile.deceleration = dec;
    mode = acc == dec ? 0 : MODE_OWN_DECELERATION;
  } else {
    profile.kind = PROFILE_CONSTANT_SPEED;
  }
  if (const ApiStatus status = profile_to_registers(card, axis1, &profile)) return status;
  // The driver switches the deceleration on when this much path is left.
  const double m = chip_multiplier_of(card, axis1);
  const uint32_t point =
      sv != dv ? deceleration_point(chip_speed(profile.start_speed_word, m),
                                    chip_speed(profile.drive_speed_word, m),
                                    chip_acceleration(profile.deceleration_word, m), percentage)
               : 0;
  const PartnerRanges ranges = remember_partner_ranges(card, axes);
  if (const ApiStatus status = RM7X0_NAME(set_int_factor)(card, axis1, INT_FACTOR_DRIVE_END))
    return status;

  forget_last_targets(card, axes);
  DriverRequest block{};
  preset_status(block);
  put_u32(block, INTERP_ASSIGNMENT, conti_axis_word(axes));
  put_u32(block, CONTI_INTERP_CONFIG_START_SPEED, profile.start_speed_word);
  put_u32(block, CONTI_INTERP_CONFIG_DRIVE_SPEED, profile.drive_speed_word);
  put_u32(block, CONTI_INTERP_CONFIG_ACC, profile.acceleration_word);
  put_u32(block, CONTI_INTERP_CONFIG_DEC, profile.deceleration_word);
  put_u32(block, CONTI_INTERP_CONFIG_MODE, mode | MODE_DECEL_POINT);
  put_u32(block, CONTI_INTERP_CONFIG_DECEL_POINT, point);
  if (const ApiStatus status = judged_request(card_device(card), REQ_CONTI_INTERP_CONFIG, block,
                                              ERROR_CONTI_INTERP_SET))
    return status;
  if (const ApiStatus status = open_conti_run(card, axes)) return status;
  put_back_partner_ranges(card, axes, ranges);
  card_table.cards[card].conti.loaded_count = 0;
  return SUCCESS_NO_ERROR;
}

// The first line is kept to start the run; the next 2,048 fill the table.
// Exported as rm720_conti_abs_line3_move_load.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_abs_line3_move_load)(uint8_t card, int32_t x, int32_t y,
                                                             int32_t z) {
  if (const ApiStatus status = check_card(card)) return status;
  ContiState &conti = card_table.cards[card].conti;
  if (conti.loaded_count > SEGMENT_TABLE_SIZE) return ERROR_CONTI_QUEUE_FULL;
  const ContiAxes axes{{conti.axes[0], conti.axes[1], conti.axes[2]}};
  ContiSegmentRecord record;
  record.type = SEGMENT_ABSOLUTE | SEGMENT_LINE3;
  record.x = x;
  record.y = y;
  record.z = z;
  const bool first = conti.loaded_count == 0;
  if (const ApiStatus status =
          make_relative(card, axes, first ? FROM_COUNTER : FROM_LAST_TARGET, &record))
    return status;
  if (first) {
    conti.first_segment = record;
  } else if (const ApiStatus status =
                 load_segment(card, record, line_length(record.x, record.y, record.z))) {
    return status;
  }
  ++conti.loaded_count;
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_conti_interp_start_all.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_interp_start_all)(uint8_t card) {
  if (const ApiStatus status = check_card(card)) return status;
  const ContiState &conti = card_table.cards[card].conti;
  if (!is_segment_type(conti.first_segment.type)) return SUCCESS_NO_ERROR;
  const ContiAxes axes{{conti.axes[0], conti.axes[1], conti.axes[2]}};
  return start_first_segment(card, axes, conti.first_segment, conti.loaded_count > 1);
}

// Exported as rm720_conti_interp_running_segment.
RM7X0_EXPORT ApiStatus RM7X0_NAME(conti_interp_running_segment)(uint8_t card, uint8_t *index) {
  return query_reply_byte(card, REQ_CONTI_INTERP_RUNNING_SEGMENT, false,
                          CONTI_INTERP_RUNNING_SEGMENT_REPLY_INDEX, ERROR_CONTI_INTERP_CLEAR,
                          index);
}

// Start speed and rates of the next interpolation; a rate of 0 keeps the
// chip's.
// Exported as rm720_set_sv_acc.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_sv_acc)(uint8_t card, uint16_t axis, uint32_t sv,
                                              uint32_t acc, uint32_t dec) {
  return send_speed_and_rates(card, axis, sv, acc, dec, REQ_SET_SV_ACC,
                              ERROR_T_DRIVING_SPEED_CHANGE);
}
