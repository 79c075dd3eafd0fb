// Kernel timers, delays and timed waits on the machine's (manual) clock.
#include "booted_machine.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace {

struct TimerProbe {
  KTIMER timer;
  KDPC dpc;
  std::atomic<int> runs{0};
  std::atomic<int> irql{-1};
  bool rearm = false;
};

void count_run(PKDPC, PVOID context, PVOID, PVOID) {
  auto* probe = static_cast<TimerProbe*>(context);
  probe->irql = KeGetCurrentIrql();
  ++probe->runs;
  if (probe->rearm && probe->runs < 3) {
    LARGE_INTEGER due;
    due.QuadPart = -1000;  // 0.1 ms
    KeSetTimer(&probe->timer, due, &probe->dpc);
  }
}

LARGE_INTEGER relative_100ns(LONGLONG units) {
  LARGE_INTEGER due;
  due.QuadPart = -units;
  return due;
}

struct DueCase {
  const char* name;
  bool absolute;  // system time, else relative to now
};

TEST_F(BootedMachine, TimerDpcRunsOnceTheManualClockPassesItsDueTime) {
  const DueCase cases[] = {{"relative", false}, {"absolute", true}};
  for (const DueCase& c : cases) {
    TimerProbe probe;
    KeInitializeTimer(&probe.timer);
    KeInitializeDpc(&probe.dpc, count_run, &probe);
    LARGE_INTEGER due = relative_100ns(10000);  // 1 ms
    if (c.absolute) {
      KeQuerySystemTime(&due);
      due.QuadPart += 10000;
    }
    EXPECT_FALSE(KeSetTimer(&probe.timer, due, &probe.dpc)) << c.name;
    clock_.advance(500 * card::kNsPerUs);
    sim::wait_idle();
    EXPECT_EQ(probe.runs, 0) << c.name;
    EXPECT_FALSE(KeReadStateTimer(&probe.timer)) << c.name;
    clock_.advance(500 * card::kNsPerUs);
    sim::wait_idle();
    EXPECT_EQ(probe.runs, 1) << c.name;
    EXPECT_EQ(probe.irql, DISPATCH_LEVEL) << c.name;
    EXPECT_TRUE(KeReadStateTimer(&probe.timer)) << c.name;
  }
}

TEST_F(BootedMachine, TimerReArmedByItsDpcKeepsRunningUntilCancelled) {
  TimerProbe probe;
  probe.rearm = true;
  KeInitializeTimer(&probe.timer);
  KeInitializeDpc(&probe.dpc, count_run, &probe);
  KeSetTimer(&probe.timer, relative_100ns(1000), &probe.dpc);
  for (int tick = 0; tick < 5; ++tick) {
    clock_.advance(100 * card::kNsPerUs);
    sim::wait_idle();
  }
  EXPECT_EQ(probe.runs, 3);
  EXPECT_FALSE(KeCancelTimer(&probe.timer));
  KeSetTimer(&probe.timer, relative_100ns(1000), &probe.dpc);
  EXPECT_TRUE(KeCancelTimer(&probe.timer));
  clock_.advance(card::kNsPerMs);
  sim::wait_idle();
  EXPECT_EQ(probe.runs, 3);
}

// A due time between two ticks of the system clock is rounded up to the
// next tick; a due time on a tick expires on it.
class CoarseTimer : public BootedMachine {
 protected:
  void SetUp() override {
    card::PlatformTraits traits;
    traits.timer_resolution_ns = 15625 * card::kNsPerUs;
    boot(1, traits);
  }
};

TEST_F(CoarseTimer, RelativeDueTimesExpireOnTheNextTickOfTheClock) {
  constexpr card::SimTime TICK = 15625 * card::kNsPerUs;
  struct Case {
    card::SimTime set_at;   // clock time of KeSetTimer, from a tick
    LONGLONG due_100ns;     // relative due time
    card::SimTime expires;  // from the same tick
  };
  const Case cases[] = {
      {0, 1000, TICK},                // 0.1 ms -> one tick
      {0, 156250, TICK},              // exactly one tick
      {0, 156251, 2 * TICK},          // just over one
      {TICK - 1000, 1000, 2 * TICK},  // set 1 us before a tick, due just past it
      {5 * card::kNsPerMs, 1000, TICK},
  };
  for (const Case& c : cases) {
    const card::SimTime base = (clock_.now() / TICK + 1) * TICK;
    clock_.advance(base + c.set_at - clock_.now());
    TimerProbe probe;
    KeInitializeTimer(&probe.timer);
    KeInitializeDpc(&probe.dpc, count_run, &probe);
    KeSetTimer(&probe.timer, relative_100ns(c.due_100ns), &probe.dpc);
    clock_.advance(base + c.expires - 1 - clock_.now());
    sim::wait_idle();
    EXPECT_EQ(probe.runs, 0) << "due " << c.due_100ns << " set at " << c.set_at;
    clock_.advance(1);
    sim::wait_idle();
    EXPECT_EQ(probe.runs, 1) << "due " << c.due_100ns << " set at " << c.set_at;
  }
}

TEST_F(BootedMachine, DelayAdvancesTheManualClock) {
  const ULONGLONG before = KeQueryInterruptTime();
  LARGE_INTEGER delay = relative_100ns(20000);  // 2 ms
  EXPECT_EQ(KeDelayExecutionThread(KernelMode, FALSE, &delay), STATUS_SUCCESS);
  EXPECT_EQ(KeQueryInterruptTime() - before, 20000u);
}

