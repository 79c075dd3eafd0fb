// A grid of moves of every profile kind, run end to end (export -> driver ->
// simulated chip) on card 0 of a booted machine with a manual clock, each
// measured by the bench's instrument on the pulse output and set against the
// ideal profile of the words the chip runs. The physics test asserts on it;
// the profile bench prints its worst figures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GridOutcome {
  std::string name;        // kind, range, rate words, distance
  int status = 0;          // of the export that started the move
  bool ended = false;      // output ended within the time allowed
  int64_t pulses_expected = 0, pulses = 0;  // where the driven axes should and did end
  double speed_step = 1;   // one chip speed step (M PPS)
  double end_speed = 0;    // the speed the last pulse should go out at (SV; DV at constant speed)
  double final_speed = 0;  // the speed it went out at
  double drive_speed = 0;  // DV as the caller gave it
  double peak_speed = 0;   // highest speed on the way
  double ideal_seconds = 0;  // 0: no ideal duration for this kind
  double seconds = 0;
  // A deceleration point is a whole pulse: up to one pulse more at the start
  // speed than the ideal is the chip's, not the plan's.
  double allowance_seconds = 0;
};

// Runs the grid on card 0, which must be open on a manual clock. `quick`
// keeps one jerk word per range (for a bench smoke run).
std::vector<GridOutcome> run_profile_grid(bool quick = false);

// Final-speed error in chip speed steps, and relative duration error
// beyond the whole-pulse allowance (0 when there is no ideal).
double final_speed_error_steps(const GridOutcome &outcome);
double duration_error(const GridOutcome &outcome);
