// Continuous interpolation: a chain of line and arc segments on two or three
// axes at one vector speed. What the segment-by-segment exports (both models)
// and the table-driven exports (model A) share. Distances and positions in
// pulses, speeds in PPS.
#pragma once

#include <cstdint>

#include "card_table.h"
#include "win32.h"
#include "rm7x0_status.h"

// Arc directions: the chip's clockwise and counter-clockwise commands.

// Segment modes of the per-segment exports: the driver takes 1 as a segment
// following the running one, any other as the first with the axes at rest.
constexpr uint16_t SEGMENT_FIRST = 0;
constexpr uint16_t SEGMENT_FOLLOWING = 1;

// Segment types of the caller's records; absolute forms add 16.
enum ContiSegmentType : uint8_t {
  SEGMENT_LINE2 = 0,
  SEGMENT_ARC2 = 1,
  SEGMENT_LINE3 = 2,
  SEGMENT_ABSOLUTE = 16,
};

// The axes of an interpolation (axis bits; third 0 for two axes).
struct ContiAxes {
  uint16_t axis[3];
};

// The chip word of a vector speed (PPS) on the master's range: above the
// vector maximum or outside the master's speeds, ERROR_INVALID_DRIVING_SPEED.
ApiStatus vector_speed_word(uint8_t card, uint16_t master, uint32_t speed, uint16_t *word);

// The axes of begin and configuration: card and axes (a third axis of 0 or
// 255 is none and becomes 0), partners distinct and apart from the master,
// then the driver's check that they may move.
ApiStatus check_conti_axes(uint8_t card, uint16_t axis1, uint16_t axis2, uint16_t axis3,
                           ContiAxes *axes);
// Its two halves: the card and the axis bits ...
ApiStatus check_conti_axis_bits(uint8_t card, uint16_t axis1, uint16_t axis2, uint16_t axis3,
                                ContiAxes *axes);
// ... then the partners and the driver's check that the axes may move.
ApiStatus check_conti_axes_free(uint8_t card, const ContiAxes &axes);
// A query of the card whose reply slot's low byte goes to *out, judged or
// not; the byte is written only when the query succeeded.
ApiStatus query_reply_byte(uint8_t card, DWORD code, bool judged, int slot, ApiStatus failure,
                           uint8_t *out);
// Axis word of begin and configuration: axis indexes in bits 0-1, 2-3, 4-5.
uint16_t conti_axis_word(const ContiAxes &axes);
// The axes' last absolute targets are no longer valid.
void forget_last_targets(uint8_t card, const ContiAxes &axes);
// After the driver opened the interpolation: the partners' ranges scaled to
// the master's for one vector speed, and the axes kept in ContiState. A
// refused range closes the interpolation again and is returned.
ApiStatus open_conti_run(uint8_t card, const ContiAxes &axes);
