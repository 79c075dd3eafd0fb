// What a machine description says, once read: the platform's traits, the
// clock, and one record per card. The text format is documented in
// docs/machine-file.md.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "card/machine.h"
#include "card/mechanics.h"

namespace card {

enum class CardModel { A, B };
enum class ClockKind { Scaled, Manual };

constexpr int kMaxSlots = 16;

// The Torix remote-I/O bus: output groups at addresses 0-7 and input groups at
// 8-15, 16 points each.
constexpr int kTorixGroups = 8;
constexpr int kTorixFirstInput = 8;

// Output points of group `output` wired back to the points of input group
// `input` (addresses), so that what is written comes back on an input.
struct TorixWire {
  int output = 0;
  int input = kTorixFirstInput;
  bool operator==(const TorixWire&) const = default;
};

// The modules on a card's Torix bus and the loopback wiring between them.
struct TorixModules {
  std::uint8_t outputs = 0;  // bit n: an output module at address n
  std::uint8_t inputs = 0;   // bit n: an input module at address 8 + n
  std::vector<TorixWire> wires;

  bool has_output(int address) const {
    return address >= 0 && address < kTorixGroups && (outputs >> address) & 1;
  }
  bool has_input(int address) const {
    const int n = address - kTorixFirstInput;
    return n >= 0 && n < kTorixGroups && (inputs >> n) & 1;
  }
};

struct CardDescription {
  int slot = 0;  // N of its [CardN] section
  CardModel model = CardModel::A;
  std::uint16_t dip_switch = 0;  // raw value of the card-ID register
  std::uint16_t cpld_version = 0x0003;
  bool bar0_present = true;
  std::uint32_t bar2_length = 0x80;  // 0 = BAR2 missing
  std::uint32_t bar3_length = 0x80;  // 0 = no BAR3
  std::uint32_t rom_length = 0;      // 0 = no expansion ROM
  bool interrupt = true;             // the card has an interrupt pin
  int interrupt_line = -1;           // its line; -1: the one the slot is routed to
  bool bar_mismatch = false;         // resources start where no BAR is
  std::array<AxisMechanics, 4> axes{};
  TorixModules torix;
};

struct MachineDescription {
  ClockKind clock = ClockKind::Scaled;
  double time_scale = 1.0;  // read: TimeScale, else $RM7X0_TIME_SCALE, else 1
  PlatformTraits traits;  // TimerResolutionUs, else $RM7X0_TIMER_RESOLUTION_US, else 100
  std::vector<CardDescription> cards;  // in slot order
};

// Reads a description text. Throws std::invalid_argument naming the bad line.
MachineDescription parse_machine_description(const std::string& text);

// The text of the embedded default machine.
const std::string& default_machine_description();

}  // namespace card
