// Physically contiguous memory, memory descriptor lists and their mappings.
// Each contiguous block is a memory file mapped for the kernel, with a
// simulated physical address below the machine's RAM top; a user-mode mapping
// of its pages is a second view of the same file at another address.
#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "kernel.h"

namespace {

constexpr std::uint64_t kRamBase = 0x00100000;  // first megabyte left to firmware
constexpr std::uint64_t kRamTop = 0x40000000;   // 1 GB of simulated RAM
// Contiguous memory comes uninitialised, holding whatever the pages held
// before: here a pattern, so that a driver handing it out uncleared shows.
constexpr int kStaleByte = 0xA5;

struct Block {
  std::size_t size;  // page-rounded
  std::uint64_t physical;
  int fd;
  int user_views;
};

struct UserView {
  void* base;  // page-aligned start of the view
  std::size_t length;
  PMDL mdl;
  Block* block;
  PEPROCESS process;  // the address space the view lives in
};

std::mutex memory_lock;
std::map<std::uintptr_t, Block> blocks;           // by kernel address
std::map<std::uintptr_t, UserView> user_views;    // by the address handed out
std::uint32_t contiguous_limit = 0;
bool user_mappings_fail = false;

// Under memory_lock: the block holding va, or nullptr.
std::pair<const std::uintptr_t, Block>* block_holding(const void* va) {
  const auto at = reinterpret_cast<std::uintptr_t>(va);
  auto it = blocks.upper_bound(at);
  if (it == blocks.begin()) return nullptr;
  --it;
  return at < it->first + it->second.size ? &*it : nullptr;
}

// Under memory_lock: the lowest free physical range of size bytes ending at
// or below highest; 0 when none.
std::uint64_t find_physical(std::size_t size, std::uint64_t highest) {
  std::map<std::uint64_t, std::size_t> used;
  for (auto& [va, block] : blocks) used[block.physical] = block.size;
  std::uint64_t candidate = kRamBase;
  for (auto& [start, length] : used) {
    if (candidate + size <= start) break;
    candidate = std::max(candidate, start + length);
  }
  const std::uint64_t top = std::min(highest + 1, kRamTop);
  return candidate + size <= top ? candidate : 0;
}

void* map_block(int fd, std::size_t size, off_t offset) {
  void* va = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
  return va == MAP_FAILED ? nullptr : va;
}

}  // namespace

namespace kernel {

void memory_start(std::uint32_t limit, bool user_mapping_fails) {
  contiguous_limit = limit;
  user_mappings_fail = user_mapping_fails;
}

void memory_stop() {
  std::lock_guard<std::mutex> lock(memory_lock);
  // Views and blocks the drivers leaked go with the machine.
  for (auto& [va, view] : user_views) munmap(view.base, view.length);
  user_views.clear();
  for (auto& [va, block] : blocks) {
    munmap(reinterpret_cast<void*>(va), block.size);
    close(block.fd);
  }
  blocks.clear();
}

bool physical_address_of(const void* va, std::uint64_t* pa) {
  {
    std::lock_guard<std::mutex> lock(memory_lock);
    if (auto* found = block_holding(va)) {
      *pa = found->second.physical + (reinterpret_cast<std::uintptr_t>(va) - found->first);
      return true;
    }
  }
  return mmio_window_physical(va, pa);
}

}  // namespace kernel

/* ntoskrnl */
PVOID MmAllocateContiguousMemory(SIZE_T NumberOfBytes, PHYSICAL_ADDRESS HighestAcceptableAddress) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "MmAllocateContiguousMemory");
  if (NumberOfBytes == 0 || NumberOfBytes > contiguous_limit) return nullptr;
  const std::size_t size = ROUND_TO_PAGES(NumberOfBytes);
  std::lock_guard<std::mutex> lock(memory_lock);
  const std::uint64_t physical =
      find_physical(size, static_cast<std::uint64_t>(HighestAcceptableAddress.QuadPart));
  if (physical == 0) return nullptr;
  const int fd = memfd_create("rm7x0-contiguous", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  void* va = ftruncate(fd, static_cast<off_t>(size)) == 0 ? map_block(fd, size, 0) : nullptr;
  if (!va) {
    close(fd);
    return nullptr;
  }
  memset(va, kStaleByte, size);
  blocks[reinterpret_cast<std::uintptr_t>(va)] = Block{size, physical, fd, 0};
  kernel::resource_acquired(kernel::Resource::ContiguousMemory, va, __builtin_return_address(0));
  return va;
}

