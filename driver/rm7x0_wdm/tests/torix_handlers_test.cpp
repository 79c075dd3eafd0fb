// The Torix bus handlers end to end: request blocks through the card's file,
// the simulated bus with its modules behind the card's registers, the
// bridge's Torix interrupt input and the driver's Torix state (read from its
// device extension).
#include "driver_harness.h"

// After the card model's headers: the driver's register names are macros.
#include "../rm7x0_driver.h"

namespace driver_test {
namespace {

constexpr std::uint32_t kTorixInput = INTCSR_LOCAL2_ENABLE | INTCSR_LOCAL2_EDGE;

// Output modules at 0 and 1, input modules at 8, 9 and 12; output 1 comes
// back on input 9.
const std::string kModules =
    "Torix.OutputModules=0,1\nTorix.InputModules=8,9,12\nTorix.Loopback=1->9\n";

class TorixHandlerTest : public MachineTest {
 protected:
  void SetUp() override {
    boot(machine_text("Clock=manual", {card_a(kModules)}));
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  }
  void TearDown() override {
    file_.close();
    MachineTest::TearDown();
  }

  CardExtension* extension() { return card_extension(sim::devices().at(0).fdo); }
  card::TorixField field() { return card(0)->torix(); }
  std::uint32_t intcsr() {
    std::uint32_t value = 0;
    card(0)->mmio_read(card(0)->bar(BRIDGE_BAR).base + INTCSR, 4, &value);
    return value;
  }
  bool torix_bit() { return (extension()->int_sources.word[1] & SOURCE_FLAG_TORIX) != 0; }

  // Word 0 of a request that the driver carried out or refused by its word.
  std::uint16_t word(std::uint32_t code, std::initializer_list<std::uint64_t> slots = {}) {
    last_ = file_.request(code, slots);
    EXPECT_EQ(last_.status, STATUS_SUCCESS);
    return static_cast<std::uint16_t>(last_.block.slot[0]);
  }
  std::uint64_t slot1() const { return last_.block.slot[1]; }
  void configure(std::uint64_t enable, std::uint64_t factor) {
    ASSERT_EQ(word(REQ_CONFIG_TORIX, {enable, factor}), DRV_SUCCESS);
  }
  // A field change and the interrupt it raises, served.
  void set_field_input(int address, std::uint16_t points) {
    field().set_input(address, points);
    sim::wait_idle();
  }

  CardFile file_;
  Reply last_;
};

TEST_F(TorixHandlerTest, OutputPortAndInputPortShareOneRegister) {
  set_field_input(8, 0x00FF);
  EXPECT_EQ(word(REQ_SET_TORIX_DO, {0, 0xAA00}), DRV_SUCCESS);
  EXPECT_EQ(field().output(0), 0xAA00) << "a write sets output 0";
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {8, 1}), DRV_SUCCESS);
  EXPECT_EQ(slot1(), 0x00FFu) << "a read returns input 8";
  EXPECT_EQ(word(REQ_SET_TORIX_DO, {1, 0x1234}), DRV_SUCCESS);
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {9, 1}), DRV_SUCCESS);
  EXPECT_EQ(slot1(), 0x1234u) << "output 1 is wired to input 9";
}

TEST_F(TorixHandlerTest, ScanAnswersInputAndOutputModules) {
  EXPECT_EQ(word(REQ_SCAN_TORIX_DI), DRV_SUCCESS);
  EXPECT_EQ(slot1(), 0x0313u) << "inputs 8, 9, 12 low; outputs 0, 1 high";
}

TEST_F(TorixHandlerTest, ReadsBeforeConfigurationAreRefusedOrCached) {
  set_field_input(12, 0x0F0F);
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {12, 0}), DRV_TORIX_DI_INT_OFF);
  EXPECT_EQ(word(REQ_GET_TORIX_DI_CACHED, {12}), DRV_TORIX_INT_OFF);
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {12, 2}), DRV_SUCCESS);
  EXPECT_EQ(slot1(), 0u) << "other modes answer the cache, never filled yet";
}

