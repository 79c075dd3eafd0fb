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
  bool in3 = false;        // the IN3 input level
  bool exp_plus = false;   // the external-drive inputs' levels
  bool exp_minus = false;

  // Detents the hand wheel has turned (signed). Changing it turns the wheel
  // by the difference: an axis in a hand-wheel mode drives that many steps.
  std::int64_t hand_wheel = 0;
  // Detents per second at which the bench turns the wheel by itself (signed;
  // 0: it stands still), as a hand turning it steadily would.
  double hand_wheel_rate = 0;
};

}  // namespace card

#include <map>
#include <string>

namespace card {

// Reads an axis's mechanics from the keys of its section of a machine file
// (key names as the machine-file documentation lists them; compared without
// regard to case): LimitPlus, LimitMinus, Home, HomeWidth, NearHome,
// NearHomeWidth, IndexPeriod, EncoderRatio, Alarm, EmergencyStop,
// InPosition, IN3, ExpPlus, ExpMinus, HandWheelRate. Positions are integers (an empty value
// or "none": no such sensor), flags 0/1, true/false, yes/no or on/off. Keys
// it does not know are left to the caller. Throws std::invalid_argument on a
// bad value.
AxisMechanics mechanics_from_keys(const std::map<std::string, std::string>& keys);

// Whether mechanics_from_keys() knows the key (the caller refuses the others).
bool is_mechanics_key(const std::string& key);

// Throws std::invalid_argument when the mechanics cannot be simulated: a
// negative width or index period, an encoder ratio that is not a positive
// finite number.
void validate_mechanics(const AxisMechanics& m);

}  // namespace card
