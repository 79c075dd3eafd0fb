// Card management end to end: the exports of the model-A build (linked from
// its objects, so the test can look at the card table) through
// DeviceIoControl, the simulated kernel and the driver to the simulated card.
#include <gtest/gtest.h>

#include <cstdlib>

#include "card_table.h"
#include "checks.h"
#include "dll_main.h"
#include "machine.h"
#include "request.h"

namespace {

// A machine booted and the library attached to it, as at the load of the library.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::string &description) : machine_(description) {
    unsetenv("RM7X0_WINDOWS_VERSION");
    EXPECT_TRUE(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));
  }
  ~LoadedLibrary() { DllMain(nullptr, DLL_PROCESS_DETACH, nullptr); }

 private:
  BootedMachine machine_;
};

TEST(NoCard, CardWideExportsFindNothingAndOpenRefusesTheCard) {
  LoadedLibrary library(NO_CARD);
  int16_t count = 77;
  EXPECT_EQ(rm720_scan(&count, nullptr), ERROR_NO_CARD_FOUND);
  EXPECT_EQ(count, 77) << "a failed scan writes nothing";
  EXPECT_EQ(rm720_open_all(), ERROR_NO_CARD_FOUND);
  EXPECT_EQ(rm720_close_all(), ERROR_NO_CARD_FOUND);
  EXPECT_EQ(rm720_reset_all(), ERROR_NO_CARD_FOUND);
  EXPECT_EQ(rm720_open(0), ERROR_INVALID_CARD_ID);
  uint8_t id = 0;
  EXPECT_EQ(rm720_get_cardinfo(0, &id), ERROR_NO_CARD_FOUND);
}

TEST(NoCard, AModelBCardIsNotACardOfModelA) {
  LoadedLibrary library(card_section(0, "B", 0));
  int16_t count = 0;
  EXPECT_EQ(rm720_scan(&count, nullptr), ERROR_NO_CARD_FOUND);
}

TEST(Scan, TwoCardsWithOneIdAreRefusedAndLeaveNothingFound) {
  LoadedLibrary library(card_section(0, "A", 3) + card_section(1, "A", 3) +
                        card_section(2, "A", 7));
  for (int attempt = 0; attempt < 2; ++attempt) {
    int16_t count = 77;
    uint8_t present[16] = {};
    EXPECT_EQ(rm720_scan(&count, present), ERROR_CARD_ID_DUPLICATED) << "scan " << attempt;
    EXPECT_EQ(count, 77);
    EXPECT_EQ(card_table.card_count, 0);
    for (int id = 0; id < CARD_SLOTS; ++id) {
      EXPECT_EQ(card_table.present[id], 0) << "slot " << id << ", scan " << attempt;
      EXPECT_EQ(card_table.cards[id].card_id, NO_CARD_ID) << "slot " << id << ", scan " << attempt;
      EXPECT_EQ(card_table.cards[id].interface_path[0], '\0');
    }
  }
  EXPECT_EQ(rm720_open(7), ERROR_INVALID_CARD_ID) << "not found, though its ID is unique";
}

TEST(Scan, FindsCardsByTheirIdsAndCountsThemInIdOrder) {
  // DIP switch 0x15: the driver keeps the low four bits, card ID 5.
  LoadedLibrary library(card_section(0, "A", 0x15) + card_section(1, "A", 2));
  int16_t count = 0;
  uint8_t present[16];
  std::fill(std::begin(present), std::end(present), 0xEE);
  ASSERT_EQ(rm720_scan(&count, present), SUCCESS_NO_ERROR);
  EXPECT_EQ(count, 2);
  for (int id = 0; id < CARD_SLOTS; ++id)
    EXPECT_EQ(present[id], id == 2 || id == 5 ? 1 : 0) << "card " << id;

  struct IndexCase {
    int32_t index;
    ApiStatus status;
    uint8_t card_id;
  } cases[] = {{0, SUCCESS_NO_ERROR, 2},
               {1, SUCCESS_NO_ERROR, 5},
               {2, ERROR_INVALID_SCANNED_INDEX, 0xEE},
               {-1, ERROR_SCANNED_CARD_NOT_FOUND, 0xEE}};
  for (const IndexCase &c : cases) {
    uint8_t id = 0xEE;
    EXPECT_EQ(rm720_get_cardinfo(c.index, &id), c.status) << "index " << c.index;
    EXPECT_EQ(id, c.card_id) << "index " << c.index;
  }
}

