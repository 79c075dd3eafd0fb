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

std::string build_default() {
  return "; The embedded default machine.\n"
         "[Machine]\n"
         "Clock=scaled\n"
         "ContiguousMemoryKB=64\n"
         "\n"
         "[Card0]\n"
         "Model=A\n"
         "DipSwitch=0\n" +
         default_axes() +
         "\n"
         "[Card1]\n"
         "Model=B\n"
         "DipSwitch=1\n" +
         default_axes();
}

}  // namespace

const std::string& default_machine_description() {
  static const std::string text = build_default();
  return text;
}

}  // namespace card
