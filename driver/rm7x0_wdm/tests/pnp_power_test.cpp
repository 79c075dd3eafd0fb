// Plug and Play and power requests on a started card, seen from the Plug and
// Play manager and from an application holding the card open.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <thread>

#include "card/clock.h"

#include "driver_harness.h"
// After the card model's headers: the driver's register names are macros.
#include "../rm7x0_driver.h"

namespace driver_test {
namespace {

// A request made on a thread of its own; the constructor returns once it is
// answered or waits in the kernel.
class RequestOnItsThread {
 public:
  RequestOnItsThread(CardFile& file, std::uint32_t code)
      : baseline_(sim::waiting_threads()), thread_([this, &file, code] {
          reply_ = file.request(code);
          answered_ = true;
        }) {
    while (!answered_ && sim::waiting_threads() == baseline_) std::this_thread::yield();
  }
  ~RequestOnItsThread() {
    if (thread_.joinable()) thread_.join();
  }
  bool answered() const { return answered_; }
  Reply reply() {
    thread_.join();
    return reply_;
  }

 private:
  const std::size_t baseline_;
  std::atomic<bool> answered_{false};
  Reply reply_;
  std::thread thread_;
};

class PnpTest : public MachineTest {
 protected:
  void SetUp() override {
    boot(machine_text("", {card_a("DipSwitch=4")}));
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  }
  void TearDown() override {
    file_.close();
    MachineTest::TearDown();
  }
  bool card_answers() {
    const Reply reply = file_.request(REQ_GET_DIPSW_ID);
    return reply.status == STATUS_SUCCESS && reply.block.slot[1] == 4;
  }

  CardFile file_;
};

// A resource rebalance of an idle card: requests made while it is stopped
// wait for the restart and are served then.
TEST_F(PnpTest, RequestsDuringARebalanceWaitForTheRestart) {
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_SUCCESS);
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Stop), STATUS_SUCCESS);
  RequestOnItsThread held(file_, REQ_GET_DIPSW_ID);
  EXPECT_FALSE(held.answered()) << "a stopped card answers nothing yet";

  sim::clear_debug_text();
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Start), STATUS_SUCCESS);
  EXPECT_TRUE(sim::devices()[0].started);
  const Reply reply = held.reply();
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[1], 4u);
  // The start walked the resources again.
  EXPECT_NE(sim::debug_text().find("BarIndex = 0x00000002"), std::string::npos);
  const Reply ranges = file_.request(REQ_GET_RANGES);
  for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(ranges.block.slot[slot], 16000u);
}

TEST_F(PnpTest, RequestsHeldForARestartLeaveWhenTheCardIsPulled) {
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_SUCCESS);
  RequestOnItsThread held(file_, REQ_GET_DIPSW_ID);
  card(0)->pull();
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  EXPECT_NE(held.reply().status, STATUS_SUCCESS);
}

TEST_F(PnpTest, CancelledStopLeavesTheCardWorking) {
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_SUCCESS);
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::CancelStop), STATUS_SUCCESS);
  EXPECT_TRUE(card_answers());
}

TEST_F(PnpTest, CancelledRemovalLeavesTheCardWorking) {
  file_.close();
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::QueryRemove), STATUS_SUCCESS);
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::CancelRemove), STATUS_SUCCESS);
  ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  EXPECT_TRUE(card_answers());
  EXPECT_EQ(interface_paths(RM720_INTERFACE_GUID).size(), 1u);
}

TEST_F(PnpTest, SurpriseRemovalHidesTheCardAndRefusesItsRequests) {
  card(0)->pull();
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  EXPECT_TRUE(interface_paths(RM720_INTERFACE_GUID).empty());
  EXPECT_NE(file_.request(REQ_GET_DIPSW_ID).status, STATUS_SUCCESS);
  file_.close();
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_SUCCESS);
  EXPECT_EQ(sim::devices()[0].fdo, nullptr);
}

// The open file vetoes an orderly removal; once it is closed the card goes.
TEST_F(PnpTest, AnOpenFileVetoesTheRemovalUntilItCloses) {
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryRemove), STATUS_DEVICE_BUSY);
  EXPECT_TRUE(card_answers());
  file_.close();
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::QueryRemove), STATUS_SUCCESS);
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_SUCCESS);
  EXPECT_EQ(sim::devices()[0].fdo, nullptr);
  EXPECT_TRUE(interface_paths(RM720_INTERFACE_GUID).empty());
}

