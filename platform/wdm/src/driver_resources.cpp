// What each driver holds of the kernel's pool, contiguous memory, MDLs,
// register windows and timers, by the module whose code asked for it, so that
// what a driver still holds when it is unloaded is reported, as the verifier
// reports a driver unloaded without freeing its allocations.
#include <dlfcn.h>

#include <map>
#include <mutex>

#include "kernel.h"

namespace {

struct Holding {
  const void* module;
  const void* caller;
};

std::mutex holdings_lock;
std::map<std::pair<kernel::Resource, const void*>, Holding> holdings;

const char* resource_name(kernel::Resource kind) {
  switch (kind) {
    case kernel::Resource::Pool: return "pool block";
    case kernel::Resource::ContiguousMemory: return "contiguous memory";
    case kernel::Resource::Mdl: return "MDL";
    case kernel::Resource::RegisterWindow: return "register window";
    case kernel::Resource::Timer: return "kernel timer still set";
  }
  return "resource";
}

// The load base of the module holding the code at `code`; nullptr when none.
const void* module_of(const void* code) {
  Dl_info info{};
  return code && dladdr(code, &info) ? info.dli_fbase : nullptr;
}

}  // namespace

namespace kernel {

void resource_acquired(Resource kind, const void* resource, const void* caller) {
  if (!resource) return;
  const Holding holding{module_of(caller), caller};
  std::lock_guard<std::mutex> lock(holdings_lock);
  holdings[{kind, resource}] = holding;
}

void resource_released(Resource kind, const void* resource) {
  std::lock_guard<std::mutex> lock(holdings_lock);
  holdings.erase({kind, resource});
}

void check_driver_released_all(PDRIVER_OBJECT driver, const char* name) {
  const void* module = module_of(reinterpret_cast<const void*>(driver->DriverInit));
  if (!module) return;
  std::lock_guard<std::mutex> lock(holdings_lock);
  for (const auto& [key, holding] : holdings)
    if (holding.module == module)
      verifier_fail("driver unloaded without freeing what it holds",
                    "%s still holds a %s at %p (acquired by code at %p)", name, resource_name(key.first),
                    key.second, holding.caller);
}

}  // namespace kernel
