// The kernel's Plug and Play and power rules: each with a driver (or a
// caller) breaking it, caught as Windows would catch it.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "booted_machine.h"

namespace {

class PnpPowerRules : public BootedMachine {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    BootedMachine::SetUp();
  }
};

TEST_F(PnpPowerRules, PowerRequestsReachADeviceWithoutPowerPagableAtDispatchLevel) {
  ASSERT_TRUE(sim::devices()[0].pdo->Flags & DO_POWER_PAGABLE) << "the bus driver's PDO is pageable";
  ASSERT_EQ(sim::set_device_power(0, PowerDeviceD3), STATUS_SUCCESS);
  EXPECT_EQ(fake_driver::observed.power_irql, PASSIVE_LEVEL) << "a driver that took the flag over";
  fdo()->Flags &= ~DO_POWER_PAGABLE;
  ASSERT_EQ(sim::set_device_power(0, PowerDeviceD0), STATUS_SUCCESS);
  EXPECT_EQ(fake_driver::observed.power_irql, DISPATCH_LEVEL);
  // The fake driver waits for the device power request of a system request,
  // and reports the device's power state: whichever its threads reach first
  // at DISPATCH_LEVEL ends the process.
  EXPECT_DEATH(sim::set_system_power(0, PowerSystemSleeping3),
               "wdm verifier: (wait at DISPATCH_LEVEL|IRQL too high: PoSetPowerState called at IRQL 2)");
  fdo()->Flags |= DO_POWER_PAGABLE;
}

// Routines that the documentation allows only up to an IRQL, called one
// level above it.
struct IrqlRule {
  const char* routine;
  KIRQL highest;
  std::function<void(PDEVICE_OBJECT fdo)> call;
};

TEST_F(PnpPowerRules, PlugAndPlayAndPowerRoutinesAboveTheirIrqlEndTheProcess) {
  UNICODE_STRING no_link{};
  const IrqlRule rules[] = {
      {"PoSetPowerState", APC_LEVEL,
       [](PDEVICE_OBJECT fdo) {
         POWER_STATE d3;
         d3.DeviceState = PowerDeviceD3;
         PoSetPowerState(fdo, DevicePowerState, d3);
       }},
      {"PoSetPowerState", DISPATCH_LEVEL,  // D0 may be reported up to DISPATCH_LEVEL
       [](PDEVICE_OBJECT fdo) {
         POWER_STATE d0;
         d0.DeviceState = PowerDeviceD0;
         PoSetPowerState(fdo, DevicePowerState, d0);
       }},
      {"PoStartNextPowerIrp", DISPATCH_LEVEL, [](PDEVICE_OBJECT) { PoStartNextPowerIrp(nullptr); }},
      {"PoCallDriver", DISPATCH_LEVEL, [](PDEVICE_OBJECT fdo) { PoCallDriver(fdo, nullptr); }},
      {"IoWriteErrorLogEntry", DISPATCH_LEVEL, [](PDEVICE_OBJECT) { IoWriteErrorLogEntry(nullptr); }},
      {"IoInvalidateDeviceRelations", DISPATCH_LEVEL,
       [](PDEVICE_OBJECT) { IoInvalidateDeviceRelations(sim::devices()[0].pdo, RemovalRelations); }},
      {"IoSetDeviceInterfaceState", PASSIVE_LEVEL,
       [&no_link](PDEVICE_OBJECT) { IoSetDeviceInterfaceState(&no_link, FALSE); }},
      {"IoDisconnectInterrupt", PASSIVE_LEVEL,
       [](PDEVICE_OBJECT fdo) { IoDisconnectInterrupt(fake_driver::interrupt_of(fdo)); }},
      {"KeFlushQueuedDpcs", PASSIVE_LEVEL, [](PDEVICE_OBJECT) { KeFlushQueuedDpcs(); }},
  };
  for (const IrqlRule& rule : rules) {
    auto call_above = [&] {
      KIRQL old;
      KeRaiseIrql(static_cast<KIRQL>(rule.highest + 1), &old);
      rule.call(fdo());
    };
    EXPECT_DEATH(call_above(), std::string("wdm verifier: IRQL too high: ") + rule.routine + " called at IRQL")
        << rule.routine;
  }
}

