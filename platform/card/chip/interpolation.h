// Linear, circular and continuous interpolation: one path drives two or three
// axes. The master axis (kRegInterpMode bits 0-1) runs an ordinary fixed
// drive whose progress counts path steps (path.h) at the master's speeds;
// every axis of the path takes its travel from that progress, reads busy and
// is watched for limits and comparators; drive end is raised on the master.
//
// With kRegInterpMode bit 0x4000 the chip holds one queued segment: the
// master's drive runs on into it without a break, and its slot is free again
// (main status bit 9, interrupt output) once the queued segment has begun.
#pragma once

#include <array>
#include <optional>

#include "axis.h"
#include "path.h"

namespace card::chip {

struct Path {
  std::array<AxisState*, kPathAxes> axes{};  // master, second, third; null: not on the path
  PathSegment current;
  std::optional<PathSegment> queued;
  std::int64_t base = 0;                         // steps before the current segment
  std::array<std::int64_t, kPathAxes> origin{};  // travel of each axis where the current segment began
  bool decelerate = true;                        // kCmdInterpDecOn / _OFF; kept between paths
  // A path commanded while its master's drive starts were held: it starts
  // when the master is released, and a stop to any of its axes drops it.
  std::array<AxisState*, kPathAxes> held_axes{};
  PathSegment held_segment;

  bool running() const { return axes[0] != nullptr; }
};

// ---- for the drive of the master (drive.cpp) ---------------------------------
// The axes whose travel the drive moves: the path's, or the axis alone.
std::array<AxisState*, kPathAxes> drive_axes(AxisState& axis);
// The axis whose drive moves this one: its path's master, or itself.
AxisState& driving_axis(AxisState& axis);
const AxisState& driving_axis(const AxisState& axis);
void place_on_path(Path& path, double progress);
// Progress of the next thing on the path ahead of `progress`: the end of a
// quadrant, a limit, sensor or comparator reached by one of its axes.
bool path_event_progress(const Path& path, double progress, double& next);
// A limit, alarm or emergency stop of any path axis in the way it moves;
// that axis gets the stop reason.
bool path_stop_condition(Path& path, double progress, std::uint16_t& reason, bool& sudden);
// At the end of the current segment, takes up the queued one; true if so.
bool next_path_segment(Path& path, double progress);
// The drive ended: the axes leave the path.
void end_path(Path& path);

// ---- for the chip (motion_chip.cpp) -------------------------------------------
// kCmdLine2, kCmdLine3, the arc commands and the deceleration switches.
void interpolation_command(Path& path, std::array<AxisState, kAxisCount>& axes, std::uint16_t mode,
                           std::uint8_t code, SimTime now);
// Main status bit 9: continuous interpolation runs and its slot is free.
bool accepts_next_segment(const Path& path, std::uint16_t mode);
// kCmdDriveRelease: a held path whose master is released starts now.
void release_held_path(Path& path, SimTime now);
// A stop to `axis`: a held path with the axis on it will not start.
void drop_held_path(Path& path, const AxisState& axis);

}  // namespace card::chip
