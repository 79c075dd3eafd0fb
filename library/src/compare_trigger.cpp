// The compare trigger: a trigger output pulsed whenever an axis (X or Y)
// passes given positions. Model A: at a constant pitch, or at the positions
// of a table placed in the card's shared buffer; with its comparators and
// compare-mask input. Model B: at a constant pitch from a start position,
// confirmed by reading the card's compare registers back. Positions and
// pitches in pulses.
#include <cstring>
#include <vector>

#include "argument_checks.h"
#include "axis_position.h"
#include "card_table.h"
#include "checks.h"
#include "model.h"
#include "request.h"

namespace {

// Only X and Y have a compare output.
bool has_compare_output(uint16_t axis) { return axis == AXIS_X || axis == AXIS_Y; }

// A configuration request up to the pitch: the axis and the six words.
void fill_cmptrig(DriverRequest &block, uint16_t axis, const uint16_t (&words)[6]) {
  preset_status(block);
  put_u32(block, SLOT_AXES, axis);
  for (int i = 0; i < 6; ++i) put_u32(block, CMPTRIG_CONFIG_ENABLE + i, words[i]);
}

// An interval arming puts both counters at the ring's last value, |pitch| - 1;
// the reply says where they stood. The origin moves with the source counter,
// so that the absolute position stays where the axis is, and is true again
// once the trigger is disarmed and the counters run on from the ring.
void follow_ring_arming(uint8_t card, uint16_t axis, const DriverRequest &reply, int32_t pitch) {
  AxisMotionState &motion = motion_of(card, axis);
  const int before_slot = motion.abs_position_source == ABS_SOURCE_ENCODER
                              ? CMPTRIG_CONFIG_REPLY_ENCODER_BEFORE
                              : CMPTRIG_CONFIG_REPLY_COMMAND_BEFORE;
  const int32_t before = slot_i32(reply, before_slot);
  const auto last = static_cast<int32_t>((pitch < 0 ? -int64_t{pitch} : int64_t{pitch}) - 1);
  motion.origin_offset = wrapping_add(motion.origin_offset, wrapping_sub(last, before));
}

}  // namespace

#ifndef RM7X0_MODEL_B

namespace {

constexpr uint32_t TABLE_MAX_ENTRIES = 2048;

// Strictly increasing (direction 1) or strictly decreasing (any other).
bool table_is_monotonic(const std::vector<int32_t> &table, uint16_t direction) {
  for (size_t i = 1; i < table.size(); ++i) {
    const bool ascending = table[i] > table[i - 1];
    const bool descending = table[i] < table[i - 1];
    if (direction == TABLE_INCREASING ? !ascending : !descending) return false;
  }
  return true;
}

uint32_t byte_sum(const std::vector<int32_t> &table) {
  const auto *bytes = reinterpret_cast<const uint8_t *>(table.data());
  uint32_t sum = 0;
  for (size_t i = 0; i < table.size() * sizeof(int32_t); ++i) sum += bytes[i];
  return sum;
}

// The caller's table is read once, under the guard; what is checked, summed
// and copied is that one copy.
ApiStatus upload_compare_table(uint8_t card, uint16_t axis, uint16_t direction,
                               const int32_t *table, uint32_t count) {
  std::vector<int32_t> entries(count);
  if (!seh::try_copy_from(entries.data(), table, count * sizeof(int32_t)))
    return ERROR_ACCESS_VIOLATION_DATA_COPY;
  if (!table_is_monotonic(entries, direction)) return ERROR_INVALID_OFFSET_DATA;
  const CardRecord &record = card_table.cards[card];
  std::memcpy(reinterpret_cast<void *>(static_cast<uintptr_t>(record.shared_buffer_address)),
              entries.data(), count * sizeof(int32_t));
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, UPLOAD_COMPARE_TABLE_SUM, byte_sum(entries));
  put_u32(block, UPLOAD_COMPARE_TABLE_LENGTH, count * sizeof(int32_t));
  if (!send_request(card_device(card), REQ_UPLOAD_COMPARE_TABLE, block))
    return ERROR_VARIABLE_PITCH_SET;
  // The driver's word itself is the status (a sum mismatch arrives as -32759);
  // a table trigger running on the other axis is the trigger's conflict.
  const uint16_t word = status_word(block);
  if (word == DRV_SUCCESS) return SUCCESS_NO_ERROR;
  if (word == DRV_CONFLICT_CMPTRIG) return ERROR_CONFLICT_WITH_CMPTRIG;
  return static_cast<ApiStatus>(word);
}

