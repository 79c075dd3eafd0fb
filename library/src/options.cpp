// The per-card options, the diagnostic register access and the watchdog.
#include "card_options.h"
#include "card_table.h"
#include "checks.h"
#include "driver_status.h"
#include "model.h"
#include "request.h"

namespace {

enum OptionType : uint16_t {
  OPTION_HOME_END_COUNTER_CLEAR = 1,  // shared flag with type 4, also sent to the driver
  OPTION_CLAMP = 2,
  OPTION_RATES_AS_TIMES = 3,
  OPTION_LINE_SPEED_AS_GIVEN = 4,
  OPTION_S_CURVE_DECEL_POINT = 5,
  OPTION_LINE_SPEED_FROM_DISTANCES = 6,
  OPTION_STOP_WITHOUT_WAIT = 7,
  OPTION_COUNTERS_WHILE_MOVING = 8,
  OPTION_HOME = 9,
};

// The flag array of a library-only option type, or nullptr.
uint8_t *library_flag(uint16_t type) {
  switch (type) {
    case OPTION_CLAMP: return card_options.clamp_to_limits;
    case OPTION_RATES_AS_TIMES: return card_options.rates_as_times;
    case OPTION_S_CURVE_DECEL_POINT: return card_options.s_curve_decel_point;
    case OPTION_LINE_SPEED_FROM_DISTANCES: return card_options.line_speed_from_distances;
    case OPTION_STOP_WITHOUT_WAIT: return card_options.stop_without_wait;
    case OPTION_COUNTERS_WHILE_MOVING: return card_options.counters_while_moving;
    case OPTION_HOME: return card_options.home_option;
    default: return nullptr;
  }
}

constexpr uint16_t REG_TEST_WRITE = 1;  // operation bit 0

}  // namespace

// The options of a card may be set before it is opened, except the two the
// driver also keeps (types 1 and 4), which need the card's handle.
// Exported as rm720_set_customization and rm730_set_customization.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_customization)(uint8_t card, uint16_t type, uint16_t value) {
  if (const ApiStatus status = check_library()) return status;
  if (value > 1) return ERROR_INVALID_CUSTOMIZATION_VALUE;
  if (card >= CARD_SLOTS) return ERROR_INVALID_CARD_ID;
  if (type == OPTION_HOME_END_COUNTER_CLEAR || type == OPTION_LINE_SPEED_AS_GIVEN) {
    const HANDLE device = card_device(card);
    DriverRequest block{};
    preset_status(block);
    put_u32(block, SET_CUSTOMIZATION_TYPE, type);
    put_u32(block, SET_CUSTOMIZATION_VALUE, value);
    if (device == INVALID_HANDLE_VALUE || !send_request(device, REQ_SET_CUSTOMIZATION, block))
      return ERROR_CUSTOMIZATION_SET;
    card_options.line_speed_as_given[card] = static_cast<uint8_t>(value);
    return SUCCESS_NO_ERROR;
  }
  uint8_t *flag = library_flag(type);
  if (flag == nullptr) return ERROR_CUSTOMIZATION_SET;
  flag[card] = static_cast<uint8_t>(value);
  return SUCCESS_NO_ERROR;
}

#ifndef RM7X0_MODEL_B

// operation: 0 read a card register, 1 write one, 2 read a bridge register,
// 3 write one; offset in bytes.
RM7X0_EXPORT ApiStatus rm720_reg_rw_test(uint8_t card, uint8_t operation, uint8_t offset,
                                         int16_t *value, uint16_t data) {
  if (const ApiStatus status = check_card(card)) return status;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, REG_RW_TEST_OPERATION, operation);
  put_u32(block, REG_RW_TEST_OFFSET, offset);
  if (operation & REG_TEST_WRITE) put_u32(block, REG_RW_TEST_DATA, data);
  if (!send_request(card_device(card), REQ_REG_RW_TEST, block)) return ERROR_BOARD_REGISTER_ACCESS;
  if (operation & REG_TEST_WRITE) return SUCCESS_NO_ERROR;
  return seh::try_store(value, static_cast<int16_t>(slot_u16(block, REG_RW_TEST_REPLY_VALUE)))
             ? SUCCESS_NO_ERROR
             : ERROR_ACCESS_VIOLATION_DATA_COPY;
}

// The driver of this system serves no watchdog: both calls fail with their
// request-failed codes.
RM7X0_EXPORT ApiStatus rm720_set_WDT(uint8_t card, uint8_t mode) {
  if (const ApiStatus status = check_card(card)) return status;
  if (mode > 6 || (mode & 1)) return ERROR_INVALID_WDT_MODE;  // 0, 2, 4 or 6
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SET_WDT_MODE, mode);
  if (!send_request(card_device(card), REQ_SET_WDT, block)) return ERROR_WDT_SET;
  const uint16_t word = status_word(block);
  return word == DRV_SUCCESS ? ApiStatus{SUCCESS_NO_ERROR} : map_driver_status(word, 0);
}

RM7X0_EXPORT ApiStatus rm720_get_WDT(uint8_t card, uint8_t *mode) {
  if (const ApiStatus status = check_card(card)) return status;
  DriverRequest block{};
  preset_status(block);
  if (!send_request(card_device(card), REQ_GET_WDT, block)) return ERROR_WDT_GET;
  const uint16_t word = status_word(block);
  if (word != DRV_SUCCESS) return map_driver_status(word, 0);
  return seh::try_store(mode, static_cast<uint8_t>(slot_u32(block, GET_WDT_REPLY_MODE)))
             ? SUCCESS_NO_ERROR
             : ERROR_ACCESS_VIOLATION_DATA_COPY;
}

#endif
