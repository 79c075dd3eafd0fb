// The COMP+ / COMP- comparators, the compare output and the synchronous
// action: each fires on its exact pulse, as the interrupt service of the
// driver sees it.
#include <gtest/gtest.h>

#include <vector>

#include "chip_bench.h"

namespace card::chip::test {
namespace {

constexpr std::uint16_t factor_enable(std::uint16_t factor) { return static_cast<std::uint16_t>(factor << 8); }

class Comparators : public testing::Test {
 protected:
  void SetUp() override {
    bench.set32(0xF, CHIP_RANGE, kRangeM1);
    bench.load_speeds(0xF, 300, 6000, 200);
    bench.write_mode(0xF, REG_MODE3, 0);
    bench.chip.on_interrupt_change([this] { serve_interrupt(); });
  }

  // Runs on every interrupt with the axis whose factor came; set by a test.
  std::function<void()> on_interrupt;
  void serve_interrupt() {
    if (serving || !bench.chip.interrupt_pending()) return;
    serving = true;
    if (on_interrupt) on_interrupt();
    serving = false;
  }

  void drive(unsigned mask, std::uint8_t code, std::uint32_t pulses) {
    bench.set32(mask, CHIP_PULSES, pulses);
    bench.command(mask, code);
    bench.clock.advance(10 * kNsPerSecond);
  }

