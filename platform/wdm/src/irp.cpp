// I/O request packets: allocation, sending down a device stack, completion
// with its routines and pending propagation, and cancellation under the
// cancel spin lock. The kernel keeps a record of every outstanding IRP, so
// double completion, completion with a cancel routine set and an IRP left
// pending at a deleted device are caught.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <set>
#include <unordered_map>

#include "kernel.h"

namespace {

struct IrpRecord {
  kernel::IrpFinish finish;    // what completion at the top does; empty: signal done
  bool driver_owned = false;   // from IoAllocateIrp: freed by the driver
  std::atomic<bool> completing{false};  // in IoCompleteRequest and not claimed back
  bool finished = false;       // completed past its top location
  bool top_pending = false;    // the top driver marked it pending
  bool dispatch_returned = false;
  NTSTATUS dispatch_status = STATUS_SUCCESS;
  std::atomic<int> references{1};
  // Under irps_lock: a copy of the IRP's current location and the device that
  // entered each location, for looks from other threads.
  int location = 0;
  std::vector<PDEVICE_OBJECT> holders;
  // Devices whose dispatch routine is running with this IRP. A request still
  // inside its dispatch routine is in flight, not left pending: the device
  // object stays referenced until the routine returns, as on Windows.
  std::multiset<PDEVICE_OBJECT> dispatching;
  std::set<PDEVICE_OBJECT> power_started;  // devices that called PoStartNextPowerIrp
  KEVENT done;
};

kernel::BriefLock irps_lock;
std::unordered_map<PIRP, IrpRecord*> records;
// Freed IRPs are kept a while, so a late completion finds no record instead
// of a new IRP at the same address.
struct Quarantine {
  std::deque<PIRP> irps;
  ~Quarantine() {
    for (PIRP irp : irps) std::free(irp);
  }
};
Quarantine quarantine;
constexpr std::size_t kQuarantine = 64;
KSPIN_LOCK cancel_lock = 0;

IrpRecord* record_of(PIRP irp, const char* routine) {
  std::lock_guard<kernel::BriefLock> lock(irps_lock);
  auto it = records.find(irp);
  if (it == records.end())
    kernel::verifier_fail("IRP is not outstanding (completed twice or freed)", "%s of IRP %p",
                          routine, static_cast<void*>(irp));
  return it->second;
}

// The IRP may have been completed and freed inside the dispatch routine, so
// its record is looked up again.
void end_dispatch(PIRP irp, PDEVICE_OBJECT device) {
  std::lock_guard<kernel::BriefLock> lock(irps_lock);
  auto it = records.find(irp);
  if (it == records.end()) return;
  auto& dispatching = it->second->dispatching;
  if (auto entry = dispatching.find(device); entry != dispatching.end()) dispatching.erase(entry);
}

// Under irps_lock: the rules between what the top driver answered and whether
// it marked the request pending.
void check_pending_rules(PIRP irp, IrpRecord* record) {
  if (!record->dispatch_returned || !record->finished) return;
  if (record->dispatch_status == STATUS_PENDING && !record->top_pending)
    kernel::verifier_fail("STATUS_PENDING returned without IoMarkIrpPending", "IRP %p",
                          static_cast<void*>(irp));
  if (record->dispatch_status != STATUS_PENDING && record->top_pending)
    kernel::verifier_fail("IRP marked pending but its dispatch routine returned another status",
                          "IRP %p, status 0x%08x", static_cast<void*>(irp),
                          static_cast<unsigned>(record->dispatch_status));
}

void finish_at_top(PIRP irp, IrpRecord* record) {
  {
    std::lock_guard<kernel::BriefLock> lock(irps_lock);
    record->finished = true;
    record->top_pending = irp->PendingReturned;
    check_pending_rules(irp, record);
  }
  if (record->driver_owned)
    kernel::verifier_fail("IRP of IoAllocateIrp completed past its top without a completion "
                          "routine that claims it", "IRP %p", static_cast<void*>(irp));
  if (record->finish) {
    // The finish may free the IRP and with it the record: run a copy.
    const kernel::IrpFinish finish = std::move(record->finish);
    finish(irp);
  } else
    KeSetEvent(&record->done, IO_NO_INCREMENT, FALSE);
}

bool invokes(UCHAR control, NTSTATUS status, bool cancelled) {
  if (cancelled && (control & SL_INVOKE_ON_CANCEL)) return true;
  return NT_SUCCESS(status) ? (control & SL_INVOKE_ON_SUCCESS) != 0
                            : (control & SL_INVOKE_ON_ERROR) != 0;
}

NTSTATUS invalid_device_request(PDEVICE_OBJECT, PIRP irp) {
  irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
  irp->IoStatus.Information = 0;
  IofCompleteRequest(irp, IO_NO_INCREMENT);
  return STATUS_INVALID_DEVICE_REQUEST;
}

}  // namespace

