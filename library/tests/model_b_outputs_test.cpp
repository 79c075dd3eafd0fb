// The model-B library's own exports: the per-axis alarm-reset, general-purpose
// and ERC outputs end to end (the driver's output word and extension-word
// shadows behind them), and which library exports what.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "machine_probe.h"
#include "open_cards.h"

namespace {

constexpr uint8_t CARD = 1;
constexpr uint16_t AXES[4] = {AXIS_X, AXIS_Y, AXIS_Z, AXIS_U};
constexpr uint16_t ERC_FIELD = 0xF000;

class ModelBOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    int16_t count = 0;
    ASSERT_EQ(rm730_scan(&count, nullptr), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm730_open(CARD), SUCCESS_NO_ERROR);
  }
  AttachedLibrary library_{homed_cards("B", {CARD})};
};

struct OutputCase {
  const char *name;
  ApiStatus (*set)(uint8_t, uint16_t, uint8_t);
  uint16_t bits[4];  // X, Y, Z, U
};

const OutputCase kOutputBits[] = {
    {"alarm reset", rm730_set_alarm_reset, {0x0004, 0x0040, 0x0400, 0x4000}},
    {"general output", rm730_set_gdo, {0x0008, 0x0080, 0x0800, 0x8000}},
};

TEST_F(ModelBOutputs, EachAxisSwitchesItsOwnBitOfTheOutputWord) {
  for (const OutputCase &c : kOutputBits) {
    uint16_t all = 0;
    for (int axis = 0; axis < 4; ++axis) {
      ASSERT_EQ(c.set(CARD, AXES[axis], 1), SUCCESS_NO_ERROR) << c.name;
      all |= c.bits[axis];
      EXPECT_EQ(probe_output_word(0), all) << c.name << " on, axis " << axis;
    }
    for (int axis = 0; axis < 4; ++axis) {
      ASSERT_EQ(c.set(CARD, AXES[axis], 0), SUCCESS_NO_ERROR) << c.name;
      all &= static_cast<uint16_t>(~c.bits[axis]);
      EXPECT_EQ(probe_output_word(0), all) << c.name << " off, axis " << axis;
    }
  }
}

TEST_F(ModelBOutputs, ErcSendsOneWordForEveryAxis) {
  ASSERT_EQ(rm730_set_erc(CARD, AXIS_Z, 1), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm730_set_erc(CARD, AXIS_X, 1), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_axis(0, 2).ext_word2 & ERC_FIELD, 0x1000);
  EXPECT_EQ(probe_axis(0, 0).ext_word2 & ERC_FIELD, 0x1000);
  EXPECT_EQ(probe_axis(0, 1).ext_word2 & ERC_FIELD, 0) << "Y was not addressed";
  ASSERT_EQ(rm730_set_erc(CARD, AXIS_Z, 0), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_axis(0, 2).ext_word2 & ERC_FIELD, 0);
  EXPECT_EQ(probe_output_word(0), 0) << "the ERC is no bit of the output word";
}

struct CheckCase {
  const char *name;
  ApiStatus status;
  ApiStatus expected;
};

TEST_F(ModelBOutputs, ChecksCardThenAxisThenOnValue) {
  const CheckCase cases[] = {
      {"card before on", rm730_set_gdo(16, AXIS_X, 2), ERROR_INVALID_CARD_ID},
      {"card not open", rm730_set_erc(2, AXIS_X, 1), ERROR_INVALID_CARD_ID},
      {"no axis", rm730_set_alarm_reset(CARD, 0, 2), ERROR_NO_VALID_AXIS_ASSIGNED},
      {"two axes", rm730_set_gdo(CARD, AXIS_X | AXIS_Y, 2), ERROR_MULTI_AXES_ASSIGNED},
      {"gdo on 2", rm730_set_gdo(CARD, AXIS_U, 2), ERROR_INVALID_GDO},
      {"erc on 2", rm730_set_erc(CARD, AXIS_U, 2), ERROR_INVALID_ERC},
      {"alarm reset on 2", rm730_set_alarm_reset(CARD, AXIS_U, 2), ERROR_INVALID_ALARM_RESET},
  };
  for (const CheckCase &c : cases) EXPECT_EQ(c.status, c.expected) << c.name;
  EXPECT_EQ(probe_output_word(0), 0);
  EXPECT_EQ(probe_axis(0, 3).ext_word2 & ERC_FIELD, 0);
}

TEST(ModelBExports, OutputsInModelBOnlyTorixInBoth) {
  for (const auto &[path, prefix] : {std::pair{RM720_LIBRARY, "rm720_"}, {RM730_LIBRARY, "rm730_"}}) {
    void *library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const bool model_b = std::string(prefix) == "rm730_";
    for (const char *name : {"scan_Torix_DI", "reset_Torix", "config_Torix", "get_Torix_DI",
                             "set_Torix_DO"})
      EXPECT_NE(dlsym(library, (std::string(prefix) + name).c_str()), nullptr) << prefix << name;
    for (const char *name : {"set_erc", "set_alarm_reset", "set_gdo"})
      EXPECT_EQ(dlsym(library, (std::string(prefix) + name).c_str()) != nullptr, model_b)
          << prefix << name;
    dlclose(library);
  }
}

}  // namespace