  ChipBench bench;
  bool serving = false;
};

struct ComparatorCase {
  const char* name;
  std::uint16_t factor;
  bool plus_comparator;
  std::int32_t value;
  std::uint8_t drive;
  bool encoder;
  double encoder_ratio;
  std::int32_t counter_at_factor;  // the watched counter when the factor comes
};

class ComparatorFactors : public Comparators, public testing::WithParamInterface<ComparatorCase> {};

TEST_P(ComparatorFactors, ComeOnTheExactPulse) {
  const ComparatorCase& c = GetParam();
  AxisMechanics m;
  m.encoder_ratio = c.encoder_ratio;
  bench.chip.set_mechanics(0, m);
  bench.write_mode(kX, REG_MODE2, c.encoder ? MODE2_COMPARE_ENCODER : 0);
  bench.set32(kX, c.plus_comparator ? CHIP_COMP_PLUS : CHIP_COMP_MINUS, static_cast<std::uint32_t>(c.value));
  bench.set32(kX, c.plus_comparator ? CHIP_COMP_MINUS : CHIP_COMP_PLUS, 0x7FFFFFFF);
  bench.write_mode(kX, REG_MODE1, factor_enable(c.factor));
  std::vector<std::pair<std::uint16_t, std::int32_t>> seen;
  on_interrupt = [&] {
    const auto counter = static_cast<std::int32_t>(bench.read32(kX, c.encoder ? CHIP_READ_ENC_COUNTER
                                                                              : CHIP_READ_CMD_COUNTER));
    seen.emplace_back(bench.status(kX, REG_MODE3), counter);
  };
  drive(kX, c.drive, 3000);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, c.factor);
  EXPECT_EQ(seen[0].second, c.counter_at_factor);
}

INSTANTIATE_TEST_SUITE_P(
    Comparators, ComparatorFactors,
    testing::Values(ComparatorCase{"CompPlusCountingUp", FACTOR_COMP_PLUS_UP, true, 1234, CHIP_DRIVE_PLUS, false, 1, 1234},
                    ComparatorCase{"CompPlusCountingDown", FACTOR_COMP_PLUS_DOWN, true, -20, CHIP_DRIVE_MINUS, false, 1, -20},
                    ComparatorCase{"CompMinusCountingDown", FACTOR_COMP_MINUS_DOWN, false, -777, CHIP_DRIVE_MINUS, false, 1, -777},
                    ComparatorCase{"CompMinusCountingUp", FACTOR_COMP_MINUS_UP, false, 2999, CHIP_DRIVE_PLUS, false, 1, 2999},
                    // Two encoder counts per pulse: 1001 is passed on the pulse that counts 1002.
                    ComparatorCase{"EncoderCounter", FACTOR_COMP_PLUS_UP, true, 1001, CHIP_DRIVE_PLUS, true, 2, 1002}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Comparators, AValueWrittenBehindTheAxisDoesNotFire) {
  bench.write_mode(kX, REG_MODE1, factor_enable(FACTOR_COMP_PLUS_UP));
  bench.set32(kX, CHIP_COMP_PLUS, 0x7FFFFFFF);
  bench.command(kX, CHIP_CONT_PLUS);
  bench.clock.advance(kNsPerSecond);
  bench.set32(kX, CHIP_COMP_PLUS, 10);  // already passed
  bench.clock.advance(kNsPerSecond);
  EXPECT_FALSE(bench.chip.interrupt_pending());
  EXPECT_EQ(bench.status(kX, REG_MODE3), 0);
}

// The driver's interval trigger: ring counter of `pitch`, both counters and
// comparators at pitch - 1, sync word 1 = 1, action active.
TEST_F(Comparators, IntervalTriggerPulsesOncePerPitch) {
  constexpr std::uint32_t kPitch = 100;
  bench.set32(kX, CHIP_COMP_PLUS, kPitch - 1);
  bench.set32(kX, CHIP_COMP_MINUS, kPitch - 1);
  bench.sync_mode(kX, SYNC1_COMP_PLUS_UP, 0);
  bench.set32(kX, CHIP_SET_CMD_COUNTER, kPitch - 1);
  bench.set32(kX, CHIP_SET_ENC_COUNTER, kPitch - 1);
  bench.ext_mode(kX, EXT1_RING_COUNTER, EXT2_COMPARE_OUTPUT);
  bench.sync_mode(kX, SYNC1_COMP_PLUS_UP, SYNC2_ACTIVE | SYNC2_INTERRUPT);
  std::vector<std::int32_t> at;
  on_interrupt = [&] {
    bench.status(kX, REG_MODE3);
    at.push_back(bench.command_counter(kX));
  };
  drive(kX, CHIP_DRIVE_PLUS, 1050);
  EXPECT_EQ(at, std::vector<std::int32_t>(10, kPitch - 1));
  const MotionChip::CompareOutput out = bench.chip.compare_output(0);
  EXPECT_EQ(out.triggers, 10u);
  EXPECT_EQ(out.pitch, kPitch);
  EXPECT_EQ(out.counter, (kPitch - 1 + 1050) % kPitch);
}

TEST_F(Comparators, ErcFollowsExtensionWord2Bit12) {
  bench.ext_mode(kY, 0, EXT2_OUTPUT_LEVEL | EXT2_COMPARE_OUTPUT);
  EXPECT_TRUE(bench.chip.compare_output(1).erc);
  bench.ext_mode(kY, 0, EXT2_COMPARE_OUTPUT);
  EXPECT_FALSE(bench.chip.compare_output(1).erc);
}

// The driver's table mode: each match raises the sync-action factor, and the
// interrupt service moves the comparator it used to the next entry.
struct TableCase {
  const char* name;
  std::uint16_t sync1;
  std::vector<std::int32_t> table;
  std::uint8_t drive;
};

class CompareTable : public Comparators, public testing::WithParamInterface<TableCase> {};

TEST_P(CompareTable, MatchesAlternateBetweenCompPlusAndCompMinus) {
  const TableCase& c = GetParam();
  bench.sync_mode(kX, c.sync1, SYNC2_INTERRUPT);
  bench.set32(kX, CHIP_COMP_PLUS, static_cast<std::uint32_t>(c.table[0]));
  bench.set32(kX, CHIP_COMP_MINUS, static_cast<std::uint32_t>(c.table[1]));
  bench.ext_mode(kX, 0, EXT2_COMPARE_OUTPUT);
  bench.sync_mode(kX, c.sync1, SYNC2_ACTIVE | SYNC2_INTERRUPT);
  std::size_t index = 2;
  std::vector<std::int32_t> at;
  on_interrupt = [&] {
    if (index < c.table.size()) {
      bench.set32(kX, index % 2 ? CHIP_COMP_MINUS : CHIP_COMP_PLUS, static_cast<std::uint32_t>(c.table[index]));
      ++index;
    }
    EXPECT_EQ(bench.status(kX, REG_MODE3), FACTOR_SYNC_ACTION);
    at.push_back(bench.command_counter(kX));
  };
  drive(kX, c.drive, 800);
  EXPECT_EQ(at, c.table);
  EXPECT_EQ(bench.chip.compare_output(0).triggers, c.table.size());
}

INSTANTIATE_TEST_SUITE_P(
    Comparators, CompareTable,
    testing::Values(TableCase{"Increasing", SYNC1_COMP_PLUS_UP | SYNC1_COMP_MINUS_UP, {100, 250, 251, 520, 700},
                              CHIP_DRIVE_PLUS},
                    TableCase{"Decreasing", SYNC1_COMP_PLUS_DOWN | SYNC1_COMP_MINUS_DOWN, {-5, -300, -310, -650},
                              CHIP_DRIVE_MINUS}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- synchronous action -------------------------------------------------------

struct PartnerCase {
  const char* name;
  int axis;                // fires on its COMP+
  unsigned relative;       // partner bits of sync word 1 (bits 13-15 >> 13)
  int partner;
};

class SyncPartners : public Comparators, public testing::WithParamInterface<PartnerCase> {};

TEST_P(SyncPartners, StartThePartnersLoadedMoveAtTheTrigger) {
  const PartnerCase& c = GetParam();
  const unsigned axis = 1u << c.axis, partner = 1u << c.partner;
  bench.set32(partner, CHIP_PULSES, 800);  // loaded, not started
  bench.sync_mode(partner, 0, SYNC2_DRIVE_MINUS);
  bench.set32(axis, CHIP_COMP_PLUS, 1500);
  bench.sync_mode(axis, static_cast<std::uint16_t>(SYNC1_COMP_PLUS_UP | (c.relative << kSync1PartnerShift)),
                  SYNC2_ACTIVE | SYNC2_INTERRUPT);
  std::optional<std::array<std::int32_t, 4>> at;
  unsigned busy = 0;
  on_interrupt = [&] {
    if (!(bench.status(axis, REG_MODE3) & FACTOR_SYNC_ACTION) || at) return;
    at = bench.counters();
    busy = bench.main_status() & 0xF;
  };
  bench.set32(axis, CHIP_PULSES, 3000);
  bench.command(axis, CHIP_DRIVE_PLUS);
  bench.clock.advance(10 * kNsPerSecond);
  ASSERT_TRUE(at);
  EXPECT_EQ((*at)[c.axis], 1500);
  EXPECT_EQ((*at)[c.partner], 0);
  EXPECT_EQ(busy, axis | partner);
  const auto end = bench.counters();
  EXPECT_EQ(end[c.axis], 3000);
  EXPECT_EQ(end[c.partner], -800);
}

INSTANTIATE_TEST_SUITE_P(Comparators, SyncPartners,
                         testing::Values(PartnerCase{"XStartsY", 0, 0x1, 1}, PartnerCase{"XStartsU", 0, 0x4, 3},
                                         PartnerCase{"ZStartsX", 2, 0x2, 0}, PartnerCase{"UStartsX", 3, 0x1, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Comparators, SyncActionLatchesAndStopsTheAxisItself) {
  bench.set32(kX, CHIP_COMP_PLUS, 1500);
  bench.sync_mode(kX, SYNC1_COMP_PLUS_UP, SYNC2_ACTIVE | SYNC2_LATCH_COMMAND | SYNC2_SUDDEN_STOP);
  drive(kX, CHIP_DRIVE_PLUS, 3000);
  EXPECT_EQ(bench.command_counter(kX), 1500);
  EXPECT_EQ(static_cast<std::int32_t>(bench.read32(kX, CHIP_READ_LATCH)), 1500);
}

TEST_F(Comparators, DriveEndOfOneAxisStartsTheNext) {
  bench.set32(kY, CHIP_PULSES, 400);
  bench.sync_mode(kY, 0, SYNC2_DRIVE_PLUS);
  bench.sync_mode(kX, SYNC1_DRIVE_END | (1u << kSync1PartnerShift), SYNC2_ACTIVE);
  drive(kX, CHIP_DRIVE_PLUS, 300);
  EXPECT_EQ(bench.counters(), (std::array<std::int32_t, 4>{300, 400, 0, 0}));
}

TEST_F(Comparators, In3BecomingActiveStopsThePartner) {
  bench.command(kZ, CHIP_CONT_PLUS);
  bench.sync_mode(kZ, 0, SYNC2_SUDDEN_STOP);
  bench.sync_mode(kY, SYNC1_IN3_ACTIVE | (1u << kSync1PartnerShift), SYNC2_ACTIVE | SYNC2_LATCH_COMMAND);
  bench.clock.advance(kNsPerSecond);
  ASSERT_TRUE(bench.busy(kZ));
  AxisMechanics y;
  y.in3 = true;  // mode register 1 bit 6 clear: IN3 is active low, so this level is inactive
  bench.chip.set_mechanics(1, y);
  EXPECT_TRUE(bench.busy(kZ));
  y.in3 = false;
  bench.chip.set_mechanics(1, y);
  EXPECT_FALSE(bench.busy(kZ));
  const std::int32_t stopped_at = bench.command_counter(kZ);
  bench.clock.advance(kNsPerSecond);
  EXPECT_EQ(bench.command_counter(kZ), stopped_at);
}

TEST_F(Comparators, ComparatorsWatchAnAxisMovedByAPath) {
  bench.write_mode(kY, REG_MODE1, factor_enable(FACTOR_COMP_PLUS_UP));
  bench.set32(kY, CHIP_COMP_PLUS, 700);
  std::optional<std::array<std::int32_t, 4>> at;
  on_interrupt = [&] {
    if (bench.status(kY, REG_MODE3) == FACTOR_COMP_PLUS_UP) at = bench.counters();
  };
  bench.interp_mode(0x0004);  // master X, second Y
  bench.set32(kX, CHIP_PULSES, 2000);
  bench.set32(kY, CHIP_PULSES, 1000);
  bench.command(0, CHIP_LINE2);
  bench.clock.advance(10 * kNsPerSecond);
  ASSERT_TRUE(at);
  EXPECT_EQ((*at)[1], 700);
  EXPECT_EQ((*at)[0], 1399);  // 1000 x 1399 / 2000 = 699.5 rounds to 700
}

// A stop-then-start action on the axis's own drive start fires once per
// start: the restarted drive runs its pulses and the chip answers again.
TEST_F(Comparators, AStopThenStartActionOnDriveStartFiresOncePerStart) {
  bench.sync_mode(kX, SYNC1_DRIVE_START, SYNC2_ACTIVE | SYNC2_SUDDEN_STOP | SYNC2_DRIVE_PLUS);
  drive(kX, CHIP_DRIVE_PLUS, 500);
  EXPECT_EQ(bench.command_counter(kX), 500);
  EXPECT_FALSE(bench.busy(kX));
}

// Two axes that start each other's loaded drives on drive start: each fires
// once, both drives run.
TEST_F(Comparators, PartnersStartingEachOtherFireEachOnce) {
  bench.set32(kY, CHIP_PULSES, 300);
  bench.sync_mode(kX, SYNC1_DRIVE_START | (1u << kSync1PartnerShift), SYNC2_ACTIVE | SYNC2_DRIVE_PLUS);
  bench.sync_mode(kY, SYNC1_DRIVE_START | (4u << kSync1PartnerShift), SYNC2_ACTIVE | SYNC2_DRIVE_PLUS);
  drive(kX, CHIP_DRIVE_PLUS, 200);
  EXPECT_EQ(bench.counters(), (std::array<std::int32_t, 4>{200, 300, 0, 0}));
}

// Switching the watched counter (mode register 2) or setting a counter past a
// comparator fires nothing: the comparators look from the new value on.
TEST_F(Comparators, AWatchedCounterSwitchOrCounterSetFiresNothing) {
  bench.set32(kX, CHIP_SET_ENC_COUNTER, 5000);
  bench.set32(kY, CHIP_PULSES, 300);
  bench.sync_mode(kY, 0, SYNC2_DRIVE_PLUS);
  bench.set32(kX, CHIP_COMP_PLUS, 1000);
  bench.sync_mode(kX, SYNC1_COMP_PLUS_UP | (1u << kSync1PartnerShift), SYNC2_ACTIVE);
  bench.write_mode(kX, REG_MODE2, MODE2_COMPARE_ENCODER);  // watched: 0 -> 5000
  bench.write_mode(kX, REG_MODE2, 0);                      // and back: 5000 -> 0
  bench.set32(kX, CHIP_SET_CMD_COUNTER, 2000);             // set past COMP+
  bench.clock.advance(kNsPerSecond);
  EXPECT_FALSE(bench.busy(kY));
  EXPECT_EQ(bench.counters(), (std::array<std::int32_t, 4>{2000, 0, 0, 0}));
}

}  // namespace
}  // namespace card::chip::test
