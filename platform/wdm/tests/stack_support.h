// Two-driver device stacks built directly with the I/O manager, without a
// booted machine: what the IRP tests send requests through.
#pragma once

#include <wdm.h>

#include <functional>

namespace stack_support {

// A driver whose every dispatch routine calls the test's handler.
struct TestDriver {
  DRIVER_OBJECT object{};
  std::function<NTSTATUS(PDEVICE_OBJECT, PIRP)> handler;
};

inline TestDriver* current_lower = nullptr;
inline TestDriver* current_upper = nullptr;

inline NTSTATUS lower_dispatch(PDEVICE_OBJECT d, PIRP i) { return current_lower->handler(d, i); }
inline NTSTATUS upper_dispatch(PDEVICE_OBJECT d, PIRP i) { return current_upper->handler(d, i); }

// lower <- upper, each with its own driver.
struct Stack {
  TestDriver lower_driver, upper_driver;
  PDEVICE_OBJECT lower = nullptr, upper = nullptr;

  Stack() {
    current_lower = &lower_driver;
    current_upper = &upper_driver;
    for (auto& f : lower_driver.object.MajorFunction) f = lower_dispatch;
    for (auto& f : upper_driver.object.MajorFunction) f = upper_dispatch;
    IoCreateDevice(&lower_driver.object, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &lower);
    IoCreateDevice(&upper_driver.object, 16, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &upper);
    IoAttachDeviceToDeviceStack(upper, lower);
  }
  ~Stack() {
    IoDetachDevice(lower);
    IoDeleteDevice(upper);
    IoDeleteDevice(lower);
  }
  // An IRP for the whole stack whose originator routine claims it back.
  PIRP new_irp(PIO_COMPLETION_ROUTINE done, PVOID context) {
    PIRP irp = IoAllocateIrp(upper->StackSize, FALSE);
    IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_DEVICE_CONTROL;
    IoSetCompletionRoutine(irp, done, context, TRUE, TRUE, TRUE);
    return irp;
  }
};

}  // namespace stack_support
