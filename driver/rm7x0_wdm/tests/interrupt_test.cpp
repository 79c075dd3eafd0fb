// The interrupt service routine and its DPC, driven by a scripted card whose
// interrupt sources the test raises: acknowledgement in INTCSR, the four
// factor reads, the axis events, and a stop while interrupts arrive.
#include <atomic>
#include <cstring>
#include <thread>

#include "card/clock.h"
#include "driver_harness.h"
#include "scripted_card.h"
// After the card model's headers: the driver's register names are macros.
#include "../rm7x0_driver.h"

namespace driver_test {
namespace {

constexpr std::uint32_t kLocal1Enable = 0x001, kPciEnable = 0x040, kSoftware = 0x080;
constexpr std::uint32_t kLocal1Edge = 0x100;
constexpr std::uint16_t kDriveEnd = 0x80, kHomeEnd = 0x100;

class InterruptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Parts parts;
    parts.functions = {&card_};
    parts.clock = &clock_;
    ASSERT_EQ(sim::boot(parts), STATUS_SUCCESS);
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
    for (auto& event : events_) ASSERT_EQ(SimCreateEvent(0, 0, &event), STATUS_SUCCESS);
    ASSERT_EQ(file_.attach_events(events_), STATUS_SUCCESS);
  }
  void TearDown() override {
    file_.close();
    for (auto event : events_) SimCloseHandle(event);
    sim::shutdown();
  }

  bool signalled(int axis, std::uint32_t timeout_ms) {
    std::uint32_t index = 0;
    return SimWaitForObjects(1, &events_[axis], 0, timeout_ms, &index) == STATUS_SUCCESS;
  }
  std::uint64_t int_status(std::uint64_t axis_mask) {
    return file_.request(REQ_GET_INT_STATUS, {axis_mask}).block.slot[1];
  }

  card::ManualClock clock_;
  ScriptedCard card_;
  CardFile file_;
  SIM_HANDLE events_[4] = {};
};

TEST_F(InterruptTest, StartLeavesOnlyThePciInterruptEnabled) {
  const std::uint32_t intcsr = card_.intcsr();
  EXPECT_TRUE(intcsr & kPciEnable);
  EXPECT_FALSE(intcsr & kLocal1Enable);
}

TEST_F(InterruptTest, FactorOfOneAxisSignalsItsEventOnly) {
  card_.set_intcsr_bits(kLocal1Enable);  // as a handler switching the chip source on
  card_.raise_factor(1, kDriveEnd);
  ASSERT_TRUE(signalled(1, 5000));
  sim::wait_idle();
  EXPECT_FALSE(signalled(0, 0));
  EXPECT_FALSE(signalled(2, 0));
  EXPECT_FALSE(signalled(3, 0));
  // The DPC read each axis's factor in turn, cleared the edge latch and
  // unmasked the card again.
  EXPECT_EQ(card_.selects(), (std::vector<unsigned>{1, 2, 4, 8}));
  EXPECT_EQ(card_.edge_clears(), 1u);
  EXPECT_TRUE(card_.intcsr() & kPciEnable);
  EXPECT_TRUE(card_.intcsr() & kLocal1Enable);
  EXPECT_EQ(int_status(2), kDriveEnd);
  EXPECT_EQ(int_status(1), 0u);
}

TEST_F(InterruptTest, EachInterruptSignalsAgain) {
  card_.set_intcsr_bits(kLocal1Enable);
  for (int round = 0; round < 3; ++round) {
    card_.raise_factor(3, kHomeEnd);
    ASSERT_TRUE(signalled(3, 5000)) << "round " << round;
    sim::wait_idle();
  }
  EXPECT_EQ(int_status(8), kHomeEnd);
}

TEST_F(InterruptTest, LevelTriggeredInputStaysDisabledAfterItsInterrupt) {
  card_.clear_intcsr_bits(kLocal1Edge);
  card_.set_intcsr_bits(kLocal1Enable);
  card_.raise_factor(0, kDriveEnd);
  ASSERT_TRUE(signalled(0, 5000));
  sim::wait_idle();
  EXPECT_FALSE(card_.intcsr() & kLocal1Enable);
  EXPECT_TRUE(card_.intcsr() & kPciEnable);
  EXPECT_EQ(card_.edge_clears(), 0u);
}