// Requests keep arriving from another thread while the card is surprise
// removed: none of them reaches a card that has let go of its registers (the
// verifier would end the process). The requester stops at its first
// refusal; the remove follows the close of the file.
TEST_F(PnpTest, RemovalOfAnOpenCardWaitsForTheRequestInFlight) {
  std::atomic<int> answered{0};
  std::atomic<bool> refused{false};
  std::thread requester([&] {
    while (!refused) {
      const Reply reply = file_.request(REQ_GET_DIPSW_ID);
      if (reply.status != STATUS_SUCCESS) {
        refused = true;
      } else {
        EXPECT_EQ(reply.block.slot[1], 4u);
        ++answered;
      }
    }
  });
  while (answered < 50 && !refused) std::this_thread::yield();
  EXPECT_FALSE(refused);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  requester.join();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_PENDING) << "its file is open";
  file_.close();
  sim::wait_idle();
  EXPECT_EQ(sim::devices()[0].fdo, nullptr);
}

// A rebalance would stop a running machine: the query is vetoed and the
// axes drive on. A pulled card's axes stand: the driver stops them while it
// can still reach the registers, before they go.
TEST_F(PnpTest, AStopIsVetoedWhileAxesDriveAndASurpriseRemovalStopsThem) {
  for (std::uint64_t axis : {1, 2, 4})
    ASSERT_EQ(file_.request(REQ_VELOCITY_MOVE, {axis, 2, 20, 8, 1}).block.slot[0], DRV_SUCCESS);
  ASSERT_EQ(card(0)->chip().read(0) & 0xF, 0x7) << "X, Y and Z drive";
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_DEVICE_BUSY);
  EXPECT_EQ(card(0)->chip().read(0) & 0xF, 0x7) << "the drives go on";
  EXPECT_TRUE(card_answers()) << "and so do requests";
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  EXPECT_EQ(card(0)->chip().read(0) & 0xF, 0) << "no axis drives once the card is gone";
}

class PowerTest : public MachineTest {
 protected:
  void SetUp() override { boot(machine_text("", {card_a()})); }
};

// The power manager calls the stack at PASSIVE_LEVEL (the power path waits
// and takes the request mutex) only because the card's device object is
// pageable as the bus driver's below it.
TEST_F(PowerTest, TheCardsDeviceObjectIsPowerPageableAsTheBusDriversBelow) {
  const sim::CardDevices devices = sim::devices().at(0);
  ASSERT_TRUE(devices.pdo->Flags & DO_POWER_PAGABLE);
  EXPECT_TRUE(devices.fdo->Flags & DO_POWER_PAGABLE);
}

TEST_F(PowerTest, DeviceStatesAreRecordedAndReported) {
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD0);
  ASSERT_EQ(sim::set_device_power(0, PowerDeviceD3), STATUS_SUCCESS);
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD3);
  ASSERT_EQ(sim::set_device_power(0, PowerDeviceD0), STATUS_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD0);
}

TEST_F(PowerTest, QueriesForIntermediateDeviceStatesAreRefused) {
  EXPECT_EQ(sim::query_device_power(0, PowerDeviceD0), STATUS_SUCCESS);
  EXPECT_EQ(sim::query_device_power(0, PowerDeviceD1), STATUS_POWER_STATE_INVALID);
  EXPECT_EQ(sim::query_device_power(0, PowerDeviceD2), STATUS_POWER_STATE_INVALID);
  EXPECT_EQ(sim::query_device_power(0, PowerDeviceD3), STATUS_SUCCESS);
  EXPECT_EQ(sim::query_system_power(0, PowerSystemSleeping3), STATUS_SUCCESS);
}

TEST_F(PowerTest, SystemSleepTakesTheCardToD3AndWakingBackToD0) {
  ASSERT_EQ(sim::set_system_power(0, PowerSystemSleeping3), STATUS_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD3);
  ASSERT_EQ(sim::set_system_power(0, PowerSystemWorking), STATUS_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD0);
}

