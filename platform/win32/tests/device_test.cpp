// The device side of the stand-in against the simulated kernel and a fake
// driver: SetupAPI enumeration, the device key, CreateFileA, DeviceIoControl
// with and without an OVERLAPPED, completion, cancellation, events and waits.
#include <gtest/gtest.h>
#include <setupapi.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "fake_driver.h"

namespace {

constexpr DWORD SENTINEL = 0xDEADBEEF;

GUID fake_class() {
  GUID guid;
  std::memcpy(&guid, fake_driver::interface_class, sizeof guid);
  return guid;
}

class FakeMachine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { fake_driver::boot(); }
  static void TearDownTestSuite() { fake_driver::shutdown(); }
};

// The path of the first interface of the fake class.
std::string first_interface_path() {
  const GUID guid = fake_class();
  HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  std::string path;
  if (set != INVALID_HANDLE_VALUE && SetupDiEnumDeviceInterfaces(set, nullptr, &guid, 0, &data)) {
    char buffer[512];
    auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer);
    detail->cbSize = sizeof *detail;
    if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, nullptr))
      path = detail->DevicePath;
  }
  SetupDiDestroyDeviceInfoList(set);
  return path;
}

// ------------------------------------------------------------------ SetupAPI

using SetupApi = FakeMachine;

