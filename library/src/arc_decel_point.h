// Where a T-curve arc must begin to decelerate, in the chip's measure of arc
// progress: one step per pulse of whichever axis moves faster at that point
// of the circle, so that each eighth of the circle (octant) counts
// radius / sqrt(2) steps. Points in pulses, relative to the arc's start;
// speeds in PPS, ACC in PPS/s.
#pragma once

#include <cstdint>


// The octant (0..7, counter-clockwise from the positive master axis) of a
// vector from the centre. On a diagonal a start vector takes the octant the
// arc moves into and an end vector the one it arrives from.
int arc_octant(int64_t x, int64_t y, bool clockwise, bool is_start);
// The arc's length in steps: the parts of its first and last octant and the
// whole octants between; an arc ending where it starts is a full circle.
int64_t arc_steps(uint16_t direction, int32_t cx, int32_t cy, int32_t ex, int32_t ey);
// The step at which deceleration from the drive speed (or from the peak a
// short arc reaches) brings the arc to its start speed AO steps before its
// end; 0 when no point can be given. Speeds in PPS and ACC in PPS/s as the
// chip runs them (chip_rates.h).
int32_t arc_decel_point(uint16_t direction, double sv, double dv, double acc, int32_t cx,
                        int32_t cy, int32_t ex, int32_t ey, int16_t ao);
