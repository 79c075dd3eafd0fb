// The request dispatcher end to end: a file on the card's interface, request
// blocks through buffered device control, the driver and the simulated card.
#include <cstdio>
#include <cstring>

#include "driver_harness.h"

namespace driver_test {
namespace {

constexpr std::uint64_t kUntouched = 0x5A5A5A5Au;

class DispatcherTest : public MachineTest {
 protected:
  void SetUp() override {
    boot(machine_text("", {card_a("DipSwitch=0x1239\nCpldVersion=0x0107")}));
    path_ = interface_paths(RM720_INTERFACE_GUID).at(0);
    ASSERT_EQ(file_.open(path_), STATUS_SUCCESS);
  }
  void TearDown() override {
    file_.close();
    MachineTest::TearDown();
  }

  std::string path_;
  CardFile file_;
};

TEST_F(DispatcherTest, OneOpenHandlePerCard) {
  CardFile second;
  EXPECT_EQ(second.open(path_), STATUS_INSUFFICIENT_RESOURCES);
  // The first handle still works.
  EXPECT_EQ(file_.request(REQ_GET_DIPSW_ID).block.slot[1], 9u);
  ASSERT_EQ(file_.close(), STATUS_SUCCESS);
  EXPECT_EQ(second.open(path_), STATUS_SUCCESS);
}

// Codes the driver does not serve fail as invalid device requests (the
// driver's word 0x0215 stays in the kernel: a failed request returns no data).
class UnknownCodeTest : public DispatcherTest, public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(UnknownCodeTest, FailsAsAnInvalidDeviceRequest) {
  const Reply reply = file_.request(GetParam(), {1, 2});
  EXPECT_EQ(reply.status, STATUS_INVALID_DEVICE_REQUEST);
  EXPECT_EQ(reply.bytes, 0u);  // a failed request carries no data back
}

INSTANTIATE_TEST_SUITE_P(
    Codes, UnknownCodeTest,
    ::testing::Values(0x221058u /* command 0x416 */, 0x221064u /* command 0x419 */,
                      REQ_SET_WDT, REQ_GET_WDT, 0x221000u /* command 0x400 */,
                      0x221FFCu /* command 0x7FF */,
                      CTL_CODE(0x23, 0x403, METHOD_BUFFERED, FILE_ANY_ACCESS),
                      CTL_CODE(FILE_DEVICE_UNKNOWN, 0x403, METHOD_BUFFERED, FILE_READ_ACCESS)),
    [](const auto& info) {
      char name[16];
      std::snprintf(name, sizeof name, "Code%08X", info.param);
      return std::string(name);
    });

TEST_F(DispatcherTest, ShortBuffersAreRefusedAndNeverOverrun) {
  struct Guarded {
    DriverRequest block;
    std::uint8_t guard[64];
  } buffer;
  std::memset(&buffer, 0xA5, sizeof buffer);
  buffer.block.slot[0] = REQUEST_STATUS_PRESET;
  for (std::uint32_t in_length : {0u, 8u, 103u}) {
    SIM_IO_STATUS iosb{};
    EXPECT_EQ(SimDeviceIoControl(file_.handle(), REQ_GET_RANGES, &buffer, in_length, &buffer,
                                 sizeof(DriverRequest), nullptr, &iosb),
              STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(iosb.Information, 0u);
  }
  for (std::uint32_t out_length : {0u, 8u, 103u}) {
    SIM_IO_STATUS iosb{};
    EXPECT_EQ(SimDeviceIoControl(file_.handle(), REQ_GET_RANGES, &buffer, sizeof(DriverRequest),
                                 &buffer, out_length, nullptr, &iosb),
              STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(iosb.Information, 0u);
  }
  for (std::uint8_t byte : buffer.guard) ASSERT_EQ(byte, 0xA5);
  // A full block still works.
  EXPECT_EQ(file_.request(REQ_GET_RANGES).status, STATUS_SUCCESS);
}

TEST_F(DispatcherTest, ReplyIsTheWholeBlockWithTheSuccessWord) {
  const Reply reply = file_.request(REQ_GET_RANGES);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.bytes, sizeof(DriverRequest));
  EXPECT_EQ(reply.block.slot[0], DRV_SUCCESS);
  for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(reply.block.slot[slot], 16000u);
}

TEST_F(DispatcherTest, MappingTwiceAnswersSuccessWithoutASecondAddress) {
  const Reply first = file_.request(REQ_MAP_SHARED_BUFFER, {kUntouched, kUntouched});
  ASSERT_EQ(first.status, STATUS_SUCCESS);
  ASSERT_NE(first.block.slot[1], kUntouched);
  ASSERT_EQ(first.block.slot[2], 16384u);
  // The view is usable memory of the buffer's length.
  auto* view = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(first.block.slot[1]));
  std::memset(view, 0x3C, 16384);

  const Reply second = file_.request(REQ_MAP_SHARED_BUFFER, {kUntouched, kUntouched});
  EXPECT_EQ(second.status, STATUS_SUCCESS);
  EXPECT_EQ(second.block.slot[0], DRV_SUCCESS);
  EXPECT_EQ(second.block.slot[1], kUntouched);
  EXPECT_EQ(second.block.slot[2], kUntouched);

  EXPECT_EQ(file_.request(REQ_UNMAP_SHARED_BUFFER).status, STATUS_SUCCESS);
  EXPECT_EQ(file_.request(REQ_UNMAP_SHARED_BUFFER).status, STATUS_SUCCESS);
  // After the unmap a new mapping is made.
  EXPECT_NE(file_.request(REQ_MAP_SHARED_BUFFER, {kUntouched}).block.slot[1], kUntouched);
}

TEST_F(DispatcherTest, ClosingWithTheBufferMappedReleasesTheView) {
  ASSERT_NE(file_.request(REQ_MAP_SHARED_BUFFER, {kUntouched}).block.slot[1], kUntouched);
  ASSERT_EQ(file_.close(), STATUS_SUCCESS);
  ASSERT_EQ(file_.open(path_), STATUS_SUCCESS);
  EXPECT_NE(file_.request(REQ_MAP_SHARED_BUFFER, {kUntouched}).block.slot[1], kUntouched);
}

TEST_F(DispatcherTest, SetRangeAndResetAnswerWithTheRanges) {
  Reply reply = file_.request(REQ_SET_RANGE, {0x5, 8000});
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[0], DRV_SUCCESS);
  reply = file_.request(REQ_GET_RANGES);
  EXPECT_EQ(reply.block.slot[1], 8000u);
  EXPECT_EQ(reply.block.slot[2], 16000u);
  EXPECT_EQ(reply.block.slot[3], 8000u);
  EXPECT_EQ(reply.block.slot[4], 16000u);

