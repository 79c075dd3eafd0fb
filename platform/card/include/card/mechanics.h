// The machine behind one axis of the card: its sensors and drive, as a machine
// description sets them and a test may change them on the fly.
//
// Positions are in pulses of the axis's command position.
#pragma once

#include <cstdint>
#include <optional>

namespace card {

struct AxisMechanics {
  // Sensor positions; a sensor is active while the axis is at or beyond it
  // (limits) or within its width (home, near home). No value: no such sensor.
  std::optional<std::int64_t> limit_plus;
  std::optional<std::int64_t> limit_minus;
  std::optional<std::int64_t> home;
  std::int64_t home_width = 50;
  std::optional<std::int64_t> near_home;
  std::int64_t near_home_width = 2000;
  // One index pulse per this many pulses (0 = none), e.g. once per motor turn.
  std::int64_t index_period = 0;

  // Encoder pulses per command pulse (1 = the encoder follows exactly).
  double encoder_ratio = 1.0;

  // Levels forced by the bench (injected faults and signals).
  bool alarm = false;
  bool emergency_stop = false;
  bool in_position = true;
  bool in3 = false;
};

}  // namespace card

#include <map>
#include <string>

namespace card {

// Reads an axis's mechanics from the keys of its section of a machine file
// (key names as the machine-file documentation lists them); keys it does not
// know are left to the caller. Throws std::invalid_argument on a bad value.
AxisMechanics mechanics_from_keys(const std::map<std::string, std::string>& keys);

}  // namespace card
