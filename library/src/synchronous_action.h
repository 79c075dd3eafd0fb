// The synchronous-action request, shared by its export and the batch move
// that arms a speed change with it.
#pragma once

#include <cstdint>

#include "request.h"

// One synchronous action of an axis, as the export takes it.
struct SynchAction {
  uint16_t enable;          // 1 on, 0 off
  uint16_t partners;        // axis bits of the partners (not the axis itself)
  uint16_t condition;       // sync word 1 conditions
  uint16_t action;          // the axis's own action word
  uint16_t partner_action;  // the partners' action word
  uint16_t source;          // comparator source, 0 or 32
  uint32_t compare_plus;    // comparator values, pulses
  uint32_t compare_minus;
};

// A zeroed, preset REQ_SET_SYNCH block: axis and enable; with enable 1 the
// partners relative to the axis, condition and actions, and with a
// comparator condition the source and both compare values.
void fill_synch_request(DriverRequest &block, uint16_t axis, const SynchAction &action);