TEST_F(InterruptTest, SoftwareInterruptIsAcknowledgedWithoutReadingTheChip) {
  card_.set_intcsr_bits(kSoftware);
  sim::wait_idle();
  EXPECT_FALSE(card_.intcsr() & kSoftware);
  EXPECT_TRUE(card_.intcsr() & kPciEnable);
  EXPECT_TRUE(card_.selects().empty());
  EXPECT_FALSE(signalled(0, 0));
}

TEST_F(InterruptTest, DetachedEventsAreNoLongerSignalled) {
  ASSERT_EQ(file_.request(REQ_DETACH_INT_EVENTS).status, STATUS_SUCCESS);
  card_.set_intcsr_bits(kLocal1Enable);
  card_.raise_factor(2, kDriveEnd);
  sim::wait_idle();
  EXPECT_FALSE(signalled(2, 0));
  EXPECT_EQ(int_status(4), kDriveEnd);
}

// Interrupts keep arriving while the card is stopped: no DPC reaches the
// unmapped registers (the verifier would end the process), the card is left
// masked, and a new start serves interrupts again.
TEST_F(InterruptTest, StopWhileInterruptsArriveLeavesTheCardMasked) {
  card_.set_intcsr_bits(kLocal1Enable);
  std::atomic<bool> stop{false};
  std::thread storm([&] {
    for (int axis = 0; !stop; axis = (axis + 1) % 4) {
      card_.raise_factor(axis, kDriveEnd);
      std::this_thread::yield();
    }
  });
  while (card_.selects().size() < 40) std::this_thread::yield();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_SUCCESS);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Stop), STATUS_SUCCESS);
  stop = true;
  storm.join();
  sim::wait_idle();
  EXPECT_FALSE(card_.intcsr() & kPciEnable);

  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Start), STATUS_SUCCESS);
  EXPECT_EQ(file_.request(REQ_GET_DIPSW_ID).block.slot[1], 6u);
  card_.set_intcsr_bits(kLocal1Enable);
  sim::wait_idle();  // factors left from the storm are served first
  for (int axis = 0; axis < 4; ++axis) signalled(axis, 0);
  card_.raise_factor(1, kDriveEnd);
  EXPECT_TRUE(signalled(1, 5000));
  sim::wait_idle();
  EXPECT_FALSE(signalled(0, 0));
}

// A reset and the interrupt-action request change the action slots and the
// held-axis mask while the DPC counts interrupts on them: both sides keep to
// the interrupt lock (the thread sanitizer reports any access that does not),
// and the last reset leaves no slot and no held axis behind.
TEST_F(InterruptTest, ResetAndActionRequestsKeepToTheInterruptLockWhileTheDpcCounts) {
  constexpr std::uint64_t kX = 1, kY = 2, kRelease = 1, kDriveEndFactor = 0x8000;
  std::atomic<bool> stop{false};
  std::thread storm([&] {
    while (!stop) {
      card_.raise_factor(0, kDriveEnd);
      std::this_thread::yield();
    }
  });
  for (int round = 0; round < 500; ++round) {
    ASSERT_EQ(file_.request(REQ_SET_INT_ACTION, {kX, kDriveEndFactor, kY, kRelease}).status,
              STATUS_SUCCESS);
    ASSERT_EQ(file_.request(REQ_RESET).status, STATUS_SUCCESS);
  }
  stop = true;
  storm.join();
  sim::wait_idle();
  ASSERT_EQ(file_.request(REQ_RESET).status, STATUS_SUCCESS);
  const CardExtension* ext = card_extension(sim::devices().at(0).fdo);
  EXPECT_EQ(ext->held.held_axes, 0);
  for (const IntActionSlot& slot : ext->actions.int_action) EXPECT_EQ(slot.action, 0);
}