TEST_F(TorixHandlerTest, ConfigurationSwitchesTheInterruptAndFillsTheCache) {
  set_field_input(12, 0x0F0F);
  configure(1, 200);
  EXPECT_EQ(field().config(), 200);
  EXPECT_EQ(intcsr() & kTorixInput, kTorixInput) << "enabled, edge-triggered";
  EXPECT_TRUE(torix_bit());
  EXPECT_EQ(extension()->torix_interrupt, 1);
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {12, 0}), DRV_SUCCESS);
  EXPECT_EQ(slot1(), 0x0F0Fu);

  configure(0, 17);
  EXPECT_EQ(field().config(), 17) << "enable 0 rewrites the word";
  EXPECT_EQ(intcsr() & INTCSR_LOCAL2_ENABLE, 0u);
  EXPECT_FALSE(torix_bit());
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {12, 0}), DRV_TORIX_DI_INT_OFF);
}

TEST_F(TorixHandlerTest, EachTorixInterruptRefreshesTheCache) {
  configure(1, 10);
  set_field_input(9, 0x5555);
  EXPECT_EQ(word(REQ_GET_TORIX_DI_CACHED, {9}), DRV_SUCCESS);
  EXPECT_EQ(slot1(), 0x5555u) << "port 9 is the second cached word";
  EXPECT_EQ(word(REQ_SET_TORIX_DO, {1, 0x0A00}), DRV_SUCCESS);  // wired back on 9
  sim::wait_idle();
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {9, 0}), DRV_SUCCESS);
  EXPECT_EQ(slot1(), 0x5F55u);
  EXPECT_EQ(intcsr() & INTCSR_PCI_ENABLE, INTCSR_PCI_ENABLE) << "the DPC unmasked the card";
}

TEST_F(TorixHandlerTest, ConfigurationConflictsWithCompareTableMode) {
  InterlockedExchange(&extension()->compare.compare_mode, COMPARE_TABLE_RELOADING);
  EXPECT_EQ(word(REQ_CONFIG_TORIX, {1, 99}), DRV_CONFLICT_CMP_MODE);
  EXPECT_EQ(field().config(), 0) << "nothing changed";
  EXPECT_FALSE(torix_bit());
  EXPECT_EQ(word(REQ_CONFIG_TORIX, {0, 98}), DRV_SUCCESS) << "switching off is allowed";
  EXPECT_EQ(field().config(), 98);
  InterlockedExchange(&extension()->compare.compare_mode, COMPARE_TABLE_NONE);
}

TEST_F(TorixHandlerTest, ResetHoldsTheBusTwoMillisecondsAndLeavesItUnconfigured) {
  configure(1, 10);
  EXPECT_EQ(word(REQ_SET_TORIX_DO, {0, 0xFFFF}), DRV_SUCCESS);
  const card::SimTime before = sim::machine()->clock().now();
  EXPECT_EQ(word(REQ_RESET_TORIX), DRV_SUCCESS);
  EXPECT_GE(sim::machine()->clock().now() - before, 2 * card::kNsPerMs);
  EXPECT_EQ(field().output(0), 0);
  EXPECT_EQ(word(REQ_SCAN_TORIX_DI), DRV_SUCCESS);
  EXPECT_EQ(slot1(), 0x0313u) << "released: the modules answer";
  EXPECT_EQ(intcsr() & INTCSR_LOCAL2_ENABLE, 0u);
  EXPECT_FALSE(torix_bit());
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {8, 0}), DRV_TORIX_DI_INT_OFF);
}