  reply = file_.request(REQ_RESET);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[0], DRV_SUCCESS);
  for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(reply.block.slot[slot], 16000u);
}

// An axis drives on the manual clock, started through the register test (no
// move handler is needed for it).
class DrivingAxisTest : public MachineTest {
 protected:
  void SetUp() override {
    boot(machine_text("Clock=manual", {card_a()}));
    ASSERT_EQ(file_.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
    for (auto [offset, value] : {std::pair{kDataHigh, 0x0001u}, std::pair{kDataLow, 0x0000u},
                                 std::pair{kCommand, 0x0406u} /* Z: pulses */,
                                 std::pair{kCommand, 0x0420u} /* Z: drive plus */}) {
      ASSERT_EQ(file_.request(REQ_REG_RW_TEST, {1, offset, value}).status, STATUS_SUCCESS);
    }
    ASSERT_EQ(busy_axes(), 0x4u);
  }
  void TearDown() override {
    file_.close();
    MachineTest::TearDown();
  }
  std::uint64_t busy_axes() { return file_.request(REQ_REG_RW_TEST, {0, kCommand}).block.slot[1] & 0xF; }

  static constexpr std::uint64_t kCommand = 0x00, kDataLow = 0x0C, kDataHigh = 0x0E;
  CardFile file_;
};

TEST_F(DrivingAxisTest, SetRangeNamingTheDrivingAxisChangesNoAxis) {
  Reply reply = file_.request(REQ_SET_RANGE, {0x5, 8000});
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[0], DRV_AXIS_BUSY);
  reply = file_.request(REQ_GET_RANGES);
  for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(reply.block.slot[slot], 16000u);

