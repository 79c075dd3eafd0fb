// The model-B build of the configuration exports: its export list, and its
// loader reading the model-B file of the system folder.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "machine_probe.h"
#include "open_cards.h"

namespace {

namespace fs = std::filesystem;

constexpr const char *CONFIGURATION_EXPORTS[] = {
    "set_range",  "get_range_settings", "set_pls_cfg", "set_enc_cfg",   "set_limit",
    "set_inp",    "set_alarm",          "servo_on",    "set_filter",    "set_softlimit",
    "set_home_cfg", "load_config"};

TEST(ConfigurationExports, BothLibrariesAndSetMaxVInModelAOnly) {
  for (const auto &[path, prefix] : {std::pair{RM720_LIBRARY, "rm720_"}, {RM730_LIBRARY, "rm730_"}}) {
    void *library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char *name : CONFIGURATION_EXPORTS)
      EXPECT_NE(dlsym(library, (std::string(prefix) + name).c_str()), nullptr) << prefix << name;
    EXPECT_EQ(dlsym(library, (std::string(prefix) + "set_max_v").c_str()) != nullptr,
              std::string(prefix) == "rm720_");
    dlclose(library);
  }
}

class ModelBLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = fs::temp_directory_path() / ("rm7x0-config-b-" + std::to_string(::getpid()));
    fs::create_directories(system32());
    setenv("WINEPREFIX", prefix_.c_str(), 1);
    int16_t count = 0;
    ASSERT_EQ(rm730_scan(&count, nullptr), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm730_open(1), SUCCESS_NO_ERROR);
  }
  void TearDown() override {
    unsetenv("WINEPREFIX");
    fs::remove_all(prefix_);
  }
  fs::path system32() const { return prefix_ / "drive_c/windows/system32"; }
  // A model-B section as the test program saves it: no motion keys.
  void save(const char *name, const char *x_pulse_mode) {
    std::ofstream file(system32() / name, std::ios::binary);
    file << "[CardNo:1]\r\n";
    for (const char *axis : {"X", "Y", "Z", "U"}) {
      const std::string a = axis;
      file << a << "-RANGE_VALUE=16000\r\n"
           << a << "-PULSE_MODE=" << (a == "X" ? x_pulse_mode : "0") << "\r\n"
           << a << "-ENC_MODE=3\r\n" << a << "-AlmRst_EN=0\r\n" << a << "-ERC_LEVEL=0\r\n"
           << a << "-DELAY_TIME=0\r\n\r\n";
    }
  }

  AttachedLibrary library_{homed_cards("B", {1})};
  fs::path prefix_;
};

TEST_F(ModelBLoaderTest, ReadsTheModelBFile) {
  save("RM720_Config.ini", "2");
  EXPECT_EQ(rm730_load_config(nullptr), ERROR_CONFIG_FILE_NOT_FOUND) << "the model-A file";
  save("RM730_Config.ini", "2");
  ASSERT_EQ(rm730_load_config(nullptr), SUCCESS_NO_ERROR);
  EXPECT_EQ(probe_axis(0, 0).mode2, 0x0040 | 0x0200 | 0x0004);
}

}  // namespace
