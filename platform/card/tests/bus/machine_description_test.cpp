// Reading machine descriptions: the embedded default, every key, bad lines.
#include "card/machine_description.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace card {
namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(MachineDescription, DefaultHasModelACardZeroAndModelBCardOne) {
  const MachineDescription m = parse_machine_description(default_machine_description());
  ASSERT_EQ(m.cards.size(), 2u);
  EXPECT_EQ(m.cards[0].model, CardModel::A);
  EXPECT_EQ(m.cards[0].dip_switch, 0);
  EXPECT_EQ(m.cards[1].model, CardModel::B);
  EXPECT_EQ(m.cards[1].dip_switch, 1);
  EXPECT_EQ(m.clock, ClockKind::Scaled);
  EXPECT_EQ(m.traits.contiguous_memory_bytes, 64u * 1024);
  EXPECT_FALSE(m.traits.interrupt_connect_fails);
  for (const CardDescription& card : m.cards) {
    for (const AxisMechanics& axis : card.axes) {
      EXPECT_EQ(axis.limit_plus, 200000);
      EXPECT_EQ(axis.limit_minus, -200000);
      EXPECT_EQ(axis.home, -5000);
    }
  }
}

TEST(MachineDescription, UnsetKeysTakeTheirDefaults) {
  const MachineDescription m = parse_machine_description("[Card0]\n");
  ASSERT_EQ(m.cards.size(), 1u);
  const CardDescription& c = m.cards[0];
  EXPECT_EQ(c.model, CardModel::A);
  EXPECT_EQ(c.dip_switch, 0);
  EXPECT_TRUE(c.bar0_present);
  EXPECT_EQ(c.bar2_length, 0x80u);
  EXPECT_EQ(c.bar3_length, 0x80u);  // the latest board (date code 0x20080826)
  EXPECT_EQ(c.rom_length, 0u);
  EXPECT_TRUE(c.interrupt);
  EXPECT_FALSE(c.bar_mismatch);
  EXPECT_FALSE(c.axes[0].limit_plus.has_value());
}

struct KeyCase {
  const char* text;
  std::function<bool(const MachineDescription&)> holds;
};

class EachKey : public testing::TestWithParam<KeyCase> {};

TEST_P(EachKey, IsRead) {
  const MachineDescription m = parse_machine_description(GetParam().text);
  EXPECT_TRUE(GetParam().holds(m)) << GetParam().text;
}

const CardDescription& first(const MachineDescription& m) { return m.cards.at(0); }

