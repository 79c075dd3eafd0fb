// Contiguous memory under the platform's limits, MDLs and their user-mode
// views, and register windows.
#include "booted_machine.h"

namespace {

class SmallMemoryMachine : public BootedMachine {
 protected:
  void SetUp() override {
    card::PlatformTraits traits;
    traits.contiguous_memory_bytes = 8192;
    boot(1, traits);
  }
};

PHYSICAL_ADDRESS highest(LONGLONG address) {
  PHYSICAL_ADDRESS a;
  a.QuadPart = address;
  return a;
}

TEST_F(SmallMemoryMachine, ContiguousMemoryHonoursTheLargestBlockAndTheHighestAddress) {
  struct Case {
    SIZE_T bytes;
    LONGLONG highest;
    bool succeeds;
  } cases[] = {
      {16384, 0x8000000, false}, {12288, 0x8000000, false}, {8192, 0x8000000, true},
      {4096, 0x8000000, true},   {4096, 0x80000, false},
  };
  for (const Case& c : cases) {
    void* block = MmAllocateContiguousMemory(c.bytes, highest(c.highest));
    EXPECT_EQ(block != nullptr, c.succeeds) << c.bytes << " bytes below 0x" << std::hex << c.highest;
    if (!block) continue;
    const PHYSICAL_ADDRESS pa = MmGetPhysicalAddress(block);
    EXPECT_NE(pa.QuadPart, 0);
    EXPECT_LE(pa.QuadPart + static_cast<LONGLONG>(c.bytes) - 1, c.highest);
    memset(block, 0x5A, c.bytes);  // the kernel address is ordinary memory
    MmFreeContiguousMemory(block);
  }
}

// As on Windows, the pages hold what they held before: whoever hands them
// out must clear them first.
TEST_F(BootedMachine, ContiguousMemoryComesUncleared) {
  auto* block = static_cast<const unsigned char*>(MmAllocateContiguousMemory(8192, highest(0x8000000)));
  ASSERT_NE(block, nullptr);
  EXPECT_NE(block[0], 0);
  EXPECT_NE(block[8191], 0);
  MmFreeContiguousMemory(const_cast<unsigned char*>(block));
}

TEST_F(BootedMachine, UserViewOfAnMdlIsASecondAddressOfTheSameMemory) {
  void* buffer = MmAllocateContiguousMemory(8192, highest(0x8000000));
  ASSERT_NE(buffer, nullptr);
  PMDL mdl = IoAllocateMdl(buffer, 8192, FALSE, FALSE, nullptr);
  ASSERT_NE(mdl, nullptr);
  MmBuildMdlForNonPagedPool(mdl);
  EXPECT_EQ(MmGetSystemAddressForMdlSafe(mdl, NormalPagePriority), buffer);
  EXPECT_EQ(MmGetMdlPfnArray(mdl)[1], static_cast<PFN_NUMBER>((MmGetPhysicalAddress(buffer).QuadPart >> PAGE_SHIFT) + 1));
  auto* user = static_cast<ULONG*>(MmMapLockedPagesSpecifyCache(mdl, UserMode, MmCached, nullptr, FALSE, NormalPagePriority));
  ASSERT_NE(user, nullptr);
  EXPECT_NE(static_cast<void*>(user), buffer);
  user[1000] = 0x1234ABCD;
  EXPECT_EQ(static_cast<ULONG*>(buffer)[1000], 0x1234ABCDu);
  MmUnmapLockedPages(user, mdl);
  IoFreeMdl(mdl);
  MmFreeContiguousMemory(buffer);
}

TEST_F(BootedMachine, IoSpaceIsMappedOnlyWhereACardDecodesIt) {
  PHYSICAL_ADDRESS bar;
  bar.QuadPart = fake::kBar0;
  EXPECT_EQ(MmMapIoSpace(bar, fake::kBar0Length + 4, MmNonCached), nullptr);
  bar.QuadPart = 0x10000000;
  EXPECT_EQ(MmMapIoSpace(bar, 16, MmNonCached), nullptr);
  bar.QuadPart = fake::kBar0;
  auto* window = static_cast<PUCHAR>(MmMapIoSpace(bar, fake::kBar0Length, MmNonCached));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(MmGetPhysicalAddress(window + 8).QuadPart, static_cast<LONGLONG>(fake::kBar0 + 8));
  WRITE_REGISTER_USHORT(reinterpret_cast<PUSHORT>(window + fake::kRegData), 0xBEEF);
  EXPECT_EQ(READ_REGISTER_USHORT(reinterpret_cast<PUSHORT>(window + fake::kRegData)), 0xBEEF);
  EXPECT_EQ(card().reg(fake::kRegData) & 0xFFFF, 0xBEEFu);
  MmUnmapIoSpace(window, fake::kBar0Length);
}

TEST(Pool, TaggedBlocksAreFreedWithTheirTag) {
  void* block = ExAllocatePoolWithTag(NonPagedPool, 40, 0x74736554);
  ASSERT_NE(block, nullptr);
  memset(block, 0, 40);
  ExFreePoolWithTag(block, 0x74736554);
}

}  // namespace
