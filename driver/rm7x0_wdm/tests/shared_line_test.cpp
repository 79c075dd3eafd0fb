// Two cards whose interrupt pins share one line, on a manual clock: each
// card's service routine also runs for the other's interrupts and must say
// "not mine" to them, so that every interrupt reaches its own card's events
// and none is lost or taken by the wrong card, also while one card sleeps.
#include <cstring>

#include "card/clock.h"
#include "driver_harness.h"

namespace driver_test {
namespace {

constexpr std::uint64_t X = 1, PLUS = 1, SV = 2, DV = 20, ACC = 8, DRIVE_END = 0x8000;

class SharedLineTest : public MachineTest {
 protected:
  void SetUp() override {
    boot(machine_text("Clock=manual\n", {card_a("DipSwitch=0\nInterruptLine=20"),
                                         card_a("DipSwitch=1\nInterruptLine=20")}));
    const std::vector<std::string> paths = interface_paths(RM720_INTERFACE_GUID);
    ASSERT_EQ(paths.size(), 2u);
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(files_[i].open(paths[i]), STATUS_SUCCESS);
      for (auto& event : events_[i]) ASSERT_EQ(SimCreateEvent(0, 0, &event), STATUS_SUCCESS);
      ASSERT_EQ(files_[i].attach_events(events_[i]), STATUS_SUCCESS);
      ASSERT_EQ(files_[i].request(REQ_SET_INT_FACTOR, {X, DRIVE_END}).block.slot[0], DRV_SUCCESS);
    }
  }
  void TearDown() override {
    for (int i = 0; i < 2; ++i) {
      files_[i].close();
      for (auto event : events_[i]) SimCloseHandle(event);
    }
    MachineTest::TearDown();
  }
  void move_x(int card_index) {
    ASSERT_EQ(files_[card_index].request(REQ_T_MOVE, {X, SV, DV, ACC, ACC, 0, 300, PLUS, 0, 0}).block.slot[0],
              DRV_SUCCESS);
  }
  void run_until_idle() {
    auto busy = [this] { return (card(0)->chip().read(0) | card(1)->chip().read(0)) & 0xF; };
    for (int ms = 0; ms < 60000 && busy() != 0; ++ms) {
      dynamic_cast<card::ManualClock&>(sim::machine()->clock()).advance(card::kNsPerMs);
      sim::wait_idle();
    }
    sim::wait_idle();
  }
  bool signalled(int card_index) {
    std::uint32_t index = 0;
    return SimWaitForObjects(1, &events_[card_index][0], 0, 0, &index) == STATUS_SUCCESS;
  }

  CardFile files_[2];
  SIM_HANDLE events_[2][4] = {};
};

TEST_F(SharedLineTest, EachInterruptReachesOnlyItsOwnCard) {
  ASSERT_EQ(card(0)->interrupt_vector(), card(1)->interrupt_vector());
  for (int round = 0; round < 20; ++round) {
    const int mover = round % 3 == 2 ? -1 : round % 3;  // card 0, card 1, then both at once
    for (int i = 0; i < 2; ++i)
      if (mover < 0 || mover == i) move_x(i);
    run_until_idle();
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(signalled(i), mover < 0 || mover == i) << "round " << round << ", card " << i;
  }
}

// A card in D3 reads all ones: its routine must not take the other card's
// interrupts meanwhile.
TEST_F(SharedLineTest, ASleepingCardLeavesTheLineToTheOther) {
  ASSERT_EQ(sim::set_device_power(0, PowerDeviceD3), STATUS_SUCCESS);
  move_x(1);
  run_until_idle();
  EXPECT_TRUE(signalled(1));
  ASSERT_EQ(sim::set_device_power(0, PowerDeviceD0), STATUS_SUCCESS);
  sim::wait_idle();
  ASSERT_EQ(files_[0].request(REQ_SET_INT_FACTOR, {X, DRIVE_END}).block.slot[0], DRV_SUCCESS);
  move_x(0);
  run_until_idle();
  EXPECT_TRUE(signalled(0));
  EXPECT_FALSE(signalled(1));
}

// A pulled card lets go of the line: the other card keeps its interrupts.
TEST_F(SharedLineTest, APulledCardLeavesTheLineToTheOther) {
  card(0)->pull();
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  move_x(1);
  run_until_idle();
  EXPECT_TRUE(signalled(1));
}

}  // namespace
}  // namespace driver_test
