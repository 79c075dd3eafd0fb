// Files on disk through the Wine prefix: the Windows directory, existence
// tests with FindFirstFileA and INI values with GetPrivateProfileStringA, on a
// prefix made for each test.
#include <gtest/gtest.h>
#include <windows.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr DWORD SENTINEL = 0xDEADBEEF;

class WinePrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = fs::temp_directory_path() /
              ("rm7x0-prefix-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(prefix_ / "drive_c/windows/system32");
    setenv("WINEPREFIX", prefix_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("WINEPREFIX");
    fs::remove_all(prefix_);
  }
  void write_system32(const std::string &name, const std::string &text) {
    std::ofstream(prefix_ / "drive_c/windows/system32" / name, std::ios::binary) << text;
  }
  std::string read(const char *section, const char *key, const char *path,
                   DWORD size = 20, const char *fallback = nullptr) {
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    const DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer, size, path);
    EXPECT_EQ(length, std::strlen(buffer)) << "the result counts the characters copied";
    return buffer;
  }

  fs::path prefix_;
};

TEST_F(WinePrefixTest, WindowsDirectoryIsDriveCWindows) {
  char buffer[MAX_PATH];
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "C:\\windows");
  EXPECT_EQ(GetWindowsDirectoryA(buffer, 10), 11u) << "too small: the size needed";
}

TEST_F(WinePrefixTest, WithoutPrefixOrHomeThereIsNoWindowsDirectory) {
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  unsetenv("WINEPREFIX");
  unsetenv("HOME");
  char buffer[MAX_PATH];
  SetLastError(SENTINEL);
  EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  if (!home.empty()) setenv("HOME", home.c_str(), 1);
}

TEST_F(WinePrefixTest, FindFirstFileTellsWhetherAFileExists) {
  write_system32("RM720_Config.ini", "[CardNo:0]\r\n");
  WIN32_FIND_DATAA data;
  for (const char *path : {"C:\\windows\\system32\\RM720_Config.ini",
                           "c:/WINDOWS/System32/rm720_config.INI"}) {
    const HANDLE search = FindFirstFileA(path, &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE) << path;
    EXPECT_EQ(data.nFileSizeLow, 12u);
    EXPECT_TRUE(FindClose(search));
  }
  EXPECT_STREQ(data.cFileName, "rm720_config.INI");

  SetLastError(SENTINEL);
  EXPECT_EQ(FindFirstFileA("C:\\windows\\system32\\RM730_Config.ini", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(SENTINEL);
  EXPECT_EQ(FindFirstFileA("C:\\windows\\system32\\*.ini", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST_F(WinePrefixTest, FindCloseRefusesAHandleItDidNotGive) {
  WIN32_FIND_DATAA data;
  write_system32("a.ini", "");
  const HANDLE search = FindFirstFileA("C:\\windows\\system32\\a.ini", &data);
  ASSERT_TRUE(FindClose(search));
  SetLastError(SENTINEL);
  EXPECT_FALSE(FindClose(search)) << "closed twice";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The layout the test program's writer leaves: Windows line ends, values
// written with a line break of their own, blanks, comments, and a second
// section of the same name that does not count.
constexpr char kConfig[] =
    "; saved configuration\r\n"
    "[CardNo:0]\r\n"
    "X-PULSE_MODE=3\r\n"
    "X-DELAY_TIME=4\r\n"
    "\r\n"
    "  x-enc_mode =  2  \r\n"
    "X-NOTE=\"quoted value\"\r\n"
    "X-LONG=12345678901234567890123\r\n"
    "X-EMPTY=\r\n"
    "[CardNo:1]\n"
    "X-PULSE_MODE=5\n"
    "[cardno:0]\r\n"
    "X-ALM_EN=1\r\n";

struct ValueCase {
  const char *section, *key, *expected;
};

class ProfileValueTest : public WinePrefixTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ProfileValueTest, ReadsTheValueAsWindowsDoes) {
  write_system32("RM720_Config.ini", kConfig);
  const ValueCase &c = GetParam();
  EXPECT_EQ(read(c.section, c.key, "C:\\windows\\system32\\RM720_Config.ini"), c.expected)
      << "[" << c.section << "] " << c.key;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ProfileValueTest,
    ::testing::Values(ValueCase{"CardNo:0", "X-PULSE_MODE", "3"},
                      ValueCase{"CardNo:0", "X-DELAY_TIME", "4"},
                      ValueCase{"cardno:0", "X-ENC_MODE", "2"},
                      ValueCase{"CardNo:0", "X-NOTE", "quoted value"},
                      ValueCase{"CardNo:0", "X-LONG", "1234567890123456789"},
                      ValueCase{"CardNo:0", "X-EMPTY", ""},
                      ValueCase{"CardNo:0", "X-MISSING", ""},
                      ValueCase{"CardNo:0", "X-ALM_EN", ""},
                      ValueCase{"CardNo:1", "X-PULSE_MODE", "5"},
                      ValueCase{"CardNo:2", "X-PULSE_MODE", ""}));

TEST_F(WinePrefixTest, MissingFileGivesTheDefault) {
  SetLastError(SENTINEL);
  EXPECT_EQ(read("CardNo:0", "X-PULSE_MODE", "C:\\windows\\system32\\none.ini", 20, " 7 "), "7");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(WinePrefixTest, HostPathsAreReadAsTheyAre) {
  write_system32("host.ini", "[S]\nK=v\n");
  const std::string host = (prefix_ / "drive_c/windows/system32/host.ini").string();
  EXPECT_EQ(read("S", "K", host.c_str()), "v");
}

}  // namespace