TEST(Scan, ALaterScanKeepsTheFirstResult) {
  LoadedLibrary library(card_section(0, "A", 4));
  card_table.present[9] = 1;  // the table, not the machine, is what a later scan reports
  card_table.card_count = 2;
  int16_t count = 0;
  uint8_t present[16] = {};
  EXPECT_EQ(rm720_scan(&count, present), SUCCESS_NO_ERROR);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(present[4], 1);
  EXPECT_EQ(present[9], 1);
}

TEST(Scan, BadCallerPointersGiveAnAccessViolationStatus) {
  LoadedLibrary library(card_section(0, "A", 1));
  int16_t count = 0;
  EXPECT_EQ(rm720_scan(nullptr, nullptr), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(rm720_scan(&count, reinterpret_cast<uint8_t *>(8)), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(rm720_get_cardinfo(0, nullptr), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(rm720_scan(&count, nullptr), SUCCESS_NO_ERROR);
  EXPECT_EQ(count, 1);
}

class OpenCards : public ::testing::Test {
 protected:
  OpenCards() : library_(card_section(0, "A", 0) + card_section(1, "A", 1)) {}
  LoadedLibrary library_;
};

TEST_F(OpenCards, OpenMapsTheBufferAndReadsTheRanges) {
  ASSERT_EQ(rm720_open(1), SUCCESS_NO_ERROR);
  const CardRecord &card = card_table.cards[1];
  EXPECT_TRUE(card_is_open(card));
  EXPECT_NE(card.shared_buffer_address, 0u);
  for (const AxisBlock &axis : card.axes) {
    EXPECT_EQ(axis.range, 16000u);
    EXPECT_EQ(axis.multiplier, 500.0);
    EXPECT_EQ(axis.speed_max, 4000000u);
  }
  EXPECT_FALSE(card_is_open(card_table.cards[0]));
  EXPECT_EQ(rm720_close(1), SUCCESS_NO_ERROR);
  EXPECT_FALSE(card_is_open(card));
  EXPECT_EQ(card.shared_buffer_address, 0u);
  EXPECT_EQ(rm720_close(1), ERROR_INVALID_CARD_ID) << "closed already";
}

TEST_F(OpenCards, ASecondOpenFailsAndKeepsTheFirstHandle) {
  ASSERT_EQ(rm720_open(0), SUCCESS_NO_ERROR);
  const HANDLE first = card_table.cards[0].device;
  const uint64_t buffer = card_table.cards[0].shared_buffer_address;
  EXPECT_EQ(rm720_open(0), ERROR_DEVICE_OPEN);
  EXPECT_EQ(card_table.cards[0].device, first);
  EXPECT_EQ(card_table.cards[0].shared_buffer_address, buffer);
  EXPECT_EQ(rm720_reset(0), SUCCESS_NO_ERROR) << "the first handle still serves";
  EXPECT_EQ(rm720_close(0), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_open(0), SUCCESS_NO_ERROR) << "a closed card opens again";
}

TEST_F(OpenCards, OpenAllWithACardOpenAlreadyKeepsItsHandle) {
  ASSERT_EQ(rm720_open(1), SUCCESS_NO_ERROR);
  const HANDLE open_before = card_table.cards[1].device;
  EXPECT_EQ(rm720_open_all(), ERROR_DEVICE_OPEN);
  EXPECT_EQ(card_table.cards[1].device, open_before);
  EXPECT_FALSE(card_is_open(card_table.cards[0])) << "what open_all opened is closed again";
  EXPECT_EQ(rm720_reset(1), SUCCESS_NO_ERROR);

  EXPECT_EQ(rm720_close(1), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_open_all(), SUCCESS_NO_ERROR);
  EXPECT_TRUE(card_is_open(card_table.cards[0]));
  EXPECT_TRUE(card_is_open(card_table.cards[1]));
  EXPECT_EQ(rm720_reset_all(), SUCCESS_NO_ERROR);
  EXPECT_EQ(rm720_close_all(), SUCCESS_NO_ERROR);
  EXPECT_FALSE(card_is_open(card_table.cards[0]));
  EXPECT_FALSE(card_is_open(card_table.cards[1]));
  EXPECT_EQ(card_table.cards[0].shared_buffer_address, 0u);
}

TEST_F(OpenCards, ResetLeavesEveryAxisAtTheDefaultRange) {
  ASSERT_EQ(rm720_open(0), SUCCESS_NO_ERROR);
  for (AxisBlock &axis : card_table.cards[0].axes) {
    axis.range = 30000;
    axis.multiplier = multiplier_for_range(30000);
    axis.motion.origin_offset = 1234;
    axis.motion.last_target_valid = 1;
  }
  update_axis_limits(0);
  ASSERT_EQ(rm720_reset(0), SUCCESS_NO_ERROR);
  for (const AxisBlock &axis : card_table.cards[0].axes) {
    EXPECT_EQ(axis.range, 16000u);
    EXPECT_EQ(axis.multiplier, 500.0);
    EXPECT_EQ(axis.speed_min, 500u);
    EXPECT_EQ(axis.speed_max, 4000000u);
    EXPECT_EQ(axis.acc_min, 62500u);
    EXPECT_EQ(axis.acc_max, 500000000u);
    EXPECT_EQ(axis.jerk_min, 476844u);
    EXPECT_EQ(axis.jerk_max, 0xFFFFFFFFu);
    EXPECT_EQ(axis.motion.origin_offset, 0);
    EXPECT_EQ(axis.motion.last_target_valid, 0);
  }
  EXPECT_EQ(rm720_reset(1), ERROR_INVALID_CARD_ID) << "not open";
  EXPECT_EQ(rm720_reset(16), ERROR_INVALID_CARD_ID);
}

TEST_F(OpenCards, TheLastDetachClosesEveryCard) {
  ASSERT_EQ(rm720_open_all(), SUCCESS_NO_ERROR);
  const std::string path = card_table.cards[0].interface_path;
  DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
  HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  EXPECT_NE(device, INVALID_HANDLE_VALUE) << "the driver admits a new open after the detach";
  CloseHandle(device);
  EXPECT_TRUE(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));  // for the fixture's detach
}

TEST_F(OpenCards, UnservedRequestCodesFailTheCallNotTheReplyWord) {
  ASSERT_EQ(rm720_open(0), SUCCESS_NO_ERROR);
  const HANDLE device = card_device(0);
  struct CodeCase {
    DWORD code;
    ApiStatus failure;
  } cases[] = {{REQ_SET_WDT, ERROR_WDT_SET},
               {REQ_GET_WDT, ERROR_WDT_GET},
               {RM7X0_REQUEST(0x416), ERROR_IOCTL_FAILED},
               {RM7X0_REQUEST(0x419), ERROR_IOCTL_FAILED}};
  for (const CodeCase &c : cases) {
    DriverRequest block{};
    preset_status(block);
    DWORD returned = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(DeviceIoControl(device, c.code, &block, sizeof block, &block, sizeof block,
                                 &returned, nullptr))
        << "code 0x" << std::hex << c.code;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION)) << "code 0x" << std::hex << c.code;
    DriverRequest judged{};
    preset_status(judged);
    EXPECT_EQ(judged_request(device, c.code, judged, c.failure), c.failure);
  }
}

TEST_F(OpenCards, AQueryTravelsToTheCardAndBack) {
  ASSERT_EQ(rm720_open(1), SUCCESS_NO_ERROR);
  DriverRequest block{};
  preset_status(block);
  EXPECT_EQ(judged_request(card_device(1), REQ_GET_DIPSW_ID, block, ERROR_BOARD_REGISTER_ACCESS),
            SUCCESS_NO_ERROR);
  EXPECT_EQ(slot_u32(block, GET_DIPSW_ID_REPLY_ID), 1u) << "the DIP switch of the card";
}

}  // namespace