// A driver that disables its interface at the surprise removal must not
// disable it again at the remove; and only a system thread changes it.
TEST_F(PnpPowerRules, ADeviceInterfaceDisabledTwiceOrOutsideASystemThreadEndsTheProcess) {
  auto pull_and_remove = [] {
    fake_driver::observed.disables_interface_at_surprise_removal = true;
    sim::send_pnp(0, sim::Pnp::SurpriseRemoval);
    sim::send_pnp(0, sim::Pnp::Remove);
  };
  EXPECT_DEATH(pull_and_remove(), "wdm verifier: device interface disabled twice");
  UNICODE_STRING link{};
  ASSERT_EQ(IoRegisterDeviceInterface(sim::devices()[0].pdo, &fake_driver::kInterface, nullptr, &link),
            STATUS_SUCCESS);
  EXPECT_DEATH(IoSetDeviceInterfaceState(&link, FALSE),
               "wdm verifier: IoSetDeviceInterfaceState outside a system thread: called in the user process");
  RtlFreeUnicodeString(&link);
}

// The interface is enabled at AddDevice already; an open before the start
// has completed still fails.
TEST_F(PnpPowerRules, AnOpenBeforeTheStartHasCompletedFails) {
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::QueryRemove), STATUS_SUCCESS);
  ASSERT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_SUCCESS);
  fake_driver::observed.start_waits = true;
  fake_driver::observed.starting = false;
  std::thread plug_and_play([] { EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Start), STATUS_SUCCESS); });
  while (!fake_driver::observed.starting) std::this_thread::yield();
  SIM_HANDLE file = nullptr;
  EXPECT_EQ(SimCreateFile(interface_path().c_str(), &file), STATUS_NO_SUCH_DEVICE);
  if (file) SimCloseHandle(file);
  fake_driver::observed.start_waits = false;
  plug_and_play.join();
  SimCloseHandle(open());
}

// A device object of the fake driver that is not part of any stack.
struct LooseDevice {
  PDEVICE_OBJECT device = nullptr;
  explicit LooseDevice(PDRIVER_OBJECT driver) {
    IoCreateDevice(driver, sizeof(ULONG), nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
  }
};

TEST_F(PnpPowerRules, ADeviceDeletedWhileItsDpcRunsEndsTheProcess) {
  auto delete_during_dpc = [this] {
    static std::atomic<bool> running{false};
    LooseDevice loose(fdo()->DriverObject);
    IoInitializeDpcRequest(loose.device, [](PKDPC, PDEVICE_OBJECT, PIRP, PVOID) {
      running = true;
      for (;;) std::this_thread::yield();  // still running when the device goes
    });
    KeInsertQueueDpc(&loose.device->Dpc, nullptr, nullptr);
    while (!running) std::this_thread::yield();
    IoDeleteDevice(loose.device);
  };
  EXPECT_DEATH(delete_during_dpc(), "wdm verifier: memory freed while a DPC in it runs: a deleted device");
}

TEST_F(PnpPowerRules, ADeviceDeletedWithItsInterruptConnectedEndsTheProcess) {
  auto delete_connected = [this] {
    LooseDevice loose(fdo()->DriverObject);
    PKINTERRUPT interrupt = nullptr;
    const fake_driver::Connection line = fake_driver::connection_of(fdo());
    ASSERT_EQ(IoConnectInterrupt(&interrupt, [](PKINTERRUPT, PVOID) -> BOOLEAN { return FALSE; },
                                 loose.device->DeviceExtension, nullptr, line.vector, line.level,
                                 line.level, LevelSensitive, TRUE, 1, FALSE),
              STATUS_SUCCESS);
    IoDeleteDevice(loose.device);
  };
  EXPECT_DEATH(delete_connected(), "wdm verifier: interrupt still connected: a deleted device");
}

}  // namespace
