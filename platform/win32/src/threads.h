// Thread handles: a thread's handle is an event of the simulated kernel that
// is signalled when the thread ends. The event stays until both the thread
// has ended and its handle was closed.
#pragma once

#include <windows.h>

// True when the handle is a thread's (it is then closed, or closed once the
// thread ends); false for any other handle.
bool close_thread_handle(HANDLE handle);
