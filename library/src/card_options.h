// Per-card options that change how other routines work. Set by the option
// export of the library; kept from load to unload, never cleared by open,
// close or reset.
#pragma once

#include <cstdint>

#include "card_table.h"

struct CardOptions {
  // 1: speeds, accelerations and jerks beyond an axis's limits are clamped
  // to them instead of refused (option type 2).
  uint8_t clamp_to_limits[CARD_SLOTS] = {};
};

extern CardOptions card_options;