namespace kernel {

PDRIVER_DISPATCH default_dispatch() { return invalid_device_request; }

PIRP allocate_irp(CCHAR stack_size, IrpFinish finish) {
  if (stack_size < 1) return nullptr;
  const std::size_t size = sizeof(IRP) + stack_size * sizeof(IO_STACK_LOCATION);
  auto* irp = static_cast<PIRP>(std::calloc(1, size));
  if (!irp) return nullptr;
  irp->Type = 6;  // IO_TYPE_IRP
  irp->Size = static_cast<USHORT>(size);
  irp->StackCount = stack_size;
  irp->CurrentLocation = static_cast<CHAR>(stack_size + 1);
  irp->Tail.Overlay.CurrentStackLocation = reinterpret_cast<PIO_STACK_LOCATION>(irp + 1) + stack_size;
  irp->Tail.Overlay.Thread = KeGetCurrentThread();
  auto* record = new IrpRecord;
  record->finish = std::move(finish);
  record->location = stack_size + 1;
  record->holders.assign(stack_size + 2, nullptr);
  KeInitializeEvent(&record->done, NotificationEvent, FALSE);
  std::lock_guard<kernel::BriefLock> lock(irps_lock);
  records[irp] = record;
  return irp;
}

void set_irp_finish(PIRP irp, IrpFinish finish) { record_of(irp, "finish")->finish = std::move(finish); }

void free_irp(PIRP irp) {
  IrpRecord* record;
  {
    std::lock_guard<kernel::BriefLock> lock(irps_lock);
    auto it = records.find(irp);
    if (it == records.end())
      verifier_fail("IRP freed twice", "IRP %p", static_cast<void*>(irp));
    record = it->second;
    records.erase(it);
    quarantine.irps.push_back(irp);
    if (quarantine.irps.size() > kQuarantine) {
      std::free(quarantine.irps.front());
      quarantine.irps.pop_front();
    }
  }
  delete record;
}

void add_irp_reference(PIRP irp) { ++record_of(irp, "reference")->references; }

void release_irp_reference(PIRP irp) {
  if (--record_of(irp, "release")->references == 0) free_irp(irp);
}

NTSTATUS send_and_wait(PDEVICE_OBJECT device, PIRP irp) {
  IrpRecord* record = record_of(irp, "send");
  const NTSTATUS dispatched = IofCallDriver(device, irp);
  note_dispatch_status(irp, dispatched);
  KeWaitForSingleObject(&record->done, Executive, KernelMode, FALSE, nullptr);
  const NTSTATUS status = irp->IoStatus.Status;
  release_irp_reference(irp);
  return status;
}

void note_dispatch_status(PIRP irp, NTSTATUS status) {
  IrpRecord* record = record_of(irp, "dispatch");
  std::lock_guard<kernel::BriefLock> lock(irps_lock);
  record->dispatch_returned = true;
  record->dispatch_status = status;
  if (status != STATUS_PENDING && !record->finished)
    verifier_fail("dispatch routine returned without completing the IRP or STATUS_PENDING",
                  "IRP %p, status 0x%08x", static_cast<void*>(irp), static_cast<unsigned>(status));
  check_pending_rules(irp, record);
}

std::size_t irps_pending_at(PDEVICE_OBJECT device) {
  std::lock_guard<kernel::BriefLock> lock(irps_lock);
  std::size_t count = 0;
  for (auto& [irp, record] : records) {
    if (record->finished || record->completing) continue;
    if (record->dispatching.count(device)) continue;
    for (int location = std::max(record->location, 1); location < static_cast<int>(record->holders.size()); ++location)
      if (record->holders[location] == device) {
        ++count;
        break;
      }
  }
  return count;
}

void mark_power_irp_started(PIRP irp) {
  IrpRecord* record = record_of(irp, "PoStartNextPowerIrp");
  if (irp->CurrentLocation > irp->StackCount)
    verifier_fail("PoStartNextPowerIrp of an IRP no driver holds", "IRP %p", static_cast<void*>(irp));
  PDEVICE_OBJECT device = IoGetCurrentIrpStackLocation(irp)->DeviceObject;
  if (!record->power_started.insert(device).second)
    verifier_fail("PoStartNextPowerIrp called twice for one power request", "IRP %p, device %p",
                  static_cast<void*>(irp), static_cast<void*>(device));
}

}  // namespace kernel

/* ntoskrnl */
PIRP IoAllocateIrp(CCHAR StackSize, BOOLEAN ChargeQuota) {
  (void)ChargeQuota;
  kernel::require_irql_at_most(DISPATCH_LEVEL, "IoAllocateIrp");
  PIRP irp = kernel::allocate_irp(StackSize, {});
  if (irp) record_of(irp, "IoAllocateIrp")->driver_owned = true;
  return irp;
}