/* ntoskrnl */
VOID MmFreeContiguousMemory(PVOID BaseAddress) {
  kernel::require_irql_at_most(PASSIVE_LEVEL, "MmFreeContiguousMemory");
  std::lock_guard<std::mutex> lock(memory_lock);
  auto it = blocks.find(reinterpret_cast<std::uintptr_t>(BaseAddress));
  if (it == blocks.end())
    kernel::verifier_fail("MmFreeContiguousMemory of memory it did not allocate", "%p", BaseAddress);
  if (it->second.user_views != 0)
    kernel::verifier_fail("contiguous memory freed while mapped into user space",
                          "%p has %d user views", BaseAddress, it->second.user_views);
  kernel::timer_check_none_set_in(BaseAddress, it->second.size, "contiguous memory");
  munmap(BaseAddress, it->second.size);
  close(it->second.fd);
  blocks.erase(it);
  kernel::resource_released(kernel::Resource::ContiguousMemory, BaseAddress);
}

/* ntoskrnl */
PHYSICAL_ADDRESS MmGetPhysicalAddress(PVOID BaseAddress) {
  PHYSICAL_ADDRESS result;
  std::uint64_t pa = 0;
  kernel::physical_address_of(BaseAddress, &pa);
  result.QuadPart = static_cast<LONGLONG>(pa);
  return result;
}

/* ntoskrnl */
PMDL IoAllocateMdl(PVOID VirtualAddress, ULONG Length, BOOLEAN SecondaryBuffer, BOOLEAN ChargeQuota,
                   PIRP Irp) {
  (void)SecondaryBuffer;
  (void)ChargeQuota;
  kernel::require_irql_at_most(DISPATCH_LEVEL, "IoAllocateMdl");
  if (Length == 0 || Irp != nullptr) return nullptr;  // MDL chains of IRPs are not supported
  const ULONG pages = ADDRESS_AND_SIZE_TO_SPAN_PAGES(VirtualAddress, Length);
  const std::size_t size = sizeof(MDL) + pages * sizeof(PFN_NUMBER);
  auto* mdl = static_cast<PMDL>(kernel::pool_allocate(size, 0x206c644d));  // "Mdl "
  if (!mdl) return nullptr;
  memset(mdl, 0, size);
  mdl->Size = static_cast<CSHORT>(size);
  mdl->StartVa = PAGE_ALIGN(VirtualAddress);
  mdl->ByteOffset = BYTE_OFFSET(VirtualAddress);
  mdl->ByteCount = Length;
  kernel::resource_acquired(kernel::Resource::Mdl, mdl, __builtin_return_address(0));
  return mdl;
}

/* ntoskrnl */
VOID IoFreeMdl(PMDL Mdl) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "IoFreeMdl");
  {
    std::lock_guard<std::mutex> lock(memory_lock);
    for (auto& [va, view] : user_views)
      if (view.mdl == Mdl)
        kernel::verifier_fail("MDL freed while its pages are mapped into user space",
                              "MDL %p, view %p", static_cast<void*>(Mdl), reinterpret_cast<void*>(va));
  }
  kernel::resource_released(kernel::Resource::Mdl, Mdl);
  kernel::pool_free(Mdl);
}

/* ntoskrnl */
VOID MmBuildMdlForNonPagedPool(PMDL MemoryDescriptorList) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "MmBuildMdlForNonPagedPool");
  PMDL mdl = MemoryDescriptorList;
  const ULONG pages = ADDRESS_AND_SIZE_TO_SPAN_PAGES(MmGetMdlVirtualAddress(mdl), mdl->ByteCount);
  PPFN_NUMBER frames = MmGetMdlPfnArray(mdl);
  bool io_space = false;
  for (ULONG i = 0; i < pages; ++i) {
    std::uint64_t pa = 0;
    const void* page = static_cast<const char*>(mdl->StartVa) + i * PAGE_SIZE;
    kernel::physical_address_of(page, &pa);
    io_space = io_space || kernel::mmio_window_physical(page, &pa);
    frames[i] = static_cast<PFN_NUMBER>(pa >> PAGE_SHIFT);
  }
  mdl->MappedSystemVa = MmGetMdlVirtualAddress(mdl);
  mdl->MdlFlags |= MDL_SOURCE_IS_NONPAGED_POOL | (io_space ? MDL_IO_SPACE : 0);
}

