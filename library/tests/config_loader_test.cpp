// The configuration loader end to end: an INI file laid out as the test
// program saves it, in the system folder of a Wine prefix made for the test,
// applied to open cards and read back from the driver's shadows and the chip.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "machine_probe.h"
#include "open_cards.h"

namespace {

namespace fs = std::filesystem;

constexpr uint8_t FIRST = 2, SECOND = 5;  // card IDs, in slots 0 and 1
constexpr int X = 0, Y = 1, Z = 2, U = 3;
const char *const AXES[] = {"X", "Y", "Z", "U"};

// The keys of one axis as the test program writes them (its defaults), each
// value followed by the line break the writer adds to some of them.
using AxisKeys = std::map<std::string, std::string>;

AxisKeys default_axis() {
  return {{"RANGE_VALUE", "16000"}, {"PULSE_MODE", "0"},   {"ENC_MODE", "3"},
          {"LMT_LEVEL", "0"},       {"HOME_LEVEL", "0"},   {"NRHOME_LEVEL", "0"},
          {"INDEX_LEVEL", "0"},     {"INP_EN", "0"},       {"INP_LEVEL", "0"},
          {"IN3_EN", "0"},          {"IN3_LEVEL", "0"},    {"ALM_EN", "0"},
          {"ALM_LEVE", "0"},        {"FILTER_MODE", "0"},  {"DELAY_TIME", "0\r\n"},
          {"SV", "10000\r\n"},      {"DV", "50000\r\n"},   {"ACC", "80000\r\n"},
          {"DEC", "80000\r\n"},     {"JERK", "500000\r\n"}, {"DEC_RATE", "500000\r\n"},
          {"OUTPUT_PULSE", "10000\r\n"}};
}

struct CardKeys {
  uint8_t card_id;
  AxisKeys axes[4];
};

CardKeys default_card(uint8_t card_id) {
  return {card_id, {default_axis(), default_axis(), default_axis(), default_axis()}};
}

std::string ini_text(const std::vector<CardKeys> &cards) {
  std::string text;
  for (const CardKeys &card : cards) {
    text += "[CardNo:" + std::to_string(card.card_id) + "]\r\n";
    for (int axis = 0; axis < 4; ++axis) {
      for (const auto &[key, value] : card.axes[axis])
        text += std::string(AXES[axis]) + "-" + key + "=" + value + "\r\n";
    }
  }
  return text;
}

class ConfigLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = fs::temp_directory_path() /
              ("rm7x0-config-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(system32());
    setenv("WINEPREFIX", prefix_.c_str(), 1);
    int16_t count = 0;
    ASSERT_EQ(rm720_scan(&count, nullptr), SUCCESS_NO_ERROR);
    ASSERT_EQ(count, 2);
  }
  void TearDown() override {
    unsetenv("WINEPREFIX");
    fs::remove_all(prefix_);
  }

  fs::path system32() const { return prefix_ / "drive_c/windows/system32"; }
  void save(const std::vector<CardKeys> &cards, const char *name = "RM720_Config.ini") {
    std::ofstream(system32() / name, std::ios::binary) << ini_text(cards);
  }
  void open_both() {
    ASSERT_EQ(rm720_open(FIRST), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_open(SECOND), SUCCESS_NO_ERROR);
  }
  void expect_untouched(std::size_t slot) {
    for (int axis = 0; axis < 4; ++axis) {
      const AxisProbe probe = probe_axis(slot, axis);
      EXPECT_EQ(probe.mode1, 0) << "slot " << slot << " axis " << axis;
      EXPECT_EQ(probe.mode2, 0) << "slot " << slot << " axis " << axis;
      EXPECT_EQ(probe.ext_word1, 0x0100) << "slot " << slot << " axis " << axis;
    }
  }

  AttachedLibrary library_{homed_cards("A", {FIRST, SECOND})};
  fs::path prefix_;
};

