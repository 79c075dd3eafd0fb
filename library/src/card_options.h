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
  // 1: acceleration, deceleration and jerk arguments of the moves are times
  // in milliseconds (option type 3).
  uint8_t rates_as_times[CARD_SLOTS] = {};
  // 1: S-curve moves always run with the deceleration point the library
  // computes (option type 5).
  uint8_t s_curve_decel_point[CARD_SLOTS] = {};
  // 1: the line moves use the drive speed as given (option types 1 and 4,
  // one flag: the last one set wins; also sent to the driver).
  uint8_t line_speed_as_given[CARD_SLOTS] = {};
  // 1: unless the flag above is set, the line moves derive their axes' speeds
  // from the axes' distances (option type 6).
  uint8_t line_speed_from_distances[CARD_SLOTS] = {};
  // 1: the sudden stop returns without waiting (option type 7).
  uint8_t stop_without_wait[CARD_SLOTS] = {};
  // 1: counters may be written while the axis moves (option type 8).
  uint8_t counters_while_moving[CARD_SLOTS] = {};
  // Copied into the home-search request (option type 9).
  uint8_t home_option[CARD_SLOTS] = {};
};

extern CardOptions card_options;
