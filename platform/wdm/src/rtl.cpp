// Counted strings of the run-time library, and the kernel's conversions
// between them and its own narrow (UTF-8) strings.
#include <algorithm>
#include <cctype>
#include <cwctype>

#include "kernel.h"

namespace {

std::size_t characters(PCUNICODE_STRING s) { return s->Length / sizeof(WCHAR); }

void append_utf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

namespace kernel {

std::string narrow(const UNICODE_STRING* s) {
  std::string out;
  for (std::size_t i = 0; i < characters(s); ++i) append_utf8(out, static_cast<std::uint32_t>(s->Buffer[i]));
  return out;
}

// Device paths and names are ASCII; other bytes pass through unchanged.
std::wstring widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

bool equal_nocase(const std::string& a, const std::string& b) { return lower(a) == lower(b); }

bool make_unicode_string(const std::string& text, PUNICODE_STRING out) {
  const std::wstring wide = widen(text);
  const std::size_t bytes = (wide.size() + 1) * sizeof(WCHAR);
  auto* buffer = static_cast<PWSTR>(pool_allocate(bytes, 0x72745355));  // "UStr"
  if (!buffer) return false;
  std::copy(wide.c_str(), wide.c_str() + wide.size() + 1, buffer);
  out->Buffer = buffer;
  out->Length = static_cast<USHORT>(wide.size() * sizeof(WCHAR));
  out->MaximumLength = static_cast<USHORT>(bytes);
  return true;
}

}  // namespace kernel

/* ntoskrnl */
VOID RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString) {
  const std::size_t length = SourceString ? std::wcslen(SourceString) : 0;
  DestinationString->Buffer = const_cast<PWSTR>(SourceString);
  DestinationString->Length = static_cast<USHORT>(length * sizeof(WCHAR));
  DestinationString->MaximumLength = SourceString ? static_cast<USHORT>((length + 1) * sizeof(WCHAR)) : 0;
}

/* ntoskrnl */
VOID RtlFreeUnicodeString(PUNICODE_STRING UnicodeString) {
  kernel::require_irql_at_most(APC_LEVEL, "RtlFreeUnicodeString");
  if (UnicodeString->Buffer) kernel::pool_free(UnicodeString->Buffer);
  UnicodeString->Buffer = nullptr;
  UnicodeString->Length = UnicodeString->MaximumLength = 0;
}

/* ntoskrnl */
LONG RtlCompareUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2, BOOLEAN CaseInSensitive) {
  const std::size_t n1 = characters(String1), n2 = characters(String2);
  for (std::size_t i = 0; i < std::min(n1, n2); ++i) {
    wint_t a = String1->Buffer[i], b = String2->Buffer[i];
    if (CaseInSensitive) {
      a = std::towupper(a);
      b = std::towupper(b);
    }
    if (a != b) return static_cast<LONG>(a) - static_cast<LONG>(b);
  }
  return static_cast<LONG>(n1) - static_cast<LONG>(n2);
}

/* ntoskrnl */
BOOLEAN RtlEqualUnicodeString(PCUNICODE_STRING String1, PCUNICODE_STRING String2, BOOLEAN CaseInSensitive) {
  return String1->Length == String2->Length && RtlCompareUnicodeString(String1, String2, CaseInSensitive) == 0;
}