/* ntoskrnl */
VOID IoFreeIrp(PIRP Irp) {
  IrpRecord* record = record_of(Irp, "IoFreeIrp");
  if (!record->driver_owned)
    kernel::verifier_fail("IoFreeIrp of an IRP the I/O manager owns", "IRP %p", static_cast<void*>(Irp));
  if (Irp->CurrentLocation <= Irp->StackCount && !record->completing)
    kernel::verifier_fail("IoFreeIrp of an IRP still held by a driver", "IRP %p", static_cast<void*>(Irp));
  if (Irp->CancelRoutine)
    kernel::verifier_fail("IoFreeIrp of an IRP with a cancel routine set", "IRP %p", static_cast<void*>(Irp));
  kernel::free_irp(Irp);
}

/* ntoskrnl */
PIRP IoBuildSynchronousFsdRequest(ULONG MajorFunction, PDEVICE_OBJECT DeviceObject, PVOID Buffer,
                                  ULONG Length, PLARGE_INTEGER StartingOffset, PKEVENT Event,
                                  PIO_STATUS_BLOCK IoStatusBlock) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "IoBuildSynchronousFsdRequest");
  PIRP irp = kernel::allocate_irp(DeviceObject->StackSize, [](PIRP done) {
    *done->UserIosb = done->IoStatus;
    KeSetEvent(done->UserEvent, IO_NO_INCREMENT, FALSE);
    kernel::release_irp_reference(done);
  });
  if (!irp) return nullptr;
  irp->UserIosb = IoStatusBlock;
  irp->UserEvent = Event;
  irp->UserBuffer = Buffer;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MajorFunction = static_cast<UCHAR>(MajorFunction);
  if (MajorFunction == IRP_MJ_READ || MajorFunction == IRP_MJ_WRITE) {
    next->Parameters.Read.Length = Length;
    if (StartingOffset) next->Parameters.Read.ByteOffset = *StartingOffset;
  }
  return irp;
}

namespace {

// The power manager calls a device object without DO_POWER_PAGABLE at
// DISPATCH_LEVEL: its power path must not page, wait or take a fast mutex.
class PowerDispatchLevel {
 public:
  PowerDispatchLevel(PDEVICE_OBJECT device, UCHAR major)
      : raised_(major == IRP_MJ_POWER && !(device->Flags & DO_POWER_PAGABLE) &&
                KeGetCurrentIrql() < DISPATCH_LEVEL) {
    if (raised_) KeRaiseIrql(DISPATCH_LEVEL, &previous_);
  }
  ~PowerDispatchLevel() {
    if (raised_) KeLowerIrql(previous_);
  }
  PowerDispatchLevel(const PowerDispatchLevel&) = delete;
  PowerDispatchLevel& operator=(const PowerDispatchLevel&) = delete;

 private:
  const bool raised_;
  KIRQL previous_ = PASSIVE_LEVEL;
};

}  // namespace

/* ntoskrnl */
NTSTATUS IofCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "IoCallDriver");
  IrpRecord* record = record_of(Irp, "IoCallDriver");
  if (Irp->CurrentLocation <= 1)
    kernel::verifier_fail("IRP has no stack location left", "IoCallDriver of IRP %p to device %p",
                          static_cast<void*>(Irp), static_cast<void*>(DeviceObject));
  record->completing = false;
  IoSetNextIrpStackLocation(Irp);
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
  stack->DeviceObject = DeviceObject;
  {
    std::lock_guard<kernel::BriefLock> lock(irps_lock);
    record->location = Irp->CurrentLocation;
    record->holders[Irp->CurrentLocation] = DeviceObject;
    record->dispatching.insert(DeviceObject);
  }
  const PDRIVER_DISPATCH dispatch = DeviceObject->DriverObject->MajorFunction[stack->MajorFunction];
  const PowerDispatchLevel power_level(DeviceObject, stack->MajorFunction);
  const KIRQL irql = KeGetCurrentIrql();
  ObfReferenceObject(DeviceObject);
  NTSTATUS status;
  try {
    status = dispatch(DeviceObject, Irp);
  } catch (const KERNEL_EXCEPTION& raised) {
    kernel::fail_unhandled_raise(raised, "a dispatch routine");
  }
  end_dispatch(Irp, DeviceObject);
  ObfDereferenceObject(DeviceObject);
  if (KeGetCurrentIrql() != irql)
    kernel::verifier_fail("dispatch routine returned at another IRQL", "major 0x%x: entered at %u, "
                          "returned at %u", stack->MajorFunction, irql, KeGetCurrentIrql());
  return status;
}

