// A following continuous segment whose command reaches the chip just after
// the path ran out: the card's clock is stepped inside the driver's hand-over,
// between its status check and the segment command, as a busy host would
// stretch it. The chain broke there: the answer must say so, and nothing may
// restart on the segment.
#include <memory>

#include "card/card.h"
#include "card/clock.h"
#include "driver_harness.h"
#include "watched_card.h"
// After the card model's headers: the driver's register names are macros.
#include "../rm7x0_driver.h"

namespace driver_test {
namespace {

constexpr std::uint64_t ASSIGN_XY = 0x04, ASSIGN_XYZ = 0x24;
constexpr std::uint64_t DV = 20;  // 10,000 PPS at the reset range
constexpr std::uint64_t FOLLOWING = 1;
constexpr std::uint64_t FACTOR_ENABLE_DRIVE_END = 0x8000;
constexpr card::SimTime kMs = card::kNsPerMs;

bool segment_command(std::uint16_t word) {
  switch (word & 0xFF) {
    case CHIP_LINE2:
    case CHIP_LINE3:
    case CHIP_ARC_CW:
    case CHIP_ARC_CCW: return true;
    default: return false;
  }
}

// A model-A card that steps its clock by `late` just before the chip takes
// the segment command numbered `late_command` (from 1).
class LateSegmentCard final : public WatchedCard {
 public:
  LateSegmentCard(card::ManualClock& clock, card::Card& card) : WatchedCard(card), clock_(clock) {}
  void make_late(int command, card::SimTime late) {
    late_command_ = command;
    late_ = late;
  }
  card::MotionChip& chip() { return card().chip(); }

 private:
  void before_write(std::uint64_t address, unsigned, std::uint32_t value) override {
    if (address == card().bar(CARD_BAR).base + REG_COMMAND && segment_command(value) &&
        ++segment_commands_ == late_command_)
      clock_.advance(late_);
  }

  card::ManualClock& clock_;
  int segment_commands_ = 0, late_command_ = 0;
  card::SimTime late_ = 0;
};

class ContiHandover : public ::testing::Test {
 protected:
  void SetUp() override { boot(); }
  void TearDown() override { shut_down(); }
  void boot() {
    board_ = std::make_unique<card::Card>(card::CardDescription{}, clock_);
    card_ = std::make_unique<LateSegmentCard>(clock_, *board_);
    sim::Parts parts;
    parts.functions = {card_.get()};
    parts.clock = &clock_;
    parts.advance = [this](card::SimTime t) { clock_.advance(t); };
    ASSERT_EQ(sim::boot(parts), STATUS_SUCCESS);
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  }
  void shut_down() {
    file_.close();
    sim::shutdown();
    card_.reset();
    board_.reset();
  }

  std::uint16_t word(std::uint32_t code, std::initializer_list<std::uint64_t> slots) {
    const Reply reply = file_.request(code, slots);
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    return static_cast<std::uint16_t>(reply.block.slot[0]);
  }
  void advance(card::SimTime t) {
    clock_.advance(t);
    sim::wait_idle();
  }
  std::uint16_t busy_axes() { return card_->chip().read(REG_COMMAND) & MAIN_STATUS_BUSY_MASK; }
  std::int32_t counter(int axis) {
    card_->chip().write(REG_COMMAND, static_cast<std::uint16_t>((1u << axis) << 8 | CHIP_READ_CMD_COUNTER));
    const std::uint32_t low = card_->chip().read(REG_DATA_LOW);
    return static_cast<std::int32_t>(low | std::uint32_t{card_->chip().read(REG_DATA_HIGH)} << 16);
  }
  std::uint16_t motion_state(std::uint64_t axis_mask) {
    const Reply reply = file_.request(REQ_MOTION_DONE, {axis_mask});
    EXPECT_EQ(reply.block.slot[1], 1u) << "the axis stands";
    return static_cast<std::uint16_t>(reply.block.slot[2]);
  }

