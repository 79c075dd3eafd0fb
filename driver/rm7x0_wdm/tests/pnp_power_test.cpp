// Plug and Play and power requests on a started card, seen from the Plug and
// Play manager and from an application holding the card open.
#include <atomic>
#include <thread>

#include "driver_harness.h"

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

}  // namespace
}  // namespace driver_test
