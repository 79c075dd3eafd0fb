// Driver load, device creation and start of each card, and the ways a start
// fails, booted from machine descriptions.
#include <algorithm>
#include <cstring>

#include "driver_harness.h"

namespace driver_test {
namespace {

using StartTest = MachineTest;

constexpr NTSTATUS kInterruptConnectFailed = (NTSTATUS)0xC0070100L;

bool has_text(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

std::uint32_t card_id_value(std::size_t card) {
  ULONG type = 0;
  std::vector<std::uint8_t> data;
  if (!sim::device_value(card, "CardID", &type, &data) || type != REG_DWORD || data.size() != 4)
    return 0xFFFFFFFF;
  std::uint32_t value;
  std::memcpy(&value, data.data(), sizeof value);
  return value;
}

TEST_F(StartTest, DefaultMachineStartsOneDevicePerCardWithItsModelsInterface) {
  boot("");
  const auto devices = sim::devices();
  ASSERT_EQ(devices.size(), 2u);
  for (const auto& device : devices) {
    ASSERT_NE(device.fdo, nullptr);
    EXPECT_TRUE(device.started);
    // One driver object per model, holding exactly this card's device.
    EXPECT_EQ(device.fdo->DriverObject->DeviceObject, device.fdo);
    EXPECT_EQ(device.fdo->NextDevice, nullptr);
  }
  EXPECT_NE(devices[0].fdo->DriverObject, devices[1].fdo->DriverObject);
  EXPECT_EQ(card_id_value(0), 0u);
  EXPECT_EQ(card_id_value(1), 1u);
  EXPECT_EQ(interface_paths(RM720_INTERFACE_GUID).size(), 1u);
  EXPECT_EQ(interface_paths(RM730_INTERFACE_GUID).size(), 1u);
  for (std::size_t i = 0; i < 2; ++i) {
    const card::StrayAccesses stray = card(i)->stray_accesses();
    EXPECT_EQ(stray.reads + stray.writes + stray.bad_size, 0u) << "card " << i;
  }
}

TEST_F(StartTest, CardsOfOneModelShareOneLoadOfTheDriver) {
  boot(machine_text("", {card_a("DipSwitch=3"), card_a("DipSwitch=7")}));
  const auto devices = sim::devices();
  ASSERT_EQ(devices.size(), 2u);
  ASSERT_NE(devices[0].fdo, nullptr);
  ASSERT_NE(devices[1].fdo, nullptr);
  EXPECT_EQ(devices[0].fdo->DriverObject, devices[1].fdo->DriverObject);
  EXPECT_EQ(interface_paths(RM720_INTERFACE_GUID).size(), 2u);
  EXPECT_EQ(card_id_value(0), 3u);
  EXPECT_EQ(card_id_value(1), 7u);
}

TEST_F(StartTest, CardIdIsTheLowNibbleOfTheDipSwitch) {
  boot(machine_text("", {card_a("DipSwitch=0x1235")}));
  EXPECT_EQ(card_id_value(0), 5u);
  CardFile file;
  ASSERT_EQ(file.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  EXPECT_EQ(file.request(REQ_GET_DIPSW_ID).block.slot[1], 5u);
}

// A card whose start fails: no started device, and the reason in the debug
// output or the error log.
struct StartFailure {
  const char* name;
  std::string machine_keys;
  std::string card_keys;
  const char* debug_message;  // nullptr: none of the two below
  bool logs_interrupt_failure;
};

class StartFailureTest : public MachineTest, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(StartFailureTest, CardDoesNotStart) {
  const StartFailure& row = GetParam();
  ASSERT_EQ(sim::boot(machine_text(row.machine_keys, {card_a(row.card_keys)})), STATUS_SUCCESS);
  const auto devices = sim::devices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_FALSE(devices[0].started);
  const std::string debug = sim::debug_text();
  if (row.debug_message != nullptr) {
    EXPECT_TRUE(has_text(debug, row.debug_message)) << debug;
  } else {
    EXPECT_FALSE(has_text(debug, "ERROR")) << debug;
  }
  const auto log = sim::error_log();
  if (row.logs_interrupt_failure) {
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], kInterruptConnectFailed);
  } else {
    EXPECT_TRUE(log.empty());
  }
  const card::StrayAccesses stray = card(0)->stray_accesses();
  EXPECT_EQ(stray.reads + stray.writes + stray.bad_size, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartFailureTest,
    ::testing::Values(
        StartFailure{"Bar0Missing", "", "Bar0=missing",
                     "RM720: ERROR - BAR 0 address not configured, unable to load driver\n", false},
        StartFailure{"Bar2Missing", "", "Bar2Length=0",
                     "RM720: ERROR - BAR 2 address not configured, unable to load driver\n", false},
        StartFailure{"Bar2ShorterThanTheRegisterMap", "", "Bar2Length=0x40",
                     "RM720: ERROR - BAR 2 address not configured, unable to load driver\n", false},
        StartFailure{"ResourcesMatchNoBar", "", "BarMismatch=1",
                     "RM720: ERROR - BAR 0 address not configured, unable to load driver\n", false},
        StartFailure{"NoInterruptResource", "", "Interrupt=0", nullptr, false},
        StartFailure{"InterruptConnectionFails", "InterruptConnectFails=1", "",
                     "RM720: ERROR - IoConnectInterrupt() failed, status = 0x", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartTest, ModelBDriverPrintsItsOwnPrefix) {
  ASSERT_EQ(sim::boot(machine_text("", {card_b("Bar0=missing")})), STATUS_SUCCESS);
  EXPECT_TRUE(has_text(sim::debug_text(),
                       "RM730: ERROR - BAR 0 address not configured, unable to load driver\n"));
}

TEST_F(StartTest, WalkPrintsTheBarIndexOfEachRange) {
  ASSERT_EQ(sim::boot(machine_text("", {card_a()})), STATUS_SUCCESS);
  const std::string debug = sim::debug_text();
  EXPECT_TRUE(has_text(debug, "BarIndex = 0x00000000\n")) << debug;
  EXPECT_TRUE(has_text(debug, "BarIndex = 0x00000002\n")) << debug;
}

// The shared buffer: the largest of 16, 12, 8 and 4 KB the system can give.
struct BufferRow {
  unsigned contiguous_kb;
  std::uint64_t expected_length;
};

class SharedBufferSizeTest : public MachineTest, public ::testing::WithParamInterface<BufferRow> {};

// The length mapped, and nothing of what the memory held before: Windows hands
// out contiguous memory uncleared.
TEST_P(SharedBufferSizeTest, MapReportsTheBufferLengthAndShowsNoStaleData) {
  boot(machine_text("ContiguousMemoryKB=" + std::to_string(GetParam().contiguous_kb), {card_a()}));
  CardFile file;
  ASSERT_EQ(file.open(interface_paths(RM720_INTERFACE_GUID).at(0)), STATUS_SUCCESS);
  const Reply reply = file.request(REQ_MAP_SHARED_BUFFER);
  ASSERT_EQ(reply.status, STATUS_SUCCESS);
  EXPECT_EQ(reply.block.slot[0], DRV_SUCCESS);
  EXPECT_NE(reply.block.slot[1], 0u);
  EXPECT_EQ(reply.block.slot[2], GetParam().expected_length);
  const auto *view = reinterpret_cast<const unsigned char *>(reply.block.slot[1]);
  const std::size_t length = reply.block.slot[2];
  EXPECT_EQ(std::count(view, view + length, 0), static_cast<std::ptrdiff_t>(length));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SharedBufferSizeTest,
                         ::testing::Values(BufferRow{64, 16384}, BufferRow{12, 12288},
                                           BufferRow{8, 8192}, BufferRow{4, 4096}),
                         [](const auto& info) {
                           return std::to_string(info.param.contiguous_kb) + "KBAvailable";
                         });

TEST_F(StartTest, WithoutAnyContiguousMemoryNoDeviceIsCreated) {
  boot(machine_text("ContiguousMemoryKB=2", {card_a()}));
  const auto devices = sim::devices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].fdo, nullptr);
  EXPECT_TRUE(interface_paths(RM720_INTERFACE_GUID).empty());
}

}  // namespace
}  // namespace driver_test
