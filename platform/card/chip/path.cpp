// Line and arc geometry in the chip's steps.
//
// Arc measure: the steps from angle 0 to angle t along a circle of radius r
// are F(t) = integral of r x max(|cos|, |sin|). Each octant adds r / sqrt(2):
// in octants that begin on an axis (even ones) the part is r sin(u) after u
// radians, in those that begin on a diagonal r (sin(pi/4) - sin(pi/4 - u)).
// F is odd and strictly increasing, so it inverts octant by octant.
#include "path.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace card::chip {
namespace {

constexpr double kOctant = std::numbers::pi / 4;
constexpr double kQuadrant = std::numbers::pi / 2;
constexpr double kSinOctant = std::numbers::sqrt2 / 2;
constexpr double kFullTurn = 2 * std::numbers::pi;
constexpr double kAngleTolerance = 1e-12;

double octant_measure(double r, double angle) {
  const double t = std::abs(angle);
  const double whole = std::floor(t / kOctant);
  const double u = t - whole * kOctant;
  const bool from_axis = static_cast<std::int64_t>(whole) % 2 == 0;
  const double part = from_axis ? r * std::sin(u) : r * (kSinOctant - std::sin(kOctant - u));
  return std::copysign(whole * r * kSinOctant + part, angle);
}

double octant_angle(double r, double measure) {
  const double x = std::abs(measure);
  const double octant_length = r * kSinOctant;
  const double whole = std::floor(x / octant_length);
  const double part = x - whole * octant_length;
  const bool from_axis = static_cast<std::int64_t>(whole) % 2 == 0;
  const double u = from_axis ? std::asin(std::min(1.0, part / r))
                             : kOctant - std::asin(std::clamp(kSinOctant - part / r, -1.0, 1.0));
  return std::copysign(whole * kOctant + u, measure);
}

int sweep_sign(const PathSegment& s) { return s.kind == PathKind::kArcClockwise ? -1 : 1; }

// Angle after `measure` of the arc's steps.
double arc_angle(const PathSegment& s, double measure) {
  return octant_angle(s.radius, octant_measure(s.radius, s.start_angle) + sweep_sign(s) * measure);
}

double arc_measure_at(const PathSegment& s, double angle) {
  return sweep_sign(s) * (octant_measure(s.radius, angle) - octant_measure(s.radius, s.start_angle));
}

std::int64_t round_ratio(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t quotient = numerator / denominator;
  const std::int64_t rest = numerator % denominator;
  if (2 * std::llabs(rest) < denominator) return quotient;
  return quotient + (numerator < 0 ? -1 : 1);
}

}  // namespace

PathSegment make_line(const std::array<std::int32_t, kPathAxes>& end, int axes, bool constant_vector_speed) {
  PathSegment s;
  double length_squared = 0;
  for (int k = 0; k < axes; ++k) {
    s.end[k] = end[k];
    s.steps = std::max<std::int64_t>(s.steps, std::llabs(s.end[k]));
    length_squared += static_cast<double>(s.end[k]) * static_cast<double>(s.end[k]);
  }
  if (constant_vector_speed && s.steps > 0) s.speed_scale = s.steps / std::sqrt(length_squared);
  return s;
}

PathSegment make_arc(bool clockwise, std::array<std::int32_t, 2> center, std::array<std::int32_t, 2> end) {
  PathSegment s;
  s.kind = clockwise ? PathKind::kArcClockwise : PathKind::kArcCounterClockwise;
  s.end = {end[0], end[1], 0};
  s.center = {static_cast<double>(center[0]), static_cast<double>(center[1])};
  s.radius = std::hypot(s.center[0], s.center[1]);
  if (s.radius == 0) return s;  // no circle: the segment is empty
  s.start_angle = std::atan2(-s.center[1], -s.center[0]);
  double sweep = kFullTurn;
  if (end[0] != 0 || end[1] != 0) {
    const double end_angle = std::atan2(end[1] - s.center[1], end[0] - s.center[0]);
    sweep = std::remainder(sweep_sign(s) * (end_angle - s.start_angle), kFullTurn);
    if (sweep <= kAngleTolerance) sweep += kFullTurn;
  }
  s.measure = arc_measure_at(s, s.start_angle + sweep_sign(s) * sweep);
  s.steps = std::llround(s.measure);
  return s;
}

std::int64_t segment_position(const PathSegment& s, int k, std::int64_t step) {
  if (step >= s.steps) return s.end[k];
  if (step <= 0) return 0;
  if (s.kind == PathKind::kLine) return round_ratio(s.end[k] * step, s.steps);
  if (k >= 2) return 0;
  const double angle = arc_angle(s, static_cast<double>(step) * s.measure / s.steps);
  const double on_circle = s.center[k] + s.radius * (k == 0 ? std::cos(angle) : std::sin(angle));
  return std::llround(on_circle);
}

std::int64_t monotone_until(const PathSegment& s, std::int64_t step) {
  if (s.kind == PathKind::kLine || s.steps == 0) return s.steps;
  // Quadrant boundaries (where one axis turns back) passed by the arc, as steps.
  const double from = s.start_angle;
  const double to = s.start_angle + sweep_sign(s) * (s.measure / s.radius) * 2;  // beyond the end
  const double low = std::min(from, to), high = std::max(from, to);
  std::int64_t next = s.steps;
  for (double q = std::ceil(low / kQuadrant); q * kQuadrant <= high; q += 1) {
    const double m = arc_measure_at(s, q * kQuadrant);
    if (m <= 0 || m >= s.measure) continue;
    const auto boundary = static_cast<std::int64_t>(std::floor(m * s.steps / s.measure));
    if (boundary > step) next = std::min(next, boundary);
  }
  return next;
}

std::int64_t step_reaching(const PathSegment& s, int k, std::int64_t from, std::int64_t until,
                           std::int64_t target, int direction) {
  auto at_or_beyond = [&](std::int64_t step) { return direction * (segment_position(s, k, step) - target) >= 0; };
  if (until <= from || !at_or_beyond(until)) return -1;
  std::int64_t low = from, high = until;
  while (high - low > 1) {
    const std::int64_t mid = low + (high - low) / 2;
    (at_or_beyond(mid) ? high : low) = mid;
  }
  return high;
}

}  // namespace card::chip
