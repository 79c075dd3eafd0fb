// The compare-trigger, synchronous-action and compare-mask handlers through
// the card's file: the table upload and its checks, arming and disarming
// with the axis owners, and the register words the driver keeps (read from
// its device extension). Triggers firing on a moving axis are tested end to
// end from the library.
#include <cstring>

#include "driver_harness.h"

// After the card model's headers: the driver's register names are macros.
#include "../rm7x0_driver.h"

namespace driver_test {
namespace {

constexpr std::uint64_t X = 1, Y = 2, Z = 4;
constexpr std::uint64_t ARM = 0x4000, INTERVAL = 16, TABLE = 0, OUTPUT_WORD = 0x0800;

class CompareSyncTest : public OpenCardTest {
 protected:
  void SetUp() override { boot_and_open(machine_text("", {card_a()}), RM720_INTERFACE_GUID); }

  CardExtension* extension() { return card_extension(sim::devices().at(0).fdo); }
  DriverAxisState& axis(int index) { return extension()->axis[index]; }
  CompareTrigger& trigger() { return extension()->compare; }

  std::uint16_t send(std::uint32_t code, std::initializer_list<std::uint64_t> slots) {
    const Reply reply = file_.request(code, slots);
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    return static_cast<std::uint16_t>(reply.block.slot[0]);
  }

