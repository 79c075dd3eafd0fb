// Axis mechanics from the keys of a machine-file section, and their checks.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <stdexcept>

#include "card/mechanics.h"

namespace card {
namespace {

constexpr double kMaxHandWheelRate = 100000;

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

[[noreturn]] void bad_value(const std::string& key, const std::string& value) {
  throw std::invalid_argument("bad value for " + key + ": \"" + value + "\"");
}

std::int64_t parse_integer(const std::string& key, const std::string& value) {
  std::size_t used = 0;
  try {
    const long long number = std::stoll(value, &used, 10);
    if (used == value.size()) return number;
  } catch (const std::exception&) {
  }
  bad_value(key, value);
}

std::optional<std::int64_t> parse_position(const std::string& key, const std::string& value) {
  if (value.empty() || lower(value) == "none") return std::nullopt;
  return parse_integer(key, value);
}

double parse_number(const std::string& key, const std::string& value) {
  std::size_t used = 0;
  try {
    const double number = std::stod(value, &used);
    if (used == value.size()) return number;
  } catch (const std::exception&) {
  }
  bad_value(key, value);
}

bool parse_flag(const std::string& key, const std::string& value) {
  const std::string v = lower(value);
  if (v == "1" || v == "true" || v == "yes" || v == "on") return true;
  if (v == "0" || v == "false" || v == "no" || v == "off") return false;
  bad_value(key, value);
}

using Setter = std::function<void(AxisMechanics&, const std::string& key, const std::string& value)>;

const std::map<std::string, Setter>& setters() {
  static const std::map<std::string, Setter> table = {
      {"limitplus", [](AxisMechanics& m, auto& k, auto& v) { m.limit_plus = parse_position(k, v); }},
      {"limitminus", [](AxisMechanics& m, auto& k, auto& v) { m.limit_minus = parse_position(k, v); }},
      {"home", [](AxisMechanics& m, auto& k, auto& v) { m.home = parse_position(k, v); }},
      {"homewidth", [](AxisMechanics& m, auto& k, auto& v) { m.home_width = parse_integer(k, v); }},
      {"nearhome", [](AxisMechanics& m, auto& k, auto& v) { m.near_home = parse_position(k, v); }},
      {"nearhomewidth", [](AxisMechanics& m, auto& k, auto& v) { m.near_home_width = parse_integer(k, v); }},
      {"indexperiod", [](AxisMechanics& m, auto& k, auto& v) { m.index_period = parse_integer(k, v); }},
      {"encoderratio", [](AxisMechanics& m, auto& k, auto& v) { m.encoder_ratio = parse_number(k, v); }},
      {"alarm", [](AxisMechanics& m, auto& k, auto& v) { m.alarm = parse_flag(k, v); }},
      {"emergencystop", [](AxisMechanics& m, auto& k, auto& v) { m.emergency_stop = parse_flag(k, v); }},
      {"inposition", [](AxisMechanics& m, auto& k, auto& v) { m.in_position = parse_flag(k, v); }},
      {"in3", [](AxisMechanics& m, auto& k, auto& v) { m.in3 = parse_flag(k, v); }},
      {"expplus", [](AxisMechanics& m, auto& k, auto& v) { m.exp_plus = parse_flag(k, v); }},
      {"expminus", [](AxisMechanics& m, auto& k, auto& v) { m.exp_minus = parse_flag(k, v); }},
      {"handwheelrate", [](AxisMechanics& m, auto& k, auto& v) { m.hand_wheel_rate = parse_number(k, v); }},
  };
  return table;
}

}  // namespace

AxisMechanics mechanics_from_keys(const std::map<std::string, std::string>& keys) {
  AxisMechanics m;
  for (const auto& [key, value] : keys) {
    const auto it = setters().find(lower(key));
    if (it != setters().end()) it->second(m, key, value);
  }
  validate_mechanics(m);
  return m;
}

bool is_mechanics_key(const std::string& key) { return setters().count(lower(key)) != 0; }

void validate_mechanics(const AxisMechanics& m) {
  if (m.home_width < 0) throw std::invalid_argument("HomeWidth must not be negative");
  if (m.near_home_width < 0) throw std::invalid_argument("NearHomeWidth must not be negative");
  if (m.index_period < 0) throw std::invalid_argument("IndexPeriod must not be negative");
  if (!std::isfinite(m.encoder_ratio) || m.encoder_ratio <= 0) {
    throw std::invalid_argument("EncoderRatio must be a positive number");
  }
  if (!std::isfinite(m.hand_wheel_rate) || std::abs(m.hand_wheel_rate) > kMaxHandWheelRate) {
    throw std::invalid_argument("HandWheelRate must be a number of detents per second up to 100000");
  }
}

}  // namespace card
