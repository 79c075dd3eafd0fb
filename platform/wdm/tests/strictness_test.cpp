// Where Windows would crash, hang or lose state, the kernel does too: each
// rule of the strict kernel with a test that catches a driver (or a manager)
// breaking it, and one that a driver keeping it passes.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "booted_machine.h"
#include "ntifs.h"

namespace {

class Strictness : public BootedMachine {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    BootedMachine::SetUp();
  }
};

// Contiguous pages with their MDL, mapped into the calling thread's process.
struct UserPages {
  PVOID kernel = nullptr;
  PMDL mdl = nullptr;
  PVOID user = nullptr;

  UserPages() {
    PHYSICAL_ADDRESS highest;
    highest.QuadPart = 0x7FFFFFFF;
    kernel = MmAllocateContiguousMemory(PAGE_SIZE, highest);
    mdl = IoAllocateMdl(kernel, PAGE_SIZE, FALSE, FALSE, nullptr);
    MmBuildMdlForNonPagedPool(mdl);
  }
  void map() { user = MmMapLockedPagesSpecifyCache(mdl, UserMode, MmCached, nullptr, FALSE, NormalPagePriority); }
  ~UserPages() {
    if (user) MmUnmapLockedPages(user, mdl);
    IoFreeMdl(mdl);
    MmFreeContiguousMemory(kernel);
  }
};

// Runs the routine once as a DPC (on a processor's DPC thread, in the System
// process) and waits until it has run.
void run_as_dpc(void (*routine)(PVOID), PVOID context) {
  struct Call {
    void (*routine)(PVOID);
    PVOID context;
  } call{routine, context};
  KDPC dpc;
  KeInitializeDpc(&dpc, [](PKDPC, PVOID c, PVOID, PVOID) {
    auto* call = static_cast<Call*>(c);
    call->routine(call->context);
  }, &call);
  KeInsertQueueDpc(&dpc, nullptr, nullptr);
  KeFlushQueuedDpcs();
}

TEST_F(Strictness, AUserViewUnmappedInItsOwnProcessIsGone) {
  UserPages pages;
  pages.map();
  ASSERT_NE(pages.user, nullptr);
  static_cast<volatile char*>(pages.user)[0] = 1;  // the view is usable
  EXPECT_EQ(static_cast<char*>(pages.kernel)[0], 1);
  MmUnmapLockedPages(pages.user, pages.mdl);
  pages.user = nullptr;
}

TEST_F(Strictness, AUserViewUnmappedAtDispatchLevelEndsTheProcess) {
  auto unmap_in_a_dpc = [] {
    UserPages pages;
    pages.map();
    run_as_dpc([](PVOID p) {
      auto* pages = static_cast<UserPages*>(p);
      MmUnmapLockedPages(pages->user, pages->mdl);
    }, &pages);
  };
  EXPECT_DEATH(unmap_in_a_dpc(), "wdm verifier: IRQL too high: MmUnmapLockedPages\\(user space\\) called at "
                                 "IRQL 2 \\(at most 1 allowed\\)");
}

// A handle inherited by a second process lets it send the requests that
// unmap: the view is only gone from the process it lives in, and attaching
// to that process first is what unmaps it there.
TEST_F(Strictness, AUserViewUnmappedInAnotherProcessEndsTheProcess) {
  auto unmap_elsewhere = [] {
    UserPages pages;
    pages.map();
    sim::InSecondProcess other;
    MmUnmapLockedPages(pages.user, pages.mdl);
  };
  EXPECT_DEATH(unmap_elsewhere(), "wdm verifier: user-space mapping unmapped outside the process it was "
                                  "mapped in: .* belongs to the user process, unmapped in the second user process");
  UserPages pages;
  pages.map();
  PEPROCESS mapped_in = PsGetCurrentProcess();
  ObReferenceObject(mapped_in);
  sim::InSecondProcess other;
  EXPECT_NE(PsGetCurrentProcess(), mapped_in);
  KAPC_STATE attached;
  KeStackAttachProcess(mapped_in, &attached);
  MmUnmapLockedPages(pages.user, pages.mdl);
  KeUnstackDetachProcess(&attached);
  pages.user = nullptr;
  EXPECT_NE(PsGetCurrentProcess(), mapped_in) << "detached back into the second process";
  ObDereferenceObject(mapped_in);
}

