// The axis configuration handlers end to end: request blocks through the
// card's file, the driver's register shadows (read from its device
// extension) and what the simulated chip does with the words it was given.
#include <cctype>

#include "driver_harness.h"

// After the card model's headers: the driver's register names are macros.
#include "../rm7x0_driver.h"

namespace driver_test {
namespace {

constexpr std::uint64_t AXIS_X_BIT = 1, AXIS_Y_BIT = 2, AXIS_Z_BIT = 4, AXIS_U_BIT = 8;

class ConfigHandlerTest : public MachineTest {
 protected:
  void SetUp() override {
    // Every axis stands on its home sensor, with its alarm raised on the bench.
    std::string axes;
    for (const char* axis : {"X", "Y", "Z", "U"})
      axes += std::string(axis) + ".Home=0\n" + axis + ".Alarm=1\n";
    boot(machine_text("", {card_a(axes)}));
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  }
  void TearDown() override {
    file_.close();
    MachineTest::TearDown();
  }

  CardExtension* extension() { return card_extension(sim::devices().at(0).fdo); }
  DriverAxisState& axis(int index) { return extension()->axis[index]; }
  USHORT shadow(int index, AxisShadow which) { return axis(index).shadow[which]; }

  // What the chip shows of an axis.
  std::uint16_t status2(int index) {
    card::MotionChip& chip = card(0)->chip();
    chip.write(REG_COMMAND, static_cast<std::uint16_t>((1u << index) << 8 | CHIP_SELECT));
    return chip.read(REG_MODE2);
  }
  std::uint8_t input_byte(int index) {
    const std::uint16_t word = card(0)->chip().read(index < 2 ? REG_OUTPUT : REG_INTERP_MODE);
    return static_cast<std::uint8_t>(index % 2 ? word >> 8 : word);
  }

  std::uint16_t send(std::uint32_t code, std::initializer_list<std::uint64_t> slots) {
    const Reply reply = file_.request(code, slots);
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    return static_cast<std::uint16_t>(reply.block.slot[0]);
  }

