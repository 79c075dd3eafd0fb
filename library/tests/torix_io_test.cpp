// The Torix remote-I/O exports end to end, in the build of either model:
// export -> request block -> driver -> the card's Torix bus with its modules,
// outputs wired back to inputs.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "bench.h"
#include "open_cards.h"

namespace {

constexpr uint8_t CARD = 3;
constexpr uint8_t NOT_OPEN = 4;
constexpr int16_t UNTOUCHED = 0x5A5A;

#ifdef RM7X0_MODEL_B
constexpr const char *MODEL = "B";
#else
constexpr const char *MODEL = "A";
#endif

// Output modules at 0, 1 and 5, input modules at 8, 9 and 12; outputs 0 and
// 1 come back on inputs 8 and 9.
std::string torix_cards() {
  return card_section(0, MODEL, CARD) +
         "Torix.OutputModules=0,1,5\nTorix.InputModules=8,9,12\nTorix.Loopback=0->8,1->9\n" +
         card_section(1, MODEL, NOT_OPEN);
}

class TorixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int16_t count = 0;
    ASSERT_EQ(RM7X0_NAME(scan)(&count, nullptr), SUCCESS_NO_ERROR);
    ASSERT_EQ(RM7X0_NAME(open)(CARD), SUCCESS_NO_ERROR);
  }

  // The word of an input group, or UNTOUCHED when the read was refused.
  int16_t input(uint16_t group, uint16_t mode, ApiStatus expected = SUCCESS_NO_ERROR) {
    int16_t word = UNTOUCHED;
    EXPECT_EQ(RM7X0_NAME(get_Torix_DI)(CARD, group, &word, mode), expected)
        << "group " << group << " mode " << mode;
    return word;
  }

  AttachedLibrary library_{torix_cards()};
};

TEST_F(TorixTest, ScanAnswersTheInputModules) {
  int16_t modules = -1;
  ASSERT_EQ(RM7X0_NAME(scan_Torix_DI)(CARD, &modules), SUCCESS_NO_ERROR);
  EXPECT_EQ(modules, 0x13) << "bits 0, 1, 4: modules at 8, 9, 12; output modules not counted";
}

TEST_F(TorixTest, OutputsComeBackOnTheirWiredInputs) {
  ASSERT_EQ(RM7X0_NAME(set_Torix_DO)(CARD, 0, 0xA5A5), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM7X0_NAME(set_Torix_DO)(CARD, 1, 0x0081), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM7X0_NAME(set_Torix_DO)(CARD, 5, 0x7000), SUCCESS_NO_ERROR);
  EXPECT_EQ(bench_torix_output(0, 0), 0xA5A5);
  EXPECT_EQ(bench_torix_output(0, 5), 0x7000);
  EXPECT_EQ(input(8, 1), static_cast<int16_t>(0xA5A5));
  EXPECT_EQ(input(9, 1), 0x0081);
  EXPECT_EQ(input(12, 1), 0) << "nothing wired to 12";
  bench_set_torix_input(0, 12, 0x0F0F);
  EXPECT_EQ(input(12, 1), 0x0F0F);
}

// Mode 0 reads what periodic scanning last saw: refused before the bus is
// configured, then the inputs as they were at the configuration and after
// each change.
TEST_F(TorixTest, ScannedReadsFollowTheInputsOnceConfigured) {
  bench_set_torix_input(0, 12, 0x1234);
  EXPECT_EQ(input(12, 0, ERROR_CONFIG_IS_NEEDED), UNTOUCHED);
  ASSERT_EQ(RM7X0_NAME(config_Torix)(CARD, 1, 200), SUCCESS_NO_ERROR);
  EXPECT_EQ(bench_torix_config(0), 200);
  EXPECT_EQ(input(12, 0), 0x1234);

  bench_set_torix_input(0, 12, 0x4321);
  EXPECT_EQ(input(12, 0), 0x4321) << "a field change";
  ASSERT_EQ(RM7X0_NAME(set_Torix_DO)(CARD, 1, 0x00F0), SUCCESS_NO_ERROR);
  bench_settle();
  EXPECT_EQ(input(9, 0), 0x00F0) << "an output wired back";

  ASSERT_EQ(RM7X0_NAME(config_Torix)(CARD, 0, 7), SUCCESS_NO_ERROR);
  EXPECT_EQ(bench_torix_config(0), 7) << "switching off rewrites the word";
  EXPECT_EQ(input(9, 0, ERROR_CONFIG_IS_NEEDED), UNTOUCHED);
}

