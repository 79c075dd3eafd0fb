// The Torix keys of a [CardN] section: module addresses and loopback wires,
// good lines and bad ones.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "card/machine_description.h"

namespace card {
namespace {

TorixModules torix_of(const std::string& keys) {
  const MachineDescription m = parse_machine_description("[Card0]\n" + keys);
  return m.cards.at(0).torix;
}

struct GoodCase {
  const char* keys;
  std::uint8_t outputs;
  std::uint8_t inputs;
  std::vector<TorixWire> wires;
};

class TorixGoodKeys : public testing::TestWithParam<GoodCase> {};

TEST_P(TorixGoodKeys, AreRead) {
  const GoodCase& c = GetParam();
  const TorixModules torix = torix_of(c.keys);
  EXPECT_EQ(torix.outputs, c.outputs) << c.keys;
  EXPECT_EQ(torix.inputs, c.inputs) << c.keys;
  EXPECT_EQ(torix.wires, c.wires) << c.keys;
}

INSTANTIATE_TEST_SUITE_P(
    TorixKeys, TorixGoodKeys,
    testing::Values(GoodCase{"", 0, 0, {}},
                    GoodCase{"Torix.OutputModules=\nTorix.InputModules=\nTorix.Loopback=", 0, 0, {}},
                    GoodCase{"Torix.OutputModules=0,7", 0x81, 0, {}},
                    GoodCase{"torix.inputmodules = 15 , 8 ,0x9", 0, 0x83, {}},
                    GoodCase{"Torix.Loopback=0->8\nTorix.OutputModules=0\nTorix.InputModules=8",  // any order
                             0x01, 0x01, {{0, 8}}},
                    GoodCase{"Torix.OutputModules=1,2\nTorix.InputModules=9\nTorix.Loopback=1 -> 9, 2->9",
                             0x06, 0x02, {{1, 9}, {2, 9}}},
                    GoodCase{"Torix.OutputModules=3\nTorix.InputModules=8,15\nTorix.Loopback=3->8,3->15",
                             0x08, 0x81, {{3, 8}, {3, 15}}}));

struct BadCase {
  const char* keys;
  int line;  // counted from the [Card0] header at line 1
  const char* says;
};

class TorixBadKeys : public testing::TestWithParam<BadCase> {};

TEST_P(TorixBadKeys, AreRefusedNamingTheLine) {
  const BadCase& c = GetParam();
  try {
    torix_of(c.keys);
    FAIL() << "accepted: " << c.keys;
  } catch (const std::invalid_argument& e) {
    const std::string what = e.what();
    EXPECT_EQ(what.find("line " + std::to_string(c.line) + ":"), 0u) << what;
    EXPECT_NE(what.find(c.says), std::string::npos) << what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    TorixKeys, TorixBadKeys,
    testing::Values(
        BadCase{"Torix.OutputModules=8", 2, "Torix.OutputModules: '8' is not an output address (0 to 7)"},
        BadCase{"Torix.InputModules=7", 2, "Torix.InputModules: '7' is not an input address (8 to 15)"},
        BadCase{"Torix.InputModules=16", 2, "not an input address"},
        BadCase{"Torix.InputModules=8,9,8", 2, "address 8 is given twice"},
        BadCase{"Torix.OutputModules=0,,1", 2, "'' is not a number"},
        BadCase{"Torix.OutputModules=-1", 2, "not a number"},
        BadCase{"Torix.OutputModules=DO16", 2, "not a number"},
        BadCase{"Torix.Loopback=0=>8", 2, "'0=>8' is not OUTPUT->INPUT"},
        BadCase{"Torix.Loopback=8->0", 2, "'8' is not an output address"},
        BadCase{"Torix.Loopback=0->7", 2, "'7' is not an input address"},
        BadCase{"Torix.OutputModules=0\nTorix.InputModules=8\nTorix.Loopback=0->8,0->8", 4,
                "the wire 0->8 is given twice"},
        BadCase{"Model=A\nTorix.Loopback=1->8\nTorix.OutputModules=0\nTorix.InputModules=8", 3,
                "Torix.Loopback: no output module at 1"},
        BadCase{"Torix.OutputModules=0\nTorix.Loopback=0->9", 3, "Torix.Loopback: no input module at 9"},
        BadCase{"Torix.Modules=0", 2, "unknown key Torix.Modules"},
        BadCase{"Torix.InputModules=8\ntorix.inputmodules=9", 3, "twice"}));

TEST(TorixKeys, DefaultMachineLoopsOutputsBackOnEveryCard) {
  const MachineDescription m = parse_machine_description(default_machine_description());
  ASSERT_EQ(m.cards.size(), 2u);
  for (const CardDescription& card : m.cards) {
    EXPECT_EQ(card.torix.outputs, 0x03);
    EXPECT_EQ(card.torix.inputs, 0x03);
    EXPECT_EQ(card.torix.wires, (std::vector<TorixWire>{{0, 8}, {1, 9}}));
  }
}

}  // namespace
}  // namespace card
