// A line or arc whose axis already drives on its own would never start (the
// chip ignores it) and so never end: it is refused at once, with or without
// the wait flag, and leaves nothing armed or pending.
#include "card/clock.h"
#include "driver_harness.h"
// After the card model's headers: the driver's register names are macros.
#include "../rm7x0_driver.h"

namespace driver_test {
namespace {

constexpr std::uint64_t X = 1, Y = 2, Z = 4, PLUS = 1, SV = 2, DV = 20, ACC = 8;
constexpr std::uint64_t ASSIGN_XY = 0x04, ASSIGN_XYZ = 0x24;

class WaitedLineTest : public MachineTest {
 protected:
  void SetUp() override {
    boot(machine_text("Clock=manual\n", {card_a()}));
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  }
  void TearDown() override {
    file_.close();
    MachineTest::TearDown();
  }
  CardExtension* extension() { return card_extension(sim::devices().at(0).fdo); }
  std::uint16_t busy_axes() { return card(0)->chip().read(REG_COMMAND) & MAIN_STATUS_BUSY_MASK; }

  CardFile file_;
};

struct LineCase {
  const char* name;
  std::uint32_t code;
  std::vector<std::uint64_t> slots;  // from slot 1; the wait flag last
};

TEST_F(WaitedLineTest, ALineOrArcWhoseAxisAlreadyDrivesIsRefusedAtOnce) {
  const LineCase cases[] = {
      {"waited 2-axis line", REQ_T_LINE2_MOVE, {ASSIGN_XY, SV, DV, ACC, ACC, 0, 2000, 1000, 0, 1}},
      {"2-axis line", REQ_T_LINE2_MOVE, {ASSIGN_XY, SV, DV, ACC, ACC, 0, 2000, 1000, 0, 0}},
      {"waited S 3-axis line", REQ_S_LINE3_MOVE, {ASSIGN_XYZ, SV, DV, 100, 100, 4, 20, 10, 10, 0, 1}},
      {"waited arc", REQ_T_ARC2_MOVE, {ASSIGN_XY, SV, DV, ACC, ACC, 0x32, 100, 0, 200, 0, 0, 1}},
  };
  // The second (or third) axis drives on its own, endlessly.
  ASSERT_EQ(file_.request(REQ_VELOCITY_MOVE, {Y, SV, DV, ACC, PLUS}).block.slot[0], DRV_SUCCESS);
  for (const LineCase& c : cases) {
    DriverRequest block{};
    block.slot[0] = REQUEST_STATUS_PRESET;
    for (std::size_t i = 0; i < c.slots.size(); ++i) block.slot[i + 1] = c.slots[i];
    const Reply reply = file_.request(c.code, block);
    EXPECT_EQ(reply.status, STATUS_SUCCESS) << c.name << ": answered, not left pending";
    EXPECT_EQ(reply.block.slot[0], DRV_INTERP_BUSY) << c.name;
    EXPECT_EQ(reply.block.slot[1], 0u) << c.name;
    EXPECT_EQ(extension()->axis[0].wait.armed_factor, 0u) << c.name << ": nothing armed";
    EXPECT_EQ(extension()->axis[0].wait.pending_request, nullptr) << c.name;
    EXPECT_EQ(extension()->interp.state, INTERP_IDLE) << c.name;
    EXPECT_EQ(busy_axes() & (X | Z), 0) << c.name << ": the path never started";
  }
}

}  // namespace
}  // namespace driver_test
