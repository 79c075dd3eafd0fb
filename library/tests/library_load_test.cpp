// Both motion libraries as an application loads them: each exports only its
// own functions, finds only the cards of its own model, survives bad caller
// pointers, and closes its cards when it is unloaded.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "machine.h"
#include "rm720.h"
#include "rm730.h"

namespace {

// The card-management exports of one loaded library.
struct MotionLibrary {
  void *handle = nullptr;
  decltype(&rm720_scan) scan = nullptr;
  decltype(&rm720_get_cardinfo) get_cardinfo = nullptr;
  decltype(&rm720_open) open = nullptr;
  decltype(&rm720_close) close = nullptr;
  decltype(&rm720_close_all) close_all = nullptr;

  MotionLibrary(const char *path, const std::string &prefix) {
    handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(handle, nullptr) << dlerror();
    if (!handle) return;
    resolve(scan, prefix + "_scan");
    resolve(get_cardinfo, prefix + "_get_cardinfo");
    resolve(open, prefix + "_open");
    resolve(close, prefix + "_close");
    resolve(close_all, prefix + "_close_all");
  }
  ~MotionLibrary() {
    if (handle) dlclose(handle);
  }
  MotionLibrary(const MotionLibrary &) = delete;
  MotionLibrary &operator=(const MotionLibrary &) = delete;

  template <typename F>
  void resolve(F &function, const std::string &name) {
    function = reinterpret_cast<F>(dlsym(handle, name.c_str()));
    EXPECT_NE(function, nullptr) << name;
  }
  bool exports(const char *name) const { return dlsym(handle, name) != nullptr; }
};

const std::string ONE_OF_EACH = card_section(0, "A", 0) + card_section(1, "B", 1);

TEST(BothLibraries, EachFindsOnlyTheCardsOfItsModel) {
  BootedMachine machine(ONE_OF_EACH);
  MotionLibrary a(RM720_LIBRARY, "rm720"), b(RM730_LIBRARY, "rm730");
  ASSERT_TRUE(a.handle && b.handle);
  int16_t count = 0;
  uint8_t present[16] = {};
  ASSERT_EQ(a.scan(&count, present), SUCCESS_NO_ERROR);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(present[0], 1);
  EXPECT_EQ(present[1], 0);
  ASSERT_EQ(b.scan(&count, present), SUCCESS_NO_ERROR);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(present[0], 0);
  EXPECT_EQ(present[1], 1);

  EXPECT_EQ(a.open(0), SUCCESS_NO_ERROR);
  EXPECT_EQ(b.open(1), SUCCESS_NO_ERROR);
  EXPECT_EQ(a.open(1), ERROR_INVALID_CARD_ID) << "card 1 is a model-B card";
  EXPECT_EQ(b.open(0), ERROR_INVALID_CARD_ID) << "card 0 is a model-A card";
  EXPECT_EQ(a.close(0), SUCCESS_NO_ERROR);
  EXPECT_EQ(b.close(1), SUCCESS_NO_ERROR);
}

TEST(BothLibraries, ExportOnlyTheirOwnFunctions) {
  BootedMachine machine(ONE_OF_EACH);
  MotionLibrary a(RM720_LIBRARY, "rm720"), b(RM730_LIBRARY, "rm730");
  ASSERT_TRUE(a.handle && b.handle);
  for (const char *name : {"rm730_scan", "DllMain", "check_card_axis", "map_driver_status",
                           "card_table"}) {
    EXPECT_FALSE(a.exports(name)) << name;
  }
  for (const char *name : {"rm720_scan", "DllMain", "update_axis_limits"}) {
    EXPECT_FALSE(b.exports(name)) << name;
  }
}

TEST(BothLibraries, BadCallerPointersGiveAStatusAndTheProcessLives) {
  BootedMachine machine(ONE_OF_EACH);
  MotionLibrary a(RM720_LIBRARY, "rm720");
  ASSERT_TRUE(a.handle);
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  void *no_access = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(no_access, MAP_FAILED);
  int16_t count = 0;
  struct Case {
    const char *name;
    ApiStatus status;
  } cases[] = {
      {"scan into an inaccessible count", a.scan(static_cast<int16_t *>(no_access), nullptr)},
      {"scan into a wild count", a.scan(reinterpret_cast<int16_t *>(0x10), nullptr)},
      {"scan into an inaccessible present array", a.scan(&count, static_cast<uint8_t *>(no_access))},
      {"card ID into NULL", a.get_cardinfo(0, nullptr)},
      {"card ID into an inaccessible page", a.get_cardinfo(0, static_cast<uint8_t *>(no_access))},
  };
  for (const Case &c : cases) EXPECT_EQ(c.status, ERROR_ACCESS_VIOLATION_DATA_COPY) << c.name;
  uint8_t id = 0xEE;
  EXPECT_EQ(a.get_cardinfo(0, &id), SUCCESS_NO_ERROR);
  EXPECT_EQ(id, 0);
  munmap(no_access, page);
}

TEST(BothLibraries, UnloadingClosesTheOpenCards) {
  BootedMachine machine(ONE_OF_EACH);
  {
    MotionLibrary a(RM720_LIBRARY, "rm720");
    ASSERT_TRUE(a.handle);
    ASSERT_EQ(a.open(0), SUCCESS_NO_ERROR);
  }
  MotionLibrary again(RM720_LIBRARY, "rm720");
  ASSERT_TRUE(again.handle);
  EXPECT_EQ(again.open(0), SUCCESS_NO_ERROR)
      << "the driver admits one open handle: the unload closed the first";
  EXPECT_EQ(again.close_all(), SUCCESS_NO_ERROR);
}

TEST(BothLibraries, ARefusedWindowsVersionShowsItsMessageAtLoad) {
  BootedMachine machine(ONE_OF_EACH);
  setenv("RM7X0_WINDOWS_VERSION", "2.4.0", 1);
  ::testing::internal::CaptureStderr();
  {
    MotionLibrary b(RM730_LIBRARY, "rm730");
    // The refused library answers, but reaches no card.
    int16_t count = -1;
    EXPECT_EQ(b.scan(&count, nullptr), ERROR_NO_CARD_FOUND);
    EXPECT_EQ(b.open(1), ERROR_NO_CARD_FOUND);
    EXPECT_EQ(b.close_all(), ERROR_NO_CARD_FOUND);
    EXPECT_EQ(count, -1);
  }
  unsetenv("RM7X0_WINDOWS_VERSION");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: WindowsNT is not supported.\n");
  MotionLibrary again(RM730_LIBRARY, "rm730");
  EXPECT_EQ(again.open(1), SUCCESS_NO_ERROR) << "a load that is not refused works, on an unopened card";
  EXPECT_EQ(again.close_all(), SUCCESS_NO_ERROR);
}

}  // namespace