TEST_F(BootedMachine, TimedWaitEndsWhenTheClockReachesTheTimeout) {
  KEVENT never;
  KeInitializeEvent(&never, NotificationEvent, FALSE);
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  EXPECT_EQ(KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &zero), STATUS_TIMEOUT);
  std::atomic<NTSTATUS> status{STATUS_PENDING};
  std::thread waiter([&] {
    LARGE_INTEGER timeout = relative_100ns(10000);
    status = KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &timeout);
  });
  while (status == STATUS_PENDING) {
    clock_.advance(card::kNsPerMs);
    std::this_thread::yield();
  }
  waiter.join();
  EXPECT_EQ(status.load(), STATUS_TIMEOUT);
}

TEST_F(BootedMachine, SynchronizationEventReleasesOneWaiterPerSignal) {
  SIM_HANDLE events[2];
  SimCreateEvent(0, 0, &events[0]);
  SimCreateEvent(1, 0, &events[1]);
  uint32_t index = 9;
  SimSetEvent(events[0]);
  EXPECT_EQ(SimWaitForObjects(2, events, 0, 0, &index), STATUS_SUCCESS);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(SimWaitForObjects(2, events, 0, 0, &index), STATUS_TIMEOUT);  // auto-reset
  SimSetEvent(events[0]);
  SimSetEvent(events[1]);
  EXPECT_EQ(SimWaitForObjects(2, events, 1, 0, &index), STATUS_SUCCESS);
  EXPECT_EQ(SimWaitForObjects(1, &events[1], 0, 0, &index), STATUS_SUCCESS);  // manual reset stays
  SimCloseHandle(events[0]);
  SimCloseHandle(events[1]);
  EXPECT_EQ(SimSetEvent(events[0]), STATUS_INVALID_HANDLE);
}

TEST_F(BootedMachine, ReferencedUserEventOutlivesItsHandle) {
  SIM_HANDLE handle;
  SimCreateEvent(1, 0, &handle);
  PVOID object = nullptr;
  ASSERT_EQ(ObReferenceObjectByHandle(handle, SYNCHRONIZE, *ExEventObjectType, UserMode, &object, nullptr), STATUS_SUCCESS);
  SimCloseHandle(handle);
  KeSetEvent(static_cast<PKEVENT>(object), IO_NO_INCREMENT, FALSE);
  EXPECT_EQ(KeReadStateEvent(static_cast<PKEVENT>(object)), 1);
  ObDereferenceObject(object);
  PVOID none = nullptr;
  EXPECT_EQ(ObReferenceObjectByHandle(handle, SYNCHRONIZE, *ExEventObjectType, UserMode, &none, nullptr),
            STATUS_INVALID_HANDLE);
}

}  // namespace

namespace {

std::atomic<bool> hold_dpc_thread{false};
std::atomic<int> plain_runs{0};

void spin_while_held(PKDPC, PVOID, PVOID, PVOID) {
  while (hold_dpc_thread) {
  }
}

void count_plain(PKDPC, PVOID, PVOID, PVOID) { ++plain_runs; }

// Both processors held by a blocker each: the DPC stays queued.
TEST_F(BootedMachine, QueuedDpcIsNotQueuedTwice) {
  KDPC blockers[2], dpc;
  KeInitializeDpc(&dpc, count_plain, nullptr);
  hold_dpc_thread = true;
  plain_runs = 0;
  for (KDPC& blocker : blockers) {
    KeInitializeDpc(&blocker, spin_while_held, nullptr);
    ASSERT_TRUE(KeInsertQueueDpc(&blocker, nullptr, nullptr));
  }
  EXPECT_TRUE(KeInsertQueueDpc(&dpc, nullptr, nullptr));
  EXPECT_FALSE(KeInsertQueueDpc(&dpc, nullptr, nullptr));
  hold_dpc_thread = false;
  sim::wait_idle();
  EXPECT_EQ(plain_runs, 1);
}

TEST(Locks, FastMutexHoldsApcLevelAndSpinLockDispatchLevel) {
  FAST_MUTEX mutex;
  ExInitializeFastMutex(&mutex);
  ExAcquireFastMutex(&mutex);
  EXPECT_EQ(KeGetCurrentIrql(), APC_LEVEL);
  KSPIN_LOCK lock;
  KeInitializeSpinLock(&lock);
  KIRQL old;
  KeAcquireSpinLock(&lock, &old);
  EXPECT_EQ(old, APC_LEVEL);
  EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
  KeReleaseSpinLock(&lock, old);
  ExReleaseFastMutex(&mutex);
  EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

// Threads contending for one fast mutex: each holds it alone, a contended
// acquire waits until the release hands it over, and a try fails while it is
// held and succeeds once it is free.
TEST(Locks, FastMutexExcludesContendingThreadsAndHandsItOver) {
  FAST_MUTEX mutex;
  ExInitializeFastMutex(&mutex);
  constexpr int kThreads = 4, kRounds = 2000;
  int inside = 0, most_inside = 0;
  long total = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        ExAcquireFastMutex(&mutex);
        most_inside = std::max(most_inside, ++inside);
        ++total;
        --inside;
        ExReleaseFastMutex(&mutex);
      }
    });
  for (std::thread &thread : threads) thread.join();
  EXPECT_EQ(total, long{kThreads} * kRounds);
  EXPECT_EQ(most_inside, 1);
  EXPECT_EQ(mutex.Count, 1) << "free again";

  ExAcquireFastMutex(&mutex);
  BOOLEAN taken_while_held = TRUE;
  std::thread([&] { taken_while_held = ExTryToAcquireFastMutex(&mutex); }).join();
  ExReleaseFastMutex(&mutex);
  EXPECT_FALSE(taken_while_held);
  EXPECT_TRUE(ExTryToAcquireFastMutex(&mutex));
  ExReleaseFastMutex(&mutex);
}

}  // namespace
