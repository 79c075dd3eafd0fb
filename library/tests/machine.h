// Booting a simulated machine for a test, from a description text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "sim_native.h"

// Boots the machine for the scope of a test and shuts it down after.
class BootedMachine {
 public:
  explicit BootedMachine(const std::string &description) {
    SimMachineShutdown();  // a machine booted on a service's first call
    booted_ = SimMachineBoot(description.c_str()) >= 0;
    EXPECT_TRUE(booted_) << "machine description:\n" << description;
  }
  ~BootedMachine() { SimMachineShutdown(); }
  BootedMachine(const BootedMachine &) = delete;
  BootedMachine &operator=(const BootedMachine &) = delete;

  bool booted() const { return booted_; }

 private:
  bool booted_ = false;
};

// Machine descriptions: cards in slot order, each "A" or "B" with its DIP switch.
inline std::string card_section(int slot, const char *model, unsigned dip_switch) {
  return "[Card" + std::to_string(slot) + "]\nModel=" + model +
         "\nDipSwitch=" + std::to_string(dip_switch) + "\n";
}
inline const std::string NO_CARD = "[Machine]\n";
