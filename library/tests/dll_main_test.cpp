// The library's entry point with a chosen Windows version: refused versions
// show their message, fail the load and never count an attach.
#include <gtest/gtest.h>

#include <cstdlib>

#include "card_table.h"
#include "dll_main.h"

namespace {

struct RefusalCase {
  const char *version;  // platform.major.minor
  const char *message;
};

class RefusedLoad : public ::testing::TestWithParam<RefusalCase> {
 protected:
  void TearDown() override { unsetenv("RM7X0_WINDOWS_VERSION"); }
};

TEST_P(RefusedLoad, ShowsItsMessageAndNeverCountsAnAttach) {
  const RefusalCase &c = GetParam();
  setenv("RM7X0_WINDOWS_VERSION", c.version, 1);
  const int32_t attaches = card_table.attach_count;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr)) << "version " << c.version;
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string("Error: ") + c.message + "\n");
  EXPECT_EQ(card_table.attach_count, attaches) << "version " << c.version;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, RefusedLoad,
    ::testing::Values(RefusalCase{"1.4.10", "Windows98 is not supported."},
                      RefusalCase{"1.4.90", "Windows98 is not supported."},
                      RefusalCase{"2.4.0", "WindowsNT is not supported."},
                      RefusalCase{"2.7.0", "Windows Server Longhorn is not supported yet."}));

TEST(DllMainThreads, ThreadNotificationsChangeNothing) {
  const int32_t attaches = card_table.attach_count;
  EXPECT_TRUE(DllMain(nullptr, DLL_THREAD_ATTACH, nullptr));
  EXPECT_TRUE(DllMain(nullptr, DLL_THREAD_DETACH, nullptr));
  EXPECT_EQ(card_table.attach_count, attaches);
}

}  // namespace
