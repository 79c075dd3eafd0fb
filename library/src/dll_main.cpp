// Load and unload: the library refuses the Windows versions it does not run
// on; the first attach of a process empties the card table and scans once,
// the last detach closes every card.
#include "dll_main.h"

#include "batch_move.h"
#include "card_table.h"
#include "model.h"

namespace {

bool refused = false;

// The message that refuses the running Windows version, or nullptr when it is supported.
const char *refusal_of(const OSVERSIONINFOA &version) {
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) return "Windows98 is not supported.";
  if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return nullptr;
  if (version.dwMajorVersion == 4) return "WindowsNT is not supported.";
  if (version.dwMajorVersion == 7) return "Windows Server Longhorn is not supported yet.";
  return nullptr;
}

BOOL process_attach() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  if (const char *refusal = refusal_of(version)) {
    MessageBoxA(nullptr, refusal, "Error", MB_ICONWARNING);
    refused = true;
    return FALSE;
  }
  refused = false;
  if (card_table.attach_count++ == 0) {
    empty_card_table();
    int16_t count = 0;
    RM7X0_NAME(scan)(&count, nullptr);
  }
  return TRUE;
}

void process_detach() {
  if (card_table.attach_count-- != 1) return;
  RM7X0_NAME(close_all)();
#ifndef RM7X0_MODEL_B
  close_batch_worker();
#endif
}

}  // namespace

bool load_was_refused() { return refused; }

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return process_attach();
    case DLL_PROCESS_DETACH:
      process_detach();
      return TRUE;
    default:  // thread attach and detach
      return TRUE;
  }
}