TEST_F(PowerTest, CardKeepsWorkingAcrossPowerChanges) {
  ASSERT_EQ(sim::set_system_power(0, PowerSystemHibernate), STATUS_SUCCESS);
  ASSERT_EQ(sim::set_system_power(0, PowerSystemWorking), STATUS_SUCCESS);
  sim::wait_idle();
  CardFile file;
  ASSERT_EQ(file.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  EXPECT_EQ(file.request(REQ_GET_DIPSW_ID).status, STATUS_SUCCESS);
}

// A card open across a system sleep on a manual clock: the card loses its
// power in D3 (a power-on reset of the bridge, the chip and its counters),
// and the driver brings it back at D0.
class SleepTest : public MachineTest {
 protected:
  static constexpr std::uint64_t X = 1, PLUS = 1, SV = 2, DV = 20, ACC = 8, ASSIGN_XY = 0x04;
  void SetUp() override {
    boot(machine_text("Clock=manual\n", {card_a()}));
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
    for (auto& event : events_) ASSERT_EQ(SimCreateEvent(0, 0, &event), STATUS_SUCCESS);
  }
  void TearDown() override {
    file_.close();
    for (auto event : events_) SimCloseHandle(event);
    MachineTest::TearDown();
  }
  std::uint64_t word(std::uint32_t code, std::initializer_list<std::uint64_t> slots) {
    const Reply reply = file_.request(code, slots);
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    return reply.block.slot[0];
  }
  std::uint16_t busy_axes() { return card(0)->chip().read(0) & 0xF; }
  void run_until_idle() {
    for (int ms = 0; ms < 60000 && busy_axes() != 0; ++ms) {
      dynamic_cast<card::ManualClock&>(sim::machine()->clock()).advance(card::kNsPerMs);
      sim::wait_idle();
    }
    sim::wait_idle();
  }
  bool signalled(SIM_HANDLE event) {
    std::uint32_t index = 0;
    return SimWaitForObjects(1, &event, 0, 0, &index) == STATUS_SUCCESS;
  }
  void sleep_and_wake() {
    ASSERT_EQ(sim::set_system_power(0, PowerSystemSleeping3), STATUS_SUCCESS);
    sim::wait_idle();
    ASSERT_EQ(sim::reported_power_state(0), PowerDeviceD3);
    EXPECT_EQ(file_.request(REQ_GET_DIPSW_ID).status, STATUS_DEVICE_NOT_READY) << "asleep";
    ASSERT_EQ(sim::set_system_power(0, PowerSystemWorking), STATUS_SUCCESS);
    sim::wait_idle();
    ASSERT_EQ(sim::reported_power_state(0), PowerDeviceD0);
  }

  // A line of X and Y to (2000, 1000) whose request waits for its end and
  // signals `done`: the request's status.
  SIM_STATUS start_waited_line(SIM_HANDLE done, SIM_IO_STATUS* iosb) {
    const std::uint64_t slots[] = {ASSIGN_XY, SV, DV, ACC, ACC, 0, 2000, 1000, 0, 1};
    line_ = DriverRequest{};
    line_.slot[0] = REQUEST_STATUS_PRESET;
    std::copy(std::begin(slots), std::end(slots), &line_.slot[1]);
    return SimDeviceIoControl(file_.handle(), REQ_T_LINE2_MOVE, &line_, sizeof line_, &line_, sizeof line_,
                              done, iosb);
  }

  CardFile file_;
  SIM_HANDLE events_[4] = {};
  DriverRequest line_{};
};

TEST_F(SleepTest, ACardOpenAcrossSleepAndWakeMovesInterruptsAndWaitsAgain) {
  ASSERT_EQ(file_.attach_events(events_), STATUS_SUCCESS);
  ASSERT_EQ(word(REQ_T_MOVE, {X, SV, DV, ACC, ACC, 0, 1000, PLUS, 0, 0}), DRV_SUCCESS);
  run_until_idle();
  sleep_and_wake();
  EXPECT_EQ(file_.request(REQ_GET_CMDCOUNTER, {X}).block.slot[1], 1000u) << "the position is kept";

  // Interrupts: the drive end of a move signals the axis's attached event.
  ASSERT_EQ(word(REQ_SET_INT_FACTOR, {X, 0x8000}), DRV_SUCCESS);
  ASSERT_EQ(word(REQ_T_MOVE, {X, SV, DV, ACC, ACC, 0, 500, PLUS, 0, 0}), DRV_SUCCESS);
  run_until_idle();
  EXPECT_TRUE(signalled(events_[0])) << "the drive end came as an interrupt";
  EXPECT_EQ(file_.request(REQ_GET_CMDCOUNTER, {X}).block.slot[1], 1500u);

  // A waited line pends and completes at its end.
  SIM_HANDLE done = nullptr;
  ASSERT_EQ(SimCreateEvent(1, 0, &done), STATUS_SUCCESS);
  SIM_IO_STATUS iosb{};
  ASSERT_EQ(start_waited_line(done, &iosb), STATUS_PENDING);
  run_until_idle();
  EXPECT_TRUE(signalled(done));
  EXPECT_EQ(static_cast<SIM_STATUS>(iosb.Status), STATUS_SUCCESS);
  EXPECT_EQ(file_.request(REQ_GET_CMDCOUNTER, {X}).block.slot[1], 3500u);
  SimCloseHandle(done);
}

// Applications run again as soon as the system is back, while the card's own
// power-up is still to come (the power manager sends it from its worker,
// held back here): a request made then waits for D0 and is served.
TEST_F(SleepTest, ARequestRightAfterAWakeWaitsForTheCardsPowerUp) {
  ASSERT_EQ(word(REQ_SET_RANGE, {X, 8000}), DRV_SUCCESS);
  ASSERT_EQ(sim::set_system_power(0, PowerSystemHibernate), STATUS_SUCCESS);
  sim::wait_idle();
  sim::hold_worker(true);
  ASSERT_EQ(sim::set_system_power(0, PowerSystemWorking), STATUS_SUCCESS);
  RequestOnItsThread held(file_, REQ_GET_RANGES);
  EXPECT_FALSE(held.answered()) << "the card is not back in D0 yet";
  sim::hold_worker(false);
  const Reply reply = held.reply();
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[1], 8000u);
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD0);
}

