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

TEST_F(PnpTest, StoppedCardRefusesRequestsUntilStartedAgain) {
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_SUCCESS);
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Stop), STATUS_SUCCESS);
  EXPECT_EQ(file_.request(REQ_GET_DIPSW_ID).status, STATUS_DEVICE_NOT_READY);
  EXPECT_EQ(file_.request(REQ_GET_RANGES).status, STATUS_DEVICE_NOT_READY);

  sim::clear_debug_text();
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Start), STATUS_SUCCESS);
  EXPECT_TRUE(sim::devices()[0].started);
  // The start walked the resources again.
  EXPECT_NE(sim::debug_text().find("BarIndex = 0x00000002"), std::string::npos);
  EXPECT_TRUE(card_answers());
  const Reply ranges = file_.request(REQ_GET_RANGES);
  for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(ranges.block.slot[slot], 16000u);
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

// A stopped or removed card's axes stand: the driver stops them while it can
// still reach the registers, before they go.
TEST_F(PnpTest, AStopOrASurpriseRemovalStopsEveryDrivingAxis) {
  const std::vector<sim::Pnp> stops[] = {{sim::Pnp::QueryStop, sim::Pnp::Stop},
                                         {sim::Pnp::SurpriseRemoval}};
  for (const auto& requests : stops) {
    for (std::uint64_t axis : {1, 2, 4})
      ASSERT_EQ(file_.request(REQ_VELOCITY_MOVE, {axis, 2, 20, 8, 1}).block.slot[0], DRV_SUCCESS);
    ASSERT_EQ(card(0)->chip().read(0) & 0xF, 0x7) << "X, Y and Z drive";
    for (sim::Pnp request : requests) ASSERT_EQ(sim::send_pnp(0, request), STATUS_SUCCESS);
    EXPECT_EQ(card(0)->chip().read(0) & 0xF, 0) << "no axis drives once the card is stopped";
    if (requests.size() == 2) {
      ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Start), STATUS_SUCCESS);
    }
  }
}

class PowerTest : public MachineTest {
 protected:
  void SetUp() override { boot(machine_text("", {card_a()})); }
};

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

  CardFile file_;
  SIM_HANDLE events_[4] = {};
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
  DriverRequest line{};
  const std::uint64_t slots[] = {ASSIGN_XY, SV, DV, ACC, ACC, 0, 2000, 1000, 0, 1};
  line.slot[0] = REQUEST_STATUS_PRESET;
  std::copy(std::begin(slots), std::end(slots), &line.slot[1]);
  SIM_IO_STATUS iosb{};
  ASSERT_EQ(SimDeviceIoControl(file_.handle(), REQ_T_LINE2_MOVE, &line, sizeof line, &line, sizeof line,
                               done, &iosb),
            STATUS_PENDING);
  run_until_idle();
  EXPECT_TRUE(signalled(done));
  EXPECT_EQ(static_cast<SIM_STATUS>(iosb.Status), STATUS_SUCCESS);
  EXPECT_EQ(file_.request(REQ_GET_CMDCOUNTER, {X}).block.slot[1], 3500u);
  SimCloseHandle(done);
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
