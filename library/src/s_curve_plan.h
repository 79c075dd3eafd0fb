// The planning of one S-curve move of an axis, from the caller's values to
// what its request carries: the chip words, the profile mode and the last
// slot. Speeds in PPS, jerks in PPS/s^2 (or milliseconds with the card's
// rates-as-times option), distances in pulses.
//
// A move whose deceleration jerk differs from its jerk (or any S-curve move
// with the card's deceleration-point option) runs in mode 7: the library
// lowers the drive speed to the peak the distance allows and tells the chip
// where to begin the deceleration; the axis remembers that move's words for
// a later speed change.
#pragma once

#include <cstdint>

#include "request.h"
#include "rm7x0_status.h"
#include "unit_conversion.h"

constexpr uint32_t S_MODE_CHIP_PROFILE = 4;   // the chip's own symmetric S-curve
constexpr uint32_t S_MODE_DECEL_POINT = 7;    // deceleration point given by the library

// One S-curve move of an axis, from the caller's values to its request.
struct SMove {
  uint32_t sv = 0, dv = 0, jerk = 0, decel_jerk = 0;
  int32_t pulses = 0;
  int16_t offset = 0;
  SpeedProfile profile{};
  uint32_t mode = S_MODE_CHIP_PROFILE;
  uint32_t tail = 0;  // mode 4: the offset sign-extended; mode 7: the deceleration point
};

// Rates from times where the card takes times, the chip words, then the mode
// and the last slot; in mode 7 the drive speed may be lowered to the peak
// speed. Returns the status of a value the conversion refuses.
ApiStatus plan_s_move(uint8_t card, uint16_t axis, SMove *move);
// Mode 7 of a move whose words are converted: the drive speed lowered to the
// peak its distance allows (not below the start speed) and the deceleration
// point, both planned from the words the chip will run, so that the ramps
// the chip then makes fit. Returns the status of a refused conversion.
ApiStatus plan_s_decel_point(uint8_t card, uint16_t axis, SMove *move);
// A move that a synchronous action starts later: the chip words, mode 4
// when the jerks agree, else mode 7 planned as above from the distance (no
// offset, no card option, nothing remembered for a speed change). A short
// move's drive speed is lowered to its peak too: with the words as given it
// would reach its end at speed.
ApiStatus plan_loaded_s_move(uint8_t card, uint16_t axis, SMove *move);
// The eight slots of a planned move from first_slot on, in the order that
// every request carrying an S-curve move uses: start-speed, drive-speed, jerk
// and deceleration-jerk words, mode, distance, the direction byte, the tail.
void put_s_move_slots(DriverRequest &block, int first_slot, const SMove &move, uint8_t direction);
// The axis remembers a mode-7 move for a later speed change.
void remember_s_move(uint8_t card, uint16_t axis, const SMove &move);
// Where the deceleration must begin: the distance less the offset and the
// chip's ramp down from the drive speed (words, at the chip's multiplier),
// never before the start.
uint32_t decel_point(uint32_t distance, int16_t offset, uint16_t start_word, uint16_t drive_word,
                     uint16_t decel_jerk_word, double multiplier);
