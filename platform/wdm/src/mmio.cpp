// Register windows. MmMapIoSpace hands out a reserved, inaccessible range of
// addresses (so a direct dereference crashes as a stray access would);
// READ/WRITE_REGISTER_* look the address up in the window table and forward
// the access to the card that decodes its physical address.
#include <sys/mman.h>

#include <atomic>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "kernel.h"

namespace {

struct Window {
  std::size_t length;
  std::size_t reserved;  // page-rounded length of the reservation
  std::uint64_t physical;
  card::PciFunction* function;
};

std::shared_mutex windows_lock;
std::map<std::uintptr_t, Window> windows;
std::vector<card::PciFunction*> functions;

// Windows change when a driver maps or unmaps one; every register access
// looks one up. Each thread keeps the window it reached last, good while no
// window changed since (counted under the lock, read without it).
std::atomic<std::uint64_t> window_changes{0};
struct RecentWindow {
  std::uint64_t changes = ~std::uint64_t{0};
  std::uintptr_t start = 0;
  Window window{};
};
thread_local RecentWindow recent;

void windows_changed() { window_changes.fetch_add(1, std::memory_order_release); }

card::PciFunction* decoder_of(std::uint64_t physical, std::size_t length) {
  for (card::PciFunction* function : functions)
    for (int index = 0; index < card::kBarCount; ++index) {
      const card::BarInfo bar = function->bar(index);
      if (bar.kind == card::BarKind::Memory && physical >= bar.base &&
          physical + length <= bar.base + bar.length)
        return function;
    }
  return nullptr;
}

struct Target {
  card::PciFunction* function;
  std::uint64_t physical;
};

Target find_register(volatile const void* address, unsigned size, const char* routine) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  if (recent.changes == window_changes.load(std::memory_order_acquire) && at >= recent.start &&
      at + size <= recent.start + recent.window.length)
    return Target{recent.window.function, recent.window.physical + (at - recent.start)};
  std::shared_lock<std::shared_mutex> lock(windows_lock);
  auto it = windows.upper_bound(at);
  if (it != windows.begin()) {
    --it;
    if (at + size <= it->first + it->second.length) {
      recent = {window_changes.load(std::memory_order_relaxed), it->first, it->second};
      return Target{it->second.function, it->second.physical + (at - it->first)};
    }
  }
  kernel::verifier_fail("register access outside a mapped window", "%s at %p (%u bytes)", routine,
                        const_cast<const void*>(address), size);
}

std::uint32_t read_register(volatile const void* address, unsigned size, const char* routine) {
  const Target target = find_register(address, size, routine);
  std::uint32_t value = 0;
  if (target.function->mmio_read(target.physical, size, &value)) return value;
  if (!target.function->present()) return 0xFFFFFFFFu >> (32 - 8 * size);  // a pulled card floats high
  kernel::verifier_fail("register access the card does not decode", "%s at physical 0x%llx",
                        routine, static_cast<unsigned long long>(target.physical));
}

void write_register(volatile void* address, unsigned size, std::uint32_t value, const char* routine) {
  const Target target = find_register(address, size, routine);
  if (target.function->mmio_write(target.physical, size, value) || !target.function->present()) return;
  kernel::verifier_fail("register access the card does not decode", "%s at physical 0x%llx",
                        routine, static_cast<unsigned long long>(target.physical));
}

}  // namespace

namespace kernel {

void mmio_set_functions(std::vector<card::PciFunction*> list) {
  std::unique_lock<std::shared_mutex> lock(windows_lock);
  functions = std::move(list);
  for (auto& [va, window] : windows) munmap(reinterpret_cast<void*>(va), window.reserved);
  windows.clear();
  windows_changed();
}

bool mmio_window_physical(const void* va, std::uint64_t* pa) {
  const auto at = reinterpret_cast<std::uintptr_t>(va);
  std::shared_lock<std::shared_mutex> lock(windows_lock);
  auto it = windows.upper_bound(at);
  if (it == windows.begin()) return false;
  --it;
  if (at >= it->first + it->second.reserved) return false;
  *pa = it->second.physical + (at - it->first);
  return true;
}

}  // namespace kernel

/* ntoskrnl */
PVOID MmMapIoSpace(PHYSICAL_ADDRESS PhysicalAddress, SIZE_T NumberOfBytes, MEMORY_CACHING_TYPE CacheType) {
  (void)CacheType;
  kernel::require_irql_at_most(DISPATCH_LEVEL, "MmMapIoSpace");
  const auto physical = static_cast<std::uint64_t>(PhysicalAddress.QuadPart);
  std::unique_lock<std::shared_mutex> lock(windows_lock);
  card::PciFunction* function = NumberOfBytes ? decoder_of(physical, NumberOfBytes) : nullptr;
  if (!function) return nullptr;
  const std::size_t offset = BYTE_OFFSET(physical);
  const std::size_t reserved = ROUND_TO_PAGES(offset + NumberOfBytes);
  void* base = mmap(nullptr, reserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  auto* address = static_cast<char*>(base) + offset;
  windows[reinterpret_cast<std::uintptr_t>(address)] = Window{NumberOfBytes, reserved - offset, physical, function};
  windows_changed();
  kernel::resource_acquired(kernel::Resource::RegisterWindow, address, __builtin_return_address(0));
  return address;
}

/* ntoskrnl */
VOID MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "MmUnmapIoSpace");
  std::unique_lock<std::shared_mutex> lock(windows_lock);
  auto it = windows.find(reinterpret_cast<std::uintptr_t>(BaseAddress));
  if (it == windows.end())
    kernel::verifier_fail("MmUnmapIoSpace of an address MmMapIoSpace did not return", "%p", BaseAddress);
  if (it->second.length != NumberOfBytes)
    kernel::verifier_fail("MmUnmapIoSpace with another length than mapped", "%p: mapped %zu, unmapped %zu",
                          BaseAddress, it->second.length, static_cast<std::size_t>(NumberOfBytes));
  munmap(PAGE_ALIGN(BaseAddress), it->second.reserved + BYTE_OFFSET(BaseAddress));
  windows.erase(it);
  windows_changed();
  kernel::resource_released(kernel::Resource::RegisterWindow, BaseAddress);
}

/* hal */
UCHAR READ_REGISTER_UCHAR(volatile UCHAR* Register) {
  return static_cast<UCHAR>(read_register(Register, 1, "READ_REGISTER_UCHAR"));
}
/* hal */
USHORT READ_REGISTER_USHORT(volatile USHORT* Register) {
  return static_cast<USHORT>(read_register(Register, 2, "READ_REGISTER_USHORT"));
}
/* hal */
ULONG READ_REGISTER_ULONG(volatile ULONG* Register) {
  return read_register(Register, 4, "READ_REGISTER_ULONG");
}
/* hal */
VOID WRITE_REGISTER_UCHAR(volatile UCHAR* Register, UCHAR Value) {
  write_register(Register, 1, Value, "WRITE_REGISTER_UCHAR");
}
/* hal */
VOID WRITE_REGISTER_USHORT(volatile USHORT* Register, USHORT Value) {
  write_register(Register, 2, Value, "WRITE_REGISTER_USHORT");
}
/* hal */
VOID WRITE_REGISTER_ULONG(volatile ULONG* Register, ULONG Value) {
  write_register(Register, 4, Value, "WRITE_REGISTER_ULONG");
}
