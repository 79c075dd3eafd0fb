// Reading a machine description: an INI text of a [Machine] section and one
// [CardN] section per card (docs/machine-file.md).
#include "card/machine_description.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>

#include "pci_bus.h"

namespace card {

namespace {

struct Entry {
  int line;
  std::string key;
  std::string value;
};

struct Section {
  int line;
  std::string name;
  std::vector<Entry> entries;
};

[[noreturn]] void fail(int line, const std::string& what) {
  throw std::invalid_argument("line " + std::to_string(line) + ": " + what);
}

std::string trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool same_name(const std::string& a, const std::string& b) { return lower(a) == lower(b); }

// Splits the text into sections of key=value entries; comments (; or #) and
// blank lines are skipped.
std::vector<Section> read_sections(const std::string& text) {
  std::vector<Section> sections;
  std::size_t start = 0;
  for (int number = 1; start <= text.size(); ++number) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') fail(number, "a section header ends with ']': '" + line + "'");
      sections.push_back(Section{number, trim(line.substr(1, line.size() - 2)), {}});
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) fail(number, "expected [Section] or Key=Value: '" + line + "'");
    if (sections.empty()) fail(number, "a key before any section: '" + line + "'");
    const std::string key = trim(line.substr(0, equals));
    if (key.empty()) fail(number, "a key is missing before '=': '" + line + "'");
    for (const Entry& earlier : sections.back().entries) {
      if (same_name(earlier.key, key))
        fail(number, key + " is given twice in [" + sections.back().name + "]");
    }
    sections.back().entries.push_back(Entry{number, key, trim(line.substr(equals + 1))});
  }
  return sections;
}

// Value readers: each throws std::invalid_argument saying what it expected.

std::uint64_t parse_unsigned(const std::string& value, std::uint64_t max) {
  const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
  const std::string digits = hex ? value.substr(2) : value;
  const auto is_digit = [hex](unsigned char c) { return hex ? std::isxdigit(c) : std::isdigit(c); };
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), is_digit) || digits.size() > 16) {
    throw std::invalid_argument("'" + value + "' is not a number");
  }
  const std::uint64_t number = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (number > max) throw std::invalid_argument("'" + value + "' is above " + std::to_string(max));
  return number;
}

std::uint16_t parse_word(const std::string& value) {
  return static_cast<std::uint16_t>(parse_unsigned(value, std::numeric_limits<std::uint16_t>::max()));
}

// A number from min to max.
std::uint64_t parse_ranged(const std::string& value, std::uint64_t min, std::uint64_t max) {
  const std::uint64_t number = parse_unsigned(value, max);
  if (number < min) throw std::invalid_argument("'" + value + "' is below " + std::to_string(min));
  return number;
}

bool parse_bool(const std::string& value) {
  const std::string v = lower(value);
  if (v == "1" || v == "yes" || v == "true") return true;
  if (v == "0" || v == "no" || v == "false") return false;
  throw std::invalid_argument("'" + value + "' is not one of 1, 0, yes, no, true, false");
}

// One of two words (case-insensitive): true for the first.
bool parse_choice(const std::string& value, const char* first, const char* second) {
  if (same_name(value, first)) return true;
  if (same_name(value, second)) return false;
  throw std::invalid_argument("'" + value + "' is neither " + first + " nor " + second);
}

double parse_scale(const std::string& value) {
  char* end = nullptr;
  const double scale = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !std::isfinite(scale) || scale <= 0) {
    throw std::invalid_argument("'" + value + "' is not a positive number");
  }
  return scale;
}

// A window length: 0 (no window) or a power of two from `min` to `max`.
std::uint32_t parse_length(const std::string& value, std::uint32_t min, std::uint32_t max) {
  const auto length = static_cast<std::uint32_t>(parse_unsigned(value, max));
  const bool power_of_two = (length & (length - 1)) == 0;
  if (length != 0 && (!power_of_two || length < min)) {
    throw std::invalid_argument("'" + value + "' is not 0 or a power of two from " + std::to_string(min) +
                                " to " + std::to_string(max));
  }
  return length;
}

