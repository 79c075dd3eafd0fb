// Rules the kernel enforces on its callers, as Driver Verifier would: each
// broken rule ends the process with a message that names it.
#include <gtest/gtest.h>

#include "booted_machine.h"
#include "stack_support.h"

namespace {

using stack_support::Stack;

class Verifier : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

NTSTATUS complete_success(PDEVICE_OBJECT, PIRP irp) {
  irp->IoStatus.Status = STATUS_SUCCESS;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return STATUS_SUCCESS;
}

NTSTATUS claim(PDEVICE_OBJECT, PIRP, PVOID) { return STATUS_MORE_PROCESSING_REQUIRED; }

void cancel_nothing(PDEVICE_OBJECT, PIRP) {}

TEST_F(Verifier, DoubleCompletionEndsTheProcess) {
  auto twice = [] {
    Stack stack;
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb;
    PIRP irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, stack.lower, nullptr, 0, nullptr, &event, &iosb);
    stack.lower_driver.handler = [](PDEVICE_OBJECT, PIRP request) {
      request->IoStatus.Status = STATUS_SUCCESS;
      IoCompleteRequest(request, IO_NO_INCREMENT);
      IoCompleteRequest(request, IO_NO_INCREMENT);
      return STATUS_SUCCESS;
    };
    IoCallDriver(stack.lower, irp);
  };
  EXPECT_DEATH(twice(), "wdm verifier: IRP is not outstanding \\(completed twice");
}

TEST_F(Verifier, CompletionWithACancelRoutineSetEndsTheProcess) {
  auto complete_with_routine = [] {
    Stack stack;
    stack.lower_driver.handler = [](PDEVICE_OBJECT, PIRP irp) {
      IoSetCancelRoutine(irp, cancel_nothing);
      return complete_success(nullptr, irp);
    };
    IoCallDriver(stack.lower, stack.new_irp(claim, nullptr));
  };
  EXPECT_DEATH(complete_with_routine(), "wdm verifier: IRP completed with a cancel routine still set");
}

TEST_F(Verifier, DeletingADeviceWithAPendingRequestEndsTheProcess) {
  auto delete_busy = [] {
    Stack stack;
    stack.lower_driver.handler = [](PDEVICE_OBJECT, PIRP irp) {
      IoMarkIrpPending(irp);
      return STATUS_PENDING;
    };
    stack.upper_driver.handler = [&](PDEVICE_OBJECT, PIRP irp) {
      IoSkipCurrentIrpStackLocation(irp);
      return IoCallDriver(stack.lower, irp);
    };
    IoCallDriver(stack.upper, stack.new_irp(claim, nullptr));
    IoDetachDevice(stack.lower);
    IoDeleteDevice(stack.lower);
  };
  EXPECT_DEATH(delete_busy(), "wdm verifier: request still pending when its device is deleted");
}

BOOLEAN nothing(PVOID) { return TRUE; }

TEST_F(Verifier, SynchronizeExecutionWithoutAnInterruptEndsTheProcess) {
  EXPECT_DEATH(KeSynchronizeExecution(nullptr, nothing, nullptr),
               "wdm verifier: KeSynchronizeExecution without an interrupt object");
}

TEST_F(Verifier, WaitingAtDispatchLevelEndsTheProcess) {
  auto wait_high = [] {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
  };
  EXPECT_DEATH(wait_high(), "wdm verifier: wait at DISPATCH_LEVEL");
}

TEST_F(Verifier, RecursiveSpinLockEndsTheProcess) {
  auto twice = [] {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL a, b;
    KeAcquireSpinLock(&lock, &a);
    KeAcquireSpinLock(&lock, &b);
  };
  EXPECT_DEATH(twice(), "wdm verifier: spin lock acquired recursively");
}

using VerifierOnMachine = BootedMachine;

TEST_F(VerifierOnMachine, RegisterAccessOutsideAMappedWindowEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ULONG ordinary = 0;
  EXPECT_DEATH(READ_REGISTER_ULONG(&ordinary), "wdm verifier: register access outside a mapped window");
  PHYSICAL_ADDRESS bar;
  bar.QuadPart = fake::kBar0;
  auto* window = static_cast<PUCHAR>(MmMapIoSpace(bar, 0x10, MmNonCached));
  EXPECT_DEATH(WRITE_REGISTER_ULONG(reinterpret_cast<PULONG>(window + 0x10), 1),
               "wdm verifier: register access outside a mapped window");
  EXPECT_DEATH((void)*reinterpret_cast<volatile ULONG*>(window), "");  // the window is no memory
  (void)READ_REGISTER_ULONG(reinterpret_cast<PULONG>(window));  // reached last by this thread
  MmUnmapIoSpace(window, 0x10);
  EXPECT_DEATH((void)READ_REGISTER_ULONG(reinterpret_cast<PULONG>(window)),
               "wdm verifier: register access outside a mapped window");
}

}  // namespace