TEST_F(TorixTest, ResetTurnsOutputsOffAndNeedsANewConfiguration) {
  ASSERT_EQ(RM7X0_NAME(config_Torix)(CARD, 1, 10), SUCCESS_NO_ERROR);
  ASSERT_EQ(RM7X0_NAME(set_Torix_DO)(CARD, 0, 0xFFFF), SUCCESS_NO_ERROR);
  bench_settle();  // the change of input 8 interrupted
  ASSERT_EQ(RM7X0_NAME(reset_Torix)(CARD), SUCCESS_NO_ERROR);
  EXPECT_EQ(bench_torix_output(0, 0), 0);
  EXPECT_EQ(input(8, 1), 0);
  EXPECT_EQ(input(8, 0, ERROR_CONFIG_IS_NEEDED), UNTOUCHED);
  int16_t modules = 0;
  ASSERT_EQ(RM7X0_NAME(scan_Torix_DI)(CARD, &modules), SUCCESS_NO_ERROR);
  EXPECT_EQ(modules, 0x13) << "the bus answers again after its reset";
}

// Checks in order: card, then the values in the order of the table.
struct CheckCase {
  const char *name;
  ApiStatus (*call)();
  ApiStatus expected;
};

int16_t sink;
const CheckCase kChecks[] = {
    {"scan, card out of range", [] { return RM7X0_NAME(scan_Torix_DI)(16, &sink); }, ERROR_INVALID_CARD_ID},
    {"scan, card not open", [] { return RM7X0_NAME(scan_Torix_DI)(NOT_OPEN, &sink); }, ERROR_INVALID_CARD_ID},
    {"reset, card not open", [] { return RM7X0_NAME(reset_Torix)(NOT_OPEN); }, ERROR_INVALID_CARD_ID},
    {"config, card before values", [] { return RM7X0_NAME(config_Torix)(16, 2, 256); }, ERROR_INVALID_CARD_ID},
    {"config, enable 2", [] { return RM7X0_NAME(config_Torix)(CARD, 2, 0); }, ERROR_INVALID_TORIX_PERIODIC_ENABLE},
    {"config, enable before factor", [] { return RM7X0_NAME(config_Torix)(CARD, 2, 256); }, ERROR_INVALID_TORIX_PERIODIC_ENABLE},
    {"config, factor 256", [] { return RM7X0_NAME(config_Torix)(CARD, 1, 256); }, ERROR_INVALID_TORIX_PERIODIC_FACTOR},
    {"get, card before values", [] { return RM7X0_NAME(get_Torix_DI)(NOT_OPEN, 7, &sink, 2); }, ERROR_INVALID_CARD_ID},
    {"get, mode 2 before group", [] { return RM7X0_NAME(get_Torix_DI)(CARD, 7, &sink, 2); }, ERROR_INVALID_TORIX_DI_MODE},
    {"get, group 7", [] { return RM7X0_NAME(get_Torix_DI)(CARD, 7, &sink, 1); }, ERROR_INVALID_TORIX_SA_GROUP_ADDRESS},
    {"get, group 16", [] { return RM7X0_NAME(get_Torix_DI)(CARD, 16, &sink, 1); }, ERROR_INVALID_TORIX_SA_GROUP_ADDRESS},
    {"set, card before group", [] { return RM7X0_NAME(set_Torix_DO)(16, 8, 0); }, ERROR_INVALID_CARD_ID},
    {"set, group 8", [] { return RM7X0_NAME(set_Torix_DO)(CARD, 8, 0); }, ERROR_INVALID_TORIX_RA_GROUP_ADDRESS},
};

TEST_F(TorixTest, ChecksRefuseInTheirOrderAndSendNothing) {
  ASSERT_EQ(RM7X0_NAME(set_Torix_DO)(CARD, 0, 0x1111), SUCCESS_NO_ERROR);
  for (const CheckCase &c : kChecks) EXPECT_EQ(c.call(), c.expected) << c.name;
  EXPECT_EQ(bench_torix_output(0, 0), 0x1111);
  EXPECT_EQ(bench_torix_config(0), 0) << "no refused configuration reached the bus";
}

TEST_F(TorixTest, AFaultingResultPointerIsReported) {
  const long page = sysconf(_SC_PAGESIZE);
  void *no_access = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(no_access, MAP_FAILED);
  auto *word = static_cast<int16_t *>(no_access);
  EXPECT_EQ(RM7X0_NAME(scan_Torix_DI)(CARD, word), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(RM7X0_NAME(get_Torix_DI)(CARD, 8, word, 1), ERROR_ACCESS_VIOLATION_DATA_COPY);
  munmap(no_access, page);
}

}  // namespace
