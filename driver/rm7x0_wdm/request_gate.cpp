/* The gate in front of the request handlers. Requests that arrive while the
 * card is away for a while and comes back by itself (powering up after a
 * wake, stopped for a resource rebalance that Plug and Play agreed with the
 * driver) wait at PASSIVE_LEVEL in the caller's thread until it is back,
 * and are then served; the gate opens as well when the card goes, and the
 * waiting requests then see it gone. The gate closes and is passed under
 * the request mutex, so no handler runs on a card behind a closed gate. */
#include "rm7x0_driver.h"

VOID request_gate_init(CardExtension *ext) {
  KeInitializeEvent(&ext->requests_may_run, NotificationEvent, TRUE);
}

VOID request_gate_close(CardExtension *ext) {
  ExAcquireFastMutex(&ext->request_mutex);
  KeClearEvent(&ext->requests_may_run);
  ExReleaseFastMutex(&ext->request_mutex);
}

/* Also from a power completion routine: at most DISPATCH_LEVEL. */
VOID request_gate_open(CardExtension *ext) {
  KeSetEvent(&ext->requests_may_run, IO_NO_INCREMENT, FALSE);
}

VOID request_gate_pass(CardExtension *ext) {
  KeWaitForSingleObject(&ext->requests_may_run, Executive, KernelMode, FALSE, NULL);
}

VOID request_gate_pass_and_lock(CardExtension *ext) {
  for (;;) {
    request_gate_pass(ext);
    ExAcquireFastMutex(&ext->request_mutex);
    if (KeReadStateEvent(&ext->requests_may_run)) return;
    ExReleaseFastMutex(&ext->request_mutex);  /* closed meanwhile: wait again */
  }
}
