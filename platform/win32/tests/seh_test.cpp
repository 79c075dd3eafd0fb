// The access-fault guard: copies to and from caller memory that is unmapped,
// read-only or NULL fail with ERROR_NOACCESS and the process lives.
#include <excpt.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#include <windows.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace {

constexpr DWORD SENTINEL = 0xDEADBEEF;

// One page of each kind a caller might pass.
class CallerMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    page_size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void *pages = mmap(nullptr, 3 * page_size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    base = static_cast<uint8_t *>(pages);
    read_only = base + page_size;
    unmapped = base + 2 * page_size;
    ASSERT_EQ(mprotect(read_only, page_size, PROT_READ), 0);
    ASSERT_EQ(mprotect(unmapped, page_size, PROT_NONE), 0);
  }
  void TearDown() override { munmap(base, 3 * page_size); }

  size_t page_size = 0;
  uint8_t *base = nullptr, *read_only = nullptr, *unmapped = nullptr;
};

TEST_F(CallerMemory, StoreIntoWritableMemorySucceeds) {
  int16_t value = 0;
  SetLastError(SENTINEL);
  EXPECT_TRUE(seh::try_store(&value, int16_t{-316}));
  EXPECT_EQ(value, -316);
  EXPECT_EQ(GetLastError(), SENTINEL);
}

TEST_F(CallerMemory, StoreIntoBadMemoryFailsWithoutWriting) {
  struct Case {
    const char *name;
    void *target;
  } cases[] = {{"NULL", nullptr},
               {"address 1", reinterpret_cast<void *>(1)},
               {"read-only page", read_only},
               {"inaccessible page", unmapped}};
  for (const Case &c : cases) {
    const uint32_t value = 0x12345678;
    SetLastError(SENTINEL);
    EXPECT_FALSE(seh::try_copy_to(c.target, &value, sizeof value)) << c.name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS)) << c.name;
  }
  EXPECT_EQ(read_only[0], 0) << "nothing was written to the read-only page";
}

TEST_F(CallerMemory, LoadFromBadMemoryFails) {
  uint64_t value = 0;
  SetLastError(SENTINEL);
  EXPECT_FALSE(seh::try_load(value, reinterpret_cast<const uint64_t *>(unmapped)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_TRUE(seh::try_load(value, reinterpret_cast<const uint64_t *>(read_only)))
      << "a read-only page can be read";
}

TEST_F(CallerMemory, ACopyRunningIntoABadPageKeepsWhatFitted) {
  // The stores made before the fault stay, as with __try around a copy loop.
  std::vector<uint8_t> source(16, 0xAB);
  uint8_t *straddling = read_only - 8;
  EXPECT_FALSE(seh::try_copy_to(straddling, source.data(), source.size()));
  EXPECT_EQ(straddling[0], 0xAB);
  EXPECT_EQ(read_only[0], 0);
}

TEST_F(CallerMemory, GuardsRunOnManyThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> good(8, 0);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        int value = 0;
        const bool stored = seh::try_store(&value, i);
        const bool refused = !seh::try_store(reinterpret_cast<int *>(unmapped), i);
        if (stored && value == i && refused) ++good[t];
      }
    });
  for (std::thread &thread : threads) thread.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(good[t], 200) << "thread " << t;
}

// A program's own fault handler, installed before the guard's: the guard
// still turns a bad address into a failed copy, and a fault outside a guarded
// copy still reaches the program's handler.
void exit_with_42(int) { _exit(42); }

TEST(CallerMemoryGuard, LeavesOtherFaultsToTheHandlerInstalledBefore) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: no guard installed yet
  EXPECT_EXIT(
      {
        signal(SIGSEGV, exit_with_42);
        volatile std::uintptr_t bad_address = 8;
        int *const bad = reinterpret_cast<int *>(bad_address);
        int value = 0;
        if (seh::try_store(bad, 1)) _exit(1);
        if (!seh::try_store(&value, 7) || value != 7) _exit(2);
        *reinterpret_cast<volatile int *>(bad) = 1;  // not guarded
        _exit(3);
      },
      ::testing::ExitedWithCode(42), "");
}

TEST(LastError, BelongsToItsThread) {
  SetLastError(ERROR_INVALID_HANDLE);
  DWORD seen_by_other = SENTINEL;
  std::thread([&] { seen_by_other = GetLastError(); }).join();
  EXPECT_EQ(seen_by_other, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
