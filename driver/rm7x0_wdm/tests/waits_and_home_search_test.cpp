// Requests that wait on an axis (a home search sent with the wait flag) and
// the timer-driven home search of modes 4 and 5, on the simulated card: a
// wait completes once at its home end, or cancelled by the caller, a reset
// or the card's removal; a refused wait is answered at once; the timer
// search runs to its end, and a stop or a removal ends it cleanly.
#include <sim_kernel.h>

#include <memory>

#include "card/clock.h"
#include "driver_harness.h"
// After the card model's headers: the driver's register names are macros.
#include "../rm7x0_driver.h"

namespace driver_test {
namespace {

constexpr std::uint64_t X = 1, Y = 2, Z = 4, U = 8;
constexpr std::uint64_t HOME_LEVEL_HIGH = 4, STEP2_PLUS = 0x04;

// A request sent with an event, as the library sends its waited requests.
class PendingRequest {
 public:
  PendingRequest(CardFile& file, std::uint32_t code, std::initializer_list<std::uint64_t> slots) {
    EXPECT_EQ(SimCreateEvent(1, 0, &event_), STATUS_SUCCESS);
    block_.slot[0] = REQUEST_STATUS_PRESET;
    int n = 1;
    for (std::uint64_t value : slots) block_.slot[n++] = value;
    sent_ = SimDeviceIoControl(file.handle(), code, &block_, sizeof block_, &block_, sizeof block_,
                               event_, &iosb_);
  }
  ~PendingRequest() { SimCloseHandle(event_); }
  PendingRequest(const PendingRequest&) = delete;
  PendingRequest& operator=(const PendingRequest&) = delete;

  SIM_STATUS sent() const { return sent_; }
  // Waits for the completion (on the machine's clock); false on a timeout.
  bool completed(std::uint32_t timeout_ms) {
    std::uint32_t index = 0;
    return SimWaitForObjects(1, &event_, 0, timeout_ms, &index) == STATUS_SUCCESS;
  }
  SIM_STATUS status() const { return static_cast<SIM_STATUS>(iosb_.Status); }
  std::size_t bytes() const { return iosb_.Information; }
  std::uint16_t word() const { return static_cast<std::uint16_t>(block_.slot[0]); }

 private:
  SIM_HANDLE event_ = nullptr;
  DriverRequest block_{};
  SIM_IO_STATUS iosb_{};
  SIM_STATUS sent_ = 0;
};

CardExtension* extension() { return card_extension(sim::devices().at(0).fdo); }

// The search of axis 0..3 runs (from its start to the end of its last step).
bool searching(int axis) {
  return read_interlocked(&extension()->axis[axis].home.state) >= HOME_WAIT_FIRST_STEP;
}

class WaitTest : public MachineTest {
 protected:
  void open(const std::string& description) {
    boot(description);
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  }
  void TearDown() override {
    file_.close();
    MachineTest::TearDown();
  }
  // The chip's own search of step 2 (home input, plus) on an axis.
  void configure_home_step(std::uint64_t axis) {
    ASSERT_EQ(file_.request(REQ_SET_HOME_CFG, {axis, HOME_LEVEL_HIGH, STEP2_PLUS, 0}).status,
              STATUS_SUCCESS);
  }
  // A waited home start (wait flag 1); low: the home speed word.
  std::unique_ptr<PendingRequest> waited_home_start(std::uint64_t axis, std::uint64_t low) {
    return std::make_unique<PendingRequest>(file_, REQ_HOME_START,
                                            std::initializer_list<std::uint64_t>{
                                                axis, 10, 100, 100, 100, low, 1});
  }
  std::pair<std::uint64_t, std::uint64_t> motion_done(std::uint64_t axis) {
    const Reply reply = file_.request(REQ_MOTION_DONE, {axis});
    return {reply.block.slot[1], reply.block.slot[2]};
  }

