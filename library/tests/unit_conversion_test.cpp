// Speeds, accelerations and jerks into chip words, at the speed ranges of
// multipliers 500, 50, 1 and 266.6666564941406. Every expected number below
// was worked out by hand from the chip's formulas (word = speed / M,
// acceleration / (125 M), 62,500,000 M / jerk, truncated; M = 8,000,000 /
// range in single precision), not by the code under test.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "card_options.h"
#include "card_table.h"
#include "unit_conversion.h"

namespace {

constexpr uint8_t CARD = 3;
constexpr uint16_t REFUSED = 0xFFFF;  // marker: the conversion returns 0
constexpr uint16_t UNTOUCHED = 0xABCD;

enum class Quantity { Speed, Acceleration, Jerk };

// Puts the four axes of the test card on the given ranges (PPS), as open and
// reset do: multipliers 500, 50, 1 and 266.6666564941406, and the limits
// derived from them (speed min/max 500/4,000,000, 50/400,000, 1/8,000,
// 267/2,133,333; acceleration 62,500/500,000,000, 6,250/50,000,000,
// 125/1,000,000, 33,334/266,666,656; jerk 476,844/0xFFFFFFFF,
// 47,684/3,125,000,000, 953/62,500,000, 254,317/0xFFFFFFFF).
class UnitConversionTest : public ::testing::Test {
 protected:
  void SetUp() override { set_ranges(16000, 160000, 8000000, 30000); }
  void TearDown() override {
    empty_card_table();
    card_options = CardOptions{};
  }

  static void set_ranges(uint32_t x, uint32_t y, uint32_t z, uint32_t u) {
    const uint32_t ranges[AXES_PER_CARD] = {x, y, z, u};
    set_up_axes(CARD, ranges);
  }
  static void set_clamp(bool on) { card_options.clamp_to_limits[CARD] = on ? 1 : 0; }

