// The rules Windows documents for the routines drivers call, as the verifier
// checks them: the IRQL each routine may be called at, no completion under a
// spin lock, and nothing of the kernel's still held when a driver unloads.
#include <gtest/gtest.h>

#include <functional>

#include "booted_machine.h"
#include "ntifs.h"
#include "stack_support.h"

namespace {

struct IrqlRule {
  const char* routine;  // as the verifier names it
  KIRQL too_high;       // the lowest IRQL the routine may not be called at
  std::function<void()> call;
};

constexpr KIRQL kDeviceIrql = DISPATCH_LEVEL + 3;

// The rule is checked before the arguments are looked at.
const IrqlRule kIrqlRules[] = {
    {"ObReferenceObjectByHandle", APC_LEVEL,
     [] {
       PVOID object;
       ObReferenceObjectByHandle(nullptr, 0, nullptr, KernelMode, &object, nullptr);
     }},
    {"ObReferenceObject", kDeviceIrql, [] { ObReferenceObject(nullptr); }},
    {"ObDereferenceObject", kDeviceIrql, [] { ObDereferenceObject(nullptr); }},
    {"MmBuildMdlForNonPagedPool", kDeviceIrql, [] { MmBuildMdlForNonPagedPool(nullptr); }},
    {"IoFreeMdl", kDeviceIrql, [] { IoFreeMdl(nullptr); }},
    {"RtlFreeUnicodeString", DISPATCH_LEVEL, [] { RtlFreeUnicodeString(nullptr); }},
    {"KeSetEvent", DISPATCH_LEVEL, [] { KeSetEvent(nullptr, IO_NO_INCREMENT, TRUE); }},
    {"IoWriteErrorLogEntry", kDeviceIrql, [] { IoWriteErrorLogEntry(nullptr); }},
    {"IoCompleteRequest", kDeviceIrql, [] { IoCompleteRequest(nullptr, IO_NO_INCREMENT); }},
    {"KeStackAttachProcess", DISPATCH_LEVEL,
     [] {
       KAPC_STATE state;
       KeStackAttachProcess(nullptr, &state);
     }},
};

class RoutineRules : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(RoutineRules, EachRoutineAboveItsIrqlEndsTheProcess) {
  for (const IrqlRule& rule : kIrqlRules) {
    auto call_high = [&rule] {
      KIRQL old;
      KeRaiseIrql(rule.too_high, &old);
      rule.call();
    };
    EXPECT_DEATH(call_high(), std::string("wdm verifier: IRQL too high: ") + rule.routine + " called at IRQL " +
                                  std::to_string(rule.too_high))
        << rule.routine;
  }
}

// Only the service routine, at device IRQL, asks for its DPC this way.
TEST_F(RoutineRules, IoRequestDpcBelowDeviceIrqlEndsTheProcess) {
  auto request_at_apc_level = [] {
    KIRQL old;
    KeRaiseIrql(APC_LEVEL, &old);
    IoRequestDpc(nullptr, nullptr, nullptr);
  };
  EXPECT_DEATH(request_at_apc_level(), "wdm verifier: IRQL too low: IoRequestDpc called at IRQL 1 \\(at least 3");
}

NTSTATUS claim(PDEVICE_OBJECT, PIRP, PVOID) { return STATUS_MORE_PROCESSING_REQUIRED; }

TEST_F(RoutineRules, CompletingARequestUnderASpinLockEndsTheProcess) {
  auto complete_locked = [] {
    stack_support::Stack stack;
    stack.lower_driver.handler = [](PDEVICE_OBJECT, PIRP irp) {
      KSPIN_LOCK lock;
      KeInitializeSpinLock(&lock);
      KIRQL old;
      KeAcquireSpinLock(&lock, &old);
      irp->IoStatus.Status = STATUS_SUCCESS;
      IoCompleteRequest(irp, IO_NO_INCREMENT);
      KeReleaseSpinLock(&lock, old);
      return STATUS_SUCCESS;
    };
    IoCallDriver(stack.lower, stack.new_irp(claim, nullptr));
  };
  EXPECT_DEATH(complete_locked(), "wdm verifier: IRP completed while holding a spin lock");
}

// The fake driver is built into this program: what its code (the tests'
// code here) still holds when it is unloaded is its leak.
class UnloadLeaks : public BootedMachine {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    BootedMachine::SetUp();
  }
};

struct Leak {
  const char* what;
  std::function<void()> acquire;
};

const Leak kLeaks[] = {
    {"pool block", [] { ExAllocatePoolWithTag(NonPagedPool, 16, 0x6b61654c); }},
    {"contiguous memory",
     [] {
       PHYSICAL_ADDRESS highest;
       highest.QuadPart = 0x8000000;
       MmAllocateContiguousMemory(PAGE_SIZE, highest);
     }},
    {"MDL",
     [] {
       static char page[PAGE_SIZE];
       IoAllocateMdl(page, sizeof page, FALSE, FALSE, nullptr);
     }},
    {"register window",
     [] {
       PHYSICAL_ADDRESS bar;
       bar.QuadPart = fake::kBar0;
       MmMapIoSpace(bar, fake::kBar0Length, MmNonCached);
     }},
    {"kernel timer still set",
     [] {
       static KTIMER timer;
       KeInitializeTimer(&timer);
       LARGE_INTEGER due;
       due.QuadPart = -10000000;
       KeSetTimer(&timer, due, nullptr);
     }},
};

TEST_F(UnloadLeaks, WhatADriverStillHoldsAtItsUnloadEndsTheProcess) {
  for (const Leak& leak : kLeaks) {
    auto leak_and_unload = [&leak] {
      leak.acquire();
      sim::shutdown();
    };
    EXPECT_DEATH(leak_and_unload(), std::string("wdm verifier: driver unloaded without freeing what it holds: "
                                                "fake still holds a ") + leak.what)
        << leak.what;
  }
}

TEST_F(UnloadLeaks, WhatADriverGaveBackIsNoLeak) {
  void* block = ExAllocatePoolWithTag(NonPagedPool, 16, 0x6b61654c);
  ExFreePoolWithTag(block, 0x6b61654c);
  KTIMER timer;
  KeInitializeTimer(&timer);
  LARGE_INTEGER due;
  due.QuadPart = -10000000;
  KeSetTimer(&timer, due, nullptr);
  KeCancelTimer(&timer);
  sim::shutdown();  // no failure
}

}  // namespace
