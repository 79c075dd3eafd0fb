// The I/O manager's request path on a two-driver stack: forwarding,
// completion routines, pending propagation and cancellation.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "stack_support.h"

namespace {

using stack_support::Stack;

struct Trace {
  std::vector<std::string> steps;
  PDEVICE_OBJECT routine_device = reinterpret_cast<PDEVICE_OBJECT>(1);
  BOOLEAN pending_seen = FALSE;
  KEVENT done;
  Trace() { KeInitializeEvent(&done, NotificationEvent, FALSE); }
};

NTSTATUS originator_done(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
  auto* trace = static_cast<Trace*>(context);
  trace->steps.push_back("originator");
  trace->routine_device = device;
  trace->pending_seen = irp->PendingReturned;
  KeSetEvent(&trace->done, IO_NO_INCREMENT, FALSE);
  return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS upper_routine(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
  auto* trace = static_cast<Trace*>(context);
  trace->steps.push_back(device->DeviceExtension ? "upper" : "?");
  if (irp->PendingReturned) IoMarkIrpPending(irp);
  return STATUS_SUCCESS;
}

PIRP parked = nullptr;

NTSTATUS park(PDEVICE_OBJECT, PIRP irp) {
  IoMarkIrpPending(irp);
  parked = irp;
  return STATUS_PENDING;
}

TEST(IrpPath, CompletionRoutinesRunUpwardsAndPendingReachesTheOriginator) {
  Stack stack;
  Trace trace;
  stack.lower_driver.handler = park;
  stack.upper_driver.handler = [&](PDEVICE_OBJECT device, PIRP irp) {
    EXPECT_EQ(IoGetCurrentIrpStackLocation(irp)->DeviceObject, device);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, upper_routine, &trace, TRUE, TRUE, TRUE);
    return IoCallDriver(stack.lower, irp);
  };
  PIRP irp = stack.new_irp(originator_done, &trace);
  EXPECT_EQ(IoCallDriver(stack.upper, irp), STATUS_PENDING);
  EXPECT_TRUE(trace.steps.empty());

  std::thread completer([] {
    parked->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(parked, IO_NO_INCREMENT);
  });
  KeWaitForSingleObject(&trace.done, Executive, KernelMode, FALSE, nullptr);
  completer.join();
  EXPECT_EQ(trace.steps, (std::vector<std::string>{"upper", "originator"}));
  EXPECT_EQ(trace.routine_device, nullptr);  // the originator holds no stack location
  EXPECT_TRUE(trace.pending_seen);
  IoFreeIrp(irp);
}

NTSTATUS claim_back(PDEVICE_OBJECT, PIRP, PVOID context) {
  static_cast<Trace*>(context)->steps.push_back("claimed");
  return STATUS_MORE_PROCESSING_REQUIRED;
}

TEST(IrpPath, MoreProcessingRequiredKeepsTheIrpUntilCompletedAgain) {
  Stack stack;
  Trace trace;
  stack.lower_driver.handler = [](PDEVICE_OBJECT, PIRP irp) {
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_NOT_SUPPORTED;
  };
  stack.upper_driver.handler = [&](PDEVICE_OBJECT, PIRP irp) {
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, claim_back, &trace, TRUE, TRUE, TRUE);
    IoCallDriver(stack.lower, irp);
    trace.steps.push_back("upper again");
    irp->IoStatus.Status = STATUS_SUCCESS;  // the upper driver's own answer
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
  };
  PIRP irp = stack.new_irp(originator_done, &trace);
  EXPECT_EQ(IoCallDriver(stack.upper, irp), STATUS_SUCCESS);
  EXPECT_EQ(trace.steps, (std::vector<std::string>{"claimed", "upper again", "originator"}));
  EXPECT_EQ(irp->IoStatus.Status, STATUS_SUCCESS);
  EXPECT_FALSE(trace.pending_seen);
  IoFreeIrp(irp);
}

TEST(IrpPath, SkippedLocationLetsTheLowerDriverSeeTheUpperParameters) {
  Stack stack;
  Trace trace;
  ULONG seen_code = 0;
  stack.lower_driver.handler = [&](PDEVICE_OBJECT, PIRP irp) {
    seen_code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
  };
  stack.upper_driver.handler = [&](PDEVICE_OBJECT, PIRP irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(stack.lower, irp);
  };
  PIRP irp = stack.new_irp(originator_done, &trace);
  IoGetNextIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode = 0x221004;
  IoCallDriver(stack.upper, irp);
  EXPECT_EQ(seen_code, 0x221004u);
  EXPECT_EQ(trace.steps, std::vector<std::string>{"originator"});
  IoFreeIrp(irp);
}

struct CancelSeen {
  bool called = false;
  KIRQL irql_in_routine = PASSIVE_LEVEL;
};
CancelSeen cancel_seen;

void cancel_routine(PDEVICE_OBJECT, PIRP irp) {
  cancel_seen.called = true;
  cancel_seen.irql_in_routine = KeGetCurrentIrql();  // the cancel lock is held: DISPATCH_LEVEL
  EXPECT_TRUE(irp->Cancel);
  IoReleaseCancelSpinLock(irp->CancelIrql);
  irp->IoStatus.Status = STATUS_CANCELLED;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
}

TEST(IrpPath, CancelCallsTheRoutineUnderTheCancelLockOnce) {
  Stack stack;
  Trace trace;
  cancel_seen = {};
  stack.lower_driver.handler = [](PDEVICE_OBJECT, PIRP irp) {
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, cancel_routine);
    return STATUS_PENDING;
  };
  stack.upper_driver.handler = [&](PDEVICE_OBJECT, PIRP irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(stack.lower, irp);
  };
  PIRP irp = stack.new_irp(originator_done, &trace);
  ASSERT_EQ(IoCallDriver(stack.upper, irp), STATUS_PENDING);
  EXPECT_TRUE(IoCancelIrp(irp));
  EXPECT_TRUE(cancel_seen.called);
  EXPECT_EQ(cancel_seen.irql_in_routine, DISPATCH_LEVEL);
  EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
  EXPECT_EQ(irp->IoStatus.Status, STATUS_CANCELLED);
  EXPECT_FALSE(IoCancelIrp(irp));  // no routine left: only the flag
  IoFreeIrp(irp);
}

TEST(IrpPath, SynchronousFsdRequestSignalsItsEventAndCopiesTheStatus) {
  Stack stack;
  stack.lower_driver.handler = [](PDEVICE_OBJECT, PIRP irp) {
    irp->IoStatus.Status = STATUS_DEVICE_BUSY;
    irp->IoStatus.Information = 5;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_DEVICE_BUSY;
  };
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  IO_STATUS_BLOCK iosb{};
  PIRP irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, stack.lower, nullptr, 0, nullptr, &event, &iosb);
  IoCallDriver(stack.lower, irp);
  EXPECT_EQ(KeReadStateEvent(&event), 1);
  EXPECT_EQ(iosb.Status, STATUS_DEVICE_BUSY);
  EXPECT_EQ(iosb.Information, 5u);
}

}  // namespace
