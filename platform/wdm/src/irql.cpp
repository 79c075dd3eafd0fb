// Interrupt request levels, tracked per thread: what the processor's IRQL is
// to a thread of the real kernel. Also the current thread and process.
#include "kernel.h"
#include "ntifs.h"
#include "sim_kernel.h"

struct _KPROCESS {
  const char* name;
};

namespace {

// Processes are objects a driver may reference; they live as long as the
// program, so their own reference never goes.
void process_deleted(void* body) {
  kernel::verifier_fail("process object dereferenced more often than referenced", "%s",
                        static_cast<PEPROCESS>(body)->name);
}
_OBJECT_TYPE process_object_type{{"Process", process_deleted, [](void*) {}}};

PEPROCESS make_process(const char* name) {
  auto* process = static_cast<PEPROCESS>(kernel::create_object(&process_object_type, sizeof(_KPROCESS)));
  process->name = name;
  return process;
}

PEPROCESS user_process() {
  static const PEPROCESS process = make_process("the user process");
  return process;
}

PEPROCESS second_user_process() {
  static const PEPROCESS process = make_process("the second user process");
  return process;
}

PEPROCESS system_process() {
  static const PEPROCESS process = make_process("System");
  return process;
}

}  // namespace

// A thread of the test program is a thread of the user process (nullptr
// here), unless it runs in the second one; the kernel's own threads, and a
// thread while it serves the Plug and Play or power manager, run in the
// System process.
struct _KTHREAD {
  KIRQL irql = PASSIVE_LEVEL;
  int spin_locks_held = 0;
  bool interrupt_pending = false;
  PEPROCESS process = nullptr;
};

namespace {
// Initial-exec: read on every register access, so no call into the TLS resolver.
thread_local _KTHREAD current_thread __attribute__((tls_model("initial-exec")));
}

namespace kernel {

// A processor takes the interrupts held back by its IRQL as the IRQL falls.
void lowered(KIRQL irql) {
  if (irql == PASSIVE_LEVEL && current_thread.interrupt_pending && current_thread.spin_locks_held == 0)
    interrupts_take_pending();
}

void set_irql(KIRQL irql) {
  current_thread.irql = irql;
  lowered(irql);
}

void set_interrupt_pending(bool pending) { current_thread.interrupt_pending = pending; }

PEPROCESS the_system_process() { return system_process(); }
const char* process_name(PEPROCESS process) { return process->name; }
void become_system_thread() { current_thread.process = system_process(); }

SystemContext::SystemContext() : previous_(current_thread.process) {
  current_thread.process = system_process();
}
SystemContext::~SystemContext() { current_thread.process = previous_; }
int& spin_locks_held() { return current_thread.spin_locks_held; }

}  // namespace kernel

/* hal */
KIRQL KeGetCurrentIrql(void) { return current_thread.irql; }

/* hal */
VOID KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql) {
  const KIRQL old = current_thread.irql;
  if (NewIrql < old)
    kernel::verifier_fail("IRQL raised downwards", "KeRaiseIrql to %u from %u", NewIrql, old);
  *OldIrql = old;
  current_thread.irql = NewIrql;
}

/* hal */
VOID KeLowerIrql(KIRQL NewIrql) {
  if (NewIrql > current_thread.irql)
    kernel::verifier_fail("IRQL lowered upwards", "KeLowerIrql to %u from %u", NewIrql,
                          current_thread.irql);
  current_thread.irql = NewIrql;
  kernel::lowered(NewIrql);
}

/* ntoskrnl */
KIRQL KeRaiseIrqlToDpcLevel(void) {
  KIRQL old;
  KeRaiseIrql(DISPATCH_LEVEL, &old);
  return old;
}

/* ntoskrnl */
PKTHREAD KeGetCurrentThread(void) { return &current_thread; }
/* ntoskrnl */
PETHREAD PsGetCurrentThread(void) { return &current_thread; }

namespace sim {

InSecondProcess::InSecondProcess() : previous_(current_thread.process) {
  current_thread.process = second_user_process();
}
InSecondProcess::~InSecondProcess() { current_thread.process = previous_; }

}  // namespace sim

/* ntoskrnl */
PEPROCESS PsGetCurrentProcess(void) {
  return current_thread.process ? current_thread.process : user_process();
}
/* ntoskrnl */
PEPROCESS IoGetCurrentProcess(void) { return PsGetCurrentProcess(); }

/* ntoskrnl */
VOID KeStackAttachProcess(PRKPROCESS PROCESS, PRKAPC_STATE ApcState) {
  kernel::require_irql_at_most(APC_LEVEL, "KeStackAttachProcess");
  if (kernel::object_type(PROCESS) != &process_object_type)
    kernel::verifier_fail("KeStackAttachProcess to no process", "%p", static_cast<void*>(PROCESS));
  ApcState->attached_from = current_thread.process;
  ApcState->attached = TRUE;
  current_thread.process = PROCESS;
}

/* ntoskrnl */
VOID KeUnstackDetachProcess(PRKAPC_STATE ApcState) {
  kernel::require_irql_at_most(APC_LEVEL, "KeUnstackDetachProcess");
  if (!ApcState->attached)
    kernel::verifier_fail("KeUnstackDetachProcess without KeStackAttachProcess", "state %p",
                          static_cast<void*>(ApcState));
  ApcState->attached = FALSE;
  current_thread.process = ApcState->attached_from;
}