  card::ManualClock clock_;
  std::unique_ptr<card::Card> board_;
  std::unique_ptr<LateSegmentCard> card_;
  CardFile file_;
};

std::uint64_t u32(std::int32_t value) { return static_cast<std::uint32_t>(value); }

// Application-fed: the first segment of 1,000 pulses on X (100 ms) runs
// halfway; the next one's command arrives 100 ms late.
TEST_F(ContiHandover, ASegmentTooLateForTheChainIsRefusedAndNeverRuns) {
  struct Row {
    const char* name;
    std::uint64_t assignment;
    std::uint32_t first_code, following_code;
    std::initializer_list<std::uint64_t> first, following;
  };
  const Row rows[] = {
      {"two-axis lines", ASSIGN_XY, REQ_CONTI_LINE2_MOVE, REQ_CONTI_LINE2_MOVE, {1000, 0, 0},
       {300, 400, FOLLOWING}},
      {"three-axis lines", ASSIGN_XYZ, REQ_CONTI_LINE3_MOVE, REQ_CONTI_LINE3_MOVE, {1000, 0, 0, 0},
       {300, 400, 500, FOLLOWING}},
      {"an arc after a line", ASSIGN_XY, REQ_CONTI_LINE2_MOVE, REQ_CONTI_ARC2_MOVE, {1000, 0, 0},
       {CHIP_ARC_CW, 0, u32(-500), 500, u32(-500), FOLLOWING}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    shut_down();
    boot();
    ASSERT_EQ(word(REQ_CONTI_INTERP_BEGIN, {row.assignment, DV}), DRV_SUCCESS);
    ASSERT_EQ(word(row.first_code, row.first), DRV_SUCCESS);
    advance(50 * kMs);
    card_->make_late(2, 100 * kMs);
    EXPECT_EQ(word(row.following_code, row.following), DRV_CONTI_INTERRUPTED_2);
    sim::wait_idle();
    EXPECT_EQ(busy_axes(), 0) << "nothing restarted on the late segment";
    advance(500 * kMs);
    EXPECT_EQ(counter(0), 1000);
    EXPECT_EQ(counter(1), 0);
    EXPECT_EQ(counter(2), 0);
    EXPECT_EQ(word(REQ_CONTI_INTERP_END, {}), DRV_SUCCESS);
    // The axes take the next move as usual: the hold was released.
    EXPECT_EQ(word(REQ_CONTI_INTERP_BEGIN, {row.assignment, DV}), DRV_SUCCESS);
    EXPECT_EQ(word(row.first_code, row.first), DRV_SUCCESS);
    advance(200 * kMs);
    EXPECT_EQ(counter(0), 2000);
  }
}

// Table-fed: the table's second segment goes to the chip right after the
// first one started; its command arrives after the first one ended.
TEST_F(ContiHandover, ATableSegmentTooLateEndsTheRunAsBroken) {
  ASSERT_EQ(word(REQ_SET_INT_FACTOR, {1, FACTOR_ENABLE_DRIVE_END}), DRV_SUCCESS);
  ASSERT_EQ(word(REQ_CONTI_INTERP_CONFIG, {ASSIGN_XY, DV, DV, 8, 8, 0, 0}), DRV_SUCCESS);
  ASSERT_EQ(word(REQ_CONTI_LOAD_SEGMENT, {0, 300, 400, 0, 0, 0, 0, 500}), DRV_SUCCESS);
  card_->make_late(2, 200 * kMs);
  ASSERT_EQ(word(REQ_CONTI_LINE2_MOVE, {1000, 0, 0}), DRV_SUCCESS);
  advance(500 * kMs);
  EXPECT_EQ(busy_axes(), 0);
  EXPECT_EQ(counter(0), 1000);
  EXPECT_EQ(counter(1), 0);
  EXPECT_EQ(motion_state(1) & STATE_CONTI_BROKEN, STATE_CONTI_BROKEN);
  EXPECT_EQ(file_.request(REQ_CONTI_INTERP_RUNNING_SEGMENT, {}).block.slot[1], 0u);
}

}  // namespace
}  // namespace driver_test