/* ntoskrnl */
VOID IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost) {
  (void)PriorityBoost;
  kernel::require_irql_at_most(DISPATCH_LEVEL, "IoCompleteRequest");
  // Completion routines run in the completing thread, and may take the very lock.
  if (kernel::spin_locks_held() != 0)
    kernel::verifier_fail("IRP completed while holding a spin lock", "IRP %p, %d spin locks held",
                          static_cast<void*>(Irp), kernel::spin_locks_held());
  IrpRecord* record = record_of(Irp, "IoCompleteRequest");
  if (record->completing.exchange(true) || record->finished)
    kernel::verifier_fail("IRP completed twice", "IRP %p", static_cast<void*>(Irp));
  if (Irp->CancelRoutine)
    kernel::verifier_fail("IRP completed with a cancel routine still set", "IRP %p, routine %p",
                          static_cast<void*>(Irp), reinterpret_cast<void*>(Irp->CancelRoutine));
  if (Irp->IoStatus.Status == STATUS_PENDING)
    kernel::verifier_fail("IRP completed with STATUS_PENDING", "IRP %p", static_cast<void*>(Irp));
  if (Irp->CurrentLocation > Irp->StackCount)
    kernel::verifier_fail("IoCompleteRequest of an IRP no driver holds", "IRP %p", static_cast<void*>(Irp));

  while (Irp->CurrentLocation <= Irp->StackCount) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    Irp->PendingReturned = (stack->Control & SL_PENDING_RETURNED) != 0;
    const PIO_COMPLETION_ROUTINE routine = stack->CompletionRoutine;
    PVOID context = stack->Context;
    const UCHAR control = stack->Control;
    stack->CompletionRoutine = nullptr;
    stack->Context = nullptr;
    stack->Control = 0;
    IoSkipCurrentIrpStackLocation(Irp);
    {
      std::lock_guard<kernel::BriefLock> lock(irps_lock);
      record->location = Irp->CurrentLocation;
    }
    const bool at_top = Irp->CurrentLocation > Irp->StackCount;
    if (routine && invokes(control, Irp->IoStatus.Status, Irp->Cancel)) {
      PDEVICE_OBJECT device = at_top ? nullptr : IoGetCurrentIrpStackLocation(Irp)->DeviceObject;
      if (routine(device, Irp, context) == STATUS_MORE_PROCESSING_REQUIRED) {
        record->completing = false;  // the routine's driver owns the IRP again
        return;
      }
    } else if (Irp->PendingReturned && !at_top) {
      IoMarkIrpPending(Irp);
    }
  }
  finish_at_top(Irp, record);
}

/* ntoskrnl */
VOID IoSetCompletionRoutine(PIRP Irp, PIO_COMPLETION_ROUTINE CompletionRoutine, PVOID Context,
                            BOOLEAN InvokeOnSuccess, BOOLEAN InvokeOnError, BOOLEAN InvokeOnCancel) {
  if (Irp->CurrentLocation <= 1)
    kernel::verifier_fail("completion routine set with no next stack location", "IRP %p",
                          static_cast<void*>(Irp));
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(Irp);
  next->CompletionRoutine = CompletionRoutine;
  next->Context = Context;
  next->Control = (InvokeOnSuccess ? SL_INVOKE_ON_SUCCESS : 0) | (InvokeOnError ? SL_INVOKE_ON_ERROR : 0) |
                  (InvokeOnCancel ? SL_INVOKE_ON_CANCEL : 0);
}

/* ntoskrnl */
VOID IoAcquireCancelSpinLock(PKIRQL Irql) { KeAcquireSpinLock(&cancel_lock, Irql); }

/* ntoskrnl */
VOID IoReleaseCancelSpinLock(KIRQL Irql) { KeReleaseSpinLock(&cancel_lock, Irql); }

/* ntoskrnl */
BOOLEAN IoCancelIrp(PIRP Irp) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "IoCancelIrp");
  record_of(Irp, "IoCancelIrp");
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  Irp->Cancel = TRUE;
  const PDRIVER_CANCEL routine = IoSetCancelRoutine(Irp, nullptr);
  if (!routine) {
    IoReleaseCancelSpinLock(irql);
    return FALSE;
  }
  Irp->CancelIrql = irql;
  PDEVICE_OBJECT device = Irp->CurrentLocation <= Irp->StackCount
                              ? IoGetCurrentIrpStackLocation(Irp)->DeviceObject
                              : nullptr;
  routine(device, Irp);
  if (kernel::spin_held_by_caller(&cancel_lock))
    kernel::verifier_fail("cancel routine returned holding the cancel spin lock", "routine %p",
                          reinterpret_cast<void*>(routine));
  return TRUE;
}
