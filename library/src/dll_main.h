// The library's entry point, called on load and unload (dll_entry.cpp) and by tests.
#pragma once

#include "win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
