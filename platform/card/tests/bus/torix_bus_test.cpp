// The Torix bus through the card's registers, the way the driver reaches it:
// outputs coming back on wired inputs, the scan result, the bus reset, the
// input-change interrupt on local interrupt 2, and the bench's field side.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "bus_test_support.h"
#include "card/registers.h"

namespace card {
namespace {

using test::intcsr;
using test::reg16;
using test::set_intcsr;
using test::set_reg16;

constexpr std::uint32_t output_port(int address) { return card_reg::kTorixPort + 2 * address; }
constexpr std::uint32_t input_port(int address) {
  return card_reg::kTorixPort + 2 * (address - kTorixFirstInput);
}

// A card with output modules 0, 1, 3 and input modules 8, 9, 10, 12; output
// 0 comes back on input 8, outputs 1 and 3 both on input 9 (wired OR), and
// output 3 also on input 12. Input 10 is wired to nothing.
constexpr const char* kBench =
    "Torix.OutputModules=0,1,3\n"
    "Torix.InputModules=8,9,10,12\n"
    "Torix.Loopback=0->8, 1->9, 3->9, 3->12\n";

class TorixBus : public testing::Test {
 protected:
  TorixBus() : machine_(test::one_card(kBench)), card_(*machine_->cards()[0]) {}

  std::uint16_t input(int address) { return reg16(card_, input_port(address)); }
  void write_output(int address, std::uint16_t value) { set_reg16(card_, output_port(address), value); }
  void hold_reset(bool held) { set_reg16(card_, card_reg::kTorixReset, held ? 1 : 0); }
  void interrupt_on(bool on) { set_reg16(card_, card_reg::kTorixInt, on ? 1 : 0); }

  std::unique_ptr<Machine> machine_;
  Card& card_;
};

TEST_F(TorixBus, OutputsComeBackWhereTheyAreWired) {
  write_output(0, 0x1234);
  write_output(1, 0x00F0);
  write_output(2, 0xFFFF);  // no module: the word goes nowhere
  write_output(3, 0x0F00);
  // Input ports 8-15; 9 sees outputs 1 and 3 together, 10 is not wired.
  const std::vector<std::uint16_t> expected{0x1234, 0x0FF0, 0, 0, 0x0F00, 0, 0, 0};
  std::vector<std::uint16_t> inputs;
  for (int n = 0; n < kTorixGroups; ++n) inputs.push_back(input(kTorixFirstInput + n));
  EXPECT_EQ(inputs, expected);
  EXPECT_EQ(card_.torix().output(0), 0x1234);
  EXPECT_EQ(card_.torix().output(2), 0);
  EXPECT_EQ(card_.stray_accesses().reads + card_.stray_accesses().writes, 0u);
}

TEST_F(TorixBus, FieldPointsAddToWiredOutputs) {
  card_.torix().set_input(10, 0xA5A5);
  card_.torix().set_input(8, 0x0001);
  write_output(0, 0x8000);
  EXPECT_EQ(input(10), 0xA5A5);
  EXPECT_EQ(input(8), 0x8001);
}

TEST_F(TorixBus, BenchRefusesInputsWhereNoModuleSits) {
  for (int address : {0, 7, 11, 16, -1}) {
    EXPECT_THROW(card_.torix().set_input(address, 1), std::invalid_argument) << address;
  }
}

TEST_F(TorixBus, ResetHoldsOutputsOffAndInputsAtZeroUntilReleased) {
  card_.torix().set_input(10, 0x0055);
  write_output(0, 0x1111);
  hold_reset(true);
  EXPECT_EQ(card_.torix().output(0), 0);
  EXPECT_EQ(input(8), 0);
  EXPECT_EQ(input(10), 0);
  EXPECT_EQ(reg16(card_, card_reg::kTorixScan), 0);  // no module answers
  write_output(0, 0x2222);                             // dropped while held
  card_.torix().set_input(10, 0x00AA);                 // the field moves on meanwhile
  EXPECT_EQ(input(10), 0);

  hold_reset(false);
  EXPECT_EQ(input(10), 0x00AA);
  EXPECT_EQ(card_.torix().output(0), 0);  // the latches stay clear until written
  EXPECT_EQ(input(8), 0);
  write_output(0, 0x3333);
  EXPECT_EQ(input(8), 0x3333);
}

TEST_F(TorixBus, ConfigurationAndAuxiliaryWordsReachTheBus) {
  set_reg16(card_, card_reg::kTorixConfig, 0x00C8);
  set_reg16(card_, card_reg::kTorixAux, 0x0102);
  EXPECT_EQ(card_.torix().config(), 0x00C8);
  EXPECT_EQ(card_.torix().aux(), 0x0102);
}

TEST_F(TorixBus, CardResetClearsTheRegistersButNotTheField) {
  card_.torix().set_input(10, 0x0F0F);
  write_output(0, 0x00FF);
  set_reg16(card_, card_reg::kTorixConfig, 7);
  hold_reset(true);
  card_.reset();
  EXPECT_EQ(card_.torix().config(), 0);
  EXPECT_EQ(input(10), 0x0F0F);  // released, and the field kept
  EXPECT_EQ(input(8), 0);
}

// Scan result: low byte = input modules at 8 + bit, high byte = output
// modules at bit - 8.
struct ScanRow {
  const char* keys;
  std::uint16_t scan;
};

class TorixScan : public testing::TestWithParam<ScanRow> {};

TEST_P(TorixScan, ShowsThePlacedModules) {
  auto machine = test::one_card(GetParam().keys);
  EXPECT_EQ(reg16(*machine->cards()[0], card_reg::kTorixScan), GetParam().scan);
}

INSTANTIATE_TEST_SUITE_P(TorixBus, TorixScan,
                         testing::Values(ScanRow{"", 0x0000}, ScanRow{"Torix.InputModules=8\n", 0x0001},
                                         ScanRow{"Torix.InputModules=15,9\n", 0x0082},
                                         ScanRow{"Torix.OutputModules=0,7\n", 0x8100},
                                         ScanRow{kBench, 0x0B17}));

// The driver's set-up of local interrupt 2: active high, edge-triggered,
// enabled, with the PCI interrupt on.
constexpr std::uint32_t kDriverTorixIntcsr =
    intcsr::kPowerOn | intcsr::kLocal2Enable | intcsr::kLocal2Edge | intcsr::kPciEnable;

class TorixInterrupt : public TorixBus {
 protected:
  TorixInterrupt() {
    card_.on_interrupt_change([this] { ++line_changes_; });
    set_intcsr(card_, kDriverTorixIntcsr);
  }
  ~TorixInterrupt() override { card_.on_interrupt_change({}); }