  CardFile file_;
};

// X and Y find home at 5,000 pulses; Z and U have no home sensor, so their
// searches run until they are ended.
const std::string kHomeAt5000 = machine_text("", {card_a("X.Home=5000\nY.Home=5000")});

TEST_F(WaitTest, WaitedHomeSearchCompletesAtItsHomeEnd) {
  open(kHomeAt5000);
  configure_home_step(X);
  auto request = waited_home_start(X, 100);
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  ASSERT_TRUE(request->completed(60000));
  EXPECT_EQ(request->status(), STATUS_SUCCESS);
  EXPECT_EQ(request->bytes(), 0u) << "a completed wait carries no data";
  EXPECT_EQ(motion_done(X), std::make_pair(std::uint64_t{1}, std::uint64_t{0x0100}));
  // The library's end of wait disarms the home-end interrupt.
  EXPECT_EQ(file_.request(REQ_END_WAIT, {X, 32}).status, STATUS_SUCCESS);
  EXPECT_EQ(extension()->axis[0].shadow[SHADOW_EXT_WORD1] & 0x20, 0);
  EXPECT_EQ(extension()->axis[0].wait.state, WAIT_NONE) << "the wait stayed armed";
  EXPECT_EQ(extension()->axis[0].wait.armed_factor, 0u);
}

// An end of wait sent while the request still waits leaves its factor armed:
// the request completes at its home end rather than never.
TEST_F(WaitTest, EndOfWaitKeepsTheFactorOfARequestStillWaiting) {
  open(kHomeAt5000);
  configure_home_step(X);
  auto request = waited_home_start(X, 100);
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  EXPECT_EQ(file_.request(REQ_END_WAIT, {X, 32}).status, STATUS_SUCCESS);
  ASSERT_TRUE(request->completed(60000));
  EXPECT_EQ(request->status(), STATUS_SUCCESS);
}

// A mode-0 search seeks home at the search speed, then takes its last step
// at the low speed; its waiting request completes only at that step's end.
TEST_F(WaitTest, WaitedExtendedSearchCompletesAfterItsLastStep) {
  open(machine_text("", {card_a("X.Home=-3000")}));
  ASSERT_EQ(file_.request(REQ_SET_HOME_CFG_EX, {X, HOME_LEVEL_HIGH, 12, 0, 0, 0}).status,
            STATUS_SUCCESS);
  auto request = std::make_unique<PendingRequest>(
      file_, REQ_HOME_START, std::initializer_list<std::uint64_t>{X, 10, 100, 100, 100, 20, 1});
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  ASSERT_TRUE(request->completed(600000));
  EXPECT_EQ(request->status(), STATUS_SUCCESS);
  EXPECT_EQ(motion_done(X), std::make_pair(std::uint64_t{1}, std::uint64_t{0x0100}))
      << "completed before the last step ended";
  EXPECT_FALSE(searching(0));
  const auto position = static_cast<std::int32_t>(file_.request(REQ_GET_CMDCOUNTER, {X}).block.slot[1]);
  EXPECT_NEAR(position, -3000, 25);
}

// A search that does not end waits until its caller gives up; the slot is
// free again afterwards.
TEST_F(WaitTest, CancelledWaitCompletesOnceAndFreesTheAxis) {
  open(kHomeAt5000);
  configure_home_step(Z);
  auto request = waited_home_start(Z, 1);
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  EXPECT_FALSE(request->completed(0));
  ASSERT_EQ(SimCancelIo(file_.handle()), STATUS_SUCCESS);
  ASSERT_TRUE(request->completed(60000));
  EXPECT_EQ(request->status(), STATUS_CANCELLED);
  sim::wait_idle();
  EXPECT_EQ(sim::pending_irps(sim::devices().at(0).fdo), 0u);
  EXPECT_EQ(file_.request(REQ_STOP_MOVE, {Z, CHIP_SUDDEN_STOP}).status, STATUS_SUCCESS);
  sim::wait_idle();
  auto again = waited_home_start(Z, 1);
  EXPECT_EQ(again->sent(), STATUS_PENDING) << "the cancelled wait left its slot taken";
  ASSERT_EQ(SimCancelIo(file_.handle()), STATUS_SUCCESS);
  ASSERT_TRUE(again->completed(60000));
  EXPECT_EQ(again->status(), STATUS_CANCELLED);
}

// Closing the file's last handle ends its waits at once: the close, and so
// the next open, does not wait for a search that may never end.
TEST_F(WaitTest, ClosingTheHandleCancelsItsWaits) {
  open(kHomeAt5000);
  configure_home_step(Z);
  auto request = waited_home_start(Z, 1);
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  ASSERT_EQ(file_.close(), STATUS_SUCCESS);
  ASSERT_TRUE(request->completed(0)) << "the cleanup left the wait pending";
  EXPECT_EQ(request->status(), STATUS_CANCELLED);
  sim::wait_idle();
  EXPECT_EQ(sim::pending_irps(sim::devices().at(0).fdo), 0u);
  EXPECT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS)
      << "the card is still held by the closed handle";
}

TEST_F(WaitTest, ResetCancelsAPendingWait) {
  open(kHomeAt5000);
  configure_home_step(Z);
  auto request = waited_home_start(Z, 1);
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  EXPECT_EQ(file_.request(REQ_RESET).status, STATUS_SUCCESS);
  ASSERT_TRUE(request->completed(0));
  EXPECT_EQ(request->status(), STATUS_CANCELLED);
}

TEST_F(WaitTest, RemovalCancelsAPendingWait) {
  open(kHomeAt5000);
  configure_home_step(U);
  auto request = waited_home_start(U, 1);
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  card(0)->pull();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  ASSERT_TRUE(request->completed(0));
  EXPECT_EQ(request->status(), STATUS_CANCELLED);
  file_.close();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_SUCCESS);
}

