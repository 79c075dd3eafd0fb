// The library's entry point, called on load and unload (dll_entry.cpp) and by tests.
#pragma once

#include "win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// True from a refused process attach to the next attach that succeeds. The
// loader's failure leaves no export reachable on Windows; here the process
// goes on, so every export asks this first and refuses.
bool load_was_refused();
