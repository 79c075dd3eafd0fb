// The worker of the three-step batch move (model A).
#pragma once

#include "win32.h"

// The handle of the last call's worker (NULL before the first call); it is
// signalled when the worker has ended. For the tests: the library itself
// never waits for it.
HANDLE last_batch_worker();
// The library's unload closes the last worker's handle, without waiting for
// the worker.
void close_batch_worker();