  CardFile file_;
};

// A mode-register field: every axis of the mask takes the value, kept to the
// field; the other axes and the other bits stay.
struct FieldCase {
  const char* name;
  std::uint32_t code;
  AxisShadow shadow;
  USHORT field;
};

class ModeFieldTest : public ConfigHandlerTest, public ::testing::WithParamInterface<FieldCase> {};

TEST_P(ModeFieldTest, SetsItsFieldOnEveryAxisOfTheMask) {
  const FieldCase& c = GetParam();
  axis(0).shadow[c.shadow] = static_cast<USHORT>(~c.field);  // neighbours already configured
  const USHORT untouched = shadow(1, c.shadow);
  EXPECT_EQ(send(c.code, {AXIS_X_BIT | AXIS_Z_BIT, 0xFFFF}), DRV_SUCCESS);
  EXPECT_EQ(shadow(0, c.shadow), 0xFFFF) << c.name;
  EXPECT_EQ(shadow(2, c.shadow), c.field) << c.name << ": stray bits stay out of other fields";
  EXPECT_EQ(shadow(1, c.shadow), untouched) << c.name << ": Y is not in the mask";
  EXPECT_EQ(send(c.code, {AXIS_X_BIT, 0}), DRV_SUCCESS);
  EXPECT_EQ(shadow(0, c.shadow), static_cast<USHORT>(~c.field)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ModeFieldTest,
    ::testing::Values(FieldCase{"pulse output", REQ_SET_PLS_CFG, SHADOW_MODE2, 0x01C0},
                      FieldCase{"encoder input", REQ_SET_ENC_CFG, SHADOW_MODE2, 0x0E00},
                      FieldCase{"limit switches", REQ_SET_LIMIT, SHADOW_MODE2, 0x001C},
                      FieldCase{"alarm input", REQ_SET_ALARM, SHADOW_MODE2, 0x3000},
                      FieldCase{"in-position input", REQ_SET_INP, SHADOW_MODE2, 0xC000},
                      FieldCase{"IN3 input", REQ_SET_IN3, SHADOW_MODE1, 0x00C0},
                      FieldCase{"input filter", REQ_SET_FILTER, SHADOW_EXT_WORD1, 0xFF00}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

TEST_F(ConfigHandlerTest, AlarmInputStopsTheAxisOnlyWhenEnabled) {
  EXPECT_EQ(status2(1) & STATUS2_ALARM, 0) << "alarm raised on the bench, input off";
  send(REQ_SET_ALARM, {AXIS_Y_BIT, 0x2000});
  EXPECT_EQ(status2(1) & STATUS2_ALARM, STATUS2_ALARM);
  send(REQ_SET_ALARM, {AXIS_Y_BIT, 0});
  EXPECT_EQ(status2(1) & STATUS2_ALARM, 0);
}

TEST_F(ConfigHandlerTest, TemporaryInPositionWordIsUndoneByTheRewrite) {
  send(REQ_SET_INP, {AXIS_U_BIT, 0xC000, 0});  // check on, active high
  EXPECT_EQ(input_byte(3) & INPUT_IN_POSITION, INPUT_IN_POSITION);
  send(REQ_SET_INP, {AXIS_U_BIT, 0x8000, 0x2000});  // for a while: active low
  EXPECT_EQ(input_byte(3) & INPUT_IN_POSITION, 0);
  EXPECT_EQ(shadow(3, SHADOW_MODE2), 0xC000) << "the configured word is kept";
  send(REQ_SET_INP, {AXIS_U_BIT, 0, 0x1000});
  EXPECT_EQ(input_byte(3) & INPUT_IN_POSITION, INPUT_IN_POSITION);
  EXPECT_EQ(shadow(3, SHADOW_MODE2), 0xC000);
}

TEST_F(ConfigHandlerTest, HomeConfigurationSetsLevelsStepsAndKeepsTheRest) {
  const std::uint8_t low_level_input = input_byte(0) & INPUT_HOME;
  send(REQ_SET_HOME_CFG, {AXIS_X_BIT | AXIS_Y_BIT, 0x04 | 0x01 | 0x10 | 0x08, 0x47 | 0x8000, 1234});
  for (int index : {0, 1}) {
    EXPECT_EQ(shadow(index, SHADOW_MODE1), 0x15) << "axis " << index;
    EXPECT_EQ(shadow(index, SHADOW_EXT_WORD2), 0x0847) << "axis " << index;
    EXPECT_NE(input_byte(index) & INPUT_HOME, low_level_input)
        << "the chip reads the home sensor at the new level, axis " << index;
  }
  EXPECT_EQ(shadow(2, SHADOW_EXT_WORD2), DEFAULT_EXT_WORD2);
}

TEST_F(ConfigHandlerTest, ErcGoesToTheLowestAxisOfTheMaskOnly) {
  send(REQ_SET_ERC, {AXIS_Y_BIT | AXIS_Z_BIT, 0x1000, 0});
  EXPECT_EQ(shadow(1, SHADOW_EXT_WORD2), 0x1800);
  EXPECT_EQ(shadow(2, SHADOW_EXT_WORD2), 0x0800);
  EXPECT_TRUE(card(0)->chip().compare_output(1).erc);
  EXPECT_FALSE(card(0)->chip().compare_output(2).erc);
  send(REQ_SET_ERC, {AXIS_Y_BIT, 0, 0});
  EXPECT_FALSE(card(0)->chip().compare_output(1).erc);
}

TEST_F(ConfigHandlerTest, OutputsSwitchTheirOwnBitAndKeepTheirState) {
  send(REQ_SERVO_ON, {AXIS_Z_BIT, 0x0200, 7});
  send(REQ_SET_ALARM_RESET, {AXIS_X_BIT, 0x0004});
  send(REQ_SET_GDO, {AXIS_U_BIT, 0x8000});
  EXPECT_EQ(extension()->output_shadow, 0x8204);
  EXPECT_EQ(axis(2).output[OUTPUT_SERVO_STATE], 1);
  EXPECT_EQ(axis(2).output[OUTPUT_SERVO_VALUE], 7);
  EXPECT_EQ(axis(0).output[OUTPUT_ALARM_RESET], 1);
  EXPECT_EQ(axis(3).output[OUTPUT_GDO], 1);
  EXPECT_EQ(file_.request(REQ_GET_OUT1_STATUS, {AXIS_Z_BIT}).block.slot[1], 1u);
  EXPECT_EQ(file_.request(REQ_GET_OUT1_STATUS, {AXIS_X_BIT}).block.slot[1], 0u);

  send(REQ_SET_ALARM_RESET, {AXIS_X_BIT, 0xFFFF & ~0x0004});  // other axes' bits: ignored
  EXPECT_EQ(extension()->output_shadow, 0x8200);
  EXPECT_EQ(axis(0).output[OUTPUT_ALARM_RESET], 1) << "a non-zero word counts as on";
  send(REQ_SERVO_ON, {AXIS_Z_BIT, 0, 7});
  EXPECT_EQ(extension()->output_shadow, 0x8000);
  EXPECT_EQ(axis(2).output[OUTPUT_SERVO_VALUE], 0);
}

TEST_F(ConfigHandlerTest, SoftwareLimitsReachTheComparatorsAndTakeTheAxis) {
  send(REQ_SET_SOFTLIMIT, {AXIS_Z_BIT, 3, 32, static_cast<std::uint32_t>(-10), 10});
  EXPECT_EQ(shadow(2, SHADOW_MODE2), 0x0023);
  EXPECT_EQ(axis(2).owners.feature_owner, OWNER_SOFT_LIMIT);
  // The counter (0) lies beyond both limits.
  EXPECT_EQ(status2(2) & 3, STATUS2_SOFT_LIMIT_PLUS | STATUS2_SOFT_LIMIT_MINUS);

  send(REQ_SET_SOFTLIMIT, {AXIS_Z_BIT, 0, 32, 0, 0});
  EXPECT_EQ(shadow(2, SHADOW_MODE2), 0);
  EXPECT_EQ(axis(2).owners.feature_owner, OWNER_NONE);
  EXPECT_EQ(status2(2) & 3, 0);
}

struct OwnerCase {
  LONG owner;
  std::uint16_t word;
};

class SoftLimitOwnerTest : public ConfigHandlerTest,
                           public ::testing::WithParamInterface<OwnerCase> {};

TEST_P(SoftLimitOwnerTest, AnAxisHeldByAnotherFunctionIsRefusedUnchanged) {
  axis(1).owners.feature_owner = GetParam().owner;
  EXPECT_EQ(send(REQ_SET_SOFTLIMIT, {AXIS_Y_BIT, 0, 0, 0, 0}), GetParam().word);
  EXPECT_EQ(send(REQ_SET_SOFTLIMIT, {AXIS_Y_BIT, 3, 0, 5, 1}), GetParam().word);
  EXPECT_EQ(shadow(1, SHADOW_MODE2), 0);
  EXPECT_EQ(axis(1).owners.feature_owner, GetParam().owner);
}

INSTANTIATE_TEST_SUITE_P(Owners, SoftLimitOwnerTest,
                         ::testing::Values(OwnerCase{OWNER_COMPARE, DRV_CONFLICT_CMPTRIG},
                                           OwnerCase{OWNER_RING_COUNTER, DRV_CONFLICT_VRING},
                                           OwnerCase{OWNER_SYNC_ACTION, DRV_CONFLICT_SYNCH}));

TEST_F(ConfigHandlerTest, ComparatorSourceChangesOnlyForItsTwoValues) {
  send(REQ_SET_CMP, {AXIS_X_BIT, 32, 100, static_cast<std::uint32_t>(-100)});
  EXPECT_EQ(shadow(0, SHADOW_MODE2), 0x0020);
  send(REQ_SET_CMP, {AXIS_X_BIT, 7, 100, 0});
  EXPECT_EQ(shadow(0, SHADOW_MODE2), 0x0020);
  send(REQ_SET_CMP, {AXIS_X_BIT, 0, 100, 0});
  EXPECT_EQ(shadow(0, SHADOW_MODE2), 0);
}

TEST_F(ConfigHandlerTest, ResetReturnsEveryShadowToItsDefault) {
  send(REQ_SET_PLS_CFG, {AXIS_X_BIT | AXIS_Y_BIT | AXIS_Z_BIT | AXIS_U_BIT, 0x1C0});
  send(REQ_SET_HOME_CFG, {AXIS_Y_BIT, 0x15, 0x05, 0});
  send(REQ_SET_FILTER, {AXIS_U_BIT, 0x3F00});
  send(REQ_SET_SOFTLIMIT, {AXIS_Z_BIT, 3, 0, 1, 2});
  send(REQ_SERVO_ON, {AXIS_X_BIT, 0x0002, 1});
  const Reply reply = file_.request(REQ_RESET);
  for (int index = 0; index < AXIS_COUNT; ++index) {
    EXPECT_EQ(reply.block.slot[1 + index], DEFAULT_RANGE);
    for (int which = 0; which < SHADOW_COUNT; ++which) {
      const USHORT expected = which == SHADOW_EXT_WORD1   ? DEFAULT_FILTER_WORD
                              : which == SHADOW_EXT_WORD2 ? DEFAULT_EXT_WORD2
                                                          : 0;
      EXPECT_EQ(shadow(index, static_cast<AxisShadow>(which)), expected)
          << "axis " << index << ", shadow " << which;
    }
    EXPECT_EQ(axis(index).owners.feature_owner, OWNER_NONE);
  }
  EXPECT_EQ(extension()->output_shadow, 0);
}

}  // namespace
}  // namespace driver_test