// A rebalance of a card at work is vetoed: while an axis drives, and while a
// request waits for the end of a move. An idle card stops, and restarts
// cleanly: it moves again.
TEST_F(SleepTest, ARebalanceIsVetoedWhileTheCardWorksAndRestartsAnIdleCard) {
  ASSERT_EQ(word(REQ_VELOCITY_MOVE, {X, SV, DV, ACC, PLUS}), DRV_SUCCESS);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_DEVICE_BUSY);
  EXPECT_EQ(busy_axes(), X) << "the drive goes on";
  ASSERT_EQ(word(REQ_STOP_MOVE, {X, CHIP_SUDDEN_STOP}), DRV_SUCCESS);
  run_until_idle();

  SIM_HANDLE done = nullptr;
  ASSERT_EQ(SimCreateEvent(1, 0, &done), STATUS_SUCCESS);
  SIM_IO_STATUS iosb{};
  ASSERT_EQ(start_waited_line(done, &iosb), STATUS_PENDING);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_DEVICE_BUSY);
  run_until_idle();
  EXPECT_TRUE(signalled(done));
  EXPECT_EQ(static_cast<SIM_STATUS>(iosb.Status), STATUS_SUCCESS) << "the line was not cut short";
  SimCloseHandle(done);

  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_SUCCESS);
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Stop), STATUS_SUCCESS);
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Start), STATUS_SUCCESS);
  const std::uint64_t before = file_.request(REQ_GET_CMDCOUNTER, {X}).block.slot[1];
  ASSERT_EQ(word(REQ_T_MOVE, {X, SV, DV, ACC, ACC, 0, 500, PLUS, 0, 0}), DRV_SUCCESS);
  run_until_idle();
  EXPECT_EQ(file_.request(REQ_GET_CMDCOUNTER, {X}).block.slot[1], before + 500);
}

