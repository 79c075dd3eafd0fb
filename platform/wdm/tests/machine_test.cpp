// The kernel booted on a fake card with the fake driver: what the Plug and
// Play manager builds, requests from user mode through the I/O manager, and
// interrupt delivery.
#include <thread>

#include "booted_machine.h"

namespace {

TEST_F(BootedMachine, BootStartsTheCardWithItsResourcesAndPublishesItsInterface) {
  EXPECT_EQ(fake_driver::observed.starts, 1);
  const std::vector<sim::CardDevices> devices = sim::devices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_TRUE(devices[0].started);
  ASSERT_NE(devices[0].fdo, nullptr);
  EXPECT_EQ(devices[0].pdo->AttachedDevice, devices[0].fdo);
  EXPECT_EQ(devices[0].fdo->StackSize, 2);
  EXPECT_EQ(interface_path(), "\\\\?\\PCI#VEN_7A72&DEV_07F0#4&FA4E&0&00#{5b1d0e7a-3c44-4f1b-9e2d-6a7c11f0b803}");
  char path[8];
  size_t required = 0;
  EXPECT_EQ(SimEnumDeviceInterface(&fake_driver::kInterface, 0, path, sizeof path, &required), STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(required, interface_path().size() + 1);
  EXPECT_EQ(SimEnumDeviceInterface(&fake_driver::kInterface, 1, path, sizeof path, &required), STATUS_NO_MORE_ENTRIES);
  EXPECT_EQ(fake_driver::observed.relation_queries, 1);  // the invalidation the start asked for
}

TEST_F(BootedMachine, DeviceValuesWrittenByTheDriverAreReadBack) {
  uint32_t type = 0, value = 0, length = sizeof value;
  EXPECT_EQ(SimQueryDeviceValue(interface_path().c_str(), "cardid", &type, &value, &length), STATUS_SUCCESS);
  EXPECT_EQ(type, static_cast<uint32_t>(REG_DWORD));
  EXPECT_EQ(value, fake_driver::kCardIdValue);
  uint16_t small = 0;
  length = sizeof small;
  EXPECT_EQ(SimQueryDeviceValue(interface_path().c_str(), "CardID", &type, &small, &length), STATUS_BUFFER_OVERFLOW);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(SimQueryDeviceValue(interface_path().c_str(), "Nothing", &type, &value, &length),
            STATUS_OBJECT_NAME_NOT_FOUND);
  std::vector<std::uint8_t> data;
  ASSERT_TRUE(sim::device_value(0, "CardID", nullptr, &data));
  EXPECT_EQ(data.size(), 4u);
}

struct CopyCase {
  const char* name;
  ULONG code;
  uint32_t in_length;
  uint32_t out_length;
  uint32_t copied;
};

TEST_F(BootedMachine, BufferedRepliesNeverOverrunTheCallersBuffer) {
  const CopyCase cases[] = {
      {"echo fits", fake_driver::kEcho, 8, 16, 8},
      {"echo into a short buffer", fake_driver::kEcho, 8, 4, 4},
      {"no output buffer", fake_driver::kEcho, 8, 0, 0},
  };
  SIM_HANDLE file = open();
  for (const CopyCase& c : cases) {
    std::uint8_t in[16], out[32];
    for (int i = 0; i < 16; ++i) in[i] = static_cast<std::uint8_t>(0x10 + i);
    memset(out, 0xEE, sizeof out);
    SIM_IO_STATUS iosb{};
    EXPECT_EQ(SimDeviceIoControl(file, c.code, in, c.in_length, c.out_length ? out : nullptr, c.out_length, nullptr, &iosb),
              STATUS_SUCCESS) << c.name;
    EXPECT_EQ(iosb.Information, c.copied) << c.name;
    if (c.code == fake_driver::kEcho) {
      EXPECT_EQ(memcmp(out, in, c.copied), 0) << c.name;
    }
    EXPECT_EQ(out[c.out_length], 0xEE) << c.name << ": byte after the caller's buffer";
  }
  EXPECT_EQ(SimCloseHandle(file), STATUS_SUCCESS);
}

TEST_F(BootedMachine, OverlappedRequestCompletesFromTheDpcAndSignalsItsEvent) {
  SIM_HANDLE file = open();
  SIM_HANDLE event = nullptr;
  ASSERT_EQ(SimCreateEvent(1, 1, &event), STATUS_SUCCESS);
  SIM_IO_STATUS iosb{0xFFFF, 0xFFFF};
  ASSERT_EQ(SimDeviceIoControl(file, fake_driver::kWaitInterrupt, nullptr, 0, nullptr, 0, event, &iosb), STATUS_PENDING);
  uint32_t index = 99;
  EXPECT_EQ(SimWaitForObjects(1, &event, 0, 0, &index), STATUS_TIMEOUT);  // reset when the request went out
  EXPECT_EQ(sim::pending_irps(fdo()), 1u);

  card().set_line(true);
  EXPECT_EQ(SimWaitForObjects(1, &event, 0, SIM_INFINITE, &index), STATUS_SUCCESS);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(iosb.Status, 0u);
  EXPECT_EQ(iosb.Information, 0u);
  sim::wait_idle();
  EXPECT_FALSE(card().interrupt_asserted());  // the ISR acknowledged it
  EXPECT_EQ(fake_driver::observed.isr_calls, 1);
  EXPECT_EQ(fake_driver::observed.dpc_calls, 1);
  EXPECT_GT(fake_driver::observed.isr_irql, DISPATCH_LEVEL);
  EXPECT_EQ(sim::pending_irps(fdo()), 0u);
  SimCloseHandle(event);
  SimCloseHandle(file);
}

// A line is taken by the processor that raised it: at once from PASSIVE_LEVEL,
// its DPC on the same thread as the IRQL falls; under a spin lock only once
// the lock is released (or by the line's own thread meanwhile), never at the
// raiser's DISPATCH_LEVEL.
TEST_F(BootedMachine, TheThreadThatRaisesALineTakesItOnceItsIrqlAllows) {
  for (int round = 0; round < 200; ++round) {
    fake_driver::reset_observed();
    card().set_line(true);
    ASSERT_EQ(fake_driver::observed.isr_calls, 1) << "round " << round;
    ASSERT_EQ(fake_driver::observed.dpc_calls, 1) << "round " << round;
    EXPECT_EQ(fake_driver::observed.isr_thread.load(), std::this_thread::get_id());
    EXPECT_EQ(fake_driver::observed.dpc_thread.load(), std::this_thread::get_id());
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    EXPECT_FALSE(card().interrupt_asserted());

    fake_driver::reset_observed();
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    card().set_line(true);
    const bool taken_here_at_dispatch = fake_driver::observed.isr_thread.load() == std::this_thread::get_id();
    KeReleaseSpinLock(&lock, old);
    sim::wait_idle();
    EXPECT_FALSE(taken_here_at_dispatch) << "round " << round;
    EXPECT_EQ(fake_driver::observed.isr_calls, 1) << "round " << round;
    EXPECT_EQ(fake_driver::observed.dpc_calls, 1) << "round " << round;
    EXPECT_FALSE(card().interrupt_asserted());
  }
}

TEST_F(BootedMachine, CancelIoEndsTheCallersPendingRequest) {
  SIM_HANDLE file = open();
  SIM_HANDLE event = nullptr;
  SimCreateEvent(1, 0, &event);
  SIM_IO_STATUS iosb{};
  ASSERT_EQ(SimDeviceIoControl(file, fake_driver::kWaitInterrupt, nullptr, 0, nullptr, 0, event, &iosb), STATUS_PENDING);
  EXPECT_EQ(SimCancelIo(file), STATUS_SUCCESS);
  uint32_t index;
  EXPECT_EQ(SimWaitForObjects(1, &event, 0, SIM_INFINITE, &index), STATUS_SUCCESS);
  EXPECT_EQ(static_cast<NTSTATUS>(iosb.Status), STATUS_CANCELLED);
  EXPECT_EQ(sim::pending_irps(fdo()), 0u);
  SimCloseHandle(event);
  SimCloseHandle(file);
}

TEST_F(BootedMachine, SynchronousRequestWaitsForAPendedCompletion) {
  SIM_HANDLE file = open();
  NTSTATUS status = STATUS_PENDING;
  std::thread caller([&] { status = SimDeviceIoControl(file, fake_driver::kWaitInterrupt, nullptr, 0, nullptr, 0, nullptr, nullptr); });
  while (sim::pending_irps(fdo()) == 0) std::this_thread::yield();
  card().set_line(true);
  caller.join();
  EXPECT_EQ(status, STATUS_SUCCESS);
  SimCloseHandle(file);
}

BOOLEAN raise_and_look(PVOID context) {
  auto* card = static_cast<fake::Function*>(context);
  const int before = fake_driver::observed.isr_calls;
  card->set_line(true);
  // The line is up, but the ISR needs the interrupt lock this routine holds.
  for (int i = 0; i < 2000; ++i) std::this_thread::yield();
  return fake_driver::observed.isr_calls == before && KeGetCurrentIrql() > DISPATCH_LEVEL;
}

TEST_F(BootedMachine, SynchronizeExecutionExcludesTheServiceRoutine) {
  EXPECT_TRUE(KeSynchronizeExecution(fake_driver::interrupt_of(fdo()), raise_and_look, &card()));
  sim::wait_idle();
  EXPECT_EQ(fake_driver::observed.isr_calls, 1);
  EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

TEST_F(BootedMachine, RegisterReadsReachTheCardThroughTheMappedWindow) {
  SIM_HANDLE file = open();
  PHYSICAL_ADDRESS data;
  data.QuadPart = fake::kBar0 + fake::kRegData;
  auto* window = static_cast<PULONG>(MmMapIoSpace(data, 4, MmNonCached));
  ASSERT_NE(window, nullptr);
  WRITE_REGISTER_ULONG(window, 0xCAFE1234);
  MmUnmapIoSpace(window, 4);
  EXPECT_EQ(card().reg(fake::kRegData), 0xCAFE1234u);
  ULONG value = 0;
  SIM_IO_STATUS iosb{};
  EXPECT_EQ(SimDeviceIoControl(file, fake_driver::kReadData, nullptr, 0, &value, sizeof value, nullptr, &iosb), STATUS_SUCCESS);
  EXPECT_EQ(value, 0xCAFE1234u);
  SimCloseHandle(file);
}

TEST_F(BootedMachine, UnclaimedInterruptStormIsMaskedInsteadOfSpinning) {
  fake_driver::observed.isr_claims = false;
  testing::internal::CaptureStderr();
  card().set_line(true);
  sim::wait_idle();  // returns only because the line got masked
  const std::string report = testing::internal::GetCapturedStderr();
  EXPECT_NE(report.find("interrupt storm"), std::string::npos);
  const int calls = fake_driver::observed.isr_calls;
  EXPECT_GE(calls, 1000);
  sim::wait_idle();
  EXPECT_EQ(fake_driver::observed.isr_calls, calls);
  card().set_line(false);
}

// After a surprise removal the remove waits until the last file on the card
// has closed, and a file closes only once its request in flight has ended.
TEST_F(BootedMachine, RemoveWaitsForTheRequestInFlight) {
  SIM_HANDLE file = open();
  NTSTATUS blocked_status = STATUS_PENDING;
  std::thread caller([&] {
    blocked_status = SimDeviceIoControl(file, fake_driver::kBlock, nullptr, 0, nullptr, 0, nullptr, nullptr);
  });
  while (fake_driver::observed.blocked == 0) std::this_thread::yield();
  PDEVICE_OBJECT device = fdo();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_PENDING) << "a file is open";
  EXPECT_EQ(SimCloseHandle(file), STATUS_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(fake_driver::observed.removes, 0) << "the request in flight holds the file";
  fake_driver::unblock(device);
  caller.join();
  sim::wait_idle();
  EXPECT_EQ(blocked_status, STATUS_SUCCESS);
  EXPECT_EQ(fake_driver::observed.removes, 1);
  EXPECT_EQ(sim::devices()[0].fdo, nullptr);
  char path[256];
  EXPECT_EQ(SimEnumDeviceInterface(&fake_driver::kInterface, 0, path, sizeof path, nullptr), STATUS_NO_MORE_ENTRIES);
}

// An orderly removal is vetoed while a file on the card is open; the card
// goes once the file has closed.
TEST_F(BootedMachine, QueryRemoveIsVetoedWhileAFileIsOpen) {
  SIM_HANDLE file = open();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryRemove), STATUS_DEVICE_BUSY);
  EXPECT_NE(sim::devices()[0].fdo, nullptr);
  EXPECT_EQ(SimCloseHandle(file), STATUS_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryRemove), STATUS_SUCCESS);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_SUCCESS);
  EXPECT_EQ(sim::devices()[0].fdo, nullptr);
}

