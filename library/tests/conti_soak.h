// A long continuous path of short segments run end to end through the
// library on card 0 of the booted machine: fed by the driver's segment table
// or by the application (next-ready, then the next segment), on a manual
// clock that the run steps or on a scaled one that runs by itself. Shared by
// the soak test and the feed bench.
#pragma once

#include <cstdint>
#include <string>

enum class SoakFeed { Table, Application };
// Lines3: three-axis lines only, the table from absolute points with a
// T-curve (start speed, ramp, final deceleration). Mixed2 / Mixed3: lines
// and quarter arcs on two axes, or lines of two and three axes and arcs on
// three, at a constant vector speed.
enum class SoakShape { Lines3, Mixed2, Mixed3 };

struct SoakRun {
  SoakFeed feed;
  SoakShape shape;
  double shortest_ms, longest_ms;  // segment times drawn evenly between the two
  unsigned seed;
  int segments;                    // the first one included
  bool manual_clock;
};

struct SoakResult {
  int fed = 0;                 // segments handed to the card
  bool exact_end = false;      // every axis ended on the path's last point
  bool gap_free = false;       // the vector speed never fell below the path's speed before the end
  bool decelerated = false;    // the path ended at its start speed (T-curve) or at speed
  bool break_reported = false; // motion_done or a segment export named a break
  std::string failure;         // what went wrong, for the message
  bool passed() const { return exact_end && gap_free && decelerated && !break_reported; }
};

// Vector speed of the path and, for the T-curve, its start speed (PPS).
constexpr std::uint32_t SOAK_SPEED = 100000;
constexpr std::uint32_t SOAK_START_SPEED = 10000;

SoakResult run_soak(const SoakRun &run);
std::string describe(const SoakRun &run);
