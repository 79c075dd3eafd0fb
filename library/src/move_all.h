// The frame of the moves that start several axes at once (const, T-curve and
// S-curve "all" forms): every axis's move is converted before anything is
// sent, the driver checks the axes together, their starts are held while each
// axis's move is loaded, and one release starts them on the same chip tick.
#pragma once

#include <cstdint>

#include "request.h"

// What one "all" form adds to the frame, per axis (index 0 X .. 3 U).
class AxisMoveLoader {
 public:
  virtual ~AxisMoveLoader() = default;
  // Reads the caller's entries of the axis and converts them; a refusal here
  // ends the frame before anything is sent. Fills the axis's request block
  // (direction byte 0xFD, the direction in its own slot) here or in
  // before_send; *direction: the direction byte for the driver's check.
  virtual ApiStatus prepare(int axis, DriverRequest &block, uint8_t *direction) = 0;
  // Last step before the axis's request is sent (the axes are held).
  virtual ApiStatus before_send(int /*axis*/, DriverRequest & /*block*/) { return 0; }
};

// A mask of the "all" forms: X..U bits only, at least one.
inline bool valid_move_mask(uint16_t axes) {
  constexpr uint16_t AXIS_BITS = AXIS_X | AXIS_Y | AXIS_Z | AXIS_U;
  return (axes & AXIS_BITS) != 0 && (axes & ~AXIS_BITS) == 0;
}

// Runs the frame for the mask (X..U bits only, at least one). The result is
// the release's; a move that the driver refused to load is reported (its
// mapped word) once the other axes were released, never dropped silently.
// A failure after the hold (a failed delivery gives own_failure) drops the
// moves already loaded and releases the axes: no axis stays held.
ApiStatus move_all_axes(uint8_t card, uint16_t axes, DWORD code, ApiStatus own_failure,
                        AxisMoveLoader &loader);

// Direction byte of a move that REQ_CHECK_AXES_MOVE checked with the other
// axes; the direction follows in a later slot.
constexpr uint8_t DIRECTION_CHECKED = 0xFD;
// Direction byte of a move loaded without a start: a synchronous action
// starts it, in the direction its action names.
constexpr uint8_t DIRECTION_LOADED = 0xFC;

// One entry of a caller's per-axis array; false when reading it faults.
template <typename T>
bool load_entry(const T *array, int axis, T *value) {
  return seh::try_load(*value, array + axis);
}

// The direction byte of a distance: 1 for 0 and above, else 0.
inline uint8_t direction_of_distance(int32_t pulses) { return pulses >= 0 ? 1 : 0; }
// |pulses| as the chip takes it (2^31 for INT32_MIN).
inline uint32_t distance_of(int32_t pulses) {
  return pulses >= 0 ? static_cast<uint32_t>(pulses) : 0u - static_cast<uint32_t>(pulses);
}