  // Places entries in the shared buffer; answers their byte sum.
  std::uint32_t place_table(std::initializer_list<std::int32_t> entries) {
    std::memcpy(extension()->buffer.kernel_address, entries.begin(), entries.size() * 4);
    std::uint32_t sum = 0;
    const auto* bytes = static_cast<const std::uint8_t*>(extension()->buffer.kernel_address);
    for (std::size_t i = 0; i < entries.size() * 4; ++i) sum += bytes[i];
    return sum;
  }
  std::uint16_t arm_table(std::uint64_t axis_mask) {
    return send(REQ_CMPTRIG_CONFIG, {axis_mask, ARM, 0, TABLE, 0, OUTPUT_WORD, 1});
  }
  std::uint32_t command_counter(int index) {
    card::MotionChip& chip = card(0)->chip();
    chip.write(REG_COMMAND, static_cast<std::uint16_t>((1u << index) << 8 | CHIP_READ_CMD_COUNTER));
    const std::uint32_t low = chip.read(REG_DATA_LOW);
    return low | static_cast<std::uint32_t>(chip.read(REG_DATA_HIGH)) << 16;
  }
};

TEST_F(CompareSyncTest, AnUploadIsTakenOnlyWithItsByteSumAndWithinTheBuffer) {
  const std::uint32_t sum = place_table({10, 20, 30, 40});
  EXPECT_EQ(send(REQ_UPLOAD_COMPARE_TABLE, {X, sum + 1, 16}), DRV_TABLE_CHECKSUM);
  EXPECT_EQ(trigger().compare_mode, COMPARE_TABLE_NONE);
  EXPECT_EQ(trigger().compare_count, 0);
  EXPECT_EQ(send(REQ_UPLOAD_COMPARE_TABLE, {X, sum, extension()->buffer.length + 4}),
            DRV_TABLE_CHECKSUM);
  EXPECT_EQ(trigger().compare_mode, COMPARE_TABLE_NONE);

  EXPECT_EQ(send(REQ_UPLOAD_COMPARE_TABLE, {X, sum, 16}), DRV_SUCCESS);
  EXPECT_EQ(trigger().compare_mode, COMPARE_TABLE_TAKEN);
  EXPECT_EQ(trigger().compare_count, 4);
  EXPECT_EQ(trigger().compare_index, 2);
}

TEST_F(CompareSyncTest, TableModeNeedsAnUploadedTableOfTwoEntries) {
  EXPECT_EQ(arm_table(X), DRV_CMPTRIG_DISARM);
  EXPECT_EQ(send(REQ_UPLOAD_COMPARE_TABLE, {X, place_table({10}), 4}), DRV_SUCCESS);
  EXPECT_EQ(arm_table(X), DRV_CMPTRIG_DISARM);
  EXPECT_EQ(axis(0).owners.feature_owner, OWNER_NONE);
  EXPECT_EQ(trigger().state[0], COMPARE_IDLE);
  EXPECT_EQ(trigger().compare_mode, COMPARE_TABLE_TAKEN);
}

TEST_F(CompareSyncTest, TableModeArmsBothComparatorsAndDisarmingForgetsTheTable) {
  EXPECT_EQ(send(REQ_SET_INT_FACTOR, {Z, 0x8000}), DRV_SUCCESS);  // Z waits for its drive end
  EXPECT_EQ(send(REQ_UPLOAD_COMPARE_TABLE, {X, place_table({10, 20, 30}), 12}), DRV_SUCCESS);
  EXPECT_EQ(arm_table(Y), DRV_SUCCESS);
  EXPECT_EQ(trigger().compare_axis, Y);
  EXPECT_EQ(trigger().compare_mode, COMPARE_TABLE_RELOADING);
  EXPECT_EQ(trigger().state[1], COMPARE_TABLE);
  EXPECT_EQ(axis(1).shadow[SHADOW_SYNC_WORD1], 9);
  EXPECT_EQ(axis(1).shadow[SHADOW_SYNC_WORD2], 0xC000);
  EXPECT_EQ(axis(1).owners.feature_owner, OWNER_COMPARE);
  EXPECT_EQ(axis(1).owners.sync_owner, SYNC_OWNER_COMPARE);

  EXPECT_EQ(send(REQ_CMPTRIG_CONFIG, {Y, 0}), DRV_SUCCESS);
  EXPECT_EQ(trigger().compare_mode, COMPARE_TABLE_NONE);
  EXPECT_EQ(trigger().state[1], COMPARE_IDLE);
  EXPECT_EQ(trigger().compare_axis, 0);
  EXPECT_EQ(axis(1).shadow[SHADOW_SYNC_WORD2], 0);
  EXPECT_EQ(axis(1).owners.feature_owner, OWNER_NONE);
  EXPECT_EQ(*static_cast<std::int32_t*>(extension()->buffer.kernel_address), 0);
  EXPECT_EQ(arm_table(Y), DRV_CMPTRIG_DISARM) << "the table went with the trigger";
  std::uint32_t intcsr = 0;
  card(0)->mmio_read(card(0)->bar(0).base + INTCSR, 4, &intcsr);
  EXPECT_EQ(intcsr & INTCSR_LOCAL1_ENABLE, INTCSR_LOCAL1_ENABLE) << "Z still has its factor";
}

// A factor the chip latched while its interrupt input was off is no table
// match: arming hands it to the DPC, queued from the request (not from the
// service routine), which serves it as usual.
TEST_F(CompareSyncTest, ArmingHandsAFactorLatchedBeforeToTheDpc) {
  EXPECT_EQ(send(REQ_SET_INT_FACTOR, {Z, 0x8000}), DRV_SUCCESS);  // Z's drive end
  const std::uint64_t intcsr_address = card(0)->bar(0).base + INTCSR;
  std::uint32_t intcsr = 0;
  card(0)->mmio_read(intcsr_address, 4, &intcsr);
  card(0)->mmio_write(intcsr_address, 4, intcsr & ~INTCSR_LOCAL1_ENABLE);
  EXPECT_EQ(send(REQ_VELOCITY_MOVE, {Z, 2, 20, 8, 1}), DRV_SUCCESS);
  EXPECT_EQ(send(REQ_STOP_MOVE, {Z, CHIP_SUDDEN_STOP}), DRV_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(axis(2).interrupt_factor, 0) << "the drive end was served before the table was armed";

  EXPECT_EQ(send(REQ_UPLOAD_COMPARE_TABLE, {X, place_table({10, 20, 30}), 12}), DRV_SUCCESS);
  EXPECT_EQ(arm_table(X), DRV_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(axis(2).interrupt_factor, 0x80);
}

// The table taken by an upload is the card's: a reset, also one in the
// middle of a table run, leaves none to arm.
TEST_F(CompareSyncTest, ACardResetForgetsTheTakenTable) {
  EXPECT_EQ(send(REQ_UPLOAD_COMPARE_TABLE, {X, place_table({10, 20, 30}), 12}), DRV_SUCCESS);
  EXPECT_EQ(arm_table(X), DRV_SUCCESS);
  EXPECT_EQ(file_.request(REQ_RESET, {}).status, STATUS_SUCCESS);
  EXPECT_EQ(arm_table(X), DRV_CMPTRIG_DISARM) << "armed on the table from before the reset";
  EXPECT_EQ(axis(0).owners.feature_owner, OWNER_NONE);
}

// Factors the service routine read while a table ran wait for the DPC in
// the trigger's record; after a reset they are no longer the card's, and
// the next DPC serves only its own.
TEST_F(CompareSyncTest, ACardResetDropsTheFactorsKeptForTheDpc) {
  trigger().factor_for_dpc[2] = 0x80;  // Z's drive end, read while a table ran
  EXPECT_EQ(file_.request(REQ_RESET, {}).status, STATUS_SUCCESS);
  EXPECT_EQ(send(REQ_SET_INT_FACTOR, {Y, 0x8000}), DRV_SUCCESS);
  EXPECT_EQ(send(REQ_VELOCITY_MOVE, {Y, 2, 20, 8, 1}), DRV_SUCCESS);
  EXPECT_EQ(send(REQ_STOP_MOVE, {Y, CHIP_SUDDEN_STOP}), DRV_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(axis(1).interrupt_factor, 0x80) << "Y's own drive end";
  EXPECT_EQ(axis(2).interrupt_factor, 0) << "Z's drive end from before the reset";
}

TEST_F(CompareSyncTest, IntervalModeWithPitchOneLoadsZeroIntoBothCounters) {
  send(REQ_SET_CMDCOUNTER, {X, 1234});
  EXPECT_EQ(send(REQ_CMPTRIG_CONFIG, {X, ARM, 0, INTERVAL, 0, OUTPUT_WORD, 0, 1}), DRV_SUCCESS);
  EXPECT_EQ(command_counter(0), 0u);
  EXPECT_EQ(axis(0).shadow[SHADOW_SYNC_WORD1], 1);
  EXPECT_EQ(axis(0).shadow[SHADOW_SYNC_WORD2], 0x4000);
  EXPECT_EQ(axis(0).shadow[SHADOW_EXT_WORD1] & 0x10, 0x10) << "ring counter on";
  EXPECT_EQ(axis(0).shadow[SHADOW_EXT_WORD2] & 0xF800, OUTPUT_WORD);
}

TEST_F(CompareSyncTest, OnlyXAndYArmAndTheOwnersExcludeEachOther) {
  EXPECT_EQ(send(REQ_CMPTRIG_CONFIG, {Z, ARM, 0, INTERVAL, 0, OUTPUT_WORD, 0, 100}),
            DRV_CMPTRIG_DISARM);
  EXPECT_EQ(trigger().compare_axis, 0);

  // A synchronous action without a comparator holds only the sync words.
  EXPECT_EQ(send(REQ_SET_SYNCH, {X, 1, 0, 0x10, 0x4040}), DRV_SUCCESS);
  EXPECT_EQ(send(REQ_CMPTRIG_CONFIG, {X, ARM, 0, INTERVAL, 0, OUTPUT_WORD, 0, 100}),
            DRV_SYNCH_REFUSED);
  EXPECT_EQ(send(REQ_SET_SYNCH, {X, 0}), DRV_SUCCESS);
  EXPECT_EQ(send(REQ_CMPTRIG_CONFIG, {X, ARM, 0, INTERVAL, 0, OUTPUT_WORD, 0, 100}), DRV_SUCCESS);
  EXPECT_EQ(send(REQ_SET_SYNCH, {X, 1, 0, 1, 0x4000}), DRV_CONFLICT_CMPTRIG);
  EXPECT_EQ(send(REQ_SET_SOFTLIMIT, {X, 3, 0, 100, 0}), DRV_CONFLICT_CMPTRIG);
  EXPECT_EQ(send(REQ_SET_INT_FACTOR, {X, 0}), DRV_SYNCH_REFUSED_CMPTRIG);
}

TEST_F(CompareSyncTest, ADisarmOfAReleasedTriggerChangesNothing) {
  EXPECT_EQ(send(REQ_CMPTRIG_CONFIG, {X, ARM, 0, INTERVAL, 0, OUTPUT_WORD, 0, 100}), DRV_SUCCESS);
  axis(0).shadow[SHADOW_SYNC_WORD2] = 0;  // released
  EXPECT_EQ(send(REQ_CMPTRIG_CONFIG, {X, 0}), DRV_SUCCESS);
  EXPECT_EQ(axis(0).owners.feature_owner, OWNER_COMPARE);
  EXPECT_EQ(axis(0).owners.sync_owner, SYNC_OWNER_COMPARE);
  // Not armed: a disarm only sets the output bits, home steps kept.
  axis(1).shadow[SHADOW_EXT_WORD2] = 0x0055;
  EXPECT_EQ(send(REQ_CMPTRIG_CONFIG, {Y, 0, 0, 0, 0x1000, 0x2800}), DRV_SUCCESS);
  EXPECT_EQ(axis(1).shadow[SHADOW_EXT_WORD2], 0x3855);
}

TEST_F(CompareSyncTest, DisablingAnActionClearsThePartnersNamedAtEnable) {
  // Y with partners Z and X (relative bits 0 and 2): a comparator condition.
  EXPECT_EQ(send(REQ_SET_SYNCH, {Y, 1, 5, 1, 0x4000, 1, 0, 700, 0}), DRV_SUCCESS);
  EXPECT_EQ(axis(1).shadow[SHADOW_SYNC_WORD1], 1 | 5 << 13);
  EXPECT_EQ(axis(1).owners.feature_owner, OWNER_SYNC_ACTION);
  EXPECT_EQ(axis(1).owners.sync_owner, SYNC_OWNER_SYNC_ACTION);
  axis(0).ends.end_flag[END_DRIVE] = axis(2).ends.end_flag[END_DRIVE] = 1;
  send(REQ_SET_SYNCH, {Y, 1, 5, 1, 0x4000, 1, 0, 700, 0});
  EXPECT_EQ(axis(0).ends.end_flag[END_DRIVE], 0) << "a partner that the action starts";
  EXPECT_EQ(axis(2).ends.end_flag[END_DRIVE], 0);

  EXPECT_EQ(send(REQ_SET_SYNCH, {Y, 0}), DRV_SUCCESS);
  EXPECT_EQ(axis(1).shadow[SHADOW_SYNC_WORD1], 0);
  EXPECT_EQ(axis(1).owners.sync_owner, SYNC_OWNER_NONE);
  EXPECT_EQ(axis(1).owners.feature_owner, OWNER_NONE);
  EXPECT_EQ(send(REQ_SET_SYNCH, {Y, 7}), DRV_SUCCESS) << "other enable values change nothing";
}

TEST_F(CompareSyncTest, CompareMaskFlagsSetClearOrLeaveTheirBits) {
  card(0)->mmio_write(card(0)->bar(2).base + REG_CMP_MASK, 2, 0x0028);
  EXPECT_EQ(send(REQ_SET_CMP_MASK_IN3, {0, 2, 2, 2, 2, 2}), DRV_SUCCESS);
  EXPECT_EQ(axis(0).shadow[SHADOW_MODE3] & 0x80, 0x80);
  EXPECT_EQ(axis(1).shadow[SHADOW_MODE3] & 0x80, 0x80);
  EXPECT_EQ(axis(2).shadow[SHADOW_MODE3] & 0x80, 0);
  std::uint32_t mask = 0;
  card(0)->mmio_read(card(0)->bar(2).base + REG_CMP_MASK, 2, &mask);
  EXPECT_EQ(mask, 0x0028u);
  send(REQ_SET_CMP_MASK_IN3, {0, 1, 2, 0, 2, 1});
  card(0)->mmio_read(card(0)->bar(2).base + REG_CMP_MASK, 2, &mask);
  EXPECT_EQ(mask, 0x0088u);
}

TEST_F(CompareSyncTest, CounterQueriesOfOtherAxesAnswerZero) {
  for (std::uint32_t code : {REQ_GET_CMPCOUNTER, REQ_GET_CMPTRIGCOUNTER, REQ_GET_CMP_PITCH}) {
    const Reply reply = file_.request(code, {Z});
    EXPECT_EQ(reply.block.slot[1], 0u);
    EXPECT_EQ(reply.block.slot[0] & 0xFFFF, DRV_SUCCESS);
  }
}

}  // namespace
}  // namespace driver_test