// A stop ends the actions chained to the stopped axes, as source or target,
// before the stop's own drive end could fire one; the others stay.
TEST_F(InterruptTest, AStopDisarmsTheActionsOfItsAxes) {
  constexpr std::uint64_t kX = 1, kY = 2, kZ = 4, kU = 8, kRelease = 1, kSudden = 0x27;
  constexpr std::uint64_t kDriveEndFactor = 0x8000;
  const std::uint64_t actions[3][2] = {{kX, kY}, {kZ, kX}, {kZ, kU}};  // source, target
  for (const auto& action : actions)
    ASSERT_EQ(file_.request(REQ_SET_INT_ACTION, {action[0], kDriveEndFactor, action[1], kRelease})
                  .status,
              STATUS_SUCCESS);
  ASSERT_EQ(file_.request(REQ_STOP_MOVE, {kX, kSudden}).status, STATUS_SUCCESS);
  card_.raise_factor(0, kDriveEnd);
  sim::wait_idle();
  const CardExtension* ext = card_extension(sim::devices().at(0).fdo);
  int armed = 0;
  for (const IntActionSlot& slot : ext->actions.int_action) {
    if (slot.action == 0) continue;
    ++armed;
    EXPECT_EQ(slot.axis_mask, kZ);
    EXPECT_EQ(slot.target, kU);
  }
  EXPECT_EQ(armed, 1);
}

// The end of a segment run switches the chip input off from the DPC when no
// axis needs it any more, while a handler may be arming a factor on another
// axis. The look at the factors and the switch-off are one step under the
// interrupt lock (the thread sanitizer reports a look outside it), so the
// input stays on for the factor armed last. (A run ends only once its first
// segment was started: a drive end before that is an earlier move's.)
TEST_F(InterruptTest, SegmentRunEndLeavesTheChipInputToAFactorArmedMeanwhile) {
  constexpr std::uint64_t kAssignXY = 0x04, kSpeed = 100, kZ = 4, kHomeEndFactor = 0x0100;
  std::atomic<bool> stop{false};
  std::thread arming([&] {
    for (std::uint64_t factor = kHomeEndFactor; !stop; factor ^= kHomeEndFactor)
      file_.request(REQ_SET_INT_FACTOR, {kZ, factor});
    file_.request(REQ_SET_INT_FACTOR, {kZ, kHomeEndFactor});
  });
  for (int round = 0; round < 200; ++round) {
    file_.request(REQ_CONTI_INTERP_END);  // a run whose end was not served
    ASSERT_EQ(file_.request(REQ_CONTI_INTERP_BEGIN, {kAssignXY, kSpeed}).status, STATUS_SUCCESS);
    ASSERT_EQ(file_.request(REQ_CONTI_LOAD_SEGMENT, {0, 100, 100, 0, 0, 0, 0, 141}).status,
              STATUS_SUCCESS);
    ASSERT_EQ(file_.request(REQ_CONTI_LINE2_MOVE, {100, 100, 0}).status, STATUS_SUCCESS);
    card_.raise_factor(0, kDriveEnd);
    sim::wait_idle();
  }
  stop = true;
  arming.join();
  ASSERT_EQ(file_.request(REQ_CONTI_INTERP_BEGIN, {kAssignXY, kSpeed}).status, STATUS_SUCCESS);
  ASSERT_EQ(file_.request(REQ_CONTI_LOAD_SEGMENT, {0, 100, 100, 0, 0, 0, 0, 141}).status,
            STATUS_SUCCESS);
  ASSERT_EQ(file_.request(REQ_CONTI_LINE2_MOVE, {100, 100, 0}).status, STATUS_SUCCESS);
  card_.raise_factor(0, kDriveEnd);
  sim::wait_idle();
  EXPECT_EQ(file_.request(REQ_CONTI_INTERP_END).block.slot[0] & 0xFFFF, DRV_CONTI_CONFIG_NEEDED)
      << "the drive end did not end the run";
  EXPECT_TRUE(card_.intcsr() & kLocal1Enable) << "the chip input went off under Z's factor";
}

}  // namespace
}  // namespace driver_test
