// A booted machine with the model-A library attached to it, as at the load
// of the library, and a description of cards whose axes stand on their home
// sensors.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "card_options.h"
#include "dll_main.h"
#include "model.h"
#include "machine.h"

class AttachedLibrary {
 public:
  explicit AttachedLibrary(const std::string &description) : machine_(description) {
    unsetenv("RM7X0_WINDOWS_VERSION");
    EXPECT_TRUE(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));
  }
  ~AttachedLibrary() { DllMain(nullptr, DLL_PROCESS_DETACH, nullptr); }

 private:
  BootedMachine machine_;
};

// Cards of a model ("A" or "B") in slot order, each with the given DIP switch.
inline std::string homed_cards(const char *model, const std::vector<unsigned> &dip_switches) {
  std::string text;
  for (size_t slot = 0; slot < dip_switches.size(); ++slot) {
    text += card_section(static_cast<int>(slot), model, dip_switches[slot]);
    for (const char *axis : {"X", "Y", "Z", "U"}) text += std::string(axis) + ".Home=0\n";
  }
  return text;
}

// The library attached to a booted machine whose card of ID 0 is open; the
// card is closed and the options are back at their defaults afterwards.
class OpenCardZero {
 public:
  explicit OpenCardZero(const std::string &description) : library_(description) {
    int16_t count = 0;
    EXPECT_EQ(RM7X0_NAME(scan)(&count, nullptr), SUCCESS_NO_ERROR);
    EXPECT_EQ(RM7X0_NAME(open)(0), SUCCESS_NO_ERROR);
  }
  ~OpenCardZero() {
    RM7X0_NAME(close)(0);
    card_options = CardOptions{};
  }

 private:
  AttachedLibrary library_;
};