// Under memory_lock: a view of the MDL's pages in the current process, or
// nullptr. The System process has no user address space.
static PVOID try_map_for_user(PMDL mdl) {
  if (user_mappings_fail || PsGetCurrentProcess() == kernel::the_system_process()) return nullptr;
  auto* found = block_holding(mdl->StartVa);
  if (!found) return nullptr;  // only contiguous memory has a second view
  const std::size_t length = ROUND_TO_PAGES(mdl->ByteOffset + mdl->ByteCount);
  const auto offset = reinterpret_cast<std::uintptr_t>(mdl->StartVa) - found->first;
  if (offset + length > found->second.size) return nullptr;
  void* base = map_block(found->second.fd, length, static_cast<off_t>(offset));
  if (!base) return nullptr;
  void* address = static_cast<char*>(base) + mdl->ByteOffset;
  user_views[reinterpret_cast<std::uintptr_t>(address)] =
      UserView{base, length, mdl, &found->second, PsGetCurrentProcess()};
  ++found->second.user_views;
  return address;
}

// A user-mode mapping that fails raises, whatever the caller asked: the
// caller maps under an exception guard.
static PVOID map_for_user(PMDL mdl) {
  kernel::require_irql_at_most(APC_LEVEL, "MmMapLockedPagesSpecifyCache(UserMode)");
  PVOID address;
  {
    std::lock_guard<std::mutex> lock(memory_lock);
    address = try_map_for_user(mdl);
  }
  if (!address) ExRaiseStatus(STATUS_INSUFFICIENT_RESOURCES);
  return address;
}

/* ntoskrnl */
PVOID MmMapLockedPagesSpecifyCache(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode,
                                   MEMORY_CACHING_TYPE CacheType, PVOID RequestedAddress,
                                   ULONG BugCheckOnFailure, ULONG Priority) {
  (void)CacheType;
  (void)BugCheckOnFailure;
  (void)Priority;
  if (RequestedAddress != nullptr) return nullptr;
  if (AccessMode == UserMode) return map_for_user(MemoryDescriptorList);
  kernel::require_irql_at_most(DISPATCH_LEVEL, "MmMapLockedPagesSpecifyCache(KernelMode)");
  if (!(MemoryDescriptorList->MdlFlags & (MDL_SOURCE_IS_NONPAGED_POOL | MDL_MAPPED_TO_SYSTEM_VA)))
    return nullptr;  // pages that were never built or locked have no system address
  return MemoryDescriptorList->MappedSystemVa;
}

/* ntoskrnl */
PVOID MmMapLockedPages(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode) {
  return MmMapLockedPagesSpecifyCache(MemoryDescriptorList, AccessMode, MmCached, nullptr, TRUE,
                                      NormalPagePriority);
}

/* ntoskrnl */
VOID MmUnmapLockedPages(PVOID BaseAddress, PMDL MemoryDescriptorList) {
  std::lock_guard<std::mutex> lock(memory_lock);
  auto it = user_views.find(reinterpret_cast<std::uintptr_t>(BaseAddress));
  if (it == user_views.end()) {
    kernel::require_irql_at_most(DISPATCH_LEVEL, "MmUnmapLockedPages(system space)");
    if (BaseAddress == MemoryDescriptorList->MappedSystemVa) return;  // a system mapping: stays
    kernel::verifier_fail("MmUnmapLockedPages of an address that is not mapped", "%p", BaseAddress);
  }
  kernel::require_irql_at_most(APC_LEVEL, "MmUnmapLockedPages(user space)");
  if (it->second.mdl != MemoryDescriptorList)
    kernel::verifier_fail("MmUnmapLockedPages with another MDL than the mapping's", "%p", BaseAddress);
  if (it->second.process != PsGetCurrentProcess())
    kernel::verifier_fail("user-space mapping unmapped outside the process it was mapped in",
                          "%p belongs to %s, unmapped in %s", BaseAddress,
                          kernel::process_name(it->second.process),
                          kernel::process_name(PsGetCurrentProcess()));
  munmap(it->second.base, it->second.length);
  --it->second.block->user_views;
  user_views.erase(it);
}
