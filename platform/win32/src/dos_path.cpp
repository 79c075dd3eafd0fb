#include "dos_path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

namespace {

std::string wine_prefix() {
  if (const char *prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
  if (const char *home = std::getenv("HOME"); home && *home) return std::string(home) + "/.wine";
  return "";
}

bool exists(const std::string &path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// The entry of a folder spelled like name apart from case, or name itself
// when there is none (a file yet to be made keeps the caller's spelling).
std::string entry_like(const std::string &folder, const std::string &name) {
  if (exists(folder + "/" + name)) return name;
  DIR *dir = opendir(folder.c_str());
  if (!dir) return name;
  std::string found = name;
  while (const dirent *entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

// Appends the components of a relative Windows path to a host folder.
std::string append_components(std::string folder, const std::string &relative) {
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find_first_of("\\/", start);
    if (end == std::string::npos) end = relative.size();
    const std::string name = relative.substr(start, end - start);
    if (!name.empty() && name != ".") folder += "/" + entry_like(folder, name);
    start = end + 1;
  }
  return folder;
}

bool has_drive_letter(const char *path) {
  return std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

}  // namespace

std::string host_drive_c() {
  const std::string prefix = wine_prefix();
  return prefix.empty() ? "" : prefix + "/drive_c";
}

bool host_path_of(const char *windows_path, std::string *host_path) {
  if (windows_path[0] == '/') {
    *host_path = windows_path;
    return true;
  }
  if (!has_drive_letter(windows_path)) {
    *host_path = append_components(".", windows_path);
    return true;
  }
  const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windows_path[0])));
  const std::string prefix = wine_prefix();
  if (prefix.empty()) return false;
  const std::string root =
      drive == 'c' ? prefix + "/drive_c" : prefix + "/dosdevices/" + std::string(1, drive) + ":";
  *host_path = append_components(root, windows_path + 2);
  return true;
}
