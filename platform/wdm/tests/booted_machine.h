// A kernel booted on fake cards, a manual clock and the fake driver.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "card/clock.h"
#include "fake_card.h"
#include "fake_driver.h"
#include "sim_kernel.h"
#include "sim_native.h"

class BootedMachine : public ::testing::Test {
 protected:
  void SetUp() override { boot(1, card::PlatformTraits{}); }
  void TearDown() override { sim::shutdown(); }

  void boot(int cards, card::PlatformTraits traits) {
    fake_driver::reset_observed();
    for (int i = 0; i < cards; ++i) functions_.push_back(std::make_unique<fake::Function>(i));
    sim::Parts parts;
    for (auto& function : functions_) parts.functions.push_back(function.get());
    parts.clock = machine_clock();
    parts.advance = [this](card::SimTime delta) { clock_.advance(delta); };
    parts.traits = traits;
    parts.drivers.push_back({"PCI\\VEN_7A72&DEV_07F0", "fake", fake_driver::entry});
    ASSERT_EQ(sim::boot(parts), STATUS_SUCCESS);
    sim::wait_idle();
  }

  // The clock the kernel runs on: the manual one, or one a test wraps around it.
  virtual card::Clock* machine_clock() { return &clock_; }

  fake::Function& card(int i = 0) { return *functions_[i]; }
  PDEVICE_OBJECT fdo(std::size_t i = 0) { return sim::devices().at(i).fdo; }

  std::string interface_path(uint32_t index = 0) {
    char path[256];
    size_t required = 0;
    EXPECT_EQ(SimEnumDeviceInterface(&fake_driver::kInterface, index, path, sizeof path, &required), STATUS_SUCCESS);
    return path;
  }

  SIM_HANDLE open(uint32_t index = 0) {
    SIM_HANDLE file = nullptr;
    EXPECT_EQ(SimCreateFile(interface_path(index).c_str(), &file), STATUS_SUCCESS);
    return file;
  }

  card::ManualClock clock_;
  std::vector<std::unique_ptr<fake::Function>> functions_;
};
