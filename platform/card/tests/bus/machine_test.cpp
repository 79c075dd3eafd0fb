// Machines as a whole: their clock, traits and cards, the machine file named
// by the environment, and creation and teardown many times in one process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "bus_test_support.h"
#include "card/chip_registers.h"

namespace card {
namespace {

// Points $RM7X0_MACHINE at a file with the given text for the life of the object.
class MachineFile {
 public:
  explicit MachineFile(const std::optional<std::string>& text) {
    if (const char* old = std::getenv("RM7X0_MACHINE")) old_ = old;
    if (text) {
      std::ofstream(path_) << *text;
      setenv("RM7X0_MACHINE", path_.c_str(), 1);
    } else {
      unsetenv("RM7X0_MACHINE");
    }
  }
  ~MachineFile() {
    std::remove(path_.c_str());
    if (old_) {
      setenv("RM7X0_MACHINE", old_->c_str(), 1);
    } else {
      unsetenv("RM7X0_MACHINE");
    }
  }
  const std::string& path() const { return path_; }

 private:
  // One file per process: ctest runs the tests of this suite side by side.
  std::string path_ = testing::TempDir() + "bus_test_machine." + std::to_string(getpid()) + ".ini";
  std::optional<std::string> old_;
};

TEST(Machine, EmptyDescriptionIsTheDefaultMachine) {
  auto machine = Machine::from_description("");
  const auto cards = machine->cards();
  ASSERT_EQ(cards.size(), 2u);
  EXPECT_EQ(cards[0]->model(), CardModel::A);
  EXPECT_EQ(cards[0]->dip_switch(), 0);
  EXPECT_EQ(cards[1]->model(), CardModel::B);
  EXPECT_EQ(cards[1]->dip_switch(), 1);
  EXPECT_NE(dynamic_cast<ScaledClock*>(&machine->clock()), nullptr);
  EXPECT_EQ(machine->functions()[1], static_cast<PciFunction*>(cards[1]));
}

TEST(Machine, ClockAndTraitsFollowTheDescription) {
  auto manual =
      Machine::from_description("[Machine]\nClock=manual\nContiguousMemoryKB=8\nInterruptConnectFails=yes\n");
  EXPECT_NE(dynamic_cast<ManualClock*>(&manual->clock()), nullptr);
  EXPECT_EQ(manual->traits().contiguous_memory_bytes, 8192u);
  EXPECT_TRUE(manual->traits().interrupt_connect_fails);
  EXPECT_TRUE(manual->cards().empty());
  EXPECT_EQ(Machine::from_description("[Machine]\nTimerResolutionUs=15625\n")->traits().timer_resolution_ns,
            15625000u);

  auto scaled = Machine::from_description("[Machine]\nTimeScale=500\n");
  auto* clock = dynamic_cast<ScaledClock*>(&scaled->clock());
  ASSERT_NE(clock, nullptr);
  EXPECT_EQ(clock->scale(), 500.0);
}

TEST(Machine, AxisMechanicsReachTheChip) {
  auto machine = test::one_card("Y.LimitPlus=1234\n");
  EXPECT_EQ(machine->cards()[0]->chip().mechanics(1).limit_plus, 1234);
  EXPECT_FALSE(machine->cards()[0]->chip().mechanics(0).limit_plus.has_value());
}

TEST(Machine, EnvironmentNamesTheMachineFile) {
  {
    MachineFile file(std::nullopt);
    EXPECT_EQ(Machine::from_environment()->cards().size(), 2u);
  }
  {
    MachineFile file("[Machine]\nClock=manual\n[Card2]\nModel=B\nDipSwitch=9\n");
    auto machine = Machine::from_environment();
    ASSERT_EQ(machine->cards().size(), 1u);
    EXPECT_EQ(machine->cards()[0]->slot(), 2);
    EXPECT_EQ(machine->cards()[0]->dip_switch(), 9);
  }
}

TEST(Machine, BadMachineFileIsNamedWithItsLine) {
  MachineFile file("[Machine]\nClock=manual\nBogus=1\n");
  try {
    Machine::from_environment();
    FAIL() << "accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()).find(file.path() + ": line 3:"), 0u) << e.what();
  }
}

TEST(Machine, MissingMachineFileIsAnError) {
  MachineFile file(std::nullopt);
  setenv("RM7X0_MACHINE", "/nonexistent/machine.ini", 1);
  EXPECT_THROW(Machine::from_environment(), std::runtime_error);
}

TEST(Machine, CreatedAndDestroyedManyTimes) {
  for (int round = 0; round < 50; ++round) {
    auto machine = test::manual_machine("[Card0]\n[Card1]\nModel=B\n[Card2]\n");
    ASSERT_EQ(machine->cards().size(), 3u);
    test::set_reg16(*machine->cards()[round % 3], 0x4C, static_cast<std::uint16_t>(round));
  }
  for (int round = 0; round < 5; ++round) Machine::from_description("");  // scaled clocks
}

// A machine torn down while its chips still have timers on the clock (moves
// in progress, a listener connected) must end cleanly.
TEST(Machine, TornDownWhileAxesMove) {
  using namespace chip;
  for (int round = 0; round < 5; ++round) {
    auto machine = Machine::from_description("[Machine]\nTimeScale=1\n[Card0]\n[Card1]\nModel=B\n");
    for (Card* card : machine->cards()) {
      card->on_interrupt_change([] {});
      auto command = [&](std::uint8_t code, std::uint16_t data) {
        test::set_reg16(*card, kRegDataHigh, 0);
        test::set_reg16(*card, kRegDataLow, data);
        test::set_reg16(*card, kRegCommand, command_word(0xF, code));
      };
      command(kCmdStartSpeed, 10);
      command(kCmdDriveSpeed, 10);
      test::set_reg16(*card, kRegCommand, command_word(0xF, kCmdContPlus));
    }
  }
}

}  // namespace
}  // namespace card