TEST_F(ConfigLoaderTest, SavedConfigurationReachesDriverAndChip) {
  CardKeys first = default_card(FIRST);
  first.axes[X] = {{"PULSE_MODE", "3"},   {"ENC_MODE", "1"},        {"LMT_LEVEL", "1"},
                   {"HOME_LEVEL", "1"},   {"NRHOME_LEVEL", "1"},    {"INDEX_LEVEL", "1"},
                   {"SLIMIT_SRC", "1"},   {"SLIMIT_PLUS", "-100"},  {"SLIMIT_MINUS", "100"},
                   {"INP_EN", "1"},       {"INP_LEVEL", "1"},       {"ALM_EN", "1"},
                   {"ALM_LEVE", "0"},     {"FILTER_MODE", "5"},     {"DELAY_TIME", "3\r\n"}};
  first.axes[Y]["SLIMIT_SRC"] = "0";  // no SLIMIT_PLUS: the software limit stays off
  first.axes[Y]["SLIMIT_MINUS"] = "-5";
  first.axes[Z]["FILTER_MODE"] = "3";
  first.axes[Z]["DELAY_TIME"] = "9\r\n";  // no such delay: the filter is left alone
  CardKeys second = default_card(SECOND);
  second.axes[U]["PULSE_MODE"] = "5";
  second.axes[U]["INP_EN"] = "2";  // only 1 switches the check on
  save({first, second});
  open_both();
  const uint8_t home_low = probe_axis(0, X).inputs & 0x02;

  ASSERT_EQ(rm720_load_config(nullptr), SUCCESS_NO_ERROR);

  const AxisProbe x = probe_axis(0, X);
  EXPECT_EQ(x.mode2, 0x00C0 | 0x0400 | 0x001C | 0x0023 | 0xC000 | 0x2000);
  EXPECT_EQ(x.mode1, 0x15) << "levels stored as 1 mean high";
  EXPECT_EQ(x.ext_word1, 0x0500 | 0x4000);
  EXPECT_EQ(x.feature_owner, 1);
  EXPECT_NE(x.inputs & 0x02, home_low) << "the chip reads the home sensor active high";
  EXPECT_EQ(x.status2 & 3, 3) << "software limits on, the counter beyond both";

  const AxisProbe y = probe_axis(0, Y);
  // Pulse mode 0 (two pulse outputs: no direction), encoder CW/CCW, decelerating stop.
  EXPECT_EQ(y.mode2, 0x0200 | 0x0004);
  EXPECT_EQ(y.feature_owner, 0);
  EXPECT_EQ(probe_axis(0, Z).ext_word1, 0x0100);
  EXPECT_EQ(probe_axis(1, U).mode2, 0x01C0 | 0x0200 | 0x0004);
}

TEST_F(ConfigLoaderTest, AFileAtAGivenWindowsPath) {
  fs::create_directories(prefix_ / "drive_c/Configs");
  CardKeys first = default_card(FIRST);
  first.axes[Y]["PULSE_MODE"] = "2";
  std::ofstream(prefix_ / "drive_c/Configs/bench.ini", std::ios::binary)
      << ini_text({first, default_card(SECOND)});
  open_both();
  ASSERT_EQ(rm720_load_config("C:\\configs\\BENCH.ini"), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_axis(0, Y).mode2 & 0x01C0, 0x0040);
}

TEST_F(ConfigLoaderTest, MissingFileOrWindowsDirectory) {
  open_both();
  EXPECT_EQ(rm720_load_config(nullptr), ERROR_CONFIG_FILE_NOT_FOUND);
  EXPECT_EQ(rm720_load_config("C:\\windows\\system32\\none.ini"), ERROR_CONFIG_FILE_NOT_FOUND);
  save({default_card(FIRST), default_card(SECOND)});
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  unsetenv("WINEPREFIX");
  unsetenv("HOME");
  EXPECT_EQ(rm720_load_config(nullptr), ERROR_CONFIG_FILE_NOT_FOUND);
  if (!home.empty()) setenv("HOME", home.c_str(), 1);
  expect_untouched(0);
}

TEST_F(ConfigLoaderTest, ACardNotOpenStopsTheLoaderAfterTheCardsBeforeIt) {
  CardKeys first = default_card(FIRST);
  first.axes[X]["PULSE_MODE"] = "2";
  save({first, default_card(SECOND)});
  ASSERT_EQ(rm720_open(FIRST), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_load_config(nullptr), ERROR_CONFIG_CARD_NOT_OPEN);
  EXPECT_EQ(probe_axis(0, X).mode2 & 0x01C0, 0x0040) << "the first card was configured";

  ASSERT_EQ(rm720_close(FIRST), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_open(SECOND), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_load_config(nullptr), ERROR_CONFIG_CARD_NOT_OPEN);
  expect_untouched(1);
}

// A key that the file does not hold sets its setting to 0, also a whole
// axis or card the file leaves out: the loader answers 0 and configures them.
constexpr uint16_t ZERO_AXIS_MODE2 = 0x0004;  // pulse and encoder mode 0, decelerating limit stop

