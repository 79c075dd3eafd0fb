// Finding and loading driver modules: the INF files beside librmplatform.so
// (or in $RM7X0_DRIVER_PATH) map hardware IDs to module names in their
// [Models] section ("PCI\VEN_7A72&DEV_0720=rm720v3"); the module is
// <name>.so in the same folder.
#include <dlfcn.h>

#include <filesystem>
#include <fstream>

#include "kernel.h"
#include "sim_native.h"

namespace {

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

std::filesystem::path driver_folder() {
  if (const char* path = std::getenv("RM7X0_DRIVER_PATH"); path && *path) return path;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&SimMachineBoot), &info) && info.dli_fname)
    return std::filesystem::path(info.dli_fname).parent_path();
  return ".";
}

// The module of hardware_id in one INF file's [Models] section, or "".
std::string search_inf(const std::filesystem::path& inf, const std::string& hardware_id) {
  std::ifstream in(inf);
  std::string line;
  bool in_models = false;
  while (std::getline(in, line)) {
    line = trim(line.substr(0, line.find(';')));
    if (line.empty()) continue;
    if (line.front() == '[') {
      in_models = kernel::equal_nocase(line, "[Models]");
      continue;
    }
    const auto equals = line.find('=');
    if (in_models && equals != std::string::npos &&
        kernel::equal_nocase(trim(line.substr(0, equals)), hardware_id))
      return trim(line.substr(equals + 1));
  }
  return "";
}

}  // namespace

namespace kernel {

std::string module_for(const std::string& hardware_id) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(driver_folder(), error)) {
    if (entry.path().extension() != ".inf") continue;
    if (std::string module = search_inf(entry.path(), hardware_id); !module.empty()) return module;
  }
  return "";
}

DriverModule load_module(const std::string& name) {
  const std::string path = (driver_folder() / (name + ".so")).string();
  DriverModule module;
  module.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module.handle) {
    kernel_message("cannot load driver %s: %s\n", path.c_str(), dlerror());
    return module;
  }
  module.entry = reinterpret_cast<PDRIVER_INITIALIZE>(dlsym(module.handle, "DriverEntry"));
  if (!module.entry) kernel_message("driver %s has no DriverEntry\n", path.c_str());
  return module;
}

void unload_module(void* handle) {
  if (handle) dlclose(handle);
}

}  // namespace kernel
