// The loader's side of DllMain: ELF constructors and destructors stand in for
// the process attach and detach notifications. A refused attach cannot make
// the load itself fail here; the library then stays without a scan, and is
// not detached at unload since it never attached.
#include "dll_main.h"

namespace {

bool attached = false;

__attribute__((constructor)) void process_attach() {
  attached = DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr) != FALSE;
}

__attribute__((destructor)) void process_detach() {
  if (attached) DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
}

}  // namespace