// A second waited search on a searching axis and a wait on a held axis are
// refused at once with their words; neither is left pending.
TEST_F(WaitTest, RefusedWaitsAreAnsweredAtOnce) {
  open(kHomeAt5000);
  configure_home_step(Z);
  auto first = waited_home_start(Z, 1);
  ASSERT_EQ(first->sent(), STATUS_PENDING);
  auto second = waited_home_start(Z, 1);
  EXPECT_EQ(second->sent(), STATUS_SUCCESS);
  EXPECT_EQ(second->word(), DRV_AXIS_BUSY);

  ASSERT_EQ(file_.request(REQ_DRV_HOLD, {Y}).status, STATUS_SUCCESS);
  configure_home_step(Y);
  auto held = waited_home_start(Y, 100);
  EXPECT_EQ(held->sent(), STATUS_SUCCESS);
  EXPECT_EQ(held->word(), DRV_WAIT_ON_HELD_AXIS);
  EXPECT_EQ(file_.request(REQ_DRV_START, {Y}).status, STATUS_SUCCESS);

  ASSERT_EQ(SimCancelIo(file_.handle()), STATUS_SUCCESS);
  ASSERT_TRUE(first->completed(60000));
  EXPECT_EQ(first->status(), STATUS_CANCELLED);
}

// A waited line whose master already has a request waiting on it (a waited
// search) is refused with the word of a wait already armed, before anything
// else is looked at; the search and its request go on.
TEST_F(WaitTest, WaitedLineOnAnAxisWithAWaitingSearchIsRefusedAsAlreadyArmed) {
  open(kHomeAt5000);
  configure_home_step(Z);
  auto search = waited_home_start(Z, 1);
  ASSERT_EQ(search->sent(), STATUS_PENDING);
  constexpr std::uint64_t ASSIGN_ZX = 0x02;  // master Z, second X
  const Reply reply =
      file_.request(REQ_T_LINE2_MOVE, {ASSIGN_ZX, 2, 20, 8, 8, 0, 2000, 1000, 0, 1});
  EXPECT_EQ(reply.status, STATUS_SUCCESS) << "answered, not left pending";
  EXPECT_EQ(static_cast<std::uint16_t>(reply.block.slot[0]), DRV_WAIT_ALREADY_ARMED);
  EXPECT_EQ(extension()->interp.state, INTERP_IDLE);
  EXPECT_EQ(motion_done(X).first, 1u) << "the line started";
  EXPECT_TRUE(searching(2));
  EXPECT_FALSE(search->completed(0));
  ASSERT_EQ(SimCancelIo(file_.handle()), STATUS_SUCCESS);
  ASSERT_TRUE(search->completed(60000));
}

// While the compare table holds the interrupt no search could end: waited or
// not, the start is refused before anything moves.
TEST_F(WaitTest, SearchesAreRefusedWhileTheCompareTableHoldsTheInterrupt) {
  open(kHomeAt5000);
  configure_home_step(X);
  InterlockedExchange(&extension()->compare.compare_mode, COMPARE_TABLE_RELOADING);
  for (std::uint64_t wait : {0, 1}) {
    const Reply reply = file_.request(REQ_HOME_START, {X, 10, 100, 100, 100, 100, wait});
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    EXPECT_EQ(static_cast<std::uint16_t>(reply.block.slot[0]), DRV_WAIT_IN_CMP_MODE) << wait;
    EXPECT_FALSE(searching(0));
    EXPECT_EQ(motion_done(X).first, 1u) << "a refused search moved the axis";
  }
  InterlockedExchange(&extension()->compare.compare_mode, COMPARE_TABLE_NONE);
}

