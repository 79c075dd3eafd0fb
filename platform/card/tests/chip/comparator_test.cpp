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
    bench.set32(0xF, kCmdRange, kRangeM1);
    bench.load_speeds(0xF, 300, 6000, 200);
    bench.write_mode(0xF, kRegMode3, 0);
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
    bench.set32(mask, kCmdPulses, pulses);
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
  bench.write_mode(kX, kRegMode2, c.encoder ? kMode2CompareEncoder : 0);
  bench.set32(kX, c.plus_comparator ? kCmdCompPlus : kCmdCompMinus, static_cast<std::uint32_t>(c.value));
  bench.set32(kX, c.plus_comparator ? kCmdCompMinus : kCmdCompPlus, 0x7FFFFFFF);
  bench.write_mode(kX, kRegMode1, factor_enable(c.factor));
  std::vector<std::pair<std::uint16_t, std::int32_t>> seen;
  on_interrupt = [&] {
    const auto counter = static_cast<std::int32_t>(bench.read32(kX, c.encoder ? kCmdReadEncCounter
                                                                              : kCmdReadCmdCounter));
    seen.emplace_back(bench.status(kX, kRegMode3), counter);
  };
  drive(kX, c.drive, 3000);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, c.factor);
  EXPECT_EQ(seen[0].second, c.counter_at_factor);
}

