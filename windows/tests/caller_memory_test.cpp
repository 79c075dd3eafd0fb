// The caller-memory guard of the Windows libraries: copies into and out of
// good memory are made, and a bad address (none, reserved only, no access, read-only
// for stores, a page boundary into no access) fails the copy with
// ERROR_NOACCESS while the process goes on, on many threads at once.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "caller_memory.h"

namespace {

LONG failures = 0;  // counted from every thread

void expect(bool condition, const char *what, int row) {
  if (condition) return;
  std::printf("FAILED: %s (row %d)\n", what, row);
  InterlockedIncrement(&failures);
}

struct Pages {
  char *rw;         // one read-write page
  char *read_only;  // one read-only page
  char *no_access;  // one page without access, right after rw_edge's page
  char *rw_edge;    // the last 4 bytes of a read-write page before no_access
  char *reserved;   // a page reserved and never committed
};

Pages make_pages() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const SIZE_T page = info.dwPageSize;
  auto *base = static_cast<char *>(VirtualAlloc(nullptr, 5 * page, MEM_COMMIT | MEM_RESERVE,
                                                PAGE_READWRITE));
  DWORD old;
  VirtualProtect(base + page, page, PAGE_READONLY, &old);
  VirtualProtect(base + 3 * page, page, PAGE_NOACCESS, &old);
  auto *reserved = static_cast<char *>(VirtualAlloc(nullptr, page, MEM_RESERVE, PAGE_NOACCESS));
  return {base, base + page, base + 3 * page, base + 3 * page - 4, reserved};
}

struct Case {
  char *caller;  // the caller's address
  size_t size;
  bool store_ok;  // a store into it succeeds
  bool load_ok;   // a load out of it succeeds
};

void run_cases(const Pages &p, bool quiet) {
  const Case cases[] = {
      {p.rw, 8, true, true},
      {p.rw, 0, true, true},
      {nullptr, 0, true, true},  // nothing to copy
      {nullptr, 4, false, false},
      {reinterpret_cast<char *>(8), 4, false, false},
      {p.read_only, 4, false, true},
      {p.no_access, 4, false, false},
      {p.rw_edge, 4, true, true},
      {p.rw_edge, 8, false, false},  // crosses into the page without access
      {p.reserved, 4, false, false},
  };
  int row = 0;
  for (const Case &c : cases) {
    ++row;
    char source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SetLastError(0);
    const bool stored = seh::try_copy_to(c.caller, source, c.size);
    if (quiet && stored == c.store_ok) continue;
    expect(stored == c.store_ok, "store", row);
    if (!stored) expect(GetLastError() == ERROR_NOACCESS, "store's last error", row);
    if (stored && c.size) expect(std::memcmp(c.caller, source, c.size) == 0, "stored bytes", row);
    char loaded[8] = {};
    expect(seh::try_copy_from(loaded, c.caller, c.size) == c.load_ok, "load", row);
  }
  int value = 0;
  expect(seh::try_store(reinterpret_cast<int *>(p.rw), 42) &&
             seh::try_load(value, reinterpret_cast<const int *>(p.rw)) && value == 42,
         "typed store and load", 0);
  expect(!seh::try_store(reinterpret_cast<int *>(p.read_only), 7), "typed store refused", 0);
}

// Each thread on pages of its own, so that only the faults are shared.
DWORD WINAPI hammer(void *) {
  const Pages pages = make_pages();
  for (int i = 0; i < 2000; ++i) run_cases(pages, true);
  return 0;
}

}  // namespace

int main() {
  const Pages pages = make_pages();
  run_cases(pages, false);
  HANDLE threads[8];
  for (HANDLE &thread : threads) thread = CreateThread(nullptr, 0, hammer, nullptr, 0, nullptr);
  WaitForMultipleObjects(8, threads, TRUE, INFINITE);
  for (HANDLE thread : threads) CloseHandle(thread);
  std::printf("%s\n", failures ? "caller-memory guard: FAILED" : "caller-memory guard: all cases pass");
  return failures ? 1 : 0;
}