struct PnpStep {
  sim::Pnp request;
  NTSTATUS status;
  bool has_stack_after;
  bool interface_after;
};

TEST_F(BootedMachine, PlugAndPlayRequestsFollowTheDeviceLifecycle) {
  const PnpStep steps[] = {
      {sim::Pnp::QueryStop, STATUS_SUCCESS, true, true},
      {sim::Pnp::Stop, STATUS_SUCCESS, true, true},
      {sim::Pnp::Start, STATUS_SUCCESS, true, true},
      {sim::Pnp::QueryRemove, STATUS_SUCCESS, true, true},
      {sim::Pnp::CancelRemove, STATUS_SUCCESS, true, true},
      {sim::Pnp::QueryRemovalRelations, STATUS_NOT_SUPPORTED, true, true},
      {sim::Pnp::QueryRemove, STATUS_SUCCESS, true, true},
      {sim::Pnp::Remove, STATUS_SUCCESS, false, false},
      {sim::Pnp::Stop, STATUS_NO_SUCH_DEVICE, false, false},
      {sim::Pnp::Start, STATUS_SUCCESS, true, true},
      {sim::Pnp::SurpriseRemoval, STATUS_SUCCESS, true, false},
      {sim::Pnp::Remove, STATUS_SUCCESS, false, false},
  };
  for (const PnpStep& step : steps) {
    EXPECT_EQ(sim::send_pnp(0, step.request), step.status) << static_cast<int>(step.request);
    sim::wait_idle();
    EXPECT_EQ(sim::devices()[0].fdo != nullptr, step.has_stack_after) << static_cast<int>(step.request);
    char path[256];
    const bool listed = SimEnumDeviceInterface(&fake_driver::kInterface, 0, path, sizeof path, nullptr) == STATUS_SUCCESS;
    EXPECT_EQ(listed, step.interface_after) << static_cast<int>(step.request);
  }
  EXPECT_EQ(fake_driver::observed.starts, 3);
}