TEST_F(TorixHandlerTest, InterruptRequestLeavesTheConfigurationFlag) {
  set_field_input(12, 0x0042);
  EXPECT_EQ(word(REQ_SET_TORIX_INT, {1}), DRV_SUCCESS);
  EXPECT_TRUE(torix_bit());
  EXPECT_EQ(intcsr() & kTorixInput, kTorixInput);
  EXPECT_EQ(word(REQ_GET_TORIX_DI_CACHED, {12}), DRV_SUCCESS);
  EXPECT_EQ(slot1(), 0x0042u);
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {12, 0}), DRV_TORIX_DI_INT_OFF) << "not configured";
  EXPECT_EQ(word(REQ_SET_TORIX_INT, {0}), DRV_SUCCESS);
  EXPECT_FALSE(torix_bit());
  EXPECT_EQ(intcsr() & INTCSR_LOCAL2_ENABLE, 0u);
}

TEST_F(TorixHandlerTest, ChipInterruptTakesTheTorixBitButNotTheBridgeInput) {
  configure(1, 10);
  EXPECT_EQ(word(REQ_SET_INT_FACTOR, {1, 0x8000}), DRV_SUCCESS);
  EXPECT_EQ(word(REQ_GET_TORIX_DI_CACHED, {8}), DRV_TORIX_INT_OFF);
  EXPECT_EQ(intcsr() & INTCSR_LOCAL2_ENABLE, INTCSR_LOCAL2_ENABLE);
  set_field_input(8, 0x0101);
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {8, 0}), DRV_SUCCESS) << "the configuration flag stays";
  EXPECT_EQ(slot1(), 0x0101u);
  EXPECT_EQ(word(REQ_SET_TORIX_INT, {1}), DRV_SUCCESS);
  EXPECT_EQ(word(REQ_GET_TORIX_DI_CACHED, {8}), DRV_SUCCESS);
}

TEST_F(TorixHandlerTest, CardResetSwitchesTheTorixInterruptOff) {
  configure(1, 10);
  EXPECT_EQ(word(REQ_RESET), DRV_SUCCESS);
  EXPECT_EQ(intcsr() & INTCSR_LOCAL2_ENABLE, 0u);
  EXPECT_EQ(word(REQ_GET_TORIX_DI, {8, 0}), DRV_TORIX_DI_INT_OFF);
  EXPECT_EQ(word(REQ_GET_TORIX_DI_CACHED, {8}), DRV_TORIX_INT_OFF);
}

TEST_F(TorixHandlerTest, AuxiliaryRegisterTakesTheWord) {
  EXPECT_EQ(word(REQ_SET_TORIX_REG48, {0xBEEF}), DRV_SUCCESS);
  EXPECT_EQ(field().aux(), 0xBEEF);
}

// A port outside its groups would reach another register: the request fails
// and nothing is written.
TEST_F(TorixHandlerTest, PortsOutsideTheirGroupsAreRefused) {
  configure(1, 10);
  const struct {
    std::uint32_t code;
    std::uint64_t port;
  } cases[] = {{REQ_SET_TORIX_DO, 8},  {REQ_SET_TORIX_DO, 0xFFFF}, {REQ_GET_TORIX_DI, 7},
               {REQ_GET_TORIX_DI, 16}, {REQ_GET_TORIX_DI_CACHED, 7}, {REQ_GET_TORIX_DI_CACHED, 16}};
  for (const auto& c : cases) {
    const Reply reply = file_.request(c.code, {c.port, 1});
    EXPECT_EQ(reply.status, STATUS_INVALID_PARAMETER) << std::hex << c.code << " port " << c.port;
  }
  EXPECT_EQ(field().output(0), 0);
  EXPECT_EQ(field().config(), 10);
}

TEST_F(MachineTest, ModelBDriverServesTheTorixBus) {
  boot(machine_text("", {card_b(kModules)}));
  CardFile file;
  ASSERT_EQ(file.open(interface_paths(RM730_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  EXPECT_EQ(file.request(REQ_SET_TORIX_DO, {1, 0x00C3}).block.slot[0], DRV_SUCCESS);
  const Reply reply = file.request(REQ_GET_TORIX_DI, {9, 1});
  EXPECT_EQ(reply.block.slot[0], DRV_SUCCESS);
  EXPECT_EQ(reply.block.slot[1], 0x00C3u);
}

}  // namespace
}  // namespace driver_test
