// Torix remote-I/O exports: the module scan, the bus reset, its periodic
// scanning, and one input or output group per call. Output groups are at bus
// addresses 0-7, input groups at 8-15, 16 points each; each export sends one
// request.
#include "checks.h"
#include "driver_status.h"
#include "model.h"
#include "request.h"

namespace {

constexpr uint16_t OUTPUT_GROUP_LAST = 7;
constexpr uint16_t INPUT_GROUP_FIRST = 8;
constexpr uint16_t INPUT_GROUP_LAST = 15;
constexpr uint16_t PERIODIC_FACTOR_MAX = 255;

bool zero_or_one(uint16_t value) { return value == 0 || value == 1; }

// Style C, judged on its own: the reply's slot 1 carries data, not a mask of
// failing axes, so a refusal is mapped with slot value 0.
ApiStatus judged_torix_request(uint8_t card, DWORD code, DriverRequest &block, ApiStatus failure) {
  preset_status(block);
  if (!send_request(card_device(card), code, block)) return failure;
  const uint16_t word = status_word(block);
  return word == DRV_SUCCESS ? ApiStatus{SUCCESS_NO_ERROR} : map_driver_status(word, 0);
}

}  // namespace

// Exported as rm720_scan_Torix_DI and rm730_scan_Torix_DI.
RM7X0_EXPORT ApiStatus RM7X0_NAME(scan_Torix_DI)(uint8_t card, int16_t *modules) {
  if (const ApiStatus status = check_card(card)) return status;
  DriverRequest block{};
  preset_status(block);
  if (const ApiStatus status =
          request_only(card_device(card), REQ_SCAN_TORIX_DI, block, ERROR_TORIX_DI_MODULE_GET))
    return status;
  const int16_t input_modules =
      static_cast<int16_t>(slot_u16(block, SCAN_TORIX_DI_REPLY_MODULES) & 0xFF);
  return seh::try_store(modules, input_modules) ? SUCCESS_NO_ERROR
                                                : ERROR_ACCESS_VIOLATION_DATA_COPY;
}

// Exported as rm720_reset_Torix and rm730_reset_Torix.
RM7X0_EXPORT ApiStatus RM7X0_NAME(reset_Torix)(uint8_t card) {
  if (const ApiStatus status = check_card(card)) return status;
  DriverRequest block{};
  preset_status(block);
  return request_only(card_device(card), REQ_RESET_TORIX, block, ERROR_TORIX_RESET);
}

// Exported as rm720_config_Torix and rm730_config_Torix.
RM7X0_EXPORT ApiStatus RM7X0_NAME(config_Torix)(uint8_t card, uint16_t enable, uint16_t factor) {
  if (const ApiStatus status = check_card(card)) return status;
  if (!zero_or_one(enable)) return ERROR_INVALID_TORIX_PERIODIC_ENABLE;
  if (factor > PERIODIC_FACTOR_MAX) return ERROR_INVALID_TORIX_PERIODIC_FACTOR;
  DriverRequest block{};
  put_u32(block, CONFIG_TORIX_ENABLE, enable);
  put_u32(block, CONFIG_TORIX_WORD, factor);
  return judged_torix_request(card, REQ_CONFIG_TORIX, block, ERROR_TORIX_FREQUENCY_SET);
}

// A refused read leaves the caller's word as it was.
// Exported as rm720_get_Torix_DI and rm730_get_Torix_DI.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_Torix_DI)(uint8_t card, uint16_t group, int16_t *word,
                                                uint16_t mode) {
  if (const ApiStatus status = check_card(card)) return status;
  if (!zero_or_one(mode)) return ERROR_INVALID_TORIX_DI_MODE;
  if (group < INPUT_GROUP_FIRST || group > INPUT_GROUP_LAST)
    return ERROR_INVALID_TORIX_SA_GROUP_ADDRESS;
  DriverRequest block{};
  put_u32(block, GET_TORIX_DI_PORT, group);
  put_u32(block, GET_TORIX_DI_MODE, mode);
  if (const ApiStatus status =
          judged_torix_request(card, REQ_GET_TORIX_DI, block, ERROR_TORIX_INPUT))
    return status;
  return seh::try_store(word, static_cast<int16_t>(slot_u16(block, GET_TORIX_DI_REPLY_WORD)))
             ? SUCCESS_NO_ERROR
             : ERROR_ACCESS_VIOLATION_DATA_COPY;
}

// Exported as rm720_set_Torix_DO and rm730_set_Torix_DO.
RM7X0_EXPORT ApiStatus RM7X0_NAME(set_Torix_DO)(uint8_t card, uint16_t group, uint16_t word) {
  if (const ApiStatus status = check_card(card)) return status;
  if (group > OUTPUT_GROUP_LAST) return ERROR_INVALID_TORIX_RA_GROUP_ADDRESS;
  DriverRequest block{};
  preset_status(block);
  put_u32(block, SET_TORIX_DO_PORT, group);
  put_u32(block, SET_TORIX_DO_WORD, word);
  return request_only(card_device(card), REQ_SET_TORIX_DO, block, ERROR_TORIX_OUTPUT);
}