INSTANTIATE_TEST_SUITE_P(
    Comparators, ComparatorFactors,
    testing::Values(ComparatorCase{"CompPlusCountingUp", kFactorCompPlusUp, true, 1234, kCmdDrivePlus, false, 1, 1234},
                    ComparatorCase{"CompPlusCountingDown", kFactorCompPlusDown, true, -20, kCmdDriveMinus, false, 1, -20},
                    ComparatorCase{"CompMinusCountingDown", kFactorCompMinusDown, false, -777, kCmdDriveMinus, false, 1, -777},
                    ComparatorCase{"CompMinusCountingUp", kFactorCompMinusUp, false, 2999, kCmdDrivePlus, false, 1, 2999},
                    // Two encoder counts per pulse: 1001 is passed on the pulse that counts 1002.
                    ComparatorCase{"EncoderCounter", kFactorCompPlusUp, true, 1001, kCmdDrivePlus, true, 2, 1002}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Comparators, AValueWrittenBehindTheAxisDoesNotFire) {
  bench.write_mode(kX, kRegMode1, factor_enable(kFactorCompPlusUp));
  bench.set32(kX, kCmdCompPlus, 0x7FFFFFFF);
  bench.command(kX, kCmdContPlus);
  bench.clock.advance(kNsPerSecond);
  bench.set32(kX, kCmdCompPlus, 10);  // already passed
  bench.clock.advance(kNsPerSecond);
  EXPECT_FALSE(bench.chip.interrupt_pending());
  EXPECT_EQ(bench.status(kX, kRegMode3), 0);
}

// The driver's interval trigger: ring counter of `pitch`, both counters and
// comparators at pitch - 1, sync word 1 = 1, action active.
TEST_F(Comparators, IntervalTriggerPulsesOncePerPitch) {
  constexpr std::uint32_t kPitch = 100;
  bench.set32(kX, kCmdCompPlus, kPitch - 1);
  bench.set32(kX, kCmdCompMinus, kPitch - 1);
  bench.sync_mode(kX, kSync1CompPlusUp, 0);
  bench.set32(kX, kCmdSetCmdCounter, kPitch - 1);
  bench.set32(kX, kCmdSetEncCounter, kPitch - 1);
  bench.ext_mode(kX, kExt1RingCounter, kExt2CompareOutput);
  bench.sync_mode(kX, kSync1CompPlusUp, kSync2Active | kSync2Interrupt);
  std::vector<std::int32_t> at;
  on_interrupt = [&] {
    bench.status(kX, kRegMode3);
    at.push_back(bench.command_counter(kX));
  };
  drive(kX, kCmdDrivePlus, 1050);
  EXPECT_EQ(at, std::vector<std::int32_t>(10, kPitch - 1));
  const MotionChip::CompareOutput out = bench.chip.compare_output(0);
  EXPECT_EQ(out.triggers, 10u);
  EXPECT_EQ(out.pitch, kPitch);
  EXPECT_EQ(out.counter, (kPitch - 1 + 1050) % kPitch);
}

TEST_F(Comparators, ErcFollowsExtensionWord2Bit12) {
  bench.ext_mode(kY, 0, kExt2OutputLevel | kExt2CompareOutput);
  EXPECT_TRUE(bench.chip.compare_output(1).erc);
  bench.ext_mode(kY, 0, kExt2CompareOutput);
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
  bench.sync_mode(kX, c.sync1, kSync2Interrupt);
  bench.set32(kX, kCmdCompPlus, static_cast<std::uint32_t>(c.table[0]));
  bench.set32(kX, kCmdCompMinus, static_cast<std::uint32_t>(c.table[1]));
  bench.ext_mode(kX, 0, kExt2CompareOutput);
  bench.sync_mode(kX, c.sync1, kSync2Active | kSync2Interrupt);
  std::size_t index = 2;
  std::vector<std::int32_t> at;
  on_interrupt = [&] {
    if (index < c.table.size()) {
      bench.set32(kX, index % 2 ? kCmdCompMinus : kCmdCompPlus, static_cast<std::uint32_t>(c.table[index]));
      ++index;
    }
    EXPECT_EQ(bench.status(kX, kRegMode3), kFactorSyncAction);
    at.push_back(bench.command_counter(kX));
  };
  drive(kX, c.drive, 800);
  EXPECT_EQ(at, c.table);
  EXPECT_EQ(bench.chip.compare_output(0).triggers, c.table.size());
}

INSTANTIATE_TEST_SUITE_P(
    Comparators, CompareTable,
    testing::Values(TableCase{"Increasing", kSync1CompPlusUp | kSync1CompMinusUp, {100, 250, 251, 520, 700},
                              kCmdDrivePlus},
                    TableCase{"Decreasing", kSync1CompPlusDown | kSync1CompMinusDown, {-5, -300, -310, -650},
                              kCmdDriveMinus}),
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
  bench.set32(partner, kCmdPulses, 800);  // loaded, not started
  bench.sync_mode(partner, 0, kSync2DriveMinus);
  bench.set32(axis, kCmdCompPlus, 1500);
  bench.sync_mode(axis, static_cast<std::uint16_t>(kSync1CompPlusUp | (c.relative << kSync1PartnerShift)),
                  kSync2Active | kSync2Interrupt);
  std::optional<std::array<std::int32_t, 4>> at;
  unsigned busy = 0;
  on_interrupt = [&] {
    if (!(bench.status(axis, kRegMode3) & kFactorSyncAction) || at) return;
    at = bench.counters();
    busy = bench.main_status() & 0xF;
  };
  bench.set32(axis, kCmdPulses, 3000);
  bench.command(axis, kCmdDrivePlus);
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
  bench.set32(kX, kCmdCompPlus, 1500);
  bench.sync_mode(kX, kSync1CompPlusUp, kSync2Active | kSync2LatchCommand | kSync2SuddenStop);
  drive(kX, kCmdDrivePlus, 3000);
  EXPECT_EQ(bench.command_counter(kX), 1500);
  EXPECT_EQ(static_cast<std::int32_t>(bench.read32(kX, kCmdReadLatch)), 1500);
}

TEST_F(Comparators, DriveEndOfOneAxisStartsTheNext) {
  bench.set32(kY, kCmdPulses, 400);
  bench.sync_mode(kY, 0, kSync2DrivePlus);
  bench.sync_mode(kX, kSync1DriveEnd | (1u << kSync1PartnerShift), kSync2Active);
  drive(kX, kCmdDrivePlus, 300);
  EXPECT_EQ(bench.counters(), (std::array<std::int32_t, 4>{300, 400, 0, 0}));
}

TEST_F(Comparators, In3BecomingActiveStopsThePartner) {
  bench.command(kZ, kCmdContPlus);
  bench.sync_mode(kZ, 0, kSync2SuddenStop);
  bench.sync_mode(kY, kSync1In3Active | (1u << kSync1PartnerShift), kSync2Active | kSync2LatchCommand);
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
  bench.write_mode(kY, kRegMode1, factor_enable(kFactorCompPlusUp));
  bench.set32(kY, kCmdCompPlus, 700);
  std::optional<std::array<std::int32_t, 4>> at;
  on_interrupt = [&] {
    if (bench.status(kY, kRegMode3) == kFactorCompPlusUp) at = bench.counters();
  };
  bench.interp_mode(0x0004);  // master X, second Y
  bench.set32(kX, kCmdPulses, 2000);
  bench.set32(kY, kCmdPulses, 1000);
  bench.command(0, kCmdLine2);
  bench.clock.advance(10 * kNsPerSecond);
  ASSERT_TRUE(at);
  EXPECT_EQ((*at)[1], 700);
  EXPECT_EQ((*at)[0], 1399);  // 1000 x 1399 / 2000 = 699.5 rounds to 700
}

// A stop-then-start action on the axis's own drive start fires once per
// start: the restarted drive runs its pulses and the chip answers again.
TEST_F(Comparators, AStopThenStartActionOnDriveStartFiresOncePerStart) {
  bench.sync_mode(kX, kSync1DriveStart, kSync2Active | kSync2SuddenStop | kSync2DrivePlus);
  drive(kX, kCmdDrivePlus, 500);
  EXPECT_EQ(bench.command_counter(kX), 500);
  EXPECT_FALSE(bench.busy(kX));
}

// Two axes that start each other's loaded drives on drive start: each fires
// once, both drives run.
TEST_F(Comparators, PartnersStartingEachOtherFireEachOnce) {
  bench.set32(kY, kCmdPulses, 300);
  bench.sync_mode(kX, kSync1DriveStart | (1u << kSync1PartnerShift), kSync2Active | kSync2DrivePlus);
  bench.sync_mode(kY, kSync1DriveStart | (4u << kSync1PartnerShift), kSync2Active | kSync2DrivePlus);
  drive(kX, kCmdDrivePlus, 200);
  EXPECT_EQ(bench.counters(), (std::array<std::int32_t, 4>{200, 300, 0, 0}));
}

// Switching the watched counter (mode register 2) or setting a counter past a
// comparator fires nothing: the comparators look from the new value on.
TEST_F(Comparators, AWatchedCounterSwitchOrCounterSetFiresNothing) {
  bench.set32(kX, kCmdSetEncCounter, 5000);
  bench.set32(kY, kCmdPulses, 300);
  bench.sync_mode(kY, 0, kSync2DrivePlus);
  bench.set32(kX, kCmdCompPlus, 1000);
  bench.sync_mode(kX, kSync1CompPlusUp | (1u << kSync1PartnerShift), kSync2Active);
  bench.write_mode(kX, kRegMode2, kMode2CompareEncoder);  // watched: 0 -> 5000
  bench.write_mode(kX, kRegMode2, 0);                      // and back: 5000 -> 0
  bench.set32(kX, kCmdSetCmdCounter, 2000);             // set past COMP+
  bench.clock.advance(kNsPerSecond);
  EXPECT_FALSE(bench.busy(kY));
  EXPECT_EQ(bench.counters(), (std::array<std::int32_t, 4>{2000, 0, 0, 0}));
}

}  // namespace
}  // namespace card::chip::test
