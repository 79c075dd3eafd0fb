// Card 0 of a booted machine whose manual clock the test steps, opened
// through the model's library as an application opens it.
#pragma once

#include <cstdlib>
#include <string>

#include "card_options.h"
#include "dll_main.h"
#include "machine.h"
#include "model.h"

inline const std::string MANUAL_CLOCK = "[Machine]\nClock=manual\n";

class OpenCard {
 public:
  explicit OpenCard(const std::string &card_description)
      : machine_(MANUAL_CLOCK + card_description) {
    unsetenv("RM7X0_WINDOWS_VERSION");
    EXPECT_TRUE(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));
    int16_t count = 0;
    EXPECT_EQ(RM7X0_NAME(scan)(&count, nullptr), SUCCESS_NO_ERROR);
    EXPECT_EQ(RM7X0_NAME(open)(0), SUCCESS_NO_ERROR);
  }
  ~OpenCard() {
    RM7X0_NAME(close)(0);
    card_options = CardOptions{};
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
  }
  OpenCard(const OpenCard &) = delete;
  OpenCard &operator=(const OpenCard &) = delete;

 private:
  BootedMachine machine_;
};