  reply = file_.request(REQ_SET_RANGE, {0x2, 8000});
  EXPECT_EQ(reply.block.slot[0], DRV_SUCCESS);
  EXPECT_EQ(file_.request(REQ_GET_RANGES).block.slot[2], 8000u);
}

TEST_F(DrivingAxisTest, ResetStopsTheChipAndRestoresTheRanges) {
  ASSERT_EQ(file_.request(REQ_SET_RANGE, {0x1, 4000}).block.slot[0], DRV_SUCCESS);
  const Reply reply = file_.request(REQ_RESET);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  for (int slot = 1; slot <= 4; ++slot) EXPECT_EQ(reply.block.slot[slot], 16000u);
  EXPECT_EQ(busy_axes(), 0u);
  const card::StrayAccesses stray = card(0)->stray_accesses();
  EXPECT_EQ(stray.reads + stray.writes + stray.bad_size, 0u);
}

TEST_F(DispatcherTest, RegisterTestReadsAndWritesCardRegisters) {
  Reply reply = file_.request(REQ_REG_RW_TEST, {0, 0x40});
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[1], 0x1239u);
  reply = file_.request(REQ_REG_RW_TEST, {1, 0x0C, 0x1234});
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[0], DRV_SUCCESS);
  EXPECT_EQ(reply.block.slot[1], 1u);
  const card::StrayAccesses stray = card(0)->stray_accesses();
  EXPECT_EQ(stray.reads + stray.writes + stray.bad_size, 0u);
}

// The bridge operations are 16-bit accesses of the bridge window; the bridge
// decodes its registers as 32 bits, so what they read is the card's affair,
// but they stay inside the window.
TEST_F(DispatcherTest, RegisterTestReachesTheBridgeWindow) {
  EXPECT_EQ(file_.request(REQ_REG_RW_TEST, {2, 0x4C}).status, STATUS_SUCCESS);
  EXPECT_EQ(file_.request(REQ_REG_RW_TEST, {2, 0x7E}).status, STATUS_SUCCESS);
}

TEST_F(DispatcherTest, RegisterTestWithAnUnknownOperationTouchesNothing) {
  const card::StrayAccesses before = card(0)->stray_accesses();
  const Reply reply = file_.request(REQ_REG_RW_TEST, {7, 0x40, 0xFFFF});
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[0], DRV_SUCCESS);
  EXPECT_EQ(reply.block.slot[1], 7u);
  const card::StrayAccesses after = card(0)->stray_accesses();
  EXPECT_EQ(after.reads, before.reads);
  EXPECT_EQ(after.writes, before.writes);
}

// Registers outside a mapped window (BAR2 and the bridge are 0x80 bytes
// here) or between two registers are refused, and the request fails.
class RegisterOutsideWindowTest
    : public DispatcherTest,
      public ::testing::WithParamInterface<std::pair<std::uint64_t, std::uint64_t>> {};

TEST_P(RegisterOutsideWindowTest, IsRefused) {
  const auto [operation, offset] = GetParam();
  const Reply reply = file_.request(REQ_REG_RW_TEST, {operation, offset, 0x55AA});
  EXPECT_EQ(reply.status, STATUS_INVALID_PARAMETER);
  EXPECT_EQ(reply.bytes, 0u);
  const card::StrayAccesses stray = card(0)->stray_accesses();
  EXPECT_EQ(stray.reads + stray.writes + stray.bad_size, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, RegisterOutsideWindowTest,
    ::testing::Values(std::make_pair(0u, 0x80u), std::make_pair(1u, 0xFFFEu),
                      std::make_pair(0u, 0x7Fu), std::make_pair(2u, 0x80u),
                      std::make_pair(3u, 0x1000u), std::make_pair(1u, 0x41u)),
    [](const auto& info) {
      return "Operation" + std::to_string(info.param.first) + "Offset" + std::to_string(info.param.second);
    });

TEST_F(DispatcherTest, CustomizationOfAnotherTypeIsAcceptedAndIgnored) {
  for (std::uint64_t type : {1u, 4u, 6u, 0u, 0xFFFFu}) {
    const Reply reply = file_.request(REQ_SET_CUSTOMIZATION, {type, 1});
    EXPECT_EQ(reply.status, STATUS_SUCCESS);
    EXPECT_EQ(reply.block.slot[0], DRV_SUCCESS);
    EXPECT_EQ(reply.block.slot[1], type);
  }
}

TEST_F(DispatcherTest, InterruptStatusNamesOneAxis) {
  Reply reply = file_.request(REQ_GET_INT_STATUS, {0x4});
  EXPECT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[1], 0u);
  reply = file_.request(REQ_GET_INT_STATUS, {0x0});
  EXPECT_EQ(reply.status, STATUS_INVALID_PARAMETER);
  reply = file_.request(REQ_GET_INT_STATUS, {0x30});
  EXPECT_EQ(reply.status, STATUS_INVALID_PARAMETER);
}