// A comma-separated list; an empty value is an empty list.
std::vector<std::string> split_list(const std::string& value) {
  std::vector<std::string> items;
  if (value.empty()) return items;
  for (std::size_t start = 0;;) {
    const auto comma = value.find(',', start);
    if (comma == std::string::npos) {
      items.push_back(trim(value.substr(start)));
      return items;
    }
    items.push_back(trim(value.substr(start, comma - start)));
    start = comma + 1;
  }
}

// A Torix group address of one kind: outputs 0-7, inputs 8-15.
int parse_torix_address(const std::string& item, int first, const char* kind) {
  const std::uint64_t address = parse_unsigned(item, std::numeric_limits<std::uint64_t>::max());
  const int last = first + kTorixGroups - 1;
  if (address < static_cast<std::uint64_t>(first) || address > static_cast<std::uint64_t>(last)) {
    throw std::invalid_argument("'" + item + "' is not an " + kind + " address (" + std::to_string(first) +
                                " to " + std::to_string(last) + ")");
  }
  return static_cast<int>(address);
}

// The addresses of one kind of module, as a bit mask from address `first`.
std::uint8_t parse_torix_modules(const std::string& value, int first, const char* kind) {
  std::uint8_t modules = 0;
  for (const std::string& item : split_list(value)) {
    const auto bit = static_cast<std::uint8_t>(1u << (parse_torix_address(item, first, kind) - first));
    if (modules & bit) throw std::invalid_argument("address " + item + " is given twice");
    modules |= bit;
  }
  return modules;
}

TorixWire parse_torix_wire(const std::string& item) {
  const auto arrow = item.find("->");
  if (arrow == std::string::npos)
    throw std::invalid_argument("'" + item + "' is not OUTPUT->INPUT, e.g. 0->8");
  return TorixWire{parse_torix_address(trim(item.substr(0, arrow)), 0, "output"),
                   parse_torix_address(trim(item.substr(arrow + 2)), kTorixFirstInput, "input")};
}

std::vector<TorixWire> parse_torix_wires(const std::string& value) {
  std::vector<TorixWire> wires;
  for (const std::string& item : split_list(value)) {
    const TorixWire wire = parse_torix_wire(item);
    if (std::find(wires.begin(), wires.end(), wire) != wires.end())
      throw std::invalid_argument("the wire " + item + " is given twice");
    wires.push_back(wire);
  }
  return wires;
}

constexpr const char* kTorixLoopbackKey = "Torix.Loopback";

constexpr std::uint64_t kMaxContiguousKb = 128 * 1024;  // everything below 128 MB
constexpr std::uint64_t kMaxTimerResolutionUs = 1000 * 1000;  // one second

std::uint64_t parse_timer_resolution(const std::string& value) {
  const std::uint64_t us = parse_unsigned(value, kMaxTimerResolutionUs);
  if (us == 0) throw std::invalid_argument("'" + value + "' is not a positive number");
  return us * 1000;
}

constexpr std::uint64_t kMaxProcessors = 64;
constexpr std::uint64_t kMaxInterruptLine = 254;  // 255 means no line

template <typename Record>
struct KeyHandler {
  const char* name;
  void (*apply)(Record&, const std::string& value);
};

const KeyHandler<MachineDescription> kMachineKeys[] = {
    {"Clock",
     [](MachineDescription& m, const std::string& v) {
       m.clock = parse_choice(v, "manual", "scaled") ? ClockKind::Manual : ClockKind::Scaled;
     }},
    {"TimeScale", [](MachineDescription& m, const std::string& v) { m.time_scale = parse_scale(v); }},
    {"ContiguousMemoryKB",
     [](MachineDescription& m, const std::string& v) {
       m.traits.contiguous_memory_bytes =
           static_cast<std::uint32_t>(parse_unsigned(v, kMaxContiguousKb) * 1024);
     }},
    {"InterruptConnectFails",
     [](MachineDescription& m, const std::string& v) { m.traits.interrupt_connect_fails = parse_bool(v); }},
    {"TimerResolutionUs",
     [](MachineDescription& m, const std::string& v) {
       m.traits.timer_resolution_ns = parse_timer_resolution(v);
     }},
    {"UserMappingFails",
     [](MachineDescription& m, const std::string& v) { m.traits.user_mapping_fails = parse_bool(v); }},
    {"Processors",
     [](MachineDescription& m, const std::string& v) {
       m.traits.processors = static_cast<unsigned>(parse_ranged(v, 1, kMaxProcessors));
     }},
};