INSTANTIATE_TEST_SUITE_P(
    MachineDescription, EachKey,
    testing::Values(
        KeyCase{"[Machine]\nClock=manual", [](auto& m) { return m.clock == ClockKind::Manual; }},
        KeyCase{"[Machine]\nclock = Scaled", [](auto& m) { return m.clock == ClockKind::Scaled; }},
        KeyCase{"[Machine]\nTimeScale=250", [](auto& m) { return m.time_scale == 250.0; }},
        KeyCase{"[Machine]\nTimeScale=0.5", [](auto& m) { return m.time_scale == 0.5; }},
        KeyCase{"[Machine]\nContiguousMemoryKB=8",
                [](auto& m) { return m.traits.contiguous_memory_bytes == 8192; }},
        KeyCase{"[Machine]\nContiguousMemoryKB=0",
                [](auto& m) { return m.traits.contiguous_memory_bytes == 0; }},
        KeyCase{"[Machine]\nInterruptConnectFails=1",
                [](auto& m) { return m.traits.interrupt_connect_fails; }},
        KeyCase{"[Machine]\nTimerResolutionUs=15625",
                [](auto& m) { return m.traits.timer_resolution_ns == 15625000; }},
        KeyCase{"[Machine]\nTimerResolutionUs=1", [](auto& m) { return m.traits.timer_resolution_ns == 1000; }},
        KeyCase{"[Machine]\nClock=manual", [](auto& m) { return m.traits.processors == 2; }},
        KeyCase{"[Machine]\nProcessors=1", [](auto& m) { return m.traits.processors == 1; }},
        KeyCase{"[Machine]\nProcessors=64", [](auto& m) { return m.traits.processors == 64; }},
        KeyCase{"[Machine]\nUserMappingFails=yes", [](auto& m) { return m.traits.user_mapping_fails; }},
        KeyCase{"[Card0]\nInterruptLine=5", [](auto& m) { return first(m).interrupt_line == 5; }},
        KeyCase{"[Card0]", [](auto& m) { return first(m).interrupt_line == -1; }},
        KeyCase{"[Card0]\nModel=B", [](auto& m) { return first(m).model == CardModel::B; }},
        KeyCase{"[card0]\nmodel=b", [](auto& m) { return first(m).model == CardModel::B; }},
        KeyCase{"[Card0]\nDipSwitch=0x1235", [](auto& m) { return first(m).dip_switch == 0x1235; }},
        KeyCase{"[Card0]\nDipSwitch=65535", [](auto& m) { return first(m).dip_switch == 0xFFFF; }},
        KeyCase{"[Card0]\nCpldVersion=0x21", [](auto& m) { return first(m).cpld_version == 0x21; }},
        KeyCase{"[Card0]\nBar0=missing", [](auto& m) { return !first(m).bar0_present; }},
        KeyCase{"[Card0]\nBar2Length=0x100", [](auto& m) { return first(m).bar2_length == 0x100; }},
        KeyCase{"[Card0]\nBar2Length=0", [](auto& m) { return first(m).bar2_length == 0; }},
        KeyCase{"[Card0]\nBar3Length=0", [](auto& m) { return first(m).bar3_length == 0; }},
        KeyCase{"[Card0]\nRomLength=0x8000", [](auto& m) { return first(m).rom_length == 0x8000; }},
        KeyCase{"[Card0]\nInterrupt=no", [](auto& m) { return !first(m).interrupt; }},
        KeyCase{"[Card0]\nBarMismatch=yes", [](auto& m) { return first(m).bar_mismatch; }},
        KeyCase{"[Card0]\nX.LimitPlus=1000\nU.Home=-7",
                [](auto& m) { return first(m).axes[0].limit_plus == 1000 && first(m).axes[3].home == -7; }},
        KeyCase{"; comment\n\n# another\n[Card5]\r\nModel=B\r\n",
                [](auto& m) { return first(m).slot == 5 && first(m).model == CardModel::B; }},
        KeyCase{"[Card3]\n[Card1]\n", [](auto& m) {
                  return m.cards.size() == 2 && m.cards[0].slot == 1 && m.cards[1].slot == 3;
                }}));

struct BadCase {
  const char* text;
  int line;
  const char* says;
};

class BadLine : public testing::TestWithParam<BadCase> {};

