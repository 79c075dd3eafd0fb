// Private-profile (INI) files, read side: "[section]" lines and "key=value"
// lines below them. Names match without regard to case; blanks around names
// and values are dropped, and so are the carriage returns of Windows line
// ends (a value written as "5\r\n" reads "5"). Lines starting with ';' are
// comments. The first section and the first key of a name count.
#include <windows.h>

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "debug_channel.h"
#include "dos_path.h"
#include "nt_status.h"

namespace {

std::string trimmed(const std::string &text) {
  const char *blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// "[name]" gives name; anything else is not a section line.
bool section_name(const std::string &line, std::string *name) {
  if (line.empty() || line.front() != '[') return false;
  const size_t close = line.find(']');
  if (close == std::string::npos) return false;
  *name = trimmed(line.substr(1, close - 1));
  return true;
}

// A quoted value loses its quotes, as Windows reads it.
std::string unquoted(const std::string &value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

enum class Lookup { found, no_key, no_file };

Lookup find_value(const std::string &host_path, LPCSTR section, LPCSTR key, std::string *value) {
  std::ifstream file(host_path, std::ios::binary);
  if (!file) return Lookup::no_file;
  bool in_section = false;
  std::string raw;
  while (std::getline(file, raw)) {
    const std::string line = trimmed(raw);
    if (line.empty() || line.front() == ';') continue;
    std::string name;
    if (section_name(line, &name)) {
      if (in_section) return Lookup::no_key;  // only the first section of the name counts
      in_section = strcasecmp(name.c_str(), section) == 0;
      continue;
    }
    if (!in_section) continue;
    const size_t equals = line.find('=');
    const std::string line_key = trimmed(line.substr(0, equals));
    if (strcasecmp(line_key.c_str(), key) != 0) continue;
    *value = equals == std::string::npos ? "" : unquoted(trimmed(line.substr(equals + 1)));
    return Lookup::found;
  }
  return Lookup::no_key;
}

// Copies text into the caller's buffer, cut to size - 1 characters; returns
// the characters copied.
DWORD copy_cut(const std::string &text, LPSTR buffer, DWORD size) {
  if (size == 0) return 0;
  const DWORD length = std::min<DWORD>(static_cast<DWORD>(text.size()), size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return length;
}

}  // namespace

/***********************************************************************
 *           GetPrivateProfileStringA   (KERNEL32)
 *
 * The value of one key, or lpDefault ("" when NULL) when the file, section
 * or key is missing. Listing sections or keys (a NULL section or key) is
 * not supported here.
 */
DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  if (!lpReturnedString || !lpFileName) {
    fail_with_error(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!lpAppName || !lpKeyName) {
    TRACE(kernel32, "GetPrivateProfileStringA: listing sections or keys is not supported");
    fail_with_error(ERROR_NOT_SUPPORTED);
    return copy_cut("", lpReturnedString, nSize);
  }
  std::string host_path, value;
  Lookup lookup = Lookup::no_file;
  if (host_path_of(lpFileName, &host_path))
    lookup = find_value(host_path, lpAppName, lpKeyName, &value);
  if (lookup == Lookup::found) return copy_cut(value, lpReturnedString, nSize);
  if (lookup == Lookup::no_file) fail_with_error(ERROR_FILE_NOT_FOUND);
  return copy_cut(trimmed(lpDefault ? lpDefault : ""), lpReturnedString, nSize);
}
