// The card table: one record per card ID, kept per process from load to unload.
#pragma once

#include <atomic>
#include <cstdint>

#include "win32.h"

constexpr int CARD_SLOTS = 16;
constexpr int AXES_PER_CARD = 4;
constexpr uint16_t NO_CARD_ID = 0xFFFF;

// What the moves remember of an axis between calls; cleared by open and reset.
struct AxisMotionState {
  uint16_t avoid_triangle = 0;         // S-curve avoid-triangle setting
  uint16_t last_start_speed_word = 0;  // chip words of the last asymmetric S-curve move
  uint16_t last_drive_speed_word = 0;
  uint16_t last_decel_jerk_word = 0;
  int32_t pulse_count = 0;             // pulses, absolute, of the last S-curve move
  uint16_t offset_pulse_count = 0;     // offset pulses of the last asymmetric S-curve move
  uint8_t abs_position_source = 0;     // 0 command counter, 1 encoder counter
  int32_t origin_offset = 0;           // counter value (pulses) that is absolute position 0
  int32_t last_abs_target = 0;         // pulses
  uint8_t last_target_valid = 0;
  uint8_t zero_when_stopped = 0;
  uint8_t internal_position_set = 0;
};

struct AxisBlock {
  double multiplier = 0;  // M = 8,000,000 / range
  uint32_t range = 0;     // speed range, PPS (16,000 .. 8,000,000)
  // Limits derived from M by update_axis_limits; compared as unsigned.
  uint32_t jerk_max = 0, jerk_min = 0;    // PPS/s^2
  uint32_t acc_min = 0, acc_max = 0;      // PPS/s
  uint32_t speed_min = 0, speed_max = 0;  // PPS
  AxisMotionState motion;
};

// A segment as the caller's array of continuous-interpolation segments holds it.
struct ContiSegmentRecord {
  uint8_t type = 0;
  int32_t x = 0, y = 0, z = 0;
  uint8_t arc_direction = 0;
  int32_t cx = 0, cy = 0;
};

struct ContiState {
  uint16_t axes[3] = {};
  int16_t loaded_count = 0;
  ContiSegmentRecord first_segment;
};

struct RobotParams {
  uint8_t type = 0;
  float parameters[32] = {};
};

struct CardRecord {
  HANDLE device = INVALID_HANDLE_VALUE;  // the card's open interface file
  uint16_t card_id = NO_CARD_ID;         // equal to the slot index once found
  char interface_path[MAX_PATH] = {};
  HANDLE int_events[AXES_PER_CARD] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE,
                                      INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
  AxisBlock axes[AXES_PER_CARD];
  ContiState conti;
  uint64_t shared_buffer_address = 0;  // user-space address of the mapped buffer; 0 unmapped
  uint32_t shared_buffer_length = 0;   // its length in bytes, as the driver reported it
  RobotParams robot;
};

struct CardTable {
  CardRecord cards[CARD_SLOTS];
  uint8_t present[CARD_SLOTS] = {};  // 1 where the scan found a card
  uint16_t card_count = 0;           // cards found by the last scan; 0 scans again
  int32_t attach_count = 0;          // process attaches minus detaches
};

extern CardTable card_table;
// Resets of each card since load. A job that runs on after its call (the
// batch move's worker) belongs to the card as it was: a reset ends it.
extern std::atomic<uint32_t> card_resets[CARD_SLOTS];

inline bool card_is_found(const CardRecord &card) {
  return card.card_id != NO_CARD_ID && card.interface_path[0] != '\0';
}
inline bool card_is_open(const CardRecord &card) { return card.device != INVALID_HANDLE_VALUE; }

// Copies a device-interface path into a slot's buffer with its terminator;
// false, and nothing copied, when it does not fit (a cut path would name
// another file).
bool copy_interface_path(char (&slot_path)[MAX_PATH], const char *path);
// Empties every slot and forgets the scan; the attach count stays.
void empty_card_table();
// Forgets the card of a slot that a scan found (the slot stays closed).
void forget_found_card(CardRecord &card);
// Takes the four axis ranges (PPS) from the driver: multipliers, cleared
// motion state and limits, as after open and reset.
void set_up_axes(uint8_t card, const uint32_t ranges[AXES_PER_CARD]);