TEST_F(Strictness, AFailedUserMappingRaisesForTheCallersGuard) {
  sim::shutdown();
  functions_.clear();
  card::PlatformTraits traits;
  traits.user_mapping_fails = true;
  boot(1, traits);
  UserPages pages;
  NTSTATUS raised = STATUS_SUCCESS;
  try {
    pages.map();
  } catch (const KERNEL_EXCEPTION& exception) {
    raised = exception.Status;
  }
  EXPECT_EQ(raised, STATUS_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(pages.user, nullptr);
}

TEST_F(Strictness, ARaiseThatNoGuardTakesEndsTheProcess) {
  auto raise_in_dispatch = [this] {
    SIM_HANDLE file = open();
    SimDeviceIoControl(file, fake_driver::kRaise, nullptr, 0, nullptr, 0, nullptr, nullptr);
  };
  EXPECT_DEATH(raise_in_dispatch(), "wdm verifier: kernel exception not handled: status 0xc000009a raised "
                                    "in a dispatch routine");
}

TEST_F(Strictness, MoreInformationBytesThanTheCallersBufferEndsTheProcess) {
  auto oversized = [this] {
    SIM_HANDLE file = open();
    std::uint8_t out[12];
    SIM_IO_STATUS iosb{};
    SimDeviceIoControl(file, fake_driver::kOversized, nullptr, 0, out, sizeof out, nullptr, &iosb);
  };
  EXPECT_DEATH(oversized(), "wdm verifier: request completed with more bytes than the caller's buffer "
                            "holds: .* Information 64, output buffer 12 bytes");
}

// A user handle: referenced in user mode with the access its handle grants;
// kernel handles are out of user mode's reach.
TEST_F(Strictness, HandlesAreReferencedWithTheirModeAndGrantedAccess) {
  SIM_HANDLE event = nullptr, wait_only = nullptr;
  ASSERT_EQ(SimCreateEvent(1, 0, &event), STATUS_SUCCESS);
  ASSERT_EQ(SimDuplicateHandle(event, SYNCHRONIZE, &wait_only), STATUS_SUCCESS);
  EXPECT_EQ(SimDuplicateHandle(wait_only, EVENT_ALL_ACCESS, &wait_only), STATUS_ACCESS_DENIED);
  PVOID object = nullptr;
  OBJECT_HANDLE_INFORMATION info{};
  EXPECT_EQ(ObReferenceObjectByHandle(wait_only, EVENT_MODIFY_STATE, *ExEventObjectType, UserMode, &object, nullptr),
            STATUS_ACCESS_DENIED);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(ObReferenceObjectByHandle(wait_only, SYNCHRONIZE, *ExEventObjectType, UserMode, &object, &info),
            STATUS_SUCCESS);
  EXPECT_EQ(info.GrantedAccess, static_cast<ACCESS_MASK>(SYNCHRONIZE));
  ObDereferenceObject(object);
  EXPECT_EQ(SimSetEvent(wait_only), STATUS_ACCESS_DENIED);

  HANDLE key = nullptr;
  ASSERT_EQ(IoOpenDeviceRegistryKey(sim::devices().at(0).pdo, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key), STATUS_SUCCESS);
  EXPECT_EQ(ObReferenceObjectByHandle(key, KEY_READ, nullptr, UserMode, &object, nullptr), STATUS_INVALID_HANDLE);
  ASSERT_EQ(ObReferenceObjectByHandle(key, KEY_READ, nullptr, KernelMode, &object, nullptr), STATUS_SUCCESS);
  ObDereferenceObject(object);
  EXPECT_EQ(SimCloseHandle(key), STATUS_INVALID_HANDLE) << "a kernel handle is not the process's";
  ZwClose(key);
  SimCloseHandle(wait_only);
  SimCloseHandle(event);
}

TEST_F(Strictness, AUserHandleReferencedInKernelModeEndsTheProcess) {
  auto kernel_mode = [] {
    SIM_HANDLE event = nullptr;
    SimCreateEvent(1, 0, &event);
    PVOID object = nullptr;
    ObReferenceObjectByHandle(event, EVENT_MODIFY_STATE, *ExEventObjectType, KernelMode, &object, nullptr);
  };
  EXPECT_DEATH(kernel_mode(), "wdm verifier: user-mode handle referenced with KernelMode access");
}

TEST_F(Strictness, AStopWithoutAQueryStopEndsTheProcess) {
  EXPECT_DEATH(sim::send_pnp(0, sim::Pnp::Stop),
               "wdm verifier: IRP_MN_STOP_DEVICE without a successful IRP_MN_QUERY_STOP_DEVICE");
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::QueryStop), STATUS_SUCCESS);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::CancelStop), STATUS_SUCCESS);
  EXPECT_DEATH(sim::send_pnp(0, sim::Pnp::Stop), "IRP_MN_STOP_DEVICE without") << "the query was cancelled";
}