// A stop of all axes arms their drive-end waits: a search waiting for its
// home end completes at the stop.
TEST_F(WaitTest, StopOfAllAxesEndsAWaitingSearch) {
  open(kHomeAt5000);
  configure_home_step(Z);
  auto request = waited_home_start(Z, 1);
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  EXPECT_EQ(file_.request(REQ_STOP_MOVE_ALL, {Z, CHIP_SUDDEN_STOP}).status, STATUS_SUCCESS);
  ASSERT_TRUE(request->completed(60000));
  EXPECT_EQ(request->status(), STATUS_SUCCESS);
  EXPECT_EQ(motion_done(Z), std::make_pair(std::uint64_t{1}, std::uint64_t{0x0004}));
}

// A query whose mask names no axis fails instead of reading some other axis.
TEST_F(WaitTest, QueriesOfNoAxisFail) {
  open(kHomeAt5000);
  for (std::uint32_t code : {REQ_MOTION_DONE, REQ_GET_DI_STATUS, REQ_GET_CMDCOUNTER,
                             REQ_GET_ENCCOUNTER, REQ_GET_SPEED, REQ_GET_ACC, REQ_GET_LATCH,
                             REQ_GET_INT_FACTOR, REQ_GET_INT_STATUS}) {
    EXPECT_EQ(file_.request(code, {0}).status, STATUS_INVALID_PARAMETER) << std::hex << code;
    EXPECT_EQ(file_.request(code, {0x10}).status, STATUS_INVALID_PARAMETER) << std::hex << code;
  }
}

// Only the two stop codes reach the chip: a stray word stops at once and
// touches nothing else (0x8000 alone would reset the chip).
TEST_F(WaitTest, AStopWithAnotherCodeStopsAtOnce) {
  open(kHomeAt5000);
  ASSERT_EQ(file_.request(REQ_SET_CMDCOUNTER, {X, 1234}).status, STATUS_SUCCESS);
  EXPECT_EQ(file_.request(REQ_STOP_MOVE, {X, 0x8000}).status, STATUS_SUCCESS);
  EXPECT_EQ(file_.request(REQ_GET_CMDCOUNTER, {X}).block.slot[1], 1234u);
  EXPECT_EQ(motion_done(X), std::make_pair(std::uint64_t{1}, std::uint64_t{0x0004}));
}

// ---- the timer search of modes 4 and 5 (manual clock, stepped) --------------

constexpr std::int64_t kLimit = 20000;
constexpr card::SimTime kTick = 100 * card::kNsPerUs;

class TimerSearchTest : public WaitTest {
 protected:
  void SetUp() override {
    open(machine_text("Clock=manual", {"Model=A\nX.LimitPlus=20000\nX.LimitMinus=-20000\n"
                                       "X.IndexPeriod=1000\n"}));
  }
  card::ManualClock& clock() { return dynamic_cast<card::ManualClock&>(sim::machine()->clock()); }
  void step(int ticks) {
    for (int i = 0; i < ticks; ++i) {
      clock().advance(kTick);
      sim::wait_idle();
    }
  }
  // Extended configuration of mode 4 or 5 starting plus, then the start:
  // search at 50,000 PPS, back at 5,000 PPS.
  void start_search(std::uint64_t mode) {
    ASSERT_EQ(file_.request(REQ_SET_HOME_CFG_EX, {X, 0, 0, mode, 0, 1}).status, STATUS_SUCCESS);
    const Reply reply = file_.request(REQ_HOME_START, {X, 10, 100, 100, 100, 10, 0});
    ASSERT_EQ(reply.status, STATUS_SUCCESS);
    ASSERT_EQ(static_cast<std::uint16_t>(reply.block.slot[0]), DRV_SUCCESS);
  }
  // Steps until the search is no longer active; false when it never ends.
  bool run_to_end(int max_ticks) {
    for (int i = 0; i < max_ticks; ++i) {
      if (!searching(0)) return true;
      step(1);
    }
    return false;
  }
  std::int32_t counter() {
    return static_cast<std::int32_t>(file_.request(REQ_GET_CMDCOUNTER, {X}).block.slot[1]);
  }
};

