// The move and interpolation handlers end to end: request blocks through the
// card's file to the driver and the simulated chip, whose manual clock the
// tests step; the driver's state is read from its device extension.
#include <atomic>
#include <thread>

#include "driver_harness.h"

// After the card model's headers: the driver's register names are macros.
#include "../rm7x0_driver.h"

namespace driver_test {
namespace {

constexpr std::uint64_t X = 1, Y = 2, Z = 4, U = 8;
constexpr std::uint64_t MINUS = 0, PLUS = 1, LOADED = 0xFC, CHECKED = 0xFD, NO_MOVE = 0xFF;
// Words at the reset range (M = 500): 1,000 and 10,000 PPS, 500,000 PPS/s.
constexpr std::uint64_t SV = 2, DV = 20, ACC = 8;
// Interpolation assignment words: master, second (and third) axis indexes.
constexpr std::uint64_t ASSIGN_XY = 0x04, ASSIGN_ZU = 0x0E, ASSIGN_XYZ = 0x24;
constexpr std::uint64_t CUSTOMIZATION_LINE_ARC = 4;
constexpr std::uint64_t FACTOR_ENABLE_DRIVE_END = 0x8000;

class MoveHandlerTest : public MachineTest {
 protected:
  void SetUp() override {
    boot(machine_text("Clock=manual\n", {"Model=A\n" + card_keys()}));
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  }
  void TearDown() override {
    file_.close();
    MachineTest::TearDown();
  }

  virtual std::string card_keys() const { return ""; }
  CardExtension* extension() { return card_extension(sim::devices().at(0).fdo); }
  card::MotionChip& chip() { return card(0)->chip(); }

  Reply send(std::uint32_t code, std::initializer_list<std::uint64_t> slots) {
    const Reply reply = file_.request(code, slots);
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    return reply;
  }
  std::uint16_t word(std::uint32_t code, std::initializer_list<std::uint64_t> slots) {
    return static_cast<std::uint16_t>(send(code, slots).block.slot[0]);
  }

  std::uint16_t busy_axes() { return chip().read(REG_COMMAND) & MAIN_STATUS_BUSY_MASK; }
  std::int32_t counter(int axis) {
    chip().write(REG_COMMAND, static_cast<std::uint16_t>((1u << axis) << 8 | CHIP_READ_CMD_COUNTER));
    const std::uint32_t low = chip().read(REG_DATA_LOW);
    return static_cast<std::int32_t>(low | std::uint32_t{chip().read(REG_DATA_HIGH)} << 16);
  }
  std::uint16_t speed_word(int axis) {
    chip().write(REG_COMMAND, static_cast<std::uint16_t>((1u << axis) << 8 | CHIP_READ_SPEED));
    return chip().read(REG_DATA_LOW);
  }
  void advance_ms(std::uint64_t ms) {
    dynamic_cast<card::ManualClock&>(sim::machine()->clock()).advance(ms * card::kNsPerMs);
    sim::wait_idle();
  }
  // Steps the clock until no axis drives (and the DPC has run).
  void run_until_idle() {
    for (int ms = 0; ms < 60000 && busy_axes() != 0; ++ms) advance_ms(1);
    advance_ms(1);
    EXPECT_EQ(busy_axes(), 0);
  }

  // A T-curve move of 1,000 pulses on the axis with the given direction slots.
  std::uint16_t t_move(std::uint64_t axis, std::uint64_t direction, std::uint64_t checked = 0) {
    return word(REQ_T_MOVE, {axis, SV, DV, ACC, ACC, 0, 1000, direction, 0, checked});
  }