  bool raised() { return (intcsr(card_) & intcsr::kLocal2Status) != 0; }
  void clear_edge() { set_intcsr(card_, kDriverTorixIntcsr | intcsr::kLocal2EdgeClear); }

  int line_changes_ = 0;
};

TEST_F(TorixInterrupt, InputChangeRaisesLocalInterruptTwoWhenOn) {
  interrupt_on(true);
  for (std::uint16_t points : {0x0001, 0x0003, 0x0000}) {
    card_.torix().set_input(10, points);
    EXPECT_TRUE(raised()) << points;
    EXPECT_TRUE(card_.interrupt_asserted());
    clear_edge();
    EXPECT_FALSE(card_.interrupt_asserted());
  }
  EXPECT_EQ(line_changes_, 6);  // each change told to the listener, raised and cleared
}

TEST_F(TorixInterrupt, StaysQuietWhenOff) {
  card_.torix().set_input(10, 0x0001);
  write_output(0, 0x0001);
  EXPECT_FALSE(raised());
  interrupt_on(true);
  interrupt_on(false);
  card_.torix().set_input(10, 0x0002);
  EXPECT_FALSE(raised());
  EXPECT_FALSE(card_.interrupt_asserted());
}

TEST_F(TorixInterrupt, OnlyAChangeOfAnInputPortCounts) {
  interrupt_on(true);
  card_.torix().set_input(10, 0x0004);
  clear_edge();
  card_.torix().set_input(10, 0x0004);  // same points
  write_output(2, 0x0001);              // no module
  write_output(0, 0x0000);              // wired, but no change
  EXPECT_FALSE(raised());
  write_output(0, 0x0100);  // comes back on input 8
  EXPECT_TRUE(raised());
}

TEST_F(TorixInterrupt, ResetItselfRaisesNothing) {
  card_.torix().set_input(10, 0x0001);
  interrupt_on(true);
  hold_reset(true);
  card_.torix().set_input(10, 0x0002);  // not seen while held
  hold_reset(false);
  EXPECT_FALSE(raised());
}

TEST_F(TorixInterrupt, LevelTriggeredInputMissesThePulse) {
  set_intcsr(card_, intcsr::kPowerOn | intcsr::kLocal2Enable | intcsr::kPciEnable);
  interrupt_on(true);
  card_.torix().set_input(10, 0x0001);
  EXPECT_FALSE(raised());
  EXPECT_EQ(line_changes_, 0);
}

// The embedded default: both cards loop outputs 0 and 1 back to inputs 8 and 9.
TEST(TorixDefaultMachine, EveryCardLoopsItsOutputsBack) {
  auto machine = Machine::from_description({});
  for (Card* card : machine->cards()) {
    EXPECT_EQ(reg16(*card, card_reg::kTorixScan), 0x0303);
    set_reg16(*card, output_port(0), 0xBEEF);
    set_reg16(*card, output_port(1), 0x0042);
    EXPECT_EQ(reg16(*card, input_port(8)), 0xBEEF);
    EXPECT_EQ(reg16(*card, input_port(9)), 0x0042);
  }
}

}  // namespace
}  // namespace card
