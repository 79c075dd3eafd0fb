// The shared checks of the exports' option arguments, and helpers over axis
// masks and distances.
//
// An export checks, in this order: its card and axis bits (checks.h), its
// option values (validate_api_args with its ApiId), then converts its units
// (unit_conversion.h) and only then sends its request.
#pragma once

#include <cstdint>

#include "request.h"

// Identifies an export to the shared checks: the command number of the
// request that it sends.
enum ApiId : uint16_t {
  API_SET_PLS_CFG = api_id(REQ_SET_PLS_CFG),              // mode, level, direction
  API_SET_ENC_CFG = api_id(REQ_SET_ENC_CFG),              // mode
  API_SET_LIMIT = api_id(REQ_SET_LIMIT),                  // logic, stop mode
  API_SET_INP = api_id(REQ_SET_INP),                      // enable, logic
  API_SET_ALARM = api_id(REQ_SET_ALARM),                  // enable, logic
  API_SET_ALARM_RESET = api_id(REQ_SET_ALARM_RESET),      // on
  API_SET_ERC = api_id(REQ_SET_ERC),                      // on
  API_SET_GDO = api_id(REQ_SET_GDO),                      // on
  API_SET_IN3 = api_id(REQ_SET_IN3),                      // enable, logic
  API_SET_FILTER = api_id(REQ_SET_FILTER),                // enable, configuration, delay
  API_SET_SOFTLIMIT = api_id(REQ_SET_SOFTLIMIT),          // enable, comparator source
  API_SET_HOME_CFG = api_id(REQ_SET_HOME_CFG),            // home, near-home, index levels, step
  API_HOME_START = api_id(REQ_HOME_START),                // wait flag
  API_SET_HOME_CFG_EX = api_id(REQ_SET_HOME_CFG_EX),      // levels as above, home mode
  API_SET_VRING = api_id(REQ_SET_VRING),                  // enable
  // enable, source, mode, direction, output, table direction
  API_CMPTRIG_CONFIG = api_id(REQ_CMPTRIG_CONFIG),
  API_SET_SYNCH = api_id(REQ_SET_SYNCH),                  // enable, condition, values 3 to 5
  API_SET_INT_FACTOR = api_id(REQ_SET_INT_FACTOR),        // factor (also the interrupt action's)
  API_T_LINE2_MOVE = api_id(REQ_T_LINE2_MOVE),            // wait flag (the line moves and the arc)
  API_T_LINE3_MOVE = api_id(REQ_T_LINE3_MOVE),
  API_S_LINE2_MOVE = api_id(REQ_S_LINE2_MOVE),
  API_S_LINE3_MOVE = api_id(REQ_S_LINE3_MOVE),
  API_T_ARC2_MOVE = api_id(REQ_T_ARC2_MOVE),
  API_CONTI_INTERP_BEGIN = api_id(REQ_CONTI_INTERP_BEGIN),
  API_SET_CMP_MASK_IN3 = api_id(REQ_SET_CMP_MASK_IN3),    // five flags
  API_SET_CMP = api_id(REQ_SET_CMP),                      // comparator source
};

// The card models: their libraries differ in two cases of the checks.
enum class CardModel { A, B };

// Checks an export's option values (in the order of its arguments) for the
// model of this library. Every value is compared as a 16-bit value. Returns 0,
// or the status of the first rule broken; ids without rules return 0.
ApiStatus validate_api_args(uint16_t api_id, uint16_t v1, uint16_t v2, uint16_t v3, uint16_t v4,
                            int32_t v5, int32_t v6);
// The same for a given model.
ApiStatus validate_api_args_of_model(CardModel model, uint16_t api_id, uint16_t v1, uint16_t v2,
                                     uint16_t v3, uint16_t v4, int32_t v5, int32_t v6);

// The three axes other than the axis of index 0..3 that are in the mask, as
// bits 0..2 in cyclic order after it: X gives Y, Z, U; Y gives Z, U, X;
// Z gives U, X, Y; U gives X, Y, Z.
uint16_t other_axes_mask(int axis, uint16_t mask);

// The largest of three absolute distances (pulses); |INT32_MIN| is 2^31.
uint32_t max_abs3(int32_t a, int32_t b, int32_t c);