TEST_P(BadLine, IsRefusedNamingTheLine) {
  const BadCase& c = GetParam();
  try {
    parse_machine_description(c.text);
    FAIL() << "accepted: " << c.text;
  } catch (const std::invalid_argument& e) {
    const std::string what = e.what();
    EXPECT_EQ(what.find("line " + std::to_string(c.line) + ":"), 0u) << what;
    EXPECT_NE(what.find(c.says), std::string::npos) << what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    MachineDescription, BadLine,
    testing::Values(
        BadCase{"garbage", 1, "Key=Value"}, BadCase{"Clock=manual\n[Machine]", 1, "before any section"},
        BadCase{"[Machine\nClock=manual", 1, "ends with ']'"},
        BadCase{"[Machine]\nFoo=1", 2, "unknown key Foo"}, BadCase{"[Machine]\nClock=fast", 2, "Clock"},
        BadCase{"[Machine]\nTimeScale=0", 2, "positive"}, BadCase{"[Machine]\nTimeScale=fast", 2, "positive"},
        BadCase{"[Machine]\nContiguousMemoryKB=131073", 2, "above"},
        BadCase{"[Machine]\nInterruptConnectFails=maybe", 2, "maybe"},
        BadCase{"[Machine]\nTimerResolutionUs=0", 2, "positive"},
        BadCase{"[Machine]\nTimerResolutionUs=1000001", 2, "above"},
        BadCase{"[Machine]\nProcessors=0", 2, "below 1"}, BadCase{"[Machine]\nProcessors=65", 2, "above 64"},
        BadCase{"[Card0]\nInterruptLine=255", 2, "above 254"},
        BadCase{"[Other]", 1, "unknown section [Other]"}, BadCase{"[Card16]", 1, "[Card0] to [Card15]"},
        BadCase{"[CardX]", 1, "[Card0] to [Card15]"}, BadCase{"[Card0]\n\n[Card00]", 3, "twice"},
        BadCase{"[Machine]\n[machine]", 2, "twice"}, BadCase{"[Card0]\nModel=A\nmodel=B", 3, "twice"},
        BadCase{"[Card0]\nModel=C", 2, "Model"}, BadCase{"[Card0]\nDipSwitch=0x10000", 2, "above"},
        BadCase{"[Card0]\nDipSwitch=-1", 2, "not a number"},
        BadCase{"[Card0]\nDipSwitch=12ab", 2, "not a number"}, BadCase{"[Card0]\nBar0=gone", 2, "Bar0"},
        BadCase{"[Card0]\nBar2Length=0x90", 2, "power of two"},
        BadCase{"[Card0]\nBar3Length=8", 2, "power of two"},
        BadCase{"[Card0]\nBar2Length=0x20000", 2, "above"},
        BadCase{"[Card0]\nRomLength=0x100", 2, "power of two"},
        BadCase{"[Card0]\nInterrupt=sometimes", 2, "Interrupt"},
        BadCase{"[Card0]\nSpeed=1", 2, "unknown key Speed in [Card0]"},
        BadCase{"[Card0]\n=1", 2, "key is missing"},
        BadCase{"[Card0]\nModel=A\nX.LimitPlus=far", 3, "X.LimitPlus"},
        BadCase{"[Card0]\nZ.HomeWidth=-1", 2, "Z.HomeWidth"},
        BadCase{"[Card0]\nY.LimitPluss=1", 2, "unknown axis key Y.LimitPluss"},
        BadCase{"[Card0]\nV.Home=1", 2, "unknown key V.Home"}));

TEST(MachineDescription, TimeScaleAndTimerResolutionDefaultToTheEnvironment) {
  {
    ScopedEnv scale("RM7X0_TIME_SCALE", "40"), resolution("RM7X0_TIMER_RESOLUTION_US", "15625");
    const MachineDescription none = parse_machine_description(""), empty = parse_machine_description("[Machine]\n");
    const MachineDescription given = parse_machine_description("[Machine]\nTimeScale=3\nTimerResolutionUs=1");
    for (const MachineDescription* m : {&none, &empty}) {
      EXPECT_EQ(m->time_scale, 40.0);
      EXPECT_EQ(m->traits.timer_resolution_ns, 15625u * 1000);
    }
    EXPECT_EQ(given.time_scale, 3.0);
    EXPECT_EQ(given.traits.timer_resolution_ns, 1000u);
  }
  {
    ScopedEnv scale("RM7X0_TIME_SCALE", nullptr), resolution("RM7X0_TIMER_RESOLUTION_US", "");
    EXPECT_EQ(parse_machine_description("[Machine]\n").time_scale, 1.0);
    EXPECT_EQ(parse_machine_description("[Machine]\n").traits.timer_resolution_ns, 100u * 1000);
  }
  for (const auto& [name, value] : {std::pair{"RM7X0_TIME_SCALE", "-2"}, std::pair{"RM7X0_TIMER_RESOLUTION_US", "0"},
                                    std::pair{"RM7X0_TIMER_RESOLUTION_US", "fast"}}) {
    ScopedEnv env(name, value);
    try {
      parse_machine_description("[Machine]\n");
      ADD_FAILURE() << name << "=" << value << " accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace card