TEST_F(SetupApi, EnumeratesThePresentInterfacesOfAClass) {
  const GUID guid = fake_class();
  HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  EXPECT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &guid, 0, &data));
  EXPECT_EQ(std::memcmp(&data.InterfaceClassGuid, &guid, sizeof guid), 0);
  SetLastError(SENTINEL);
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &guid, 1, &data))
      << "the default machine has one model-A card";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SetupApi, DetailSizeQueryFailsWithTheRequiredSize) {
  const GUID guid = fake_class();
  HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &guid, 0, &data));
  DWORD required = 0;
  SetLastError(SENTINEL);
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  const std::string path = first_interface_path();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(required, sizeof(DWORD) + path.size() + 1);

  char buffer[512];
  auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer);
  struct SizeCase {
    DWORD cb_size, buffer_size, devinfo_size, error;
  } cases[] = {
      {5, sizeof buffer, sizeof(SP_DEVINFO_DATA), ERROR_INVALID_USER_BUFFER},
      {sizeof *detail, sizeof buffer, 12, ERROR_INVALID_USER_BUFFER},
      {sizeof *detail, required - 1, sizeof(SP_DEVINFO_DATA), ERROR_INSUFFICIENT_BUFFER},
  };
  for (const SizeCase &c : cases) {
    detail->cbSize = c.cb_size;
    SP_DEVINFO_DATA device{};
    device.cbSize = c.devinfo_size;
    SetLastError(SENTINEL);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, c.buffer_size, nullptr, &device));
    EXPECT_EQ(GetLastError(), c.error) << "cbSize " << c.cb_size << ", buffer " << c.buffer_size
                                       << ", device data " << c.devinfo_size;
  }
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(SetupApi, ReadsTheDeviceKeyOfAnInterface) {
  const GUID guid = fake_class();
  HDEVINFO set = SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &guid, 0, &data));
  char buffer[512];
  auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer);
  detail->cbSize = sizeof *detail;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, &device));

  SetLastError(SENTINEL);
  EXPECT_EQ(SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ),
            static_cast<HKEY>(INVALID_HANDLE_VALUE))
      << "only the hardware key exists";
  EXPECT_NE(GetLastError(), SENTINEL);
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  ASSERT_NE(key, static_cast<HKEY>(INVALID_HANDLE_VALUE));

  DWORD value = 0, size = sizeof value, type = REG_NONE;
  EXPECT_EQ(RegQueryValueExA(key, "CardID", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(value, fake_driver::card_id_value);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);

  size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "CardID", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS)
      << "a size query";
  EXPECT_EQ(size, 4u);
  BYTE small[2];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, "CardID", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  size = sizeof value;
  EXPECT_EQ(RegQueryValueExA(key, "NoSuchValue", nullptr, nullptr, reinterpret_cast<LPBYTE>(&value),
                             &size),
            ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  SetLastError(SENTINEL);
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(SetupApi, AClassWithoutDevicesGivesAnEmptySet) {
  const GUID other = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  HDEVINFO set = SetupDiGetClassDevsA(&other, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  SetLastError(SENTINEL);
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &other, 0, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  SetupDiDestroyDeviceInfoList(set);
}

// ------------------------------------------------------------- device files

class DeviceFile : public FakeMachine {
 protected:
  void SetUp() override {
    device = CreateFileA(first_interface_path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
  }
  void TearDown() override { CloseHandle(device); }

  HANDLE device = INVALID_HANDLE_VALUE;
  unsigned char reply[104];
};

struct ControlCase {
  int32_t status;
  DWORD information;
  BOOL result;
  DWORD error;  // SENTINEL: left alone
};

class DeviceIoControlTest : public DeviceFile, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(DeviceIoControlTest, AnswersTheDriversStatusAndCopiesOnlyTheCompletedBytes) {
  const ControlCase &c = GetParam();
  fake_driver::Request request{c.status, c.information, 0xAB, 0};
  std::memset(reply, 0x11, sizeof reply);
  DWORD returned = 12345;
  SetLastError(SENTINEL);
  EXPECT_EQ(DeviceIoControl(device, fake_driver::request_code, &request, sizeof request, reply,
                            sizeof reply, &returned, nullptr),
            c.result)
      << "status 0x" << std::hex << c.status;
  EXPECT_EQ(GetLastError(), c.error) << "status 0x" << std::hex << c.status;
  const DWORD copied = c.status >= 0 || c.status == static_cast<int32_t>(0x80000005u) ? c.information : 0;
  for (DWORD i = 0; i < sizeof reply; ++i) {
    ASSERT_EQ(reply[i], i < copied ? 0xAB : 0x11) << "byte " << i << ", status 0x" << std::hex << c.status;
  }
  if (c.result) {
    EXPECT_EQ(returned, c.information);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, DeviceIoControlTest,
    ::testing::Values(ControlCase{0, 104, TRUE, SENTINEL},
                      ControlCase{0, 8, TRUE, SENTINEL},
                      ControlCase{0, 0, TRUE, SENTINEL},
                      ControlCase{static_cast<int32_t>(0x80000005u), 104, FALSE, ERROR_MORE_DATA},
                      ControlCase{static_cast<int32_t>(0xC0000010u), 0, FALSE, ERROR_INVALID_FUNCTION},
                      ControlCase{static_cast<int32_t>(0xC000009Au), 0, FALSE, ERROR_NO_SYSTEM_RESOURCES},
                      ControlCase{static_cast<int32_t>(0xC00000A3u), 0, FALSE, ERROR_NOT_READY},
                      ControlCase{static_cast<int32_t>(0xC0000120u), 0, FALSE, ERROR_OPERATION_ABORTED},
                      ControlCase{static_cast<int32_t>(0xC0000008u), 0, FALSE, ERROR_INVALID_HANDLE},
                      ControlCase{static_cast<int32_t>(0xC0DE0001u), 0, FALSE, ERROR_MR_MID_NOT_FOUND}));

TEST_F(DeviceFile, AnOverlappedRequestAnsweredAtOnceSignalsItsEvent) {
  fake_driver::Request request{0, 104, 0x5A, 0};
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetLastError(SENTINEL);
  EXPECT_TRUE(DeviceIoControl(device, fake_driver::request_code, &request, sizeof request, reply,
                              sizeof reply, nullptr, &overlapped));
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0);
  DWORD transferred = 0;
  EXPECT_TRUE(GetOverlappedResult(device, &overlapped, &transferred, FALSE));
  EXPECT_EQ(transferred, 104u);
  EXPECT_EQ(reply[103], 0x5A);
  CloseHandle(overlapped.hEvent);
}

TEST_F(DeviceFile, APendedRequestCompletesThroughGetOverlappedResult) {
  fake_driver::Request request{0, 16, 0x77, 1};
  std::memset(reply, 0x11, sizeof reply);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD returned = 999;
  SetLastError(SENTINEL);
  EXPECT_FALSE(DeviceIoControl(device, fake_driver::request_code, &request, sizeof request, reply,
                               sizeof reply, &returned, &overlapped));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_TRUE(fake_driver::has_pending());

  DWORD transferred = 0;
  SetLastError(SENTINEL);
  EXPECT_FALSE(GetOverlappedResult(device, &overlapped, &transferred, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
  EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  std::thread completer([] { fake_driver::complete_pending(); });
  EXPECT_TRUE(GetOverlappedResult(device, &overlapped, &transferred, TRUE));
  completer.join();
  EXPECT_EQ(transferred, 16u);
  EXPECT_EQ(reply[15], 0x77);
  EXPECT_EQ(reply[16], 0x11) << "only the completed bytes come back";
  CloseHandle(overlapped.hEvent);
}

TEST_F(DeviceFile, CancelIoEndsAPendedRequest) {
  fake_driver::Request request{0, 16, 0x77, 1};
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_FALSE(DeviceIoControl(device, fake_driver::request_code, &request, sizeof request, reply,
                               sizeof reply, nullptr, &overlapped));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_TRUE(CancelIo(device));
  DWORD transferred = 99;
  SetLastError(SENTINEL);
  EXPECT_FALSE(GetOverlappedResult(device, &overlapped, &transferred, TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(transferred, 0u);
  EXPECT_FALSE(fake_driver::has_pending());
  CloseHandle(overlapped.hEvent);
}

TEST_F(DeviceFile, BadArgumentsAreRefusedAtTheBoundary) {
  fake_driver::Request request{0, 104, 0, 0};
  DWORD returned = 0;
  struct Case {
    const char *name;
    HANDLE handle;
    LPVOID out;
    DWORD out_size;
    LPDWORD returned;
    DWORD error;
  } cases[] = {
      {"invalid handle", INVALID_HANDLE_VALUE, reply, sizeof reply, &returned, ERROR_INVALID_HANDLE},
      {"no output buffer", device, nullptr, sizeof reply, &returned, ERROR_INVALID_PARAMETER},
      {"no byte count without OVERLAPPED", device, reply, sizeof reply, nullptr, ERROR_INVALID_PARAMETER},
  };
  for (const Case &c : cases) {
    SetLastError(SENTINEL);
    EXPECT_FALSE(DeviceIoControl(c.handle, fake_driver::request_code, &request, sizeof request, c.out,
                                 c.out_size, c.returned, nullptr))
        << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }
  OVERLAPPED no_event{};
  SetLastError(SENTINEL);
  EXPECT_FALSE(DeviceIoControl(device, fake_driver::request_code, &request, sizeof request, reply,
                               sizeof reply, nullptr, &no_event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED))
      << "completion on the file object is not modelled";
}

TEST_F(FakeMachine, CreateFileAOpensDevicesOnly) {
  const std::string path = first_interface_path();
  SetLastError(SENTINEL);
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(SENTINEL);
  EXPECT_EQ(CreateFileA("\\\\?\\no#such#device", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_NE(GetLastError(), SENTINEL);

  HANDLE device = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(device));
  SetLastError(SENTINEL);
  EXPECT_FALSE(CloseHandle(device)) << "closed twice";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// ----------------------------------------------------------- events, waits

using Events = FakeMachine;

TEST_F(Events, AutoResetEventsWakeOneWaitAndManualOnesStaySignalled) {
  HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  HANDLE manual = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(automatic, nullptr);
  ASSERT_NE(manual, nullptr);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  HANDLE both[] = {automatic, manual};
  EXPECT_TRUE(SetEvent(manual));
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(SetEvent(automatic));
  EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(automatic));
  EXPECT_TRUE(CloseHandle(manual));
}

TEST_F(Events, AWaitingThreadWakesWhenTheEventIsSet) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD result = SENTINEL;
  std::thread waiter([&] { result = WaitForSingleObject(event, INFINITE); });
  SetEvent(event);
  waiter.join();
  EXPECT_EQ(result, WAIT_OBJECT_0);
  CloseHandle(event);
}

// A thread's handle is signalled when it ends and keeps its exit code; a
// handle closed while the thread runs lets it run to its end.
TEST_F(Events, AThreadHandleIsSignalledAtItsEndWithItsExitCode) {
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto wait_then_answer = [](LPVOID event) -> DWORD {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 42;
  };
  HANDLE thread = CreateThread(nullptr, 0, wait_then_answer, go, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  DWORD code = SENTINEL;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_TRUE(CloseHandle(thread));

  // Closed early: the thread tells its end through an event of its own.
  ResetEvent(go);
  static HANDLE finished;
  finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto wait_then_finish = [](LPVOID event) -> DWORD {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    SetEvent(finished);
    return 0;
  };
  HANDLE closed_early = CreateThread(nullptr, 0, wait_then_finish, go, 0, nullptr);
  EXPECT_TRUE(CloseHandle(closed_early));
  SetLastError(SENTINEL);
  EXPECT_FALSE(GetExitCodeThread(closed_early, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(finished, INFINITE), WAIT_OBJECT_0);
  CloseHandle(finished);

  SetLastError(SENTINEL);
  EXPECT_EQ(CreateThread(nullptr, 0, wait_then_answer, go, 4 /* suspended */, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  CloseHandle(go);
}

TEST_F(Events, BadArgumentsFailTheWait) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE many[MAXIMUM_WAIT_OBJECTS + 1];
  for (HANDLE &handle : many) handle = event;
  struct Case {
    const char *name;
    DWORD count;
    const HANDLE *handles;
  } cases[] = {{"no objects", 0, many},
               {"more than MAXIMUM_WAIT_OBJECTS", MAXIMUM_WAIT_OBJECTS + 1, many},
               {"no array", 1, nullptr}};
  for (const Case &c : cases) {
    SetLastError(SENTINEL);
    EXPECT_EQ(WaitForMultipleObjects(c.count, c.handles, FALSE, 0), WAIT_FAILED) << c.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.name;
  }
  CloseHandle(event);
  SetLastError(SENTINEL);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED) << "a closed handle";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(SENTINEL);
  EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, "Named"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

}  // namespace