// The checks of an enabled trigger. A table must fit the shared buffer the
// card reported at open; a pitch below 1 pulse cannot trigger.
ApiStatus check_enabled_trigger(uint8_t card, uint16_t axis, uint16_t mode, int32_t pitch,
                                const int32_t *table, uint32_t count) {
  if (mode == CMPTRIG_TABLE_MODE) {
    if (table == nullptr) return ERROR_INVALID_OFFSET_BUFFER;
    if (count == 0 || count > TABLE_MAX_ENTRIES ||
        count * sizeof(int32_t) > card_table.cards[card].shared_buffer_length)
      return ERROR_INVALID_OFFSET_LEN;
  } else if (pitch < 1) {
    return ERROR_INVALID_CONST_PITCH;
  }
  return has_compare_output(axis) ? SUCCESS_NO_ERROR : ERROR_INVALID_AXIS;
}

}  // namespace

RM7X0_EXPORT ApiStatus rm720_cmptrig_config(uint8_t card, uint16_t axis, uint16_t enable,
                                            uint16_t source, uint16_t mode, uint16_t direction,
                                            uint16_t output, uint16_t table_direction,
                                            int32_t pitch, const int32_t *table, uint32_t count) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  if (ApiStatus status = validate_api_args(API_CMPTRIG_CONFIG, enable, source, mode, direction,
                                           output, table_direction))
    return status;
  if (enable == CMPTRIG_ARM) {
    if (ApiStatus status = check_enabled_trigger(card, axis, mode, pitch, table, count))
      return status;
    if (mode == CMPTRIG_TABLE_MODE) {
      if (ApiStatus status = upload_compare_table(card, axis, table_direction, table, count))
        return status;
    }
  }
  DriverRequest block{};
  fill_cmptrig(block, axis, {enable, source, mode, direction, output, table_direction});
  if (mode == CMPTRIG_INTERVAL_MODE) put_i32(block, CMPTRIG_CONFIG_PITCH, pitch);
  const ApiStatus status =
      judged_request(card_device(card), REQ_CMPTRIG_CONFIG, block, ERROR_CMPTRIG_SET);
  if (status == SUCCESS_NO_ERROR && enable == CMPTRIG_ARM && mode == CMPTRIG_INTERVAL_MODE)
    follow_ring_arming(card, axis, block, pitch);
  return status;
}

// The two diagnostic comparator exports have no failure code of their own:
// a failed delivery reports the generic request failure rather than success.
RM7X0_EXPORT ApiStatus rm720_set_cmp(uint8_t card, uint16_t axis, uint16_t source,
                                     uint32_t compare_plus, uint32_t compare_minus) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  if (ApiStatus status = validate_api_args(API_SET_CMP, source, 0, 0, 0, 0, 0)) return status;
  DriverRequest block{};
  put_u32(block, SLOT_AXES, axis);
  put_u32(block, SET_CMP_SOURCE, source);
  put_u32(block, SET_CMP_PLUS, compare_plus);
  put_u32(block, SET_CMP_MINUS, compare_minus);
  return request_only(card_device(card), REQ_SET_CMP, block, ERROR_IOCTL_FAILED);
}

RM7X0_EXPORT ApiStatus rm720_set_cmp_mask_in3(uint8_t card, uint16_t word, uint8_t flag1,
                                              uint8_t flag2, uint8_t flag3, uint8_t flag4,
                                              uint8_t flag5) {
  if (ApiStatus status = check_card(card)) return status;
  if (ApiStatus status =
          validate_api_args(API_SET_CMP_MASK_IN3, flag1, flag2, flag3, flag4, flag5, 0))
    return status;
  DriverRequest block{};
  put_u32(block, SET_CMP_MASK_IN3_WORD, word);
  const uint8_t flags[] = {flag1, flag2, flag3, flag4, flag5};
  for (int i = 0; i < 5; ++i) put_u32(block, SET_CMP_MASK_IN3_FLAGS + i, flags[i]);
  return request_only(card_device(card), REQ_SET_CMP_MASK_IN3, block, ERROR_IOCTL_FAILED);
}

#else  // model B

