// Interpolated paths: starting one from the registers of its axes, queueing
// continuous segments, moving the axes along it and watching them.
//
// A segment's end points are the kCmdPulses registers of its axes, taken as
// signed pulses relative to where the segment begins; an arc's centre is the
// kCmdArcCenter registers of master and second axis, relative likewise.
// Speeds, ramps and the deceleration point are the master's registers, in
// path steps per second. With constant vector speed (kRegInterpMode 0x100 or
// 0x300) a line runs its vector at the drive speed; arcs always run their
// steps at it. With interpolation deceleration off (kCmdInterpDecOff) a
// path does not decelerate at its end; kCmdInterpDecOn while it runs
// re-plans it to decelerate to the end of the segments the chip holds.
#include "interpolation.h"

#include <algorithm>

namespace card::chip {
namespace {

int mode_axis(std::uint16_t mode, int k) {
  return (mode >> (kInterpAxisBits * static_cast<unsigned>(k))) & 0x3;
}

std::int32_t signed_pulses(const AxisState& axis) { return static_cast<std::int32_t>(axis.reg.pulses); }

std::int64_t current_step(const Path& path, double progress) {
  return std::clamp<std::int64_t>(pulses_done(progress) - path.base, 0, path.current.steps);
}

// How axis k moves from `step` to the end of the quadrant: +1, -1 or 0.
int axis_direction(const Path& path, int k, std::int64_t step, std::int64_t until) {
  const std::int64_t from = segment_position(path.current, k, step);
  const std::int64_t to = segment_position(path.current, k, until);
  return (to > from) - (to < from);
}

// The segment a command describes, from the registers of the path's axes.
PathSegment command_segment(std::uint8_t code, const std::array<AxisState*, kPathAxes>& axes, std::uint16_t mode) {
  if (code == kCmdArcCw || code == kCmdArcCcw) {
    return make_arc(code == kCmdArcCw, {axes[0]->reg.arc_center, axes[1]->reg.arc_center},
                    {signed_pulses(*axes[0]), signed_pulses(*axes[1])});
  }
  const int count = code == kCmdLine3 ? 3 : 2;
  std::array<std::int32_t, kPathAxes> end{};
  for (int k = 0; k < count; ++k) end[k] = signed_pulses(*axes[k]);
  return make_line(end, count, (mode & kInterpVectorSpeed) != 0);
}

bool distinct(const std::array<AxisState*, kPathAxes>& axes) {
  for (int i = 0; i < kPathAxes; ++i) {
    for (int j = i + 1; j < kPathAxes; ++j) {
      if (axes[i] && axes[i] == axes[j]) return false;
    }
  }
  return true;
}

void start_path(Path& path, const std::array<AxisState*, kPathAxes>& axes, const PathSegment& segment,
                SimTime now) {
  for (AxisState* axis : axes) {
    if (axis && busy(*axis)) return;  // like a drive command to a busy axis
  }
  path.axes = axes;
  path.current = segment;
  path.queued.reset();
  path.base = 0;
  for (int k = 0; k < kPathAxes; ++k) {
    if (!axes[k]) continue;
    path.origin[k] = axes[k]->travel;
    axes[k]->on_path = &path;
    axes[k]->stop_reasons = 0;
  }
  start_drive(*axes[0], now, true, 1, SpeedSource::kPath, static_cast<std::uint32_t>(segment.steps), &path);
}

// A continuous segment into the free slot (a command for a full slot is
// lost: the driver looks at main status bit 9 first); the master's drive now
// reaches to the segment's end. An axis of the segment that the path did not
// move yet (a three-axis line after two-axis segments) joins the path where
// it stands.
void queue_segment(Path& path, const std::array<AxisState*, kPathAxes>& members,
                   const PathSegment& segment, SimTime now) {
  for (int k = 0; k < kPathAxes; ++k) {
    AxisState* axis = members[k];
    if (!axis || path.axes[k] || busy(*axis)) continue;
    path.axes[k] = axis;
    path.origin[k] = axis->travel;
    axis->on_path = &path;
    axis->stop_reasons = 0;
  }
  path.queued = segment;
  AxisState& master = *path.axes[0];
  master.drive.target = static_cast<std::uint32_t>(path.base + path.current.steps + segment.steps);
  replan(master, now);
}

void switch_deceleration(Path& path, bool on, SimTime now) {
  if (path.decelerate == on) return;
  path.decelerate = on;
  if (path.running()) replan(*path.axes[0], now);
}

}  // namespace

std::array<AxisState*, kPathAxes> drive_axes(AxisState& axis) {
  if (axis.drive.path) return axis.drive.path->axes;
  return {&axis, nullptr, nullptr};
}

AxisState& driving_axis(AxisState& axis) { return axis.on_path ? *axis.on_path->axes[0] : axis; }
const AxisState& driving_axis(const AxisState& axis) { return axis.on_path ? *axis.on_path->axes[0] : axis; }

void place_on_path(Path& path, double progress) {
  const std::int64_t step = current_step(path, progress);
  for (int k = 0; k < kPathAxes; ++k) {
    if (path.axes[k]) path.axes[k]->travel = path.origin[k] + segment_position(path.current, k, step);
  }
}

bool path_event_progress(const Path& path, double progress, double& next) {
  const std::int64_t step = current_step(path, progress);
  const std::int64_t until = monotone_until(path.current, step);
  if (until <= step) return false;
  std::int64_t first = until;
  for (int k = 0; k < kPathAxes; ++k) {
    const AxisState* axis = path.axes[k];
    const int direction = axis ? axis_direction(path, k, step, until) : 0;
    std::int64_t travel = 0;
    if (direction == 0 || !next_sensor_travel(*axis, direction, travel)) continue;
    const std::int64_t at = step_reaching(path.current, k, step, until, travel - path.origin[k], direction);
    if (at > 0) first = std::min(first, at);
  }
  next = static_cast<double>(path.base + first);
  return true;
}

bool path_stop_condition(Path& path, double progress, std::uint16_t& reason, bool& sudden) {
  const std::int64_t step = current_step(path, progress);
  const std::int64_t until = monotone_until(path.current, step);
  for (int k = 0; k < kPathAxes; ++k) {
    AxisState* axis = path.axes[k];
    if (!axis) continue;
    int direction = until > step ? axis_direction(path, k, step, until) : 0;
    if (direction == 0) {
      if (!axis->mech.emergency_stop && !alarm_active(*axis)) continue;  // standing still: only these stop it
      direction = 1;
    }
    if (stop_condition(*axis, direction, reason, sudden)) {
      axis->stop_reasons |= reason;
      return true;
    }
  }
  return false;
}

bool next_path_segment(Path& path, double progress) {
  if (!path.queued || pulses_done(progress) - path.base < path.current.steps) return false;
  for (int k = 0; k < kPathAxes; ++k) path.origin[k] += path.current.end[k];
  path.base += path.current.steps;
  path.current = *path.queued;
  path.queued.reset();
  return true;
}

void end_path(Path& path) {
  for (AxisState* axis : path.axes) {
    if (axis) axis->on_path = nullptr;
  }
  path.axes = {};
  path.queued.reset();
}

void interpolation_command(Path& path, std::array<AxisState, kAxisCount>& axes, std::uint16_t mode,
                           std::uint8_t code, SimTime now) {
  if (code == kCmdInterpDecOn || code == kCmdInterpDecOff) {
    switch_deceleration(path, code == kCmdInterpDecOn, now);
    return;
  }
  std::array<AxisState*, kPathAxes> members{};
  const int count = code == kCmdLine3 ? 3 : 2;
  for (int k = 0; k < count; ++k) members[k] = &axes[mode_axis(mode, k)];
  if (!distinct(members)) return;
  const PathSegment segment = command_segment(code, members, mode);
  if (!path.running() && members[0]->held) {
    path.held_axes = members;
    path.held_segment = segment;
  } else if (!path.running()) {
    start_path(path, members, segment, now);
  } else if (accepts_next_segment(path, mode) && members[0] == path.axes[0]) {
    queue_segment(path, members, segment, now);
  }
}

bool accepts_next_segment(const Path& path, std::uint16_t mode) {
  return (mode & kInterpContinuous) && path.running() && moving(path.axes[0]->drive) && !path.queued;
}

void release_held_path(Path& path, SimTime now) {
  AxisState* master = path.held_axes[0];
  if (!master || master->held) return;
  const std::array<AxisState*, kPathAxes> members = path.held_axes;
  path.held_axes = {};
  start_path(path, members, path.held_segment, now);
}

void drop_held_path(Path& path, const AxisState& axis) {
  for (AxisState* member : path.held_axes) {
    if (member == &axis) path.held_axes = {};
  }
}

}  // namespace card::chip
