// Conversion of speeds, accelerations and jerks into the 16-bit words that the
// motion chip takes, within each axis's limits.
//
// Units at this boundary:
//   speed         PPS (pulses per second)           word = speed / M
//   acceleration  PPS/s                             word = acceleration / (125 M)
//   jerk          PPS/s^2                           word = 62,500,000 M / jerk
// where M is the axis's multiplier (8,000,000 / speed range, AxisBlock).
// Every export converts through these routines and nowhere else.
#pragma once

#include <cstdint>

#include "rm7x0_status.h"

// A move's speed profile, filled by the caller and converted in place.
enum SpeedProfileKind : uint16_t {
  PROFILE_T_CURVE = 1,             // trapezoid, deceleration = acceleration
  PROFILE_CONSTANT_SPEED = 2,      // drive speed only
  PROFILE_T_CURVE_OWN_DECEL = 3,   // trapezoid with its own deceleration
  PROFILE_S_CURVE = 4,             // jerk-limited
};

struct SpeedProfile {
  uint16_t kind;               // SpeedProfileKind
  int32_t start_speed;         // SV, PPS
  uint32_t drive_speed;        // V, PPS
  int32_t acceleration;        // PPS/s
  uint32_t deceleration;       // PPS/s
  int32_t jerk;                // PPS/s^2
  int32_t deceleration_jerk;   // PPS/s^2; 0 = not given
  // Results: chip words, 0 for the ones the kind does not use.
  uint16_t start_speed_word;
  uint16_t drive_speed_word;
  uint16_t acceleration_word;
  uint16_t deceleration_word;
  uint16_t jerk_word;
  uint16_t deceleration_jerk_word;
};

// One value of the axis (its lowest bit among X, Y, Z, U) into a chip word.
// Returns 1 and writes *word when the value lies within the axis's limits, or
// when the card's clamp option is set (the value is then clamped to them);
// returns 0 and writes nothing otherwise. The caller has checked card and axis.
int speed_to_register(uint8_t card, uint16_t axis, uint32_t pps, uint16_t *word);
int acc_to_register(uint8_t card, uint16_t axis, uint32_t pps_per_s, uint16_t *word);
int jerk_to_register(uint8_t card, uint16_t axis, uint32_t pps_per_s2, uint16_t *word);

// All words of a profile, by its kind. Returns 0, or the status of the first
// value refused: -244 start speed, -245 drive speed, -247 start speed above
// drive speed, -233 acceleration, -234 deceleration, -235 jerk, -236
// deceleration jerk. On failure the profile's words are left as they were.
ApiStatus profile_to_registers(uint8_t card, uint16_t axis, SpeedProfile *profile);

// Rates from times, for cards whose option makes acceleration arguments times
// in milliseconds. The speed change is |dv - sv| PPS. A time of 0 gives 0
// (which the conversions above refuse unless the clamp option raises it);
// a rate beyond 32 bits saturates at 0xFFFFFFFF.
//   acceleration (PPS/s)  = change x 1000 / time_ms
//   jerk (PPS/s^2)        = change x 4,000,000 / time_ms^2  (S-curve: the
//                           speed changes by the full amount in time_ms)
uint32_t acceleration_from_time(uint32_t sv, uint32_t dv, uint32_t time_ms);
uint32_t jerk_from_time(uint32_t sv, uint32_t dv, uint32_t time_ms);
// A move's acceleration or jerk argument in PPS/s or PPS/s^2: converted from
// a time as above when the card's rates-as-times option is set, else as given.
uint32_t acceleration_argument(uint8_t card, uint32_t sv, uint32_t dv, uint32_t value);
uint32_t jerk_argument(uint8_t card, uint32_t sv, uint32_t dv, uint32_t value);