TEST_F(TimerSearchTest, Mode4EndsStoppedOnTheLimitItBackedOffFrom) {
  start_search(4);
  ASSERT_TRUE(run_to_end(20000));
  const auto [done, reason] = motion_done(X);
  EXPECT_EQ(done, 1u);
  EXPECT_EQ(reason, 0x1100u) << "stopped on limit + at the end of the search";
  EXPECT_GE(counter(), kLimit);
  const std::int32_t end = counter();
  step(50);
  EXPECT_EQ(counter(), end) << "the timer moved the axis after the search ended";
}

// A search that ended leaves no work behind: a rebalance may stop the card.
TEST_F(TimerSearchTest, AnEndedSearchLetsTheCardBeStopped) {
  start_search(4);
  ASSERT_TRUE(run_to_end(20000));
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_SUCCESS);
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::CancelStop), STATUS_SUCCESS);
}

// A chip search that finds no home input between the limits fails, and the
// driver says where.
TEST_F(TimerSearchTest, AFailedSearchIsTracedWithItsAxisAndState) {
  sim::clear_debug_text();
  ASSERT_EQ(file_.request(REQ_SET_HOME_CFG_EX, {X, HOME_LEVEL_HIGH, STEP2_PLUS, 0, 1, 1}).status,
            STATUS_SUCCESS);
  ASSERT_EQ(file_.request(REQ_HOME_START, {X, 10, 100, 100, 100, 10, 0}).block.slot[0], DRV_SUCCESS);
  ASSERT_TRUE(run_to_end(60000));
  EXPECT_NE(motion_done(X).second & 0x0100u, 0x0100u) << "no home found";
  EXPECT_NE(sim::debug_text().find("RM720: home search of axis X failed in HOME_WAIT_TURNED_BACK"),
            std::string::npos)
      << sim::debug_text();
}

TEST_F(TimerSearchTest, Mode5EndsWithTheChipsIndexSearch) {
  start_search(5);
  ASSERT_TRUE(run_to_end(40000)) << "the chip's final step is part of the search";
  const auto [done, reason] = motion_done(X);
  EXPECT_EQ(done, 1u);
  EXPECT_EQ(reason, 0x0100u) << "ended at its home";
  EXPECT_EQ(counter() % 1000, 0) << "stopped on an index pulse";
  EXPECT_LE(counter(), kLimit);
}

TEST_F(TimerSearchTest, AStartOnALimitBeginsBackingOff) {
  start_search(4);
  ASSERT_TRUE(run_to_end(20000));
  start_search(4);  // standing on limit +: the search starts minus, at step 2
  EXPECT_EQ(extension()->axis[0].home.state, HOME_WAIT_OFF_LIMIT);
  EXPECT_EQ(extension()->axis[0].home.move_direction, MOVE_DIR_MINUS);
  ASSERT_TRUE(run_to_end(20000));
  EXPECT_GE(counter(), kLimit);
}

TEST_F(TimerSearchTest, StopOfAllAxesEndsTheSearchAtTheNextTick) {
  start_search(5);
  step(20);
  ASSERT_TRUE(searching(0));
  EXPECT_EQ(file_.request(REQ_STOP_MOVE_ALL, {X, CHIP_DEC_STOP}).status, STATUS_SUCCESS);
  EXPECT_FALSE(searching(0)) << "the stop ended the search at once";
  EXPECT_NE(sim::debug_text().find("home search of axis X stopped in HOME_WAIT_"), std::string::npos);
  step(2000);
  const std::int32_t end = counter();
  step(50);
  EXPECT_EQ(counter(), end);
  EXPECT_EQ(motion_done(X).second, 0x0004u);
}

TEST_F(TimerSearchTest, AStopOfAnotherAxisLeavesTheSearchRunning) {
  start_search(4);
  step(20);
  EXPECT_EQ(file_.request(REQ_STOP_MOVE, {Y, CHIP_SUDDEN_STOP}).status, STATUS_SUCCESS);
  step(2);
  EXPECT_TRUE(searching(0));
  ASSERT_TRUE(run_to_end(20000));
  EXPECT_GE(counter(), kLimit);
}