  CardFile file_;
};

TEST_F(MoveHandlerTest, AMoveForASynchronousActionIsLoadedAndNotStarted) {
  EXPECT_EQ(t_move(X, LOADED), DRV_SUCCESS);
  advance_ms(10);
  EXPECT_EQ(busy_axes(), 0);
  EXPECT_EQ(counter(0), 0);
}

// Y stands on its plus limit.
class MoveCheckTest : public MoveHandlerTest {
 protected:
  std::string card_keys() const override { return "Y.LimitPlus=0\n"; }
};

TEST_F(MoveCheckTest, ACheckedMoveTakesItsDirectionFromSlotTenAndSkipsTheLimitCheck) {
  // A plus move of Y's own is refused ...
  const Reply refused = send(REQ_T_MOVE, {Y, SV, DV, ACC, ACC, 0, 1000, PLUS, 0});
  EXPECT_EQ(refused.block.slot[0] & 0xFFFF, DRV_MOVE_CHECK_FAILED);
  EXPECT_EQ(refused.block.slot[1], Y);
  // ... while one sent after REQ_CHECK_AXES_MOVE is not checked again.
  EXPECT_EQ(t_move(X, CHECKED, PLUS), DRV_SUCCESS);
  EXPECT_EQ(t_move(Y, MINUS), DRV_SUCCESS) << "away from the limit";
  run_until_idle();
  EXPECT_EQ(counter(0), 1000);
  EXPECT_EQ(counter(1), -1000);
}

TEST_F(MoveHandlerTest, AConstantMoveStartsAtItsDriveSpeed) {
  EXPECT_EQ(word(REQ_CONST_MOVE, {Z, DV, MODE_CONSTANT_SPEED, 5000, PLUS}), DRV_SUCCESS);
  advance_ms(1);
  EXPECT_EQ(speed_word(2), DV);
  run_until_idle();
  EXPECT_EQ(counter(2), 5000);
}

TEST_F(MoveCheckTest, CheckAxesMoveRefusesInTheOrderOfItsChecks) {
  EXPECT_EQ(word(REQ_CHECK_AXES_MOVE, {X | Y, PLUS, MINUS, NO_MOVE, NO_MOVE}), DRV_SUCCESS);
  const Reply limit = send(REQ_CHECK_AXES_MOVE, {X | Y, PLUS, PLUS, NO_MOVE, NO_MOVE});
  EXPECT_EQ(limit.block.slot[0] & 0xFFFF, DRV_MOVE_CHECK_FAILED);
  EXPECT_EQ(limit.block.slot[1], Y);
  EXPECT_EQ(word(REQ_CHECK_AXES_MOVE, {Y, NO_MOVE, NO_MOVE, NO_MOVE, NO_MOVE}), DRV_SUCCESS)
      << "an axis that does not move ignores its limits";

  EXPECT_EQ(word(REQ_VELOCITY_MOVE, {Z, SV, DV, ACC, PLUS}), DRV_SUCCESS);
  EXPECT_EQ(word(REQ_CHECK_AXES_MOVE, {X | Z, PLUS, PLUS, PLUS, PLUS}), DRV_AXIS_BUSY);
  EXPECT_EQ(word(REQ_STOP_MOVE, {Z, CHIP_SUDDEN_STOP}), DRV_SUCCESS);
  advance_ms(1);

  extension()->axis[3].shadow[SHADOW_MODE3] |= 0x08;  // U under the hand wheel
  EXPECT_EQ(word(REQ_CHECK_AXES_MOVE, {U, PLUS, PLUS, PLUS, PLUS}), DRV_AXIS_NOT_READY);
  EXPECT_EQ(t_move(U, CHECKED, PLUS), DRV_SUCCESS) << "a checked move skips the mode check";
}

TEST_F(MoveHandlerTest, AvoidTriangleChangesOnlyItsBit) {
  const USHORT before = extension()->axis[0].shadow[SHADOW_EXT_WORD1];
  EXPECT_EQ(word(REQ_T_SET_AVTRI, {X, 0xFFFF}), DRV_SUCCESS);
  EXPECT_EQ(extension()->axis[0].shadow[SHADOW_EXT_WORD1], before | 0x08);
  EXPECT_EQ(word(REQ_T_SET_AVTRI, {X, 0}), DRV_SUCCESS);
  EXPECT_EQ(extension()->axis[0].shadow[SHADOW_EXT_WORD1], before & ~0x08);
}

TEST_F(MoveHandlerTest, ATargetChangeMovesTheEndOfARunningMove) {
  EXPECT_EQ(word(REQ_CONST_MOVE, {X, DV, MODE_CONSTANT_SPEED, 100000, PLUS}), DRV_SUCCESS);
  advance_ms(10);
  EXPECT_EQ(word(REQ_CHANGE_P, {X, 3000}), DRV_SUCCESS);
  run_until_idle();
  EXPECT_EQ(counter(0), 3000);
  InterlockedExchange(&extension()->interp.state, INTERP_SINGLE);
  EXPECT_EQ(word(REQ_CHANGE_P, {X, 3000}), DRV_TARGET_CHANGE_INTERP);
}

// Line: assignment, SV, DV, acceleration, deceleration, mode, finish points, offset, wait flag.
TEST_F(MoveHandlerTest, ALineRunsItsAxesToTheirFinishPointsAndEndsTheInterpolation) {
  EXPECT_EQ(word(REQ_T_LINE2_MOVE, {ASSIGN_XY, SV, DV, ACC, ACC, 0, 3000, static_cast<std::uint64_t>(-4000) & 0xFFFFFFFF, 0, 0}),
            DRV_SUCCESS);
  EXPECT_EQ(extension()->interp.state, INTERP_SINGLE);
  EXPECT_EQ(word(REQ_T_LINE2_MOVE, {ASSIGN_XY, SV, DV, ACC, ACC, 0, 10, 10, 0, 1}),
            DRV_INTERP_BUSY)
      << "a waited line while another runs";
  run_until_idle();
  EXPECT_EQ(counter(0), 3000);
  EXPECT_EQ(counter(1), -4000);
  EXPECT_EQ(extension()->interp.state, INTERP_IDLE) << "ended at the master's drive end";
}

TEST_F(MoveHandlerTest, AnSCurveLineRunsToItsFinishPoints) {
  // Jerk word 100, mode 4 (the chip's S-curve), offset 0, wait flag 0.
  EXPECT_EQ(word(REQ_S_LINE3_MOVE, {ASSIGN_XYZ, SV, DV, 100, 100, MODE_S_CURVE, 2000, 1000,
                                    static_cast<std::uint64_t>(-500) & 0xFFFFFFFF, 0, 0}),
            DRV_SUCCESS);
  EXPECT_EQ(extension()->axis[0].shadow[SHADOW_MODE3] & 7, MODE_S_CURVE);
  run_until_idle();
  EXPECT_EQ(counter(0), 2000);
  EXPECT_EQ(counter(1), 1000);
  EXPECT_EQ(counter(2), -500);
}

// The chip runs one interpolation at a time: a line of idle axes waits until
// the running one has ended, and then runs to its own finish points.
TEST_F(MoveHandlerTest, ALineOfIdleAxesIsRefusedUntilTheRunningLineEnds) {
  EXPECT_EQ(word(REQ_T_LINE2_MOVE, {ASSIGN_XY, SV, DV, ACC, ACC, 0, 6000, 6000, 0, 0}),
            DRV_SUCCESS);
  advance_ms(5);
  EXPECT_EQ(word(REQ_T_LINE3_MOVE, {ASSIGN_XYZ, SV, DV, ACC, ACC, 0, 10, 10, 10, 0, 0}),
            DRV_INTERP_BUSY)
      << "its axes still drive";
  EXPECT_EQ(word(REQ_T_LINE2_MOVE, {ASSIGN_ZU, SV, DV, ACC, ACC, 0, 2000, 1000, 0, 0}),
            DRV_INTERP_BUSY)
      << "the line of X and Y still drives";
  EXPECT_EQ(extension()->interp.state, INTERP_SINGLE);
  run_until_idle();
  EXPECT_EQ(counter(0), 6000);
  EXPECT_EQ(word(REQ_T_LINE2_MOVE, {ASSIGN_ZU, SV, DV, ACC, ACC, 0, 2000, 1000, 0, 0}),
            DRV_SUCCESS);
  run_until_idle();
  EXPECT_EQ(counter(2), 2000);
  EXPECT_EQ(counter(3), 1000);
}

// Another axis's drive end says nothing of a running line: the line keeps
// its state and its stretched partner range until its own end.
TEST_F(MoveHandlerTest, ALineOutlivesTheDriveEndOfAnotherAxis) {
  EXPECT_EQ(word(REQ_SET_CUSTOMIZATION, {CUSTOMIZATION_LINE_ARC, 1}), DRV_SUCCESS);
  EXPECT_EQ(word(REQ_T_LINE2_MOVE, {ASSIGN_XY, SV, DV, ACC, ACC, 0, 6000, 3000, 0, 0}),
            DRV_SUCCESS);
  const ULONG stretched = extension()->axis[1].range;
  EXPECT_NE(stretched, DEFAULT_RANGE);
  EXPECT_EQ(t_move(U, PLUS), DRV_SUCCESS);
  advance_ms(5);
  EXPECT_EQ(word(REQ_STOP_MOVE_ALL, {U, 0x26}), DRV_SUCCESS);  // waits for U's drive end
  advance_ms(50);
  EXPECT_EQ(busy_axes() & (X | U), X) << "U stopped, the line runs on";
  EXPECT_EQ(extension()->interp.state, INTERP_SINGLE);
  EXPECT_EQ(extension()->axis[1].range, stretched);
  EXPECT_EQ(word(REQ_T_LINE2_MOVE, {ASSIGN_ZU, SV, DV, ACC, ACC, 0, 20, 10, 0, 0}),
            DRV_INTERP_BUSY);
  run_until_idle();
  EXPECT_EQ(counter(0), 6000);
  EXPECT_EQ(counter(1), 3000);
  EXPECT_EQ(extension()->interp.state, INTERP_IDLE);
  EXPECT_EQ(extension()->axis[1].range, DEFAULT_RANGE);
}

TEST_F(MoveHandlerTest, AConstantVectorSpeedStretchesThePartnersRangesForTheLineOnly) {
  EXPECT_EQ(word(REQ_SET_CUSTOMIZATION, {CUSTOMIZATION_LINE_ARC, 1}), DRV_SUCCESS);
  EXPECT_EQ(word(REQ_SET_RANGE, {X, 4000000}), DRV_SUCCESS);
  EXPECT_EQ(word(REQ_T_LINE3_MOVE, {ASSIGN_XYZ, 1000, 5000, ACC, ACC, 0, 300, 400, 500, 0, 0}),
            DRV_SUCCESS);
  EXPECT_EQ(extension()->axis[1].range, 5656000u);
  EXPECT_EQ(extension()->axis[2].range, 6928000u);
  run_until_idle();
  EXPECT_EQ(counter(2), 500);
  EXPECT_EQ(extension()->axis[1].range, DEFAULT_RANGE) << "given back at the end";
  EXPECT_EQ(extension()->axis[2].range, DEFAULT_RANGE);

  // A master range whose stretch passes the chip's highest range takes the highest.
  EXPECT_EQ(word(REQ_SET_RANGE, {X, 8000000}), DRV_SUCCESS);
  EXPECT_EQ(word(REQ_T_LINE3_MOVE, {ASSIGN_XYZ, SV, DV, ACC, ACC, 0, 30, 40, 50, 0, 0}),
            DRV_SUCCESS);
  EXPECT_EQ(extension()->axis[1].range, 8000000u);
  EXPECT_EQ(extension()->axis[2].range, 8000000u);
}

TEST_F(MoveHandlerTest, AnArcRunsFromItsCentreToItsFinishPoint) {
  // Clockwise quarter circle of radius 1,000 around (0, -1,000) from (0, 0) to (1,000, -1,000).
  EXPECT_EQ(word(REQ_T_ARC2_MOVE, {ASSIGN_XY, SV, DV, ACC, CHIP_ARC_CW, 0, 0,
                                   static_cast<std::uint64_t>(-1000) & 0xFFFFFFFF, 1000,
                                   static_cast<std::uint64_t>(-1000) & 0xFFFFFFFF, 0, 0}),
            DRV_SUCCESS);
  run_until_idle();
  EXPECT_EQ(counter(0), 1000);
  EXPECT_EQ(counter(1), -1000);
}

// Continuous interpolation fed from the segment table by the DPC.
class SegmentTableTest : public MoveHandlerTest {
 protected:
  // The master's drive end, which ends the run, is enabled before the run.
  void begin_xy() {
    EXPECT_EQ(word(REQ_SET_INT_FACTOR, {X, FACTOR_ENABLE_DRIVE_END}), DRV_SUCCESS);
    EXPECT_EQ(word(REQ_CONTI_INTERP_CONFIG, {ASSIGN_XY, SV, DV, ACC, ACC, 0, 0}), DRV_SUCCESS);
  }
  std::uint16_t load(std::int32_t x, std::int32_t y, std::uint32_t length = 0) {
    return word(REQ_CONTI_LOAD_SEGMENT,
                {0, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 0, 0, 0, 0, length});
  }
  std::uint16_t first_segment(std::int32_t x, std::int32_t y) {
    return word(REQ_CONTI_LINE2_MOVE, {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 0});
  }
};

TEST_F(SegmentTableTest, TheDpcHandsOverEverySegmentAndEndsTheRun) {
  begin_xy();
  EXPECT_EQ(load(1000, 0), DRV_SUCCESS);
  EXPECT_EQ(load(1000, 1000), DRV_SUCCESS);
  EXPECT_EQ(load(-500, 2000), DRV_SUCCESS);
  EXPECT_EQ(first_segment(2000, 0), DRV_SUCCESS);
  run_until_idle();
  EXPECT_EQ(counter(0), 3500);
  EXPECT_EQ(counter(1), 3000);
  EXPECT_EQ(extension()->interp.state, INTERP_IDLE);
  EXPECT_EQ(extension()->interp.table.segment_count, 0);
  EXPECT_EQ(extension()->interp.shadow & (INTERP_MODE_CONTINUOUS | 0x033F), 0);
}

TEST_F(SegmentTableTest, ATableOfOneSegmentIsFedOnceAndThenSwitchedOff) {
  begin_xy();
  EXPECT_EQ(load(700, 300), DRV_SUCCESS);
  EXPECT_EQ(first_segment(2000, 0), DRV_SUCCESS);
  advance_ms(5);  // the chip took the first segment and offers its slot
  EXPECT_EQ(send(REQ_CONTI_INTERP_RUNNING_SEGMENT, {}).block.slot[1], 1u);
  EXPECT_NE(extension()->interp.shadow & INTERP_MODE_CONTINUOUS, 0);
  advance_ms(250);  // the stored segment began: its slot is free again
  EXPECT_NE(busy_axes(), 0);
  EXPECT_EQ(extension()->interp.shadow & INTERP_MODE_CONTINUOUS, 0) << "no segment left to feed";
  run_until_idle();
  EXPECT_EQ(counter(0), 2700);
  EXPECT_EQ(counter(1), 300);
}

TEST_F(SegmentTableTest, ARunningTableIsNeitherEmptiedNorRestartedByABegin) {
  begin_xy();
  EXPECT_EQ(load(1000, 0), DRV_SUCCESS);
  EXPECT_EQ(first_segment(2000, 0), DRV_SUCCESS);
  EXPECT_EQ(word(REQ_CONTI_INTERP_BEGIN, {ASSIGN_XY, DV}), DRV_INTERP_BUSY);
  EXPECT_EQ(word(REQ_CONTI_INTERP_CONFIG, {ASSIGN_XY, SV, DV, ACC, ACC, 0, 0}), DRV_INTERP_BUSY);
  EXPECT_EQ(extension()->interp.table.segment_count, 1);
  run_until_idle();
  EXPECT_EQ(counter(0), 3000);
}

TEST_F(SegmentTableTest, AFullTableRefusesTheNextSegment) {
  begin_xy();
  for (int segment = 0; segment < SEGMENT_TABLE_SIZE; ++segment)
    ASSERT_EQ(load(1, 1), DRV_SUCCESS) << "segment " << segment;
  EXPECT_EQ(load(1, 1), DRV_CONTI_INCORRECT_CONFIG);
  EXPECT_EQ(extension()->interp.table.segment_count, SEGMENT_TABLE_SIZE);
}

// The DPC hands segments over while the handlers store more: the table's
// count, next index and remaining length change on both sides, each side
// under the conti lock (the thread sanitizer reports an access outside it),
// and no segment is lost: the run ends on the sum of all of them. The clock
// runs on another thread, and only while the stored segments are ahead of
// the path and with the DPC served after each step, so the table never runs
// dry before the last load (a segment lasts two steps at full speed).
TEST_F(SegmentTableTest, LoadsWhileTheInterruptFeedsTheTableKeepToOneLock) {
  constexpr int kLoads = 600, kLead = 20;
  EXPECT_EQ(word(REQ_SET_INT_FACTOR, {X, FACTOR_ENABLE_DRIVE_END}), DRV_SUCCESS);
  // A threshold of 1: the deceleration tracking counts down the whole run.
  EXPECT_EQ(word(REQ_CONTI_INTERP_CONFIG, {ASSIGN_XY, SV, DV, ACC, ACC, 0, 1}), DRV_SUCCESS);
  EXPECT_EQ(load(20, 0, 20), DRV_SUCCESS);
  EXPECT_EQ(first_segment(200, 0), DRV_SUCCESS);
  std::atomic<int> loaded{1};
  std::atomic<bool> stop{false};
  std::thread clock([&] {
    card::ManualClock& manual = dynamic_cast<card::ManualClock&>(sim::machine()->clock());
    for (int ms = 0; !stop;) {
      if (ms + kLead < loaded) {
        manual.advance(card::kNsPerMs);
        sim::wait_idle();
        ++ms;
      }
      std::this_thread::yield();
    }
  });
  for (int segment = 1; segment < kLoads; ++segment) {
    ASSERT_EQ(load(20, 0, 20), DRV_SUCCESS);
    send(REQ_CONTI_INTERP_RUNNING_SEGMENT, {});
    ++loaded;
  }
  stop = true;
  clock.join();
  run_until_idle();
  EXPECT_EQ(counter(0), 200 + 20 * kLoads);
  EXPECT_EQ(extension()->interp.table.segment_count, 0) << "the drive end closed the run";
}

TEST_F(SegmentTableTest, SegmentRequestsNeedARunOfTheirShape) {
  EXPECT_EQ(first_segment(10, 10), DRV_CONTI_CONFIG_NEEDED);
  EXPECT_EQ(word(REQ_CONTI_INTERP_END, {}), DRV_CONTI_CONFIG_NEEDED);
  // With no factor armed no interrupt feeds (or closes) the run: the chip's
  // offer of its segment slot stays for the request to read.
  EXPECT_EQ(word(REQ_CONTI_INTERP_CONFIG, {ASSIGN_XY, SV, DV, ACC, ACC, 0, 0}), DRV_SUCCESS);
  EXPECT_EQ(word(REQ_CONTI_LINE3_MOVE, {10, 10, 10, 0}), DRV_CONTI_INCORRECT_CONFIG);
  EXPECT_EQ(word(REQ_CONTI_INTERP_NEXT_READY, {}), DRV_CONTI_INTERRUPTED) << "master idle";
  EXPECT_EQ(first_segment(100000, 0), DRV_SUCCESS);
  const Reply ready = send(REQ_CONTI_INTERP_NEXT_READY, {});
  EXPECT_EQ(ready.block.slot[0] & 0xFFFF, DRV_SUCCESS);
  EXPECT_EQ(ready.block.slot[2], 1u);
  const Reply end = send(REQ_CONTI_INTERP_END, {});
  EXPECT_EQ(end.block.slot[0] & 0xFFFF, DRV_SUCCESS);
  EXPECT_EQ(end.block.slot[2], Y);
  EXPECT_EQ(end.block.slot[4], DEFAULT_RANGE);
  EXPECT_EQ(extension()->interp.state, INTERP_CLOSING) << "closed while its path runs out";
  EXPECT_EQ(word(REQ_STOP_MOVE, {X, CHIP_SUDDEN_STOP}), DRV_SUCCESS);
}

}  // namespace
}  // namespace driver_test