namespace {

constexpr int CONFIG_ATTEMPTS = 3;
constexpr int16_t CPLD_WIDE_PITCH = 2;  // later CPLDs take a 20-bit signed pitch
constexpr int32_t WIDE_PITCH_MAX = 0x7FFFF;
constexpr int32_t NARROW_PITCH_MAX = 0x7FFF;
constexpr uint32_t START_NOT_ALLOWED = 0x80000000u;

// Interval mode only (the card has no table); a signed pitch within what the
// card's CPLD takes, but not 0 (no trigger has no pitch); a start other than
// 0x80000000; axis X or Y.
ApiStatus check_enabled_trigger(uint8_t card, uint16_t axis, uint16_t mode, int32_t pitch,
                                uint32_t start) {
  if (mode != CMPTRIG_INTERVAL_MODE) return ERROR_CMPTRIG_SET;
  int16_t version = 0;
  int32_t date_code = 0;
  if (ApiStatus status = rm730_cpld_ver_get(card, &version, &date_code)) return status;
  const int32_t pitch_max = version > CPLD_WIDE_PITCH ? WIDE_PITCH_MAX : NARROW_PITCH_MAX;
  if (pitch == 0 || pitch < -pitch_max - 1 || pitch > pitch_max) return ERROR_INVALID_CONST_PITCH;
  if (start == START_NOT_ALLOWED) return ERROR_INVALID_OFFSET_BUFFER;
  return has_compare_output(axis) ? SUCCESS_NO_ERROR : ERROR_INVALID_AXIS;
}

// The card took the configuration when it reads the pitch back and its
// trigger counter stands at the start (or one pitch on in the direction of
// travel). A failed read gives its status.
ApiStatus read_back(uint8_t card, uint16_t axis, int32_t pitch, uint32_t start, uint16_t travel,
                    bool *confirmed) {
  *confirmed = false;
  int32_t value = 0;
  if (rm730_get_cmp_pitch(card, axis, &value) != SUCCESS_NO_ERROR) return ERROR_POS_COUNTER_GET;
  if (value != pitch) return SUCCESS_NO_ERROR;
  if (rm730_get_cmptrigcounter(card, axis, &value) != SUCCESS_NO_ERROR)
    return ERROR_POS_COUNTER_GET;
  const uint32_t counter = static_cast<uint32_t>(value);
  const uint32_t one_on = travel == TRAVEL_PLUS ? start + static_cast<uint32_t>(pitch)
                                                : start - static_cast<uint32_t>(pitch);
  *confirmed = counter == start || counter == one_on;
  return SUCCESS_NO_ERROR;
}

// The counters that arming sets to the pitch, as they stood before.
struct Counters {
  int32_t command = 0;
  int32_t encoder = 0;
};

ApiStatus read_counters(uint8_t card, uint16_t axis, Counters *counters) {
  if (ApiStatus status = rm730_get_cmdcounter(card, axis, &counters->command)) return status;
  return rm730_get_enccounter(card, axis, &counters->encoder);
}

// A configuration the card did not confirm is taken back: the trigger is
// disarmed and the counters go back to where they stood.
void take_back(uint8_t card, uint16_t axis, const Counters &before) {
  DriverRequest block{};
  fill_cmptrig(block, axis, {0, 0, 0, 0, 0, 0});
  judged_request(card_device(card), REQ_CMPTRIG_CONFIG, block, ERROR_CMPTRIG_SET);
  rm730_set_cmdcounter(card, axis, before.command);
  rm730_set_enccounter(card, axis, before.encoder);
}

// Sends the configuration until the card confirms it, at most three times;
// `armed` tells whether the driver took any attempt.
ApiStatus send_confirmed(uint8_t card, uint16_t axis, const DriverRequest &block, int32_t pitch,
                         uint32_t start, uint16_t travel, bool *armed) {
  for (int attempt = 0; attempt < CONFIG_ATTEMPTS; ++attempt) {
    DriverRequest sent = block;
    if (ApiStatus status =
            judged_request(card_device(card), REQ_CMPTRIG_CONFIG, sent, ERROR_CMPTRIG_SET))
      return status;
    *armed = true;
    follow_ring_arming(card, axis, sent, pitch);
    bool confirmed = false;
    if (ApiStatus status = read_back(card, axis, pitch, start, travel, &confirmed)) return status;
    if (confirmed) return SUCCESS_NO_ERROR;
  }
  return ERROR_CMPTRIG_SET;
}

}  // namespace

RM7X0_EXPORT ApiStatus rm730_cmptrig_config(uint8_t card, uint16_t axis, uint16_t enable,
                                            uint16_t source, uint16_t mode, uint16_t direction,
                                            uint16_t output, uint16_t travel, int32_t pitch,
                                            uint32_t start) {
  if (ApiStatus status = check_card_axis(card, axis)) return status;
  if (ApiStatus status =
          validate_api_args(API_CMPTRIG_CONFIG, enable, source, mode, direction, output, travel))
    return status;
  const bool on = enable == CMPTRIG_ARM;
  if (on) {
    if (ApiStatus status = check_enabled_trigger(card, axis, mode, pitch, start)) return status;
  }
  DriverRequest block{};
  fill_cmptrig(block, axis, {enable, source, mode, direction, output, travel});
  if (!on) return judged_request(card_device(card), REQ_CMPTRIG_CONFIG, block, ERROR_CMPTRIG_SET);
  put_i32(block, CMPTRIG_CONFIG_PITCH, pitch);
  put_u32(block, CMPTRIG_CONFIG_START, start);
  Counters before;
  if (ApiStatus status = read_counters(card, axis, &before)) return status;
  bool armed = false;
  const ApiStatus status = send_confirmed(card, axis, block, pitch, start, travel, &armed);
  if (status != SUCCESS_NO_ERROR && armed) take_back(card, axis, before);
  return status;
}

#endif
