// The continuous-interpolation segment table, end to end: request blocks go
// through the card's device file to the driver, the driver drives the card
// model, and the card runs on a manual clock that the tests step. A thin
// recorder sits between the kernel and the card and keeps every word written
// to the chip's command and interpolation-mode registers (with the data latch
// the command takes), so that a test sees which segment the deferred call
// handed over, when deceleration was switched on and how the run was ended.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "card/card.h"
#include "card/chip_registers.h"
#include "card/clock.h"
#include "driver_harness.h"
#include "watched_card.h"

namespace {

using card::SimTime;
using card::kNsPerMs;
using driver_test::CardFile;
using driver_test::interface_paths;
using driver_test::Reply;
using driver_test::WatchedCard;
namespace chip = card::chip;

constexpr std::uint16_t kOk = 0x8000;
constexpr std::uint16_t kInterpBusy = 0x800E;
constexpr std::uint16_t kNoConti = 0x800F;
constexpr std::uint64_t kFactorDriveEnd = 0x8000;  // interrupt-factor word: drive end
constexpr std::uint32_t kIntcsr = 0x4C;
constexpr std::uint32_t kIntcsrLocal1Enable = 0x01;
constexpr std::uint32_t kIntcsrPciEnable = 0x40;
constexpr std::uint32_t kRangeAtReset = 16000;  // every axis's range after the card reset
constexpr int kTableSize = 2048;

// Speed words of the runs (range 16000: one word is 500 PPS).
constexpr std::uint64_t kStartSpeed = 4;   // 2,000 PPS
constexpr std::uint64_t kDriveSpeed = 20;  // 10,000 PPS
constexpr std::uint64_t kAcc = 2;          // 125,000 PPS/s

constexpr unsigned bit(int axis) { return 1u << axis; }
std::uint64_t u32(std::int64_t v) { return static_cast<std::uint32_t>(v); }

// ---------------------------------------------------------------- recorder

struct Write {
  std::uint32_t offset;  // REG_COMMAND or REG_INTERP_MODE
  std::uint16_t value;
  std::uint32_t data;  // the data latch (high << 16 | low) at the moment of the write
};

class RecordingCard final : public WatchedCard {
 public:
  explicit RecordingCard(card::Card& c) : WatchedCard(c) {}

  std::vector<Write> writes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
  }
  std::size_t mark() {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_.size();
  }

 private:
  void before_write(std::uint64_t address, unsigned size, std::uint32_t value) override {
    const card::BarInfo chip_window = card().bar(2);
    if (size != 2 || address < chip_window.base || address >= chip_window.base + chip::kChipWindowSize) return;
    const auto offset = static_cast<std::uint32_t>(address - chip_window.base);
    const auto word = static_cast<std::uint16_t>(value);
    std::lock_guard<std::mutex> lock(mutex_);
    if (offset == chip::kRegDataLow) low_ = word;
    if (offset == chip::kRegDataHigh) high_ = word;
    if (offset == chip::kRegCommand || offset == chip::kRegInterpMode)
      writes_.push_back({offset, word, (std::uint32_t(high_) << 16) | low_});
  }

  std::mutex mutex_;
  std::uint16_t low_ = 0;
  std::uint16_t high_ = 0;
  std::vector<Write> writes_;
};

// What the recorded words say about a run, from a mark on.
struct PathCommand {
  std::size_t at;  // index in the recording
  std::uint8_t code;
  std::map<int, std::int32_t> pulses;  // CHIP_PULSES per axis since the previous path command
  std::map<int, std::int32_t> centre;  // CHIP_ARC_CENTER likewise
};
struct RunRecord {
  std::vector<PathCommand> paths;
  std::vector<std::size_t> dec_on;  // CHIP_INTERP_DEC_ON
  std::vector<std::pair<std::size_t, std::uint16_t>> interp_mode;
  std::vector<std::pair<std::size_t, std::pair<unsigned, std::uint32_t>>> ranges;  // (mask, range)
};

RunRecord analyse(const std::vector<Write>& writes, std::size_t from) {
  RunRecord r;
  std::map<int, std::int32_t> pulses, centre;
  for (std::size_t i = from; i < writes.size(); ++i) {
    const Write& w = writes[i];
    if (w.offset == chip::kRegInterpMode) {
      r.interp_mode.push_back({i, w.value});
      continue;
    }
    if (w.value == chip::kCommandReset) continue;
    const auto code = static_cast<std::uint8_t>(w.value & 0xFF);
    const unsigned mask = (w.value >> 8) & 0xF;
    for (int a = 0; a < 4; ++a) {
      if (!(mask & bit(a))) continue;
      if (code == chip::kCmdPulses) pulses[a] = static_cast<std::int32_t>(w.data);
      if (code == chip::kCmdArcCenter) centre[a] = static_cast<std::int32_t>(w.data);
    }
    if (code == chip::kCmdRange && mask != 0) r.ranges.push_back({i, {mask, w.data}});
    if (code >= chip::kCmdLine2 && code <= chip::kCmdArcCcw) {
      r.paths.push_back({i, code, pulses, centre});
      pulses.clear();
      centre.clear();
    }
    if (code == chip::kCmdInterpDecOn) r.dec_on.push_back(i);
  }
  return r;
}

// ---------------------------------------------------------------- segments

struct Seg {
  std::uint64_t type;  // slot 1: only its low byte is the type
  std::int32_t f1, f2, f3;
  std::uint64_t arc;  // slot 5: only its low byte is the arc command
  std::int32_t c1, c2;
  std::uint32_t length;
};
Seg line2(std::int32_t f1, std::int32_t f2, std::uint32_t len, std::uint64_t type = 0) {
  return {type, f1, f2, 0, 0, 0, 0, len};
}
Seg line3(std::int32_t f1, std::int32_t f2, std::int32_t f3, std::uint32_t len, std::uint64_t type = 2) {
  return {type, f1, f2, f3, 0, 0, 0, len};
}
Seg arc(std::uint64_t cmd, std::int32_t c1, std::int32_t c2, std::int32_t f1, std::int32_t f2,
        std::uint32_t len, std::uint64_t type = 1) {
  return {type, f1, f2, 0, cmd, c1, c2, len};
}