  static uint16_t convert(Quantity quantity, uint16_t axis, uint32_t value) {
    uint16_t word = UNTOUCHED;
    int converted = 0;
    switch (quantity) {
      case Quantity::Speed: converted = speed_to_register(CARD, axis, value, &word); break;
      case Quantity::Acceleration: converted = acc_to_register(CARD, axis, value, &word); break;
      case Quantity::Jerk: converted = jerk_to_register(CARD, axis, value, &word); break;
    }
    if (!converted) {
      EXPECT_EQ(word, UNTOUCHED) << "a refused conversion writes nothing";
      return REFUSED;
    }
    return word;
  }
};

// ---- Single conversions, with and without the clamp option ------------------

struct ConversionRow {
  uint16_t axis;  // X: M 500, Y: M 50, Z: M 1, U: M 266.67
  Quantity quantity;
  uint32_t value;
  uint16_t word;          // or REFUSED
  uint16_t clamped_word;  // with the card's clamp option set
};

constexpr Quantity S = Quantity::Speed;
constexpr Quantity A = Quantity::Acceleration;
constexpr Quantity J = Quantity::Jerk;

const ConversionRow kConversions[] = {
    // M = 500
    {AXIS_X, S, 500, 1, 1},                  // lowest legal speed
    {AXIS_X, S, 4000000, 8000, 8000},        // highest
    {AXIS_X, S, 100000, 200, 200},
    {AXIS_X, S, 12345, 24, 24},              // 24.69 truncated
    {AXIS_X, S, 499, REFUSED, 1},            // clamped up to 500
    {AXIS_X, S, 4000001, REFUSED, 8000},     // clamped down to 4,000,000
    {AXIS_X, S, 0, REFUSED, 1},
    {AXIS_X, A, 62500, 1, 1},
    {AXIS_X, A, 500000000, 8000, 8000},
    {AXIS_X, A, 100000, 1, 1},               // 1.6
    // 499,999,999 is 500,000,000 in single precision: 8,000, not 7,999.99998.
    {AXIS_X, A, 499999999, 8000, 8000},
    {AXIS_X, A, 62499, REFUSED, 1},
    {AXIS_X, A, 500000001, REFUSED, 8000},
    {AXIS_X, J, 1000000, 31250, 31250},
    {AXIS_X, J, 476844, 65535, 65535},       // 65,535.06
    {AXIS_X, J, 0xFFFFFFFF, 7, 7},           // 3.125e10 / 2^32 (single precision)
    {AXIS_X, J, 476843, REFUSED, 65535},
    // M = 50
    {AXIS_Y, S, 50, 1, 1},
    {AXIS_Y, S, 400000, 8000, 8000},
    {AXIS_Y, S, 12345, 246, 246},            // 246.9
    {AXIS_Y, S, 49, REFUSED, 1},
    {AXIS_Y, S, 400001, REFUSED, 8000},
    {AXIS_Y, A, 6250, 1, 1},
    {AXIS_Y, A, 50000000, 8000, 8000},
    {AXIS_Y, A, 100000, 16, 16},
    {AXIS_Y, A, 49999999, 8000, 8000},       // 50,000,000 in single precision
    {AXIS_Y, A, 6249, REFUSED, 1},
    {AXIS_Y, A, 50000001, REFUSED, 8000},
    {AXIS_Y, J, 47684, 65535, 65535},        // 65,535.61
    {AXIS_Y, J, 3125000000, 1, 1},           // 3,124,999,936 in single precision
    {AXIS_Y, J, 1000000, 3125, 3125},
    {AXIS_Y, J, 47683, REFUSED, 65535},
    {AXIS_Y, J, 3125000001, REFUSED, 1},
    // M = 1
    {AXIS_Z, S, 1, 1, 1},
    {AXIS_Z, S, 8000, 8000, 8000},
    {AXIS_Z, S, 4321, 4321, 4321},
    {AXIS_Z, S, 0, REFUSED, 1},
    {AXIS_Z, S, 8001, REFUSED, 8000},
    {AXIS_Z, A, 125, 1, 1},
    {AXIS_Z, A, 1000000, 8000, 8000},
    {AXIS_Z, A, 100000, 800, 800},
    {AXIS_Z, A, 124, REFUSED, 1},
    {AXIS_Z, A, 1000001, REFUSED, 8000},
    {AXIS_Z, J, 62500000, 1, 1},
    {AXIS_Z, J, 954, 65513, 65513},          // 65,513.6
    // 62,500,000 / 953 = 65,582.4 does not fit 16 bits: the nearest word,
    // 65,535, is sent instead of the cut-off 46.
    {AXIS_Z, J, 953, 65535, 65535},
    {AXIS_Z, J, 952, REFUSED, 65535},
    {AXIS_Z, J, 62500001, REFUSED, 1},
    // M = 266.6666564941406
    {AXIS_U, S, 267, 1, 1},                  // 1.00125
    {AXIS_U, S, 2133333, 7999, 7999},        // 7,999.9991: the top word is 7,999 here
    {AXIS_U, S, 100000, 375, 375},           // 375.00001
    {AXIS_U, S, 266, REFUSED, 1},
    {AXIS_U, S, 2133334, REFUSED, 7999},
    {AXIS_U, A, 33334, 1, 1},
    {AXIS_U, A, 266666656, 7999, 7999},      // 7,999.99999
    {AXIS_U, A, 1000000, 30, 30},
    {AXIS_U, A, 33333, REFUSED, 1},
    {AXIS_U, J, 254317, 65535, 65535},       // 65,535.006
    {AXIS_U, J, 0xFFFFFFFF, 3, 3},           // 3.88
    {AXIS_U, J, 1000000, 16666, 16666},
    {AXIS_U, J, 254316, REFUSED, 65535},
};

TEST_F(UnitConversionTest, ValuesWithinTheLimitsGiveTheirWordOthersAreRefused) {
  for (const ConversionRow &row : kConversions) {
    SCOPED_TRACE(testing::Message() << "axis " << row.axis << " value " << row.value);
    EXPECT_EQ(convert(row.quantity, row.axis, row.value), row.word);
  }
}

TEST_F(UnitConversionTest, TheClampOptionTakesTheNearestLimitInstead) {
  set_clamp(true);
  for (const ConversionRow &row : kConversions) {
    SCOPED_TRACE(testing::Message() << "axis " << row.axis << " value " << row.value);
    EXPECT_EQ(convert(row.quantity, row.axis, row.value), row.clamped_word);
  }
}

TEST_F(UnitConversionTest, TheClampOptionBelongsToItsCard) {
  card_options.clamp_to_limits[CARD + 1] = 1;
  EXPECT_EQ(convert(S, AXIS_X, 499), REFUSED);
}

TEST_F(UnitConversionTest, TheLowestAxisBitOfTheArgumentChoosesTheAxis) {
  EXPECT_EQ(convert(S, AXIS_Y | AXIS_Z, 400000), 8000);  // Y: M = 50
  EXPECT_EQ(convert(S, 0x10, 1000), REFUSED);            // no axis bit
}

// At range 116,500 (M = 68.66952514648438) the highest legal jerk,
// 4,291,845,321, rounds up to 4,291,845,376 in single precision, and the
// quotient falls just below 1 (0.99999999): word 1, never 0.
TEST_F(UnitConversionTest, TheHighestLegalJerkNeverGivesTheWordZero) {
  set_ranges(116500, 160000, 8000000, 30000);
  EXPECT_EQ(card_table.cards[CARD].axes[0].jerk_max, 4291845321u);
  EXPECT_EQ(convert(J, AXIS_X, 4291845321u), 1);
}

TEST_F(UnitConversionTest, AnAxisWithoutMultiplierConvertsNothing) {
  card_table.cards[CARD].axes[0] = AxisBlock{};  // a card never opened
  set_clamp(true);
  EXPECT_EQ(convert(S, AXIS_X, 0), REFUSED);
  EXPECT_EQ(convert(A, AXIS_X, 0), REFUSED);
  EXPECT_EQ(convert(J, AXIS_X, 0), REFUSED);
}

// ---- Profiles ------------------------------------------------------------

struct Words {
  uint16_t sv, v, acc, dec, jerk, djerk;
  bool operator==(const Words &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Words &w) {
  return os << "{" << w.sv << ", " << w.v << ", " << w.acc << ", " << w.dec << ", " << w.jerk
            << ", " << w.djerk << "}";
}

SpeedProfile profile(uint16_t kind, int32_t sv, uint32_t v, int32_t acc, uint32_t dec,
                     int32_t jerk = 0, int32_t djerk = 0) {
  return SpeedProfile{kind, sv, v, acc, dec, jerk, djerk, UNTOUCHED, UNTOUCHED, UNTOUCHED,
                      UNTOUCHED, UNTOUCHED, UNTOUCHED};
}

Words words_of(const SpeedProfile &p) {
  return {p.start_speed_word, p.drive_speed_word, p.acceleration_word, p.deceleration_word,
          p.jerk_word, p.deceleration_jerk_word};
}

struct ProfileRow {
  const char *what;
  uint16_t axis;
  SpeedProfile profile;
  ApiStatus status;
  Words words;  // when status is 0
};

constexpr Words NONE = {UNTOUCHED, UNTOUCHED, UNTOUCHED, UNTOUCHED, UNTOUCHED, UNTOUCHED};

const ProfileRow kProfiles[] = {
    // Kind 1: SV, V, acceleration; V is not compared with SV.
    {"T-curve", AXIS_X, profile(1, 1000, 100000, 100000, 0), 0, {2, 200, 1, 0, 0, 0}},
    {"T-curve, start above drive", AXIS_X, profile(1, 200000, 100000, 62500, 0), 0,
     {400, 200, 1, 0, 0, 0}},
    {"T-curve, start speed", AXIS_X, profile(1, 499, 100000, 100000, 0),
     ERROR_INVALID_START_SPEED, NONE},
    {"T-curve, negative start speed", AXIS_X, profile(1, -1, 100000, 100000, 0),
     ERROR_INVALID_START_SPEED, NONE},
    {"T-curve, drive speed", AXIS_X, profile(1, 500, 4000001, 100000, 0),
     ERROR_INVALID_DRIVING_SPEED, NONE},
    {"T-curve, acceleration", AXIS_X, profile(1, 500, 100000, 62499, 0),
     ERROR_INVALID_ACCELERATION, NONE},
    // Kind 2: the drive speed alone.
    {"constant", AXIS_X, profile(2, -5, 100000, 0, 0), 0, {0, 200, 0, 0, 0, 0}},
    {"constant, drive speed", AXIS_X, profile(2, 1000, 499, 100000, 0),
     ERROR_INVALID_DRIVING_SPEED, NONE},
    // Kind 3 at M = 1: 8,000 x 100,000 / 4,000,000 = 200 must stay below the
    // deceleration when it is below the acceleration.
    {"own deceleration", AXIS_Z, profile(3, 100, 8000, 100000, 250), 0,
     {100, 8000, 800, 2, 0, 0}},
    {"own deceleration, too slow", AXIS_Z, profile(3, 100, 8000, 100000, 150),
     ERROR_INVALID_DECELERATION, NONE},
    {"own deceleration, at the bound", AXIS_Z, profile(3, 100, 8000, 100000, 200),
     ERROR_INVALID_DECELERATION, NONE},
    {"own deceleration, just above", AXIS_Z, profile(3, 100, 8000, 100000, 201), 0,
     {100, 8000, 800, 1, 0, 0}},
    {"own deceleration, out of range", AXIS_Z, profile(3, 100, 8000, 100000, 124),
     ERROR_INVALID_DECELERATION, NONE},
    {"own deceleration, start above drive first", AXIS_Z, profile(3, 9000, 8000, 0, 0),
     ERROR_START_SPEED_EXCEED_DRIVING_SPEED, NONE},
    {"own deceleration, start speed", AXIS_Z, profile(3, 0, 8000, 100000, 250),
     ERROR_INVALID_START_SPEED, NONE},
    {"own deceleration, drive speed", AXIS_Z, profile(3, 100, 8001, 100000, 250),
     ERROR_INVALID_DRIVING_SPEED, NONE},
    {"own deceleration, acceleration", AXIS_Z, profile(3, 100, 8000, 1000001, 250),
     ERROR_INVALID_ACCELERATION, NONE},
    // M = 500: 4,000,000 x 2,000,000 = 8 x 10^12 needs more than 32 bits
    // (cut to 32 bits it would be 2,770,894,848 and let 1,999,999 pass).
    {"own deceleration, wide product", AXIS_X, profile(3, 500, 4000000, 2000000, 1999999),
     ERROR_INVALID_DECELERATION, NONE},
    {"own deceleration, equal rates", AXIS_X, profile(3, 500, 4000000, 2000000, 2000000), 0,
     {1, 8000, 32, 32, 0, 0}},
    // Kind 4 at M = 500.
    {"S-curve", AXIS_X, profile(4, 500, 100000, 0, 0, 1000000), 0, {1, 200, 0, 0, 31250, 0}},
    {"S-curve, deceleration jerk", AXIS_X, profile(4, 500, 100000, 0, 0, 1000000, 2000000), 0,
     {1, 200, 0, 0, 31250, 15625}},
    {"S-curve, start above drive", AXIS_X, profile(4, 100001, 100000, 0, 0, 1000000),
     ERROR_START_SPEED_EXCEED_DRIVING_SPEED, NONE},
    {"S-curve, start speed", AXIS_X, profile(4, 499, 100000, 0, 0, 1000000),
     ERROR_INVALID_START_SPEED, NONE},
    {"S-curve, drive speed", AXIS_X, profile(4, 500, 4000001, 0, 0, 1000000),
     ERROR_INVALID_DRIVING_SPEED, NONE},
    {"S-curve, jerk 0", AXIS_X, profile(4, 500, 100000, 0, 0, 0), ERROR_INVALID_JERK, NONE},
    {"S-curve, jerk", AXIS_X, profile(4, 500, 100000, 0, 0, 476843), ERROR_INVALID_JERK, NONE},
    {"S-curve, deceleration jerk out of range", AXIS_X,
     profile(4, 500, 100000, 0, 0, 1000000, 476843), ERROR_INVALID_DECELERATION_RATE, NONE},
    // Another kind converts nothing.
    {"unknown kind", AXIS_X, profile(5, 1, 2, 3, 4, 5, 6), 0, {0, 0, 0, 0, 0, 0}},
};

TEST_F(UnitConversionTest, ProfilesConvertByKindAndStopAtTheFirstRefusal) {
  for (const ProfileRow &row : kProfiles) {
    SCOPED_TRACE(row.what);
    SpeedProfile p = row.profile;
    EXPECT_EQ(profile_to_registers(CARD, row.axis, &p), row.status);
    EXPECT_EQ(words_of(p), row.words);
  }
}

TEST_F(UnitConversionTest, AZeroJerkIsRefusedEvenWithTheClampOption) {
  set_clamp(true);
  SpeedProfile p = profile(4, 500, 100000, 0, 0, 0);
  EXPECT_EQ(profile_to_registers(CARD, AXIS_X, &p), ERROR_INVALID_JERK);
  p = profile(4, 500, 100000, 0, 0, 476843, 1);  // both clamped to the jerk minimum
  EXPECT_EQ(profile_to_registers(CARD, AXIS_X, &p), 0);
  EXPECT_EQ(words_of(p), (Words{1, 200, 0, 0, 65535, 65535}));
}

// ---- Rates from times (milliseconds) ------------------------------------------

TEST(RateFromTime, AccelerationIsTheSpeedChangePerSecond) {
  EXPECT_EQ(acceleration_from_time(1000, 11000, 100), 100000u);
  // Slowing down from SV to DV takes the size of the change, not a wrapped one.
  EXPECT_EQ(acceleration_from_time(11000, 1000, 100), 100000u);
  // The change is taken in single precision: 2^24 + 1 becomes 2^24.
  EXPECT_EQ(acceleration_from_time(0, 16777217, 1000), 16777216u);
  EXPECT_EQ(acceleration_from_time(0, 4000000, 1), 4000000000u);
}

TEST(RateFromTime, JerkReachesTheSpeedChangeInTheTime) {
  // 4,000,000 x 100,000 / 100^2
  EXPECT_EQ(jerk_from_time(0, 100000, 100), 40000000u);
  EXPECT_EQ(jerk_from_time(100000, 0, 100), 40000000u);
  // 70,000^2 = 4.9 x 10^9 needs more than 32 bits (cut to 32 bits it would
  // give 661): 4 x 10^11 / 4,899,999,744 (single precision) = 81.6.
  EXPECT_EQ(jerk_from_time(0, 100000, 70000), 81u);
}

TEST(RateFromTime, ZeroTimeGivesZeroAndHugeRatesSaturate) {
  EXPECT_EQ(acceleration_from_time(1000, 11000, 0), 0u);
  EXPECT_EQ(jerk_from_time(1000, 11000, 0), 0u);
  EXPECT_EQ(acceleration_from_time(0, 0xFFFFFFFF, 1), 0xFFFFFFFFu);
  EXPECT_EQ(jerk_from_time(0, 0xFFFFFFFF, 1), 0xFFFFFFFFu);
  EXPECT_EQ(acceleration_from_time(5000, 5000, 10), 0u);
}

}  // namespace
