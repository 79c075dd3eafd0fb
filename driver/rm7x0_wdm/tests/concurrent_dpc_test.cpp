// The card's two DPCs at the same time on the machine's two processors: the
// home timer steps a timer search on X while drive ends of Y, Z and U keep
// the interrupt DPC busy, tick after tick on a manual clock. Neither may
// lose the other's work: the search ends as it does alone, and every drive
// end reaches its event. (Run under ThreadSanitizer too.)
#include <cstring>

#include "card/clock.h"
#include "driver_harness.h"
// After the card model's headers: the driver's register names are macros.
#include "../rm7x0_driver.h"

namespace driver_test {
namespace {

constexpr std::uint64_t X = 1, PLUS = 1, SV = 2, DV = 20, ACC = 8, DRIVE_END = 0x8000;
constexpr card::SimTime kTick = 100 * 1000;  // 0.1 ms, the home timer's period

class ConcurrentDpcTest : public MachineTest {
 protected:
  void SetUp() override {
    boot(machine_text("Clock=manual\nProcessors=2", {"Model=A\nX.LimitPlus=20000\nX.LimitMinus=-20000\n"}));
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
    for (auto& event : events_) ASSERT_EQ(SimCreateEvent(0, 0, &event), STATUS_SUCCESS);
    ASSERT_EQ(file_.attach_events(events_), STATUS_SUCCESS);
  }
  void TearDown() override {
    file_.close();
    for (auto event : events_) SimCloseHandle(event);
    MachineTest::TearDown();
  }
  CardExtension* extension() { return card_extension(sim::devices().at(0).fdo); }
  bool x_searching() { return extension()->axis[0].home.state >= HOME_WAIT_FIRST_STEP; }
  std::uint16_t busy_axes() { return card(0)->chip().read(REG_COMMAND) & MAIN_STATUS_BUSY_MASK; }
  void tick() {
    dynamic_cast<card::ManualClock&>(sim::machine()->clock()).advance(kTick);
    sim::wait_idle();
  }
  bool signalled(int axis) {
    std::uint32_t index = 0;
    return SimWaitForObjects(1, &events_[axis], 0, 0, &index) == STATUS_SUCCESS;
  }

  CardFile file_;
  SIM_HANDLE events_[4] = {};
};

TEST_F(ConcurrentDpcTest, TheHomeTimerAndTheInterruptDpcShareTheCardWithoutLosingWork) {
  for (std::uint64_t axis : {2, 4, 8})
    ASSERT_EQ(file_.request(REQ_SET_INT_FACTOR, {axis, DRIVE_END}).block.slot[0], DRV_SUCCESS);
  ASSERT_EQ(file_.request(REQ_SET_HOME_CFG_EX, {X, 0, 0, 4, 0, 1}).status, STATUS_SUCCESS);
  ASSERT_EQ(file_.request(REQ_HOME_START, {X, 10, 100, 100, 100, 10, 0}).block.slot[0], DRV_SUCCESS);
  int ends[4] = {}, moves[4] = {};
  for (int t = 0; t < 40000 && x_searching(); ++t) {
    for (int axis = 1; axis < 4; ++axis) {
      if (busy_axes() & (1u << axis)) continue;
      // A short move of 20 pulses: it ends within a few ticks.
      ASSERT_EQ(file_.request(REQ_T_MOVE, {1u << axis, SV, DV, ACC, ACC, 0, 20, PLUS, 0, 0}).block.slot[0],
                DRV_SUCCESS);
      ++moves[axis];
    }
    tick();
    for (int axis = 1; axis < 4; ++axis) ends[axis] += signalled(axis);
  }
  EXPECT_FALSE(x_searching()) << "the search never ended";
  const Reply done = file_.request(REQ_MOTION_DONE, {X});
  EXPECT_EQ(done.block.slot[1], 1u);
  EXPECT_EQ(done.block.slot[2] & 0x1000, 0x1000u) << "stopped on limit +, as the search does alone";
  for (int t = 0; t < 100; ++t) tick();
  for (int axis = 1; axis < 4; ++axis) {
    ends[axis] += signalled(axis);
    EXPECT_GT(moves[axis], 10) << "axis " << axis;
    EXPECT_EQ(ends[axis], moves[axis]) << "every drive end of axis " << axis << " reached its event";
  }
}

}  // namespace
}  // namespace driver_test