const KeyHandler<CardDescription> kCardKeys[] = {
    {"Model",
     [](CardDescription& c, const std::string& v) {
       c.model = parse_choice(v, "A", "B") ? CardModel::A : CardModel::B;
     }},
    {"DipSwitch", [](CardDescription& c, const std::string& v) { c.dip_switch = parse_word(v); }},
    {"CpldVersion", [](CardDescription& c, const std::string& v) { c.cpld_version = parse_word(v); }},
    {"Bar0", [](CardDescription& c,
                const std::string& v) { c.bar0_present = parse_choice(v, "present", "missing"); }},
    {"Bar2Length",
     [](CardDescription& c, const std::string& v) {
       c.bar2_length = parse_length(v, kMinBarLength, kMaxBarLength);
     }},
    {"Bar3Length",
     [](CardDescription& c, const std::string& v) {
       c.bar3_length = parse_length(v, kMinBarLength, kMaxBarLength);
     }},
    {"RomLength", [](CardDescription& c,
                     const std::string& v) { c.rom_length = parse_length(v, kMinRomLength, kMaxRomLength); }},
    {"Interrupt", [](CardDescription& c, const std::string& v) { c.interrupt = parse_bool(v); }},
    {"InterruptLine",
     [](CardDescription& c, const std::string& v) {
       c.interrupt_line = static_cast<int>(parse_unsigned(v, kMaxInterruptLine));
     }},
    {"BarMismatch", [](CardDescription& c, const std::string& v) { c.bar_mismatch = parse_bool(v); }},
    {"Torix.OutputModules",
     [](CardDescription& c, const std::string& v) { c.torix.outputs = parse_torix_modules(v, 0, "output"); }},
    {"Torix.InputModules",
     [](CardDescription& c, const std::string& v) {
       c.torix.inputs = parse_torix_modules(v, kTorixFirstInput, "input");
     }},
    {kTorixLoopbackKey,
     [](CardDescription& c, const std::string& v) { c.torix.wires = parse_torix_wires(v); }},
};

// Applies one entry through the table; false when the key is not in it.
template <typename Record, std::size_t N>
bool apply_key(const KeyHandler<Record> (&table)[N], Record& record, const Entry& entry) {
  for (const auto& handler : table) {
    if (!same_name(handler.name, entry.key)) continue;
    try {
      handler.apply(record, entry.value);
    } catch (const std::invalid_argument& e) {
      fail(entry.line, entry.key + ": " + e.what());
    }
    return true;
  }
  return false;
}

void read_machine_section(const Section& section, MachineDescription& machine) {
  for (const Entry& entry : section.entries) {
    if (!apply_key(kMachineKeys, machine, entry))
      fail(entry.line, "unknown key " + entry.key + " in [Machine]");
  }
}

// Axis of an "X.Key" entry (0-3 for X, Y, Z, U), or -1.
int axis_of(const std::string& key) {
  static const std::string kAxes = "XYZU";
  if (key.size() < 3 || key[1] != '.') return -1;
  const auto axis = kAxes.find(static_cast<char>(std::toupper(static_cast<unsigned char>(key[0]))));
  return axis == std::string::npos ? -1 : static_cast<int>(axis);
}

// The axis keys go to the chip's mechanics reader: each on its own first, so
// that a bad value names its line, then each axis's keys together.
void read_axis_keys(const std::array<std::vector<Entry>, 4>& axis_entries, CardDescription& card) {
  for (int axis = 0; axis < 4; ++axis) {
    std::map<std::string, std::string> keys;
    for (const Entry& entry : axis_entries[axis]) {
      const std::string key = entry.key.substr(2);
      if (!is_mechanics_key(key)) fail(entry.line, "unknown axis key " + entry.key);
      try {
        mechanics_from_keys({{key, entry.value}});
      } catch (const std::invalid_argument& e) {
        fail(entry.line, entry.key + ": " + e.what());
      }
      keys[key] = entry.value;
    }
    card.axes[axis] = mechanics_from_keys(keys);
  }
}