std::uint8_t low_byte(std::uint64_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
bool is_line2(const Seg& s) { return low_byte(s.type) == 0 || low_byte(s.type) == 16; }
bool is_arc(const Seg& s) { return low_byte(s.type) == 1 || low_byte(s.type) == 17; }

struct Axes {
  int master, second, third;  // third -1 for a two-axis run
  unsigned mask() const { return bit(master) | bit(second) | (third >= 0 ? bit(third) : 0u); }
};
Axes axes_of(std::uint16_t assignment) {
  Axes a{assignment & 3, (assignment >> 2) & 3, (assignment & 0x30) ? (assignment >> 4) & 3 : -1};
  return a;
}

// Where each axis ends after a start segment and a list of table segments.
std::map<int, std::int64_t> end_points(const Axes& ax, const Seg& start, const std::vector<Seg>& segs,
                                       std::size_t handed) {
  std::map<int, std::int64_t> p{{0, 0}, {1, 0}, {2, 0}, {3, 0}};
  auto add = [&](const Seg& s) {
    p[ax.master] += s.f1;
    p[ax.second] += s.f2;
    if (ax.third >= 0 && !is_line2(s) && !is_arc(s)) p[ax.third] += s.f3;
  };
  add(start);
  for (std::size_t i = 0; i < handed && i < segs.size(); ++i) add(segs[i]);
  return p;
}

// The handover the feeder should switch deceleration on at, by the rule of
// the table: the first segment for which the rest of the path (this one
// included) is no longer than the threshold, while lengths are counted.
// While tracking runs, deceleration goes on at the first segment whose rest of
// the path is no longer than the threshold, and at the last one at the latest:
// a remaining length that never came down to the threshold (one carried over
// from segments that never ran) would otherwise end the path at speed.
int expected_dec_on(std::uint32_t threshold, std::uint32_t carried, const std::vector<Seg>& segs) {
  std::uint32_t remaining = carried;
  for (const Seg& s : segs) remaining += s.length;
  for (std::size_t k = 0; k < segs.size(); ++k) {
    if (remaining == 0) return -1;
    if (remaining <= threshold || (k + 1 == segs.size() && threshold != 0)) return static_cast<int>(k);
    remaining -= segs[k].length;
  }
  return -1;
}

std::string hex(std::uint64_t v) {
  char b[32];
  std::snprintf(b, sizeof b, "0x%llX", static_cast<unsigned long long>(v));
  return b;
}

// ---------------------------------------------------------------- the rig

class SegmentTableRig {
 protected:
  void boot_rig() {
    card_ = std::make_unique<card::Card>(card::CardDescription{}, clock_);
    recorder_ = std::make_unique<RecordingCard>(*card_);
    sim::Parts parts;
    parts.functions = {recorder_.get()};
    parts.clock = &clock_;
    parts.advance = [this](SimTime t) { clock_.advance(t); };
    ASSERT_EQ(sim::boot(parts), STATUS_SUCCESS);
    booted_ = true;
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  }
  void shutdown_rig() {
    file_.close();
    if (booted_) sim::shutdown();
    booted_ = false;
    recorder_.reset();
    card_.reset();
  }

  static std::uint16_t word(const Reply& r) { return static_cast<std::uint16_t>(r.block.slot[0] & 0xFFFF); }
  std::uint16_t send(std::uint32_t code, std::initializer_list<std::uint64_t> slots) {
    const Reply r = file_.request(code, slots);
    EXPECT_EQ(r.status, STATUS_SUCCESS) << "request " << hex(code);
    return word(r);
  }

  void step(SimTime dt) {
    clock_.advance(dt);
    sim::wait_idle();
  }
  unsigned driving() { return card_->chip().read(chip::kRegCommand) & 0xF; }
  std::int32_t position(int axis) {
    const Reply r = file_.request(REQ_GET_CMDCOUNTER, {bit(axis)});
    return static_cast<std::int32_t>(r.block.slot[1]);
  }
  std::map<int, std::int64_t> positions() {
    std::map<int, std::int64_t> p;
    for (int a = 0; a < 4; ++a) p[a] = position(a);
    return p;
  }
  std::uint64_t running_segment() { return file_.request(REQ_CONTI_INTERP_RUNNING_SEGMENT, {}).block.slot[1]; }
  std::uint32_t intcsr() {
    std::uint32_t v = 0;
    card_->mmio_read(card_->bar(0).base + kIntcsr, 4, &v);
    return v;
  }
  // Table handovers recorded since `from`: path commands after the first
  // (the first starts the path).
  std::size_t handovers(std::size_t from) {
    const RunRecord r = analyse(recorder_->writes(), from);
    return r.paths.empty() ? 0 : r.paths.size() - 1;
  }

  std::uint16_t config(std::uint16_t assignment, std::uint32_t threshold, std::uint64_t start_speed = kStartSpeed,
                       std::uint64_t drive_speed = kDriveSpeed) {
    return send(REQ_CONTI_INTERP_CONFIG, {assignment, start_speed, drive_speed, kAcc, kAcc, 0, threshold});
  }
  std::uint16_t begin(std::uint16_t assignment, std::uint64_t speed = 10) {
    return send(REQ_CONTI_INTERP_BEGIN, {assignment, speed});
  }
  std::uint16_t load(const Seg& s) {
    return send(REQ_CONTI_LOAD_SEGMENT,
                {s.type, u32(s.f1), u32(s.f2), u32(s.f3), s.arc, u32(s.c1), u32(s.c2), s.length});
  }
  std::uint16_t start(const Axes& ax, const Seg& s) {
    if (ax.third >= 0) return send(REQ_CONTI_LINE3_MOVE, {u32(s.f1), u32(s.f2), u32(s.f3), 0});
    return send(REQ_CONTI_LINE2_MOVE, {u32(s.f1), u32(s.f2), 0});
  }
  std::uint16_t enable_drive_end(int axis) { return send(REQ_SET_INT_FACTOR, {bit(axis), kFactorDriveEnd}); }

  // Steps the clock until no axis of `mask` drives (and the deferred calls
  // are done), calling `each` after every step. False when `limit` passed.
  bool run_until_stopped(unsigned mask, SimTime limit, const std::function<void()>& each = {},
                         SimTime dt = 2 * kNsPerMs) {
    for (SimTime t = 0; t < limit; t += dt) {
      step(dt);
      if (each) each();
      if ((driving() & mask) == 0) {
        step(dt);
        return true;
      }
    }
    return false;
  }
  // Steps until `n` table handovers were recorded since `from`.
  bool run_until_handovers(std::size_t from, std::size_t n, SimTime limit) {
    for (SimTime t = 0; t < limit; t += 2 * kNsPerMs) {
      if (handovers(from) >= n) return true;
      step(2 * kNsPerMs);
    }
    return handovers(from) >= n;
  }

  // The handed-over segments against the table: one path command per segment,
  // of its type's writer, with its finish points (and arc centre and command).
  void expect_handovers(const RunRecord& r, const Axes& ax, const std::vector<Seg>& segs) {
    ASSERT_EQ(r.paths.size(), segs.size() + 1) << "path commands: the start and one per table segment";
    const int failures_before = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    for (std::size_t k = 0; k < segs.size(); ++k) {
      if (::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() > failures_before + 8) {
        ADD_FAILURE() << "further segments not compared";
        break;
      }
      const Seg& s = segs[k];
      const PathCommand& p = r.paths[k + 1];
      std::uint8_t want = chip::kCmdLine3;
      if (is_line2(s)) want = chip::kCmdLine2;
      if (is_arc(s)) want = low_byte(s.arc);
      EXPECT_EQ(hex(p.code), hex(want)) << "segment " << k << " type " << s.type;
      auto pulses = [&](int axis) { return p.pulses.count(axis) ? p.pulses.at(axis) : INT32_MIN; };
      auto centre = [&](int axis) { return p.centre.count(axis) ? p.centre.at(axis) : INT32_MIN; };
      EXPECT_EQ(pulses(ax.master), s.f1) << "segment " << k << " master finish";
      EXPECT_EQ(pulses(ax.second), s.f2) << "segment " << k << " second finish";
      if (!is_line2(s) && !is_arc(s)) {
        EXPECT_EQ(pulses(ax.third), s.f3) << "segment " << k << " third finish";
      }
      if (is_arc(s)) {
        EXPECT_EQ(centre(ax.master), s.c1) << "segment " << k << " master centre";
        EXPECT_EQ(centre(ax.second), s.c2) << "segment " << k << " second centre";
      }
    }
  }

  // The feeder's deceleration: between the first handover and the end of the
  // table, CHIP_INTERP_DEC_ON right after handover `at` and nowhere else
  // (-1: never).
  void expect_feeder_dec_on(const RunRecord& r, int at) {
    ASSERT_GE(r.paths.size(), 2u);
    const std::size_t first = r.paths[1].at;
    std::size_t table_end = SIZE_MAX;
    for (auto& [i, v] : r.interp_mode)
      if (i > first && !(v & chip::kInterpContinuous)) {
        table_end = i;
        break;
      }
    std::vector<int> got;  // handover index each DEC_ON follows
    for (std::size_t d : r.dec_on) {
      if (d < first || d > table_end) continue;
      int after = -1;
      for (std::size_t k = 1; k < r.paths.size(); ++k)
        if (r.paths[k].at < d) after = static_cast<int>(k - 1);
      got.push_back(after);
    }
    std::vector<int> want;
    if (at >= 0) want.push_back(at);
    EXPECT_EQ(got, want) << "handovers after which the feeder switched deceleration on (got vs expected)";
  }

  // The table's end and the run's end as the chip saw them: 0x4000 cleared
  // after the last handover (when the table ran out); then the drive end:
  // partner ranges restored, axis and vector-speed bits cleared, deceleration
  // on.
  void expect_run_ended(const RunRecord& r, const Axes& ax, bool table_ran_out = true) {
    ASSERT_FALSE(r.paths.empty());
    const std::size_t last = r.paths.back().at;
    std::size_t table_end = SIZE_MAX, run_end = SIZE_MAX;
    for (auto& [i, v] : r.interp_mode) {
      if (i < last) continue;
      if (table_end == SIZE_MAX && !(v & chip::kInterpContinuous)) table_end = i;
      if (run_end == SIZE_MAX && (v & 0x033F) == 0) run_end = i;
    }
    if (table_ran_out) {
      EXPECT_NE(table_end, SIZE_MAX) << "no interpolation-mode write clearing 0x4000 after the last handover";
    }
    ASSERT_NE(run_end, SIZE_MAX) << "no interpolation-mode write clearing the axis bits after the last handover";
    bool dec_on = false;
    for (std::size_t d : r.dec_on) dec_on |= d > run_end;
    EXPECT_TRUE(dec_on) << "no CHIP_INTERP_DEC_ON after the run's end";
    std::vector<int> partners{ax.second};
    if (ax.third >= 0) partners.push_back(ax.third);
    for (int p : partners) {
      bool restored = false;
      for (auto& [i, mr] : r.ranges)
        if (i > last && (mr.first & bit(p)) && mr.second == kRangeAtReset) restored = true;
      EXPECT_TRUE(restored) << "range of partner axis " << p << " not restored to " << kRangeAtReset;
    }
  }

  card::ManualClock clock_;
  std::unique_ptr<card::Card> card_;
  std::unique_ptr<RecordingCard> recorder_;
  CardFile file_;
  bool booted_ = false;
};

class SegmentTableRulesTest : public ::testing::Test, protected SegmentTableRig {
 protected:
  void SetUp() override { boot_rig(); }
  void TearDown() override { shutdown_rig(); }
};

template <typename Case>
class SegmentTableCaseTest : public ::testing::TestWithParam<Case>, protected SegmentTableRig {
 protected:
  void SetUp() override { boot_rig(); }
  void TearDown() override { shutdown_rig(); }
};

// ======================================================= the feed, case table

struct FeedCase {
  const char* name;
  std::uint16_t assignment;
  std::uint32_t threshold;
  Seg first;  // sent with the first-segment request, starts the path
  std::vector<Seg> table;
  int dec_on_at;  // handover after which the feeder switches deceleration on; -1 never
};
std::ostream& operator<<(std::ostream& os, const FeedCase& c) { return os << c.name; }

const FeedCase kFeedCases[] = {
    // Deceleration: rest of the path 1000, 600, 300, 100 at the handovers.
    {"ThresholdMetExactly", 0x04, 300, line2(800, 400, 0),
     {line2(1000, 500, 400), line2(800, -300, 300), line2(600, 600, 200), line2(500, 0, 100)}, 2},
    {"ThresholdOneBelow", 0x04, 299, line2(800, 400, 0),
     {line2(1000, 500, 400), line2(800, -300, 300), line2(600, 600, 200), line2(500, 0, 100)}, 3},
    {"ThresholdCoversTheWholePath", 0x04, 5000, line2(800, 400, 0),
     {line2(1000, 500, 400), line2(800, -300, 300), line2(600, 600, 200)}, 0},
    {"ThresholdZeroNeverDecelerates", 0x04, 0, line2(800, 400, 0),
     {line2(1000, 500, 400), line2(800, -300, 300), line2(600, 600, 200), line2(500, 0, 100)}, -1},
    {"LengthsZeroAreNotTracked", 0x04, 100000, line2(800, 400, 0),
     {line2(1000, 500, 0), line2(800, -300, 0), line2(600, 600, 0)}, -1},
    {"LengthsAbove2To31AreUnsigned", 0x04, 0x7FFFFFFF, line2(800, 400, 0),
     {line2(1000, 500, 0x80000000u), line2(800, -300, 0x100), line2(600, 600, 0)}, 1},
    {"OneSegment", 0x04, 300, line2(800, 400, 0), {line2(1200, -700, 250)}, 0},
    // Types: 0 and 16 two-axis lines, 1 and 17 arcs; only the low bytes count.
    {"LineAndArcTypes", 0x04, 0, line2(600, 0, 0),
     {line2(800, 300, 10, 16), arc(chip::kCmdArcCw, 500, 0, 1000, 0, 10, 1),
      arc(chip::kCmdArcCcw, 0, -400, 0, 0, 10, 17), line2(-700, 900, 10, 0x110),
      arc(0x132, -300, 0, -600, 0, 10, 0x201), line2(900, -200, 10, 0)},
     -1},
    // Three axes: every type but the line2 and arc ones is a three-axis line.
    {"ThreeAxisTypes", 0x24, 350, {2, 700, 300, 500, 0, 0, 0, 0},
     {line3(900, -400, 600, 400, 2), line3(-800, 700, 700, 300, 18), line2(1000, 400, 200, 0),
      arc(chip::kCmdArcCcw, 0, 450, 0, 0, 100, 17), line3(600, 600, -900, 50, 5),
      line3(700, -300, 800, 20, 255)},
     3},
    // Masters other than X: the table follows the chip's next-segment
    // request, whichever axis leads the path and whether X drives or not.
    {"MasterY", 0x09, 300, line2(800, 400, 0),
     {line2(1000, 500, 400), line2(800, -300, 300), line2(600, 600, 200), line2(500, 0, 100)}, 2},
    {"MasterU", 0x03, 0, line2(-900, 400, 0), {line2(-1000, 500, 10), line2(800, 900, 10)}, -1},
    {"MasterZThreeAxes", 0x1E, 500, {2, 700, 300, 500, 0, 0, 0, 0},
     {line3(900, -400, 600, 400, 2), line3(-800, 700, 700, 300, 18), line3(600, 800, 800, 200, 3)}, 1},
};

using SegmentTableFeedTest = SegmentTableCaseTest<FeedCase>;

TEST_P(SegmentTableFeedTest, HandsOverEachSegmentAndEndsAtTheSumOfTheSegments) {
  const FeedCase& c = GetParam();
  const Axes ax = axes_of(c.assignment);
  ASSERT_EQ(c.dec_on_at, expected_dec_on(c.threshold, 0, c.table)) << "case table";

  ASSERT_EQ(hex(enable_drive_end(ax.master)), hex(kOk));
  ASSERT_EQ(hex(config(c.assignment, c.threshold)), hex(kOk));
  EXPECT_EQ(running_segment(), 0u);
  for (const Seg& s : c.table) ASSERT_EQ(hex(load(s)), hex(kOk));
  EXPECT_EQ(running_segment(), 0u) << "loading hands nothing over";

  const std::size_t mark = recorder_->mark();
  ASSERT_EQ(hex(start(ax, c.first)), hex(kOk));

  // RUNNING_SEGMENT answers the index of the next segment to hand over.
  std::string first_mismatch;
  auto watch = [&] {
    const std::uint64_t got = running_segment();
    const std::size_t want = handovers(mark);
    if (first_mismatch.empty() && driving() && got != want)
      first_mismatch = "running segment " + std::to_string(got) + ", handed over " + std::to_string(want);
  };
  ASSERT_TRUE(run_until_stopped(ax.mask(), 60 * card::kNsPerSecond, watch)) << "the run did not end";
  EXPECT_EQ(first_mismatch, "");

  const RunRecord r = analyse(recorder_->writes(), mark);
  expect_handovers(r, ax, c.table);
  expect_feeder_dec_on(r, c.dec_on_at);
  expect_run_ended(r, ax);

  const auto want = end_points(ax, c.first, c.table, c.table.size());
  const auto got = positions();
  for (int a = 0; a < 4; ++a) EXPECT_EQ(got.at(a), want.at(a)) << "position of axis " << a;

  // The run is over: next and count 0, nothing recorded, nothing moves on.
  EXPECT_EQ(running_segment(), 0u);
  const Reply done = file_.request(REQ_MOTION_DONE, {bit(ax.master)});
  EXPECT_EQ(done.block.slot[1], 1u);
  EXPECT_EQ(hex(done.block.slot[2]), hex(0x0080)) << "a completed run ends as a normal drive end";
  const std::size_t after = recorder_->mark();
  for (int i = 0; i < 50; ++i) step(20 * kNsPerMs);
  EXPECT_EQ(positions(), got) << "an axis moved after the run ended";
  EXPECT_EQ(analyse(recorder_->writes(), after).paths.size(), 0u) << "a path command after the run ended";
  EXPECT_EQ(hex(send(REQ_CONTI_INTERP_END, {})), hex(kNoConti)) << "the run is no longer recorded";
}

INSTANTIATE_TEST_SUITE_P(SegmentTable, SegmentTableFeedTest, ::testing::ValuesIn(kFeedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ============================================= loading and the first load

TEST_F(SegmentTableRulesTest, TheFirstLoadSwitchesTheChipInterruptOn) {
  // The master's factors off: nothing but the table asks for the chip's interrupt.
  send(REQ_SET_INT_FACTOR, {bit(0), 0});
  ASSERT_EQ(hex(config(0x04, 0)), hex(kOk));
  ASSERT_EQ(hex(load(line2(1000, 200, 0))), hex(kOk));
  const std::uint32_t v = intcsr();
  EXPECT_EQ(hex(v & (kIntcsrPciEnable | kIntcsrLocal1Enable)), hex(kIntcsrPciEnable | kIntcsrLocal1Enable))
      << "INTCSR " << hex(v) << " after the first load";
  ASSERT_EQ(hex(load(line2(900, -200, 0))), hex(kOk));

  const std::size_t mark = recorder_->mark();
  ASSERT_EQ(hex(start(axes_of(0x04), line2(800, 100, 0))), hex(kOk));
  ASSERT_TRUE(run_until_stopped(0x3, 30 * card::kNsPerSecond));
  EXPECT_EQ(handovers(mark), 2u) << "the table was not fed on the chip's interrupt";
  EXPECT_EQ(position(0), 2700);
  EXPECT_EQ(position(1), 100);
}

// ============================== a run whose master's drive end is not asked for

TEST_F(SegmentTableRulesTest, WithoutTheMasterDriveEndARequestClosesTheRunThatIsOver) {
  const Axes ax = axes_of(0x24);
  const std::vector<Seg> table{line3(1500, 700, 300, 10), line3(-900, 1100, -400, 10), line2(1300, -600, 10)};
  ASSERT_EQ(hex(config(0x24, 0)), hex(kOk));
  for (const Seg& s : table) ASSERT_EQ(hex(load(s)), hex(kOk));
  const std::size_t mark = recorder_->mark();
  const Seg first = line3(600, 0, 200, 0);
  ASSERT_EQ(hex(start(ax, first)), hex(kOk));
  ASSERT_TRUE(run_until_stopped(ax.mask(), 30 * card::kNsPerSecond));
  for (int i = 0; i < 20; ++i) step(20 * kNsPerMs);

  const auto want = end_points(ax, first, table, table.size());
  for (int a = 0; a < 4; ++a) EXPECT_EQ(position(a), want.at(a)) << "position of axis " << a;
  // No drive-end interrupt ended the run; the first request that finds the
  // table handed over and the master standing ends it as the DPC would, so
  // that an axis that stands is never left in a run: the partner ranges are
  // restored, the mode bits cleared, and END finds no run.
  EXPECT_EQ(running_segment(), 0u) << "next after the run was closed";
  const RunRecord r = analyse(recorder_->writes(), mark);
  expect_handovers(r, ax, table);
  expect_run_ended(r, ax);
  EXPECT_EQ(hex(send(REQ_CONTI_INTERP_END, {})), hex(kNoConti)) << "END after the run was closed";
  ASSERT_EQ(hex(config(0x24, 0)), hex(kOk)) << "a new run on the same axes";
  EXPECT_EQ(positions(), want) << "an axis moved";
}

// ============================================ emptying the table, case table

struct EmptyCase {
  const char* name;
  bool with_begin;      // empty with REQ_CONTI_INTERP_BEGIN, else with CONFIG
  bool after_a_run;     // the old segments ran and END closed the run; else loaded idle
};
std::ostream& operator<<(std::ostream& os, const EmptyCase& c) { return os << c.name; }

const EmptyCase kEmptyCases[] = {
    {"ConfigDropsSegmentsLoadedBeforeIt", false, false},
    {"BeginDropsSegmentsLoadedBeforeIt", true, false},
    {"ConfigRestartsAnExhaustedTable", false, true},
    {"BeginRestartsAnExhaustedTable", true, true},
};

using SegmentTableEmptyTest = SegmentTableCaseTest<EmptyCase>;

TEST_P(SegmentTableEmptyTest, OnlySegmentsLoadedAfterwardsAreHandedOverFromIndexZero) {
  const EmptyCase& c = GetParam();
  const Axes ax = axes_of(0x04);
  const std::vector<Seg> old_table{line2(1500, 700, 10), line2(-900, 1100, 10), line2(1300, -600, 10)};
  const std::vector<Seg> new_table{line2(700, 300, 10), line2(1100, -400, 10)};
  std::map<int, std::int64_t> before{{0, 0}, {1, 0}, {2, 0}, {3, 0}};

  if (c.after_a_run) {
    // A run whose drive end nobody asked for: the table runs out (next =
    // count) and END closes the run (what END answers here is the subject
    // of WithoutTheMasterDriveEndARequestClosesTheRunThatIsOver).
    ASSERT_EQ(hex(config(0x04, 0)), hex(kOk));
    for (const Seg& s : old_table) ASSERT_EQ(hex(load(s)), hex(kOk));
    const std::size_t mark = recorder_->mark();
    ASSERT_EQ(hex(start(ax, line2(600, 0, 0))), hex(kOk));
    ASSERT_TRUE(run_until_stopped(ax.mask(), 30 * card::kNsPerSecond));
    EXPECT_EQ(handovers(mark), old_table.size());
    file_.request(REQ_CONTI_INTERP_END, {});
    before = positions();
    const auto want = end_points(ax, line2(600, 0, 0), old_table, old_table.size());
    EXPECT_EQ(before, want) << "positions after the first run";
  } else {
    for (const Seg& s : old_table) ASSERT_EQ(hex(load(s)), hex(kOk));
  }

  ASSERT_EQ(hex(c.with_begin ? begin(0x04) : config(0x04, 0)), hex(kOk));
  EXPECT_EQ(running_segment(), 0u) << "next after emptying";
  ASSERT_EQ(hex(enable_drive_end(ax.master)), hex(kOk));
  for (const Seg& s : new_table) ASSERT_EQ(hex(load(s)), hex(kOk));
  const std::size_t mark = recorder_->mark();
  const Seg first = line2(500, 500, 0);
  ASSERT_EQ(hex(start(ax, first)), hex(kOk));
  ASSERT_TRUE(run_until_stopped(ax.mask(), 30 * card::kNsPerSecond));

  const RunRecord r = analyse(recorder_->writes(), mark);
  expect_handovers(r, ax, new_table);
  expect_run_ended(r, ax);
  auto want = end_points(ax, first, new_table, new_table.size());
  for (int a = 0; a < 4; ++a) EXPECT_EQ(position(a), before.at(a) + want.at(a)) << "position of axis " << a;
}

INSTANTIATE_TEST_SUITE_P(SegmentTable, SegmentTableEmptyTest, ::testing::ValuesIn(kEmptyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ================================ threshold and remaining length across runs

struct CarryCase {
  const char* name;
  std::uint32_t first_threshold;         // CONFIG, loads, END (nothing runs)
  std::vector<std::uint32_t> first_lengths;
  bool load_after_end;                   // the first lengths loaded after END, with no run recorded
  bool with_begin;                       // then BEGIN, else CONFIG with second_threshold
  std::uint32_t second_threshold;
  std::vector<std::uint32_t> lengths;    // the table that runs
  std::uint32_t carried;                 // remaining length carried into the run
  std::uint32_t threshold;               // threshold in force during the run
};
std::ostream& operator<<(std::ostream& os, const CarryCase& c) { return os << c.name; }

const CarryCase kCarryCases[] = {
    {"BeginKeepsTheThreshold", 300, {}, false, true, 0, {400, 300, 200, 100}, 0, 300},
    {"BeginKeepsTheRemainingLength", 300, {100, 100, 100}, false, true, 0, {200, 200, 200}, 300, 300},
    {"BeginKeepsTheRemainingLengthOfIdleLoads", 300, {100, 100, 100}, true, true, 0, {200, 200, 200}, 300, 300},
    {"ConfigClearsTheRemainingLength", 300, {100, 100, 100}, false, false, 300, {200, 200, 200}, 0, 300},
    {"ConfigClearsTheRemainingLengthOfIdleLoads", 300, {100, 100, 100}, true, false, 300, {200, 200, 200}, 0,
     300},
    {"ConfigSetsTheThreshold", 5000, {100}, false, false, 150, {400, 300, 200, 100}, 0, 150},
    {"ConfigSetsThresholdZero", 5000, {}, false, false, 0, {400, 300, 200, 100}, 0, 0},
};

using SegmentTableCarryTest = SegmentTableCaseTest<CarryCase>;

TEST_P(SegmentTableCarryTest, TheFeederDeceleratesWhereTheCarriedValuesSay) {
  const CarryCase& c = GetParam();
  const Axes ax = axes_of(0x04);
  ASSERT_EQ(hex(config(0x04, c.first_threshold)), hex(kOk));
  auto load_first = [&] {
    for (std::uint32_t len : c.first_lengths) ASSERT_EQ(hex(load(line2(5000, 5000, len))), hex(kOk));
  };
  if (!c.load_after_end) load_first();
  ASSERT_EQ(hex(send(REQ_CONTI_INTERP_END, {})), hex(kOk));
  if (c.load_after_end) load_first();

  ASSERT_EQ(hex(c.with_begin ? begin(0x04) : config(0x04, c.second_threshold)), hex(kOk));
  std::vector<Seg> table;
  for (std::size_t i = 0; i < c.lengths.size(); ++i)
    table.push_back(line2(600 + 100 * static_cast<std::int32_t>(i), 250 - 150 * static_cast<std::int32_t>(i),
                          c.lengths[i]));
  ASSERT_EQ(hex(enable_drive_end(ax.master)), hex(kOk));
  for (const Seg& s : table) ASSERT_EQ(hex(load(s)), hex(kOk));
  const std::size_t mark = recorder_->mark();
  const Seg first = line2(700, -300, 0);
  ASSERT_EQ(hex(start(ax, first)), hex(kOk));
  ASSERT_TRUE(run_until_stopped(ax.mask(), 30 * card::kNsPerSecond));

  const RunRecord r = analyse(recorder_->writes(), mark);
  expect_handovers(r, ax, table);
  expect_feeder_dec_on(r, expected_dec_on(c.threshold, c.carried, table));
  expect_run_ended(r, ax);
  const auto want = end_points(ax, first, table, table.size());
  for (int a = 0; a < 4; ++a) EXPECT_EQ(position(a), want.at(a)) << "position of axis " << a;
}

INSTANTIATE_TEST_SUITE_P(SegmentTable, SegmentTableCarryTest, ::testing::ValuesIn(kCarryCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ===================================== refusals while a run is active

struct RefusalCase {
  const char* name;
  std::uint32_t code;
  std::vector<std::uint64_t> slots;
  std::uint16_t expected;
};
std::ostream& operator<<(std::ostream& os, const RefusalCase& c) { return os << c.name; }

const RefusalCase kRefusalCases[] = {
    {"BeginOnTheRunningAxes", REQ_CONTI_INTERP_BEGIN, {0x04, 3}, kInterpBusy},
    {"BeginOnOtherAxes", REQ_CONTI_INTERP_BEGIN, {0x0E, 3}, kInterpBusy},
    {"ConfigOnTheRunningAxes", REQ_CONTI_INTERP_CONFIG, {0x04, 1, 6, 1, 1, 0, 5000}, kInterpBusy},
    {"ConfigOnOtherAxesThreeAxes", REQ_CONTI_INTERP_CONFIG, {0x39, 1, 6, 1, 1, 0, 0}, kInterpBusy},
    {"ConfigConstantSpeed", REQ_CONTI_INTERP_CONFIG, {0x04, 6, 6, 1, 1, 0x1000, 0}, kInterpBusy},
};

using SegmentTableRefusalTest = SegmentTableCaseTest<RefusalCase>;

// A refused BEGIN or CONFIG must leave the running table, its threshold and
// remaining length, the chip's registers and the motion alone: emptying the
// table or rewriting the master's speeds before the refusal would cut the
// path short or change its speed while the run goes on.
TEST_P(SegmentTableRefusalTest, ARefusedRequestChangesNothing) {
  const RefusalCase& c = GetParam();
  const Axes ax = axes_of(0x04);
  const std::vector<Seg> table{line2(2000, 600, 400), line2(1800, -900, 300), line2(1600, 1200, 200),
                               line2(2000, 0, 100)};
  const int dec_on_at = expected_dec_on(300, 0, table);
  ASSERT_EQ(hex(enable_drive_end(ax.master)), hex(kOk));
  ASSERT_EQ(hex(config(0x04, 300)), hex(kOk));
  for (const Seg& s : table) ASSERT_EQ(hex(load(s)), hex(kOk));
  const std::size_t mark = recorder_->mark();
  const Seg first = line2(2500, 500, 0);
  ASSERT_EQ(hex(start(ax, first)), hex(kOk));
  // Into the first table segment, at the drive speed.
  ASSERT_TRUE(run_until_handovers(mark, 2, 10 * card::kNsPerSecond));
  const auto speed = [&] { return file_.request(REQ_GET_SPEED, {bit(ax.master)}).block.slot[1]; };
  // The speed word reads truncated: one below the drive speed at cruise.
  const std::uint64_t cruise = speed();
  ASSERT_GE(cruise + 1, kDriveSpeed) << "not cruising before the refused request";
  const std::uint64_t next_before = running_segment();

  DriverRequest block{};
  block.slot[0] = REQUEST_STATUS_PRESET;
  for (std::size_t i = 0; i < c.slots.size(); ++i) block.slot[i + 1] = c.slots[i];
  const std::size_t before = recorder_->mark();
  const Reply reply = file_.request(c.code, block);
  const std::size_t after = recorder_->mark();
  EXPECT_EQ(hex(word(reply)), hex(c.expected));

  // Nothing reached the chip's speed, mode or interpolation registers.
  const auto writes = recorder_->writes();
  for (std::size_t i = before; i < after; ++i) {
    const Write& w = writes[i];
    const std::uint8_t code = w.value & 0xFF;
    const bool changes = w.offset == chip::kRegInterpMode || code == chip::kCmdAcc || code == chip::kCmdDec ||
                         code == chip::kCmdStartSpeed || code == chip::kCmdDriveSpeed ||
                         code == chip::kCmdDecPoint || code == chip::kCmdInterpDecOn ||
                         code == chip::kCmdInterpDecOff;
    EXPECT_FALSE(changes && w.value != chip::kCommandReset)
        << "the refused request wrote " << hex(w.value) << " to offset " << hex(w.offset);
  }
  EXPECT_EQ(running_segment(), next_before) << "next index changed by a refused request";
  step(40 * kNsPerMs);
  EXPECT_EQ(speed(), cruise) << "the master's speed changed after a refused request";

  ASSERT_TRUE(run_until_stopped(ax.mask(), 30 * card::kNsPerSecond));
  const RunRecord r = analyse(recorder_->writes(), mark);
  expect_handovers(r, ax, table);
  expect_feeder_dec_on(r, dec_on_at);
  expect_run_ended(r, ax);
  const auto want = end_points(ax, first, table, table.size());
  for (int a = 0; a < 4; ++a) EXPECT_EQ(position(a), want.at(a)) << "position of axis " << a;
}

INSTANTIATE_TEST_SUITE_P(SegmentTable, SegmentTableRefusalTest, ::testing::ValuesIn(kRefusalCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SegmentTableRulesTest, BeginAndConfigAreRefusedWhileALineOfTheirAxesDrives) {
  // A single two-axis line on X and Y, no wait.
  ASSERT_EQ(hex(send(REQ_T_LINE2_MOVE, {0x04, kStartSpeed, kDriveSpeed, kAcc, kAcc, 0, 6000, 2000, 0, 0})),
            hex(kOk));
  step(100 * kNsPerMs);
  ASSERT_EQ(driving() & 0x3, 0x3u);
  const std::size_t before = recorder_->mark();
  EXPECT_EQ(hex(begin(0x04)), hex(kInterpBusy));
  EXPECT_EQ(hex(config(0x04, 100, 1, 3)), hex(kInterpBusy));
  const auto writes = recorder_->writes();
  for (std::size_t i = before; i < writes.size(); ++i) {
    const std::uint8_t code = writes[i].value & 0xFF;
    EXPECT_FALSE(writes[i].offset == chip::kRegInterpMode || code == chip::kCmdDriveSpeed ||
                 code == chip::kCmdStartSpeed || code == chip::kCmdAcc || code == chip::kCmdInterpDecOff)
        << "a refused request wrote " << hex(writes[i].value) << " to offset " << hex(writes[i].offset);
  }
  step(40 * kNsPerMs);
  EXPECT_GE(file_.request(REQ_GET_SPEED, {bit(0)}).block.slot[1] + 1, kDriveSpeed) << "the line's speed changed";
  ASSERT_TRUE(run_until_stopped(0x3, 30 * card::kNsPerSecond));
  EXPECT_EQ(position(0), 6000);
  EXPECT_EQ(position(1), 2000);
  // Its axes idle, the line no longer stands in the way.
  EXPECT_EQ(hex(config(0x04, 100)), hex(kOk));
}

// ===================================================== loads while it runs

TEST_F(SegmentTableRulesTest, SegmentsLoadedWhileTheTableRunsAreHandedOverInTurn) {
  const Axes ax = axes_of(0x04);
  std::vector<Seg> table{line2(1500, 300, 10), line2(1400, -500, 10), line2(1600, 700, 10)};
  ASSERT_EQ(hex(enable_drive_end(ax.master)), hex(kOk));
  ASSERT_EQ(hex(config(0x04, 0)), hex(kOk));
  for (const Seg& s : table) ASSERT_EQ(hex(load(s)), hex(kOk));
  const std::size_t mark = recorder_->mark();
  const Seg first = line2(1500, 0, 0);
  ASSERT_EQ(hex(start(ax, first)), hex(kOk));
  ASSERT_TRUE(run_until_handovers(mark, 1, 10 * card::kNsPerSecond));
  for (const Seg& s : {line2(1300, -200, 10), arc(chip::kCmdArcCw, 400, 0, 800, 0, 10)}) {
    ASSERT_EQ(hex(load(s)), hex(kOk));
    table.push_back(s);
  }
  ASSERT_TRUE(run_until_stopped(ax.mask(), 30 * card::kNsPerSecond));
  const RunRecord r = analyse(recorder_->writes(), mark);
  expect_handovers(r, ax, table);
  expect_run_ended(r, ax);
  const auto want = end_points(ax, first, table, table.size());
  for (int a = 0; a < 4; ++a) EXPECT_EQ(position(a), want.at(a)) << "position of axis " << a;
}

// ============================================================ a full table

TEST_F(SegmentTableRulesTest, ALoadWhen2048AreStoredIsNotStoredAndCorruptsNothing) {
  const Axes ax = axes_of(0x04);
  const std::uint32_t threshold = 100;
  ASSERT_EQ(hex(enable_drive_end(ax.master)), hex(kOk));
  ASSERT_EQ(hex(config(0x04, threshold, kStartSpeed, 8)), hex(kOk));
  std::vector<Seg> table;
  for (int k = 0; k < kTableSize; ++k) table.push_back(line2(20, k % 7 - 3, 20));
  int refused = 0;
  for (const Seg& s : table) refused += load(s) != kOk;
  ASSERT_EQ(refused, 0) << "loads refused below 2048";

  // One more, unlike every stored one: an arc far away with a long length.
  const Reply extra = file_.request(REQ_CONTI_LOAD_SEGMENT, {1, 7777, u32(-7777), 5555, chip::kCmdArcCw, 100,
                                                             100, 1000});
  std::printf("the load of segment 2049 answered %s\n", hex(word(extra)).c_str());
  EXPECT_EQ(running_segment(), 0u) << "next index after the refused load";

  const std::size_t mark = recorder_->mark();
  const Seg first = line2(100, 0, 0);
  ASSERT_EQ(hex(start(ax, first)), hex(kOk));
  ASSERT_TRUE(run_until_stopped(ax.mask(), 120 * card::kNsPerSecond, {}, kNsPerMs)) << "the run did not end";

  const RunRecord r = analyse(recorder_->writes(), mark);
  expect_handovers(r, ax, table);
  // The refused segment's length is no part of the rest of the path.
  expect_feeder_dec_on(r, expected_dec_on(threshold, 0, table));
  expect_run_ended(r, ax);
  const auto want = end_points(ax, first, table, table.size());
  for (int a = 0; a < 4; ++a) EXPECT_EQ(position(a), want.at(a)) << "position of axis " << a;
  EXPECT_EQ(running_segment(), 0u);
}

// ================================================ stops that break the run

struct StopCase {
  const char* name;
  std::uint32_t code;
  bool master, second;  // axes the stop names
  std::uint64_t stop;   // 0x26 decelerating, 0x27 sudden
};
std::ostream& operator<<(std::ostream& os, const StopCase& c) { return os << c.name; }

const StopCase kStopCases[] = {
    {"SuddenStopOfTheMaster", REQ_STOP_MOVE, true, false, 0x27},
    {"DeceleratingStopOfTheMaster", REQ_STOP_MOVE, true, false, 0x26},
    {"SuddenStopOfTheSecondAxis", REQ_STOP_MOVE, false, true, 0x27},
    {"DeceleratingStopOfTheSecondAxis", REQ_STOP_MOVE, false, true, 0x26},
    {"SuddenStopAll", REQ_STOP_MOVE_ALL, true, true, 0x27},
    {"DeceleratingStopAll", REQ_STOP_MOVE_ALL, true, true, 0x26},
};

using SegmentTableStopTest = SegmentTableCaseTest<StopCase>;

TEST_P(SegmentTableStopTest, AStopEndsTheRunAndNothingMovesAfterIt) {
  const StopCase& c = GetParam();
  const Axes ax = axes_of(0x04);
  std::vector<Seg> table;
  for (int k = 0; k < 8; ++k) table.push_back(line2(1500, k % 2 ? 700 : -400, 100));
  ASSERT_EQ(hex(enable_drive_end(ax.master)), hex(kOk));
  ASSERT_EQ(hex(config(0x04, 250)), hex(kOk));
  for (const Seg& s : table) ASSERT_EQ(hex(load(s)), hex(kOk));
  const std::size_t mark = recorder_->mark();
  ASSERT_EQ(hex(start(ax, line2(1500, 0, 0))), hex(kOk));
  ASSERT_TRUE(run_until_handovers(mark, 3, 10 * card::kNsPerSecond));
  step(30 * kNsPerMs);

  const unsigned mask = (c.master ? bit(ax.master) : 0u) | (c.second ? bit(ax.second) : 0u);
  ASSERT_EQ(hex(send(c.code, {mask, c.stop})), hex(kOk));
  ASSERT_TRUE(run_until_stopped(ax.mask(), 10 * card::kNsPerSecond)) << "the path did not stop";
  const std::size_t handed = handovers(mark);
  EXPECT_LT(handed, table.size()) << "the stop came too late to break the run";

  // The run is over and the master does not report a normal end.
  EXPECT_EQ(running_segment(), 0u);
  EXPECT_EQ(hex(send(REQ_CONTI_INTERP_END, {})), hex(kNoConti)) << "the run is still recorded";
  const RunRecord r = analyse(recorder_->writes(), mark);
  expect_run_ended(r, ax, false);
  const Reply done = file_.request(REQ_MOTION_DONE, {bit(ax.master)});
  EXPECT_EQ(done.block.slot[1], 1u);
  // A run cut short is reported as such (the stop, or the broken run), never
  // as the fixed-pulse end of a run that reached its last segment, whichever
  // axis of the path the stop named.
  const std::uint64_t state = done.block.slot[2];
  EXPECT_TRUE((state & 0x0080) == 0 && (state & 0x0204) != 0)
      << "motion state of the master after a broken run: " << hex(state)
      << " (expected the stop or broken-run bit, 0x0004 or 0x0200, and not the normal end 0x0080)";

  // Nothing moves afterwards, nothing more is handed over.
  const auto stood = positions();
  const std::size_t after = recorder_->mark();
  for (int i = 0; i < 50; ++i) step(20 * kNsPerMs);
  EXPECT_EQ(positions(), stood) << "an axis moved after the stop";
  EXPECT_EQ(analyse(recorder_->writes(), after).paths.size(), 0u) << "a segment was handed over after the stop";
  EXPECT_EQ(driving(), 0u);
}

INSTANTIATE_TEST_SUITE_P(SegmentTable, SegmentTableStopTest, ::testing::ValuesIn(kStopCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ============================================ a table run beside another move

struct BesideCase {
  const char* name;
  std::uint16_t assignment;
  int other;             // the axis with its own move
  bool other_drive_end;  // its drive-end factor on, so its end interrupts mid-run
};
std::ostream& operator<<(std::ostream& os, const BesideCase& c) { return os << c.name; }

const BesideCase kBesideCases[] = {
    {"ZMovesBesideAnXYRun", 0x04, 2, false},
    {"ZEndInterruptsAnXYRun", 0x04, 2, true},
    {"XEndInterruptsAYZRun", 0x09, 0, true},
    {"UEndInterruptsAnXYZRun", 0x24, 3, true},
    {"XMovesBesideAUXRunOfMasterU", 0x03, 1, true},
};

using SegmentTableBesideTest = SegmentTableCaseTest<BesideCase>;

// Another axis's drive end is no end of the table run: only the master's is,
// and an interrupt that is no next-segment request hands nothing over.
TEST_P(SegmentTableBesideTest, AnotherAxisMoveNeitherEndsNorSkipsTheTable) {
  const BesideCase& c = GetParam();
  const Axes ax = axes_of(c.assignment);
  std::vector<Seg> table;
  for (int k = 0; k < 8; ++k) {
    if (ax.third >= 0)
      table.push_back(line3(1500, k % 2 ? 600 : -300, 200 * k - 500, 100, 2));
    else
      table.push_back(line2(1500, k % 2 ? 600 : -300, 100));
  }
  const std::uint32_t threshold = 250;
  ASSERT_EQ(hex(enable_drive_end(ax.master)), hex(kOk));
  if (c.other_drive_end) {
    ASSERT_EQ(hex(enable_drive_end(c.other)), hex(kOk));
  }
  ASSERT_EQ(hex(config(c.assignment, threshold)), hex(kOk));
  for (const Seg& s : table) ASSERT_EQ(hex(load(s)), hex(kOk));
  const std::size_t mark = recorder_->mark();
  const Seg first{2, 1500, 0, 300, 0, 0, 0, 0};
  ASSERT_EQ(hex(start(ax, first)), hex(kOk));
  step(20 * kNsPerMs);
  // Its own T-move: 3000 pulses plus, ending while the run goes on.
  ASSERT_EQ(hex(send(REQ_T_MOVE, {bit(c.other), kStartSpeed, 10, kAcc, kAcc, 0, 3000, 1, 0})), hex(kOk));
  ASSERT_TRUE(run_until_stopped(ax.mask(), 30 * card::kNsPerSecond)) << "the run did not end";

  const card::SimTime other_end = card_->chip().last_drive_end(c.other);
  const card::SimTime run_end = card_->chip().last_drive_end(ax.master);
  EXPECT_LT(other_end, run_end) << "the other axis's move did not end during the run";
  EXPECT_EQ(position(c.other), 3000) << "the other axis's own move";

  const RunRecord r = analyse(recorder_->writes(), mark);
  expect_handovers(r, ax, table);
  expect_feeder_dec_on(r, expected_dec_on(threshold, 0, table));
  expect_run_ended(r, ax);
  const auto want = end_points(ax, first, table, table.size());
  for (int a : {ax.master, ax.second, ax.third}) {
    if (a >= 0) {
      EXPECT_EQ(position(a), want.at(a)) << "position of axis " << a;
    }
  }
  EXPECT_EQ(running_segment(), 0u);
}

INSTANTIATE_TEST_SUITE_P(SegmentTable, SegmentTableBesideTest, ::testing::ValuesIn(kBesideCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ============================================== a second run after the first

struct SecondRunCase {
  const char* name;
  bool first_drive_end;        // the first run ends by the master's drive end, else by END
  std::uint16_t assignment;    // of the second run
  bool with_begin;             // the second run opened with BEGIN, else CONFIG
  std::uint32_t threshold;     // CONFIG's threshold of the second run
};
std::ostream& operator<<(std::ostream& os, const SecondRunCase& c) { return os << c.name; }

const SecondRunCase kSecondRunCases[] = {
    {"ConfigOnTheSameAxesAfterTheDriveEnd", true, 0x04, false, 400},
    {"ConfigOnOtherAxesAfterTheDriveEnd", true, 0x0E, false, 150},
    {"ConfigOnThreeAxesAfterEnd", false, 0x24, false, 0},
    {"BeginOnTheSameAxesAfterEnd", false, 0x04, true, 0},
    {"BeginOnTheSameAxesAfterTheDriveEnd", true, 0x04, true, 0},
};

using SegmentTableSecondRunTest = SegmentTableCaseTest<SecondRunCase>;

TEST_P(SegmentTableSecondRunTest, RunsItsOwnTableFromTheStart) {
  const SecondRunCase& c = GetParam();
  const Axes ax1 = axes_of(0x04);
  const std::vector<Seg> table1{line2(1000, 500, 400), line2(800, -300, 300), line2(600, 600, 200),
                                line2(500, 0, 100)};
  if (c.first_drive_end) {
    ASSERT_EQ(hex(enable_drive_end(ax1.master)), hex(kOk));
  }
  ASSERT_EQ(hex(config(0x04, 300)), hex(kOk));
  for (const Seg& s : table1) ASSERT_EQ(hex(load(s)), hex(kOk));
  const Seg first1 = line2(900, 100, 0);
  ASSERT_EQ(hex(start(ax1, first1)), hex(kOk));
  ASSERT_TRUE(run_until_stopped(ax1.mask(), 30 * card::kNsPerSecond));
  if (!c.first_drive_end) {
    // Nothing asked for the master's drive end: END closes the run (its
    // answer is the subject of WithoutTheMasterDriveEndARequestClosesTheRunThatIsOver).
    file_.request(REQ_CONTI_INTERP_END, {});
  }
  const auto p1 = end_points(ax1, first1, table1, table1.size());
  const auto before = positions();
  EXPECT_EQ(before, p1) << "positions after the first run";

  const Axes ax = axes_of(c.assignment);
  std::vector<Seg> table;
  for (int k = 0; k < 5; ++k) {
    const std::uint32_t len = 100 * static_cast<std::uint32_t>(5 - k);
    if (ax.third >= 0)
      table.push_back(line3(700 + 50 * k, 300 - 200 * k, 400, len, 18));
    else
      table.push_back(line2(700 + 50 * k, 300 - 200 * k, len));
  }
  ASSERT_EQ(hex(c.with_begin ? begin(c.assignment) : config(c.assignment, c.threshold)), hex(kOk));
  ASSERT_EQ(hex(enable_drive_end(ax.master)), hex(kOk));
  EXPECT_EQ(running_segment(), 0u);
  for (const Seg& s : table) ASSERT_EQ(hex(load(s)), hex(kOk));
  const std::size_t mark = recorder_->mark();
  const Seg first{2, 800, -200, 300, 0, 0, 0, 0};
  ASSERT_EQ(hex(start(ax, first)), hex(kOk));
  ASSERT_TRUE(run_until_stopped(ax.mask(), 30 * card::kNsPerSecond));

  const RunRecord r = analyse(recorder_->writes(), mark);
  expect_handovers(r, ax, table);
  // What BEGIN carries over into the feeder's deceleration is the subject
  // of the carry cases; a CONFIG run starts afresh.
  if (!c.with_begin) expect_feeder_dec_on(r, expected_dec_on(c.threshold, 0, table));
  expect_run_ended(r, ax);
  const auto want = end_points(ax, first, table, table.size());
  for (int a = 0; a < 4; ++a) EXPECT_EQ(position(a), before.at(a) + want.at(a)) << "position of axis " << a;
}

INSTANTIATE_TEST_SUITE_P(SegmentTable, SegmentTableSecondRunTest, ::testing::ValuesIn(kSecondRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

// =========================================== REQ_CONTI_INTERP_END mid-run

struct EndCase {
  const char* name;
  std::uint16_t assignment;
};
std::ostream& operator<<(std::ostream& os, const EndCase& c) { return os << c.name; }

const EndCase kEndCases[] = {{"TwoAxes", 0x04}, {"ThreeAxes", 0x24}, {"TwoAxesMasterZ", 0x0E}};

using SegmentTableEndTest = SegmentTableCaseTest<EndCase>;

// The caller gave the whole table at the start: an end while it runs takes
// none of it back, and the path reaches its last point.
TEST_P(SegmentTableEndTest, EndDuringARunLetsTheTableRunToItsEnd) {
  const EndCase& c = GetParam();
  const Axes ax = axes_of(c.assignment);
  std::vector<Seg> table;
  for (int k = 0; k < 8; ++k) {
    if (ax.third >= 0)
      table.push_back(line3(1500, k % 2 ? 600 : -300, 250, 100, 2));
    else
      table.push_back(line2(1500, k % 2 ? 600 : -300, 100));
  }
  ASSERT_EQ(hex(enable_drive_end(ax.master)), hex(kOk));
  ASSERT_EQ(hex(config(c.assignment, 0)), hex(kOk));
  for (const Seg& s : table) ASSERT_EQ(hex(load(s)), hex(kOk));
  const std::size_t mark = recorder_->mark();
  const Seg first{2, 1500, 0, 300, 0, 0, 0, 0};
  ASSERT_EQ(hex(start(ax, first)), hex(kOk));
  ASSERT_TRUE(run_until_handovers(mark, 3, 10 * card::kNsPerSecond));
  step(30 * kNsPerMs);

  const Reply end = file_.request(REQ_CONTI_INTERP_END, {});
  const std::size_t handed = handovers(mark);
  const std::size_t after_end = recorder_->mark();
  EXPECT_EQ(hex(word(end)), hex(kOk));
  EXPECT_EQ(end.block.slot[2], bit(ax.second)) << "second axis";
  EXPECT_EQ(end.block.slot[3], ax.third >= 0 ? bit(ax.third) : 0u) << "third axis";
  EXPECT_EQ(end.block.slot[4], kRangeAtReset) << "saved range of the second axis";
  if (ax.third >= 0) {
    EXPECT_EQ(end.block.slot[5], kRangeAtReset) << "saved range of the third axis";
  }

  ASSERT_TRUE(run_until_stopped(ax.mask(), 30 * card::kNsPerSecond));
  EXPECT_EQ(analyse(recorder_->writes(), after_end).paths.size(), table.size() - handed)
      << "the segments left at the end";
  const auto want = end_points(ax, first, table, table.size());
  const auto stood = positions();
  for (int a = 0; a < 4; ++a) EXPECT_EQ(stood.at(a), want.at(a)) << "position of axis " << a;

  for (int i = 0; i < 50; ++i) step(20 * kNsPerMs);
  EXPECT_EQ(positions(), stood) << "an axis moved after the run";
  EXPECT_EQ(hex(send(REQ_CONTI_INTERP_END, {})), hex(kNoConti)) << "a second END";
  EXPECT_EQ(hex(config(c.assignment, 0)), hex(kOk)) << "a new run after the end";
}

INSTANTIATE_TEST_SUITE_P(SegmentTable, SegmentTableEndTest, ::testing::ValuesIn(kEndCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SegmentTableRulesTest, EndWithoutARunIsRefused) {
  EXPECT_EQ(hex(send(REQ_CONTI_INTERP_END, {})), hex(kNoConti));
  ASSERT_EQ(hex(config(0x04, 0)), hex(kOk));
  EXPECT_EQ(hex(send(REQ_CONTI_INTERP_END, {})), hex(kOk));
  EXPECT_EQ(hex(send(REQ_CONTI_INTERP_END, {})), hex(kNoConti));
}

}  // namespace
