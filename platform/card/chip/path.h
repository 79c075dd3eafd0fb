// The geometry of one interpolation segment: a straight line of two or three
// axes, or a circular arc of two, measured in the chip's own steps.
//
// A line takes one step per pulse of its longest axis. An arc takes one step
// per pulse of whichever axis moves faster at that point of the circle (the
// axis farther from its extreme), so a circle of radius r is 8 x r / sqrt(2)
// steps: whole octants plus the parts of the first and the last. In one step
// no axis moves by more than one pulse. Positions are relative to the
// segment's start and rounded to whole pulses: within half a pulse, per
// axis, of the ideal line or circle; the last step lands exactly on the end
// point.
#pragma once

#include <array>
#include <cstdint>

namespace card::chip {

constexpr int kPathAxes = 3;  // master, second, third

enum class PathKind { kLine, kArcClockwise, kArcCounterClockwise };

struct PathSegment {
  PathKind kind = PathKind::kLine;
  std::array<std::int64_t, kPathAxes> end{};  // relative end point (arcs: the first two)
  std::int64_t steps = 0;                     // length in steps
  // Steps per unit of vector speed: the chip's speed registers give steps
  // per second times this (below 1 with constant vector speed on a line).
  double speed_scale = 1;
  // Arcs: the centre relative to the start, the radius, the start angle and
  // the measure of the whole arc (before rounding to steps).
  std::array<double, 2> center{};
  double radius = 0;
  double start_angle = 0;
  double measure = 0;
};

// A line to `end` (axes beyond `axes` stay); with constant vector speed the
// vector along the line moves at the drive speed instead of its longest axis.
PathSegment make_line(const std::array<std::int32_t, kPathAxes>& end, int axes, bool constant_vector_speed);
// An arc around `center` (relative to the start) to `end`; an end point of
// (0, 0) is a full circle.
PathSegment make_arc(bool clockwise, std::array<std::int32_t, 2> center, std::array<std::int32_t, 2> end);

// Position of path axis k after `step` steps (0 <= step <= steps).
std::int64_t segment_position(const PathSegment& segment, int k, std::int64_t step);

// The first step after `step` up to which every axis keeps moving one way
// (the end of a quadrant of an arc; the segment's end).
std::int64_t monotone_until(const PathSegment& segment, std::int64_t step);

// The first step in (from, until] at which axis k, moving in `direction`
// over that range, is at or beyond `target`; -1 when it does not get there.
std::int64_t step_reaching(const PathSegment& segment, int k, std::int64_t from, std::int64_t until,
                           std::int64_t target, int direction);

}  // namespace card::chip