TEST_F(BootedMachine, SystemSleepBecomesADevicePowerRequest) {
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD0);
  EXPECT_EQ(sim::set_system_power(0, PowerSystemSleeping3), STATUS_SUCCESS);
  sim::wait_idle();
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD3);
  EXPECT_EQ(sim::set_device_power(0, PowerDeviceD0), STATUS_SUCCESS);
  EXPECT_EQ(sim::reported_power_state(0), PowerDeviceD0);
  EXPECT_EQ(sim::query_device_power(0, PowerDeviceD2), STATUS_SUCCESS);
}

TEST_F(BootedMachine, SecondBootIsRefused) {
  EXPECT_EQ(SimMachineBoot(""), STATUS_DEVICE_ALREADY_ATTACHED);
}

}  // namespace

namespace {

class FaultyInterruptMachine : public BootedMachine {
 protected:
  void SetUp() override {
    card::PlatformTraits traits;
    traits.interrupt_connect_fails = true;
    boot(2, traits);
  }
};

TEST_F(FaultyInterruptMachine, CardsWhoseStartFailsAreRemoved) {
  for (const sim::CardDevices& device : sim::devices()) {
    EXPECT_FALSE(device.started);
    EXPECT_EQ(device.fdo, nullptr);
  }
  EXPECT_EQ(fake_driver::observed.removes, 2);
  char path[256];
  EXPECT_EQ(SimEnumDeviceInterface(&fake_driver::kInterface, 0, path, sizeof path, nullptr), STATUS_NO_MORE_ENTRIES);
  EXPECT_EQ(sim::send_pnp(1, sim::Pnp::Start), STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(sim::send_pnp(2, sim::Pnp::Start), STATUS_NO_SUCH_DEVICE);
}

}  // namespace

namespace {

TEST_F(BootedMachine, DebugTextAndErrorLogAreKeptForTests) {
  sim::clear_debug_text();
  sim::clear_error_log();
  DbgPrint("BarIndex = 0x%08x\n", 2u);
  EXPECT_EQ(sim::debug_text(), "BarIndex = 0x00000002\n");
  sim::clear_debug_text();
  EXPECT_EQ(sim::debug_text(), "");

  EXPECT_EQ(IoAllocateErrorLogEntry(fdo(), sizeof(IO_ERROR_LOG_PACKET) - 1), nullptr);
  auto* entry = static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(fdo(), sizeof(IO_ERROR_LOG_PACKET)));
  ASSERT_NE(entry, nullptr);
  entry->ErrorCode = static_cast<NTSTATUS>(0xC0070100);
  IoWriteErrorLogEntry(entry);
  EXPECT_EQ(sim::error_log(), std::vector<NTSTATUS>{static_cast<NTSTATUS>(0xC0070100)});
}

}  // namespace