// Sent with the wait flag, a timer search pends until its end: found (mode 4
// on its limit), or ended by a stop, which answers it at once.
TEST_F(TimerSearchTest, AWaitedTimerSearchPendsUntilItsEndOrAStop) {
  ASSERT_EQ(file_.request(REQ_SET_HOME_CFG_EX, {X, 0, 0, 4, 0, 1}).status, STATUS_SUCCESS);
  auto request = std::make_unique<PendingRequest>(
      file_, REQ_HOME_START, std::initializer_list<std::uint64_t>{X, 10, 100, 100, 100, 10, 1});
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  step(20);
  EXPECT_FALSE(request->completed(0)) << "answered with the search still running";
  ASSERT_TRUE(run_to_end(20000));
  ASSERT_TRUE(request->completed(0));
  EXPECT_EQ(request->status(), STATUS_SUCCESS);
  EXPECT_EQ(motion_done(X).second, 0x1100u);

  ASSERT_EQ(file_.request(REQ_SET_HOME_CFG_EX, {X, 0, 0, 4, 0, 0}).status, STATUS_SUCCESS);
  auto stopped = std::make_unique<PendingRequest>(
      file_, REQ_HOME_START, std::initializer_list<std::uint64_t>{X, 10, 100, 100, 100, 10, 1});
  ASSERT_EQ(stopped->sent(), STATUS_PENDING);
  step(20);
  EXPECT_EQ(file_.request(REQ_STOP_MOVE, {X, CHIP_SUDDEN_STOP}).status, STATUS_SUCCESS);
  ASSERT_TRUE(stopped->completed(0)) << "the stop left the waited search pending";
  EXPECT_FALSE(searching(0));
}

// Cancelling the request that waits for a chip search leaves the search
// running to its end: here, without a home between the limits, it turns back
// once at limit + and gives up at limit -, standing there.
TEST_F(TimerSearchTest, ACancelledWaitLeavesTheChipSearchToItsEnd) {
  ASSERT_EQ(file_.request(REQ_SET_HOME_CFG_EX, {X, HOME_LEVEL_HIGH, 4, 0, 1, 1}).status,
            STATUS_SUCCESS);
  auto request = std::make_unique<PendingRequest>(
      file_, REQ_HOME_START, std::initializer_list<std::uint64_t>{X, 10, 100, 100, 100, 10, 1});
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  step(20);
  ASSERT_EQ(SimCancelIo(file_.handle()), STATUS_SUCCESS);
  ASSERT_TRUE(request->completed(0));
  EXPECT_EQ(request->status(), STATUS_CANCELLED);
  EXPECT_TRUE(searching(0)) << "the cancel ended the search";
  ASSERT_TRUE(run_to_end(40000));
  const auto [done, reason] = motion_done(X);
  EXPECT_EQ(done, 1u);
  EXPECT_EQ(reason, 0x2000u) << "not given up at limit -";
  EXPECT_LE(counter(), -kLimit);
}

// A removal cancels a waited timer search and stops its timer.
TEST_F(TimerSearchTest, RemovalCancelsAWaitedTimerSearch) {
  ASSERT_EQ(file_.request(REQ_SET_HOME_CFG_EX, {X, 0, 0, 5, 0, 1}).status, STATUS_SUCCESS);
  auto request = std::make_unique<PendingRequest>(
      file_, REQ_HOME_START, std::initializer_list<std::uint64_t>{X, 10, 100, 100, 100, 10, 1});
  ASSERT_EQ(request->sent(), STATUS_PENDING);
  step(20);
  card(0)->pull();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  ASSERT_TRUE(request->completed(0));
  EXPECT_EQ(request->status(), STATUS_CANCELLED);
  step(20);
  file_.close();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_SUCCESS);
  step(20);
}

// The verifier ends the process when a timer stays set or a DPC reaches the
// card's registers after they were unmapped.
TEST_F(TimerSearchTest, RemovalDuringTheSearchStopsTheTimer) {
  start_search(4);
  step(20);
  ASSERT_TRUE(searching(0));
  card(0)->pull();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  step(20);
  file_.close();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_SUCCESS);
  step(20);
}

}  // namespace
}  // namespace driver_test
