// GetVersionExA reports the version that RM7X0_WINDOWS_VERSION chooses.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

namespace {

constexpr DWORD SENTINEL = 0xDEADBEEF;

struct VersionCase {
  const char *setting;  // nullptr: unset
  DWORD platform, major, minor;
};

class GetVersionExATest : public ::testing::TestWithParam<VersionCase> {
 protected:
  void TearDown() override { unsetenv("RM7X0_WINDOWS_VERSION"); }
};

TEST_P(GetVersionExATest, ReportsTheChosenVersion) {
  const VersionCase &c = GetParam();
  if (c.setting) setenv("RM7X0_WINDOWS_VERSION", c.setting, 1);
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  SetLastError(SENTINEL);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(GetLastError(), SENTINEL) << "a success leaves the last error alone";
  EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
  EXPECT_EQ(info.dwPlatformId, c.platform) << "setting " << (c.setting ? c.setting : "(none)");
  EXPECT_EQ(info.dwMajorVersion, c.major);
  EXPECT_EQ(info.dwMinorVersion, c.minor);
}

INSTANTIATE_TEST_SUITE_P(Settings, GetVersionExATest,
                         ::testing::Values(VersionCase{nullptr, 2, 6, 1},
                                           VersionCase{"1.4.10", 1, 4, 10},
                                           VersionCase{"2.4.0", 2, 4, 0},
                                           VersionCase{"2.7.0", 2, 7, 0},
                                           VersionCase{"2.5.1", 2, 5, 1},
                                           VersionCase{"garbage", 2, 6, 1},
                                           VersionCase{"2.5", 2, 6, 1}));

TEST(GetVersionExA, RefusesAStructureOfAnotherSize) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = 100;
  SetLastError(SENTINEL);
  EXPECT_FALSE(GetVersionExA(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(GetVersionExA, FillsTheExtendedStructure) {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)));
  EXPECT_EQ(info.dwOSVersionInfoSize, 156u);
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
}

TEST(MessageBoxA, WritesCaptionAndTextToStandardError) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxA(nullptr, "Windows98 is not supported.", "Error", MB_ICONWARNING), IDOK);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: Windows98 is not supported.\n");
}

}  // namespace
