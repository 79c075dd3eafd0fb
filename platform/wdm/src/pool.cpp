// The executive's pool: heap blocks with a header that names their tag, so a
// free with the wrong tag or of memory that is no pool block is caught.
#include <cstdlib>

#include "kernel.h"

namespace {

constexpr std::uint32_t kLiveMagic = 0x6c6f6f50;  // "Pool"
constexpr std::uint32_t kFreedMagic = 0x65657246;

struct alignas(16) PoolHeader {
  std::uint32_t magic;
  ULONG tag;
  SIZE_T size;
};

PoolHeader* header_of(void* p) { return static_cast<PoolHeader*>(p) - 1; }

}  // namespace

namespace kernel {

void* pool_allocate(SIZE_T bytes, ULONG tag) {
  auto* header = static_cast<PoolHeader*>(std::malloc(sizeof(PoolHeader) + (bytes ? bytes : 1)));
  if (!header) return nullptr;
  *header = PoolHeader{kLiveMagic, tag, bytes};
  return header + 1;
}

void pool_free(void* p) { ExFreePoolWithTag(p, 0); }

}  // namespace kernel

static void check_pool_irql(POOL_TYPE type, const char* routine) {
  kernel::require_irql_at_most(type == PagedPool || type == PagedPoolCacheAligned ? APC_LEVEL
                                                                                  : DISPATCH_LEVEL,
                               routine);
}

// A block of a driver's, held in its name until freed.
static PVOID allocate_for(const void* caller, POOL_TYPE type, SIZE_T bytes, ULONG tag, const char* routine) {
  check_pool_irql(type, routine);
  PVOID block = kernel::pool_allocate(bytes, tag);
  kernel::resource_acquired(kernel::Resource::Pool, block, caller);
  return block;
}

/* ntoskrnl */
PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
  return allocate_for(__builtin_return_address(0), PoolType, NumberOfBytes, Tag, "ExAllocatePoolWithTag");
}

/* ntoskrnl */
PVOID ExAllocatePool(POOL_TYPE PoolType, SIZE_T NumberOfBytes) {
  return allocate_for(__builtin_return_address(0), PoolType, NumberOfBytes, 0x656e6f4e,  // "None"
                      "ExAllocatePool");
}

/* ntoskrnl */
VOID ExFreePoolWithTag(PVOID P, ULONG Tag) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "ExFreePoolWithTag");
  if (P == nullptr) kernel::verifier_fail("ExFreePool of NULL", "%s", "no block given");
  PoolHeader* header = header_of(P);
  if (header->magic != kLiveMagic)
    kernel::verifier_fail("ExFreePool of memory that is no live pool block", "%p", P);
  if (Tag != 0 && header->tag != Tag)
    kernel::verifier_fail("pool block freed with a wrong tag", "%p has tag 0x%08x, freed as 0x%08x",
                          P, header->tag, Tag);
  kernel::timer_check_none_set_in(P, header->size, "a pool block");
  kernel::dpc_check_none_queued_in(P, header->size, "a pool block");
  header->magic = kFreedMagic;
  kernel::resource_released(kernel::Resource::Pool, P);
  std::free(header);
}

/* ntoskrnl */
VOID ExFreePool(PVOID P) { ExFreePoolWithTag(P, 0); }