TEST_F(Strictness, ARemoveWithoutAQueryRemoveEndsTheProcess) {
  EXPECT_DEATH(sim::send_pnp(0, sim::Pnp::Remove),
               "wdm verifier: IRP_MN_REMOVE_DEVICE without a successful IRP_MN_QUERY_REMOVE_DEVICE");
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::SurpriseRemoval), STATUS_SUCCESS);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Remove), STATUS_SUCCESS) << "a pulled card needs no query";
}

// Two DPCs of one device, and one DPC queued again while it runs, run at the
// same time on the machine's two processors: each waits until it sees the
// other running (on one processor this would never end).
TEST_F(Strictness, DpcsRunOnTwoProcessorsAtOnce) {
  struct Meeting {
    std::atomic<int> arrived{0};
    KDPC first, second;
  } meeting;
  auto meet = [](PKDPC, PVOID context, PVOID again, PVOID) {
    auto* m = static_cast<Meeting*>(context);
    m->arrived++;
    if (again) KeInsertQueueDpc(&m->first, nullptr, nullptr);  // the same DPC, queued again while it runs
    while (m->arrived < 2) std::this_thread::yield();
  };
  KeInitializeDpc(&meeting.first, meet, &meeting);
  KeInitializeDpc(&meeting.second, meet, &meeting);
  KeInsertQueueDpc(&meeting.first, nullptr, nullptr);
  KeInsertQueueDpc(&meeting.second, nullptr, nullptr);
  KeFlushQueuedDpcs();
  EXPECT_EQ(meeting.arrived, 2);
  meeting.arrived = 0;
  KeInsertQueueDpc(&meeting.first, &meeting, nullptr);
  KeFlushQueuedDpcs();
  EXPECT_EQ(meeting.arrived, 2);
}

// On a machine of one processor a DPC never runs beside another, not even
// on the thread that took the interrupt: the card's DPC waits for the DPC
// that holds the processor, and then runs.
class OneProcessor : public BootedMachine {
 protected:
  void SetUp() override {
    card::PlatformTraits traits;
    traits.processors = 1;
    boot(1, traits);
  }
};

TEST_F(OneProcessor, ATakenInterruptsDpcWaitsForTheProcessor) {
  struct Holder {
    std::atomic<bool> running{false}, release{false};
    KDPC dpc;
  } holder;
  KeInitializeDpc(&holder.dpc, [](PKDPC, PVOID context, PVOID, PVOID) {
    auto* h = static_cast<Holder*>(context);
    h->running = true;
    while (!h->release) std::this_thread::yield();
  }, &holder);
  KeInsertQueueDpc(&holder.dpc, nullptr, nullptr);
  while (!holder.running) std::this_thread::yield();
  card().set_line(true);
  EXPECT_EQ(fake_driver::observed.isr_calls, 1) << "taken here at once";
  EXPECT_EQ(fake_driver::observed.dpc_calls, 0) << "its DPC ran beside the one holding the processor";
  holder.release = true;
  KeFlushQueuedDpcs();
  EXPECT_EQ(fake_driver::observed.dpc_calls, 1);
}

// A service routine that says "mine" without quieting its device would keep
// the processor on the line for ever (and starve the line's other devices).
TEST_F(Strictness, AServiceRoutineClaimingAnInterruptItLeavesAssertedEndsTheProcess) {
  auto claim_without_acknowledging = [this] {
    fake_driver::observed.isr_acknowledges = false;
    card().set_line(true);
    sim::wait_idle();
  };
  EXPECT_DEATH(claim_without_acknowledging(), "wdm verifier: service routine claims an interrupt that stays asserted");
}

}  // namespace