class EventsTest : public DispatcherTest {
 protected:
  void SetUp() override {
    DispatcherTest::SetUp();
    for (auto& event : events_) ASSERT_EQ(SimCreateEvent(0, 0, &event), STATUS_SUCCESS);
  }
  void TearDown() override {
    for (auto event : events_) SimCloseHandle(event);
    DispatcherTest::TearDown();
  }
  DriverRequest attach_block(SIM_HANDLE bad_at_axis_2 = nullptr) {
    DriverRequest block{};
    block.slot[0] = REQUEST_STATUS_PRESET;
    SIM_HANDLE handles[4] = {events_[0], events_[1], events_[2], events_[3]};
    if (bad_at_axis_2 != nullptr) handles[2] = bad_at_axis_2;
    std::memcpy(&block.slot[1], handles, sizeof handles);
    return block;
  }
  SIM_HANDLE events_[4] = {};
};

TEST_F(EventsTest, AttachAndDetachSucceed) {
  EXPECT_EQ(file_.request(REQ_ATTACH_INT_EVENTS, attach_block()).status, STATUS_SUCCESS);
  // Attaching again replaces the events.
  EXPECT_EQ(file_.request(REQ_ATTACH_INT_EVENTS, attach_block()).status, STATUS_SUCCESS);
  EXPECT_EQ(file_.request(REQ_DETACH_INT_EVENTS).status, STATUS_SUCCESS);
  EXPECT_EQ(file_.request(REQ_DETACH_INT_EVENTS).status, STATUS_SUCCESS);
}

TEST_F(EventsTest, BadHandleFailsTheRequestAndKeepsNoEvent) {
  const Reply reply =
      file_.request(REQ_ATTACH_INT_EVENTS, attach_block(reinterpret_cast<SIM_HANDLE>(0x7777)));
  EXPECT_FALSE(NT_SUCCESS(reply.status));
  // A handle that is not an event fails the same way.
  EXPECT_FALSE(NT_SUCCESS(file_.request(REQ_ATTACH_INT_EVENTS, attach_block(file_.handle())).status));
  EXPECT_EQ(file_.request(REQ_DETACH_INT_EVENTS).status, STATUS_SUCCESS);
}

// The board date code follows the lengths of BAR2 and BAR3.
struct DateCodeRow {
  const char* name;
  const char* card_keys;
  std::uint64_t date_code;
};

class CpldVersionTest : public MachineTest, public ::testing::WithParamInterface<DateCodeRow> {};

TEST_P(CpldVersionTest, AnswersVersionAndBoardDateCode) {
  boot(machine_text("", {card_a(std::string("CpldVersion=0x0203\n") + GetParam().card_keys)}));
  CardFile file;
  ASSERT_EQ(file.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  const Reply reply = file.request(REQ_CPLD_VER_GET);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[1], 0x0203u);
  EXPECT_EQ(reply.block.slot[2], GetParam().date_code);
}

INSTANTIATE_TEST_SUITE_P(
    Boards, CpldVersionTest,
    ::testing::Values(DateCodeRow{"Bar2Long", "Bar2Length=0x100\nBar3Length=0x80", 0x20060428},
                      DateCodeRow{"Bar2LongNoBar3", "Bar2Length=0x100\nBar3Length=0", 0x20060428},
                      DateCodeRow{"NoBar3", "Bar2Length=0x80\nBar3Length=0", 0x20060927},
                      DateCodeRow{"Bar3", "Bar2Length=0x80\nBar3Length=0x80", 0x20080826},
                      DateCodeRow{"OtherBar3", "Bar2Length=0x80\nBar3Length=0x40", 0xFFFFFFFF}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace driver_test