// The card itself forgets everything in D3: the chip's counters and the
// bridge's interrupt enable are at their power-on values until the wake,
// which gives back what the application set up.
TEST_F(SleepTest, TheCardLosesItsStateInD3) {
  ASSERT_EQ(word(REQ_SET_CMDCOUNTER, {X, 777}), DRV_SUCCESS);
  ASSERT_EQ(word(REQ_SET_RANGE, {X, 8000}), DRV_SUCCESS);
  ASSERT_EQ(word(REQ_SET_INT_FACTOR, {X, 0x8000}), DRV_SUCCESS);
  ASSERT_EQ(word(REQ_SET_PLS_CFG, {X, 0x0040}), DRV_SUCCESS);  // another pulse output
  ASSERT_EQ(word(REQ_SET_LIMIT, {X, 0x0004}), DRV_SUCCESS);    // another limit logic
  const CardExtension* ext = card_extension(sim::devices().at(0).fdo);
  const USHORT wiring = ext->axis[0].shadow[SHADOW_MODE2];
  ASSERT_EQ(wiring & MODE2_SIGNAL_FIELDS, 0x0044u);
  ASSERT_EQ(sim::set_system_power(0, PowerSystemSleeping3), STATUS_SUCCESS);
  sim::wait_idle();
  card(0)->set_powered(true);  // look at the chip as the wake finds it
  card(0)->chip().write(0, 0x0100 | 0x10);  // X: read the command counter
  EXPECT_EQ(card(0)->chip().read(0x0C), 0u);
  card(0)->set_powered(false);
  ASSERT_EQ(sim::set_system_power(0, PowerSystemWorking), STATUS_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(file_.request(REQ_GET_CMDCOUNTER, {X}).block.slot[1], 777u) << "the position is kept";
  EXPECT_EQ(file_.request(REQ_GET_RANGES).block.slot[1], 8000u) << "so is the range";
  EXPECT_EQ(ext->axis[0].shadow[SHADOW_MODE2], wiring) << "and the wiring of the axis's signals";
  EXPECT_EQ(ext->axis[0].shadow[SHADOW_MODE1], 0x8000u) << "the application's factor is set again: its "
                                                           "attached event waits on it";
}

// Events are referenced in the caller's mode with the access the driver
// needs: a handle that may only wait on its event cannot be signalled.
TEST_F(SleepTest, EventsWhoseHandlesDoNotGrantModifyAccessAreRefused) {
  SIM_HANDLE wait_only[4] = {};
  for (int axis = 0; axis < 4; ++axis)
    ASSERT_EQ(SimDuplicateHandle(events_[axis], 0x00100000 /* SYNCHRONIZE */, &wait_only[axis]),
              STATUS_SUCCESS);
  EXPECT_EQ(file_.attach_events(wait_only), STATUS_ACCESS_DENIED);
  EXPECT_EQ(file_.attach_events(events_), STATUS_SUCCESS);
  for (auto handle : wait_only) SimCloseHandle(handle);
}

// The shared buffer's view is made in the requesting process, under the
// driver's exception guard: a mapping that fails (and so raises) answers no
// address and leaves the card working; the view goes at the file's cleanup,
// in its own process, so a later removal finds none to unmap.
TEST_F(MachineTest, TheSharedBufferIsMappedUnderAGuardAndUnmappedInItsProcess) {
  for (const char* fails : {"0", "1"}) {
    boot(machine_text(std::string("UserMappingFails=") + fails + "\n", {card_a()}));
    CardFile file;
    ASSERT_EQ(file.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
    const Reply mapped = file.request(REQ_MAP_SHARED_BUFFER);
    ASSERT_EQ(mapped.status, STATUS_SUCCESS);
    EXPECT_EQ(mapped.block.slot[0], DRV_SUCCESS);
    EXPECT_EQ(mapped.block.slot[1] != 0, *fails == '0') << "an address only when the mapping succeeded";
    EXPECT_EQ(file.request(REQ_GET_DIPSW_ID).status, STATUS_SUCCESS);
    file.close();
    ASSERT_EQ(sim::send_pnp(0, sim::Pnp::QueryRemove), STATUS_SUCCESS);
    ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_SUCCESS);
    MachineTest::TearDown();
  }
}

// A handle inherited by another process sends the unmap request, or the
// cleanup of the last handle, from there: the view goes from the process
// that mapped it, and the buffer can be mapped again.
TEST_F(MachineTest, TheSharedBufferIsUnmappedFromTheProcessThatMappedIt) {
  boot(machine_text("", {card_a()}));
  CardFile file;
  ASSERT_EQ(file.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  ASSERT_NE(file.request(REQ_MAP_SHARED_BUFFER).block.slot[1], 0u);
  {
    sim::InSecondProcess inheritor;
    EXPECT_EQ(file.request(REQ_UNMAP_SHARED_BUFFER).status, STATUS_SUCCESS);
  }
  ASSERT_NE(file.request(REQ_MAP_SHARED_BUFFER).block.slot[1], 0u) << "the view was not unmapped";
  {
    sim::InSecondProcess inheritor;
    EXPECT_EQ(file.close(), STATUS_SUCCESS);
  }
  ASSERT_EQ(file.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  EXPECT_NE(file.request(REQ_MAP_SHARED_BUFFER).block.slot[1], 0u);
}

}  // namespace
}  // namespace driver_test