// Each wire joins two placed modules. Checked once the whole section is read,
// since the module keys may come after the wiring.
void check_torix_wires(const Section& section, const TorixModules& torix) {
  for (const Entry& entry : section.entries) {
    if (!same_name(entry.key, kTorixLoopbackKey)) continue;
    for (const TorixWire& wire : torix.wires) {
      if (!torix.has_output(wire.output))
        fail(entry.line, entry.key + ": no output module at " + std::to_string(wire.output));
      if (!torix.has_input(wire.input))
        fail(entry.line, entry.key + ": no input module at " + std::to_string(wire.input));
    }
  }
}

CardDescription read_card_section(const Section& section, int slot) {
  CardDescription card;
  card.slot = slot;
  std::array<std::vector<Entry>, 4> axis_entries;
  for (const Entry& entry : section.entries) {
    if (const int axis = axis_of(entry.key); axis >= 0) {
      axis_entries[axis].push_back(entry);
    } else if (!apply_key(kCardKeys, card, entry)) {
      fail(entry.line, "unknown key " + entry.key + " in [" + section.name + "]");
    }
  }
  read_axis_keys(axis_entries, card);
  check_torix_wires(section, card.torix);
  return card;
}

// Slot of a [CardN] section, or -1 for another name.
int card_slot(const Section& section) {
  if (section.name.size() < 5 || !same_name(section.name.substr(0, 4), "Card")) return -1;
  try {
    return static_cast<int>(parse_unsigned(section.name.substr(4), kMaxSlots - 1));
  } catch (const std::invalid_argument&) {
    fail(section.line,
         "card sections are [Card0] to [Card" + std::to_string(kMaxSlots - 1) + "]: [" + section.name + "]");
  }
}

// The value of $name read by parse, or nullopt when it is unset or empty.
template <typename Parse>
auto from_environment(const char* name, Parse parse) -> std::optional<decltype(parse(""))> {
  const char* text = std::getenv(name);
  if (!text || !*text) return std::nullopt;
  try {
    return parse(text);
  } catch (const std::invalid_argument& e) {
    throw std::invalid_argument(std::string(name) + ": " + e.what());
  }
}

bool section_gives(const Section& section, const char* key) {
  return std::any_of(section.entries.begin(), section.entries.end(),
                     [key](const Entry& e) { return same_name(e.key, key); });
}

// What the [Machine] section leaves out falls back to the environment: a
// whole suite can run at another time scale or timer resolution unchanged.
void apply_environment_defaults(MachineDescription& machine, const Section* section) {
  if (!section || !section_gives(*section, "TimeScale"))
    if (auto scale = from_environment("RM7X0_TIME_SCALE", parse_scale)) machine.time_scale = *scale;
  if (!section || !section_gives(*section, "TimerResolutionUs"))
    if (auto ns = from_environment("RM7X0_TIMER_RESOLUTION_US", parse_timer_resolution))
      machine.traits.timer_resolution_ns = *ns;
}

}  // namespace

MachineDescription parse_machine_description(const std::string& text) {
  MachineDescription machine;
  const Section* machine_section = nullptr;
  std::map<std::string, int> seen;  // section (lower case, card slots canonical) -> line
  const std::vector<Section> sections = read_sections(text);
  for (const Section& section : sections) {
    const int slot = card_slot(section);
    const std::string canonical = slot >= 0 ? "card" + std::to_string(slot) : lower(section.name);
    const auto [earlier, first] = seen.emplace(canonical, section.line);
    if (!first) {
      fail(section.line,
           "[" + section.name + "] is given twice (first at line " + std::to_string(earlier->second) + ")");
    }
    if (slot >= 0) {
      machine.cards.push_back(read_card_section(section, slot));
    } else if (canonical == "machine") {
      read_machine_section(section, machine);
      machine_section = &section;
    } else {
      fail(section.line, "unknown section [" + section.name + "]");
    }
  }
  apply_environment_defaults(machine, machine_section);
  std::sort(machine.cards.begin(), machine.cards.end(),
            [](const CardDescription& a, const CardDescription& b) { return a.slot < b.slot; });
  return machine;
}

}  // namespace card