TEST_F(ConfigLoaderTest, MissingKeysSetTheirSettingsToZero) {
  CardKeys second = default_card(SECOND);
  second.axes[X] = {{"PULSE_MODE", "2"}, {"ENC_MODE", "1"}};
  second.axes[Y] = second.axes[Z] = second.axes[U] = {};
  save({default_card(FIRST), second});
  open_both();
  ASSERT_EQ(rm720_set_enc_cfg(SECOND, 2, 1024), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_set_alarm(SECOND, 8, 0x2000, 0x1000), SUCCESS_NO_ERROR);

  ASSERT_EQ(rm720_load_config(nullptr), SUCCESS_NO_ERROR);

  EXPECT_EQ(probe_axis(1, X).mode2, 0x0040 | 0x0400 | ZERO_AXIS_MODE2);
  for (int axis : {Y, Z, U}) {
    EXPECT_EQ(probe_axis(1, axis).mode2, ZERO_AXIS_MODE2) << AXES[axis];
    EXPECT_EQ(probe_axis(1, axis).ext_word1, 0) << AXES[axis] << ": filter off";
  }
  EXPECT_EQ(probe_axis(0, Y).mode2, 0x0200 | ZERO_AXIS_MODE2) << "the first card as its section says";
}

TEST_F(ConfigLoaderTest, ACardWithoutASectionIsConfiguredWithZeros) {
  CardKeys first = default_card(FIRST);
  first.axes[Z]["PULSE_MODE"] = "";  // an empty value counts as missing
  save({first});
  open_both();
  ASSERT_EQ(rm720_set_pls_cfg(SECOND, 1, 0x40, 0x80, 0x100), SUCCESS_NO_ERROR);

  ASSERT_EQ(rm720_load_config(nullptr), SUCCESS_NO_ERROR);

  EXPECT_EQ(probe_axis(0, Z).mode2, 0x0200 | ZERO_AXIS_MODE2);
  for (int axis = 0; axis < 4; ++axis)
    EXPECT_EQ(probe_axis(1, axis).mode2, ZERO_AXIS_MODE2) << AXES[axis];
}

// A file holding a value that is no number or does not fit its field is
// refused whole: no card changes.
struct BadFileCase {
  const char *what;
  const char *key;  // of axis Z of the second card
  const char *value;
};

class BadFileTest : public ConfigLoaderTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(BadFileTest, IsRefusedWithoutTouchingAnyCard) {
  const BadFileCase &c = GetParam();
  CardKeys second = default_card(SECOND);
  // Software limits on, so that their keys are read.
  second.axes[Z]["SLIMIT_SRC"] = second.axes[Z]["SLIMIT_PLUS"] = "0";
  second.axes[Z]["SLIMIT_MINUS"] = "0";
  second.axes[Z][c.key] = c.value;
  save({default_card(FIRST), second});
  open_both();
  EXPECT_EQ(rm720_load_config(nullptr), ERROR_CONFIG_FILE_NOT_FOUND) << c.what;
  expect_untouched(0);
  expect_untouched(1);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFileTest,
    ::testing::Values(BadFileCase{"pulse mode that is no number", "PULSE_MODE", "two"},
                      BadFileCase{"pulse mode whose low byte looks valid", "PULSE_MODE", "257"},
                      BadFileCase{"negative level", "HOME_LEVEL", "-1"},
                      BadFileCase{"number with a tail", "ENC_MODE", "1x"},
                      BadFileCase{"filter mode beyond its field", "FILTER_MODE", "300"},
                      BadFileCase{"software limit beyond 32 bits", "SLIMIT_PLUS", "99999999999"}),
    [](const auto &info) { return "Case" + std::to_string(info.index); });

TEST_F(ConfigLoaderTest, AnEarlierFailureIsNotHiddenByLaterCalls) {
  CardKeys first = default_card(FIRST);
  first.axes[X]["HOME_LEVEL"] = "2";  // no such level: refused by the home configuration
  CardKeys second = default_card(SECOND);
  second.axes[U]["PULSE_MODE"] = "4";
  save({first, second});
  open_both();
  EXPECT_EQ(rm720_load_config(nullptr), ERROR_INVALID_HOME_LOGIC_LEVEL);
  EXPECT_EQ(probe_axis(1, U).mode2 & 0x01C0, 0x0140) << "the calls after it were made";
}

}  // namespace
