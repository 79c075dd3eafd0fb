// The embedded default machine, written as a machine file would be.
#include "card/machine_description.h"

namespace card {

namespace {

// Every axis of the default cards: limits at +/-200,000 pulses, the home
// sensor at -5,000 inside the near-home zone, an index pulse every 10,000
// pulses (one motor turn).
std::string default_axes() {
  std::string text;
  for (const char* axis : {"X", "Y", "Z", "U"}) {
    const std::string a = axis;
    text += a + ".LimitPlus=200000\n" + a + ".LimitMinus=-200000\n" + a + ".Home=-5000\n" + a +
            ".NearHome=-5000\n" + a + ".IndexPeriod=10000\n";
  }
  return text;
}

// Every default card's Torix bus: output modules at 0 and 1 wired back to the
// input modules at 8 and 9, so what a technician writes comes back on inputs.
constexpr const char* kDefaultTorix =
    "Torix.OutputModules=0,1\n"
    "Torix.InputModules=8,9\n"
    "Torix.Loopback=0->8,1->9\n";

std::string build_default() {
  return "; The embedded default machine.\n"
         "[Machine]\n"
         "Clock=scaled\n"
         "ContiguousMemoryKB=64\n"
         "\n"
         "[Card0]\n"
         "Model=A\n"
         "DipSwitch=0\n" +
         default_axes() + kDefaultTorix +
         "\n"
         "[Card1]\n"
         "Model=B\n"
         "DipSwitch=1\n" +
         default_axes() + kDefaultTorix;
}

}  // namespace

const std::string& default_machine_description() {
  static const std::string text = build_default();
  return text;
}

}  // namespace card
