// DbgPrint and the error log. Both are kept for tests; DbgPrint output is
// also echoed to stderr on the calling module's debug channel when
// $RM7X0_DEBUG names it ("rm720v3,wdm") or is "all".
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "kernel.h"
#include "sim_kernel.h"

namespace {

std::mutex log_lock;
std::string debug_text;
std::vector<NTSTATUS> error_codes;
std::set<void*> allocated_entries;

// The module a return address lies in: "rm720v3" for ".../rm720v3.so".
std::string module_of(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return "unknown";
  std::string name = info.dli_fname;
  name = name.substr(name.find_last_of('/') + 1);
  return name.substr(0, name.find(".so"));
}

bool channel_on(const std::string& channel) {
  const char* setting = std::getenv("RM7X0_DEBUG");
  if (!setting || !*setting) return false;
  const std::string list = std::string(",") + setting + ",";
  return list == ",all," || list == ",1," || list.find("," + channel + ",") != std::string::npos;
}

std::string format_text(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

}  // namespace

namespace kernel {

void log_reset() {
  std::lock_guard<std::mutex> lock(log_lock);
  debug_text.clear();
  error_codes.clear();
}

void kernel_message(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = format_text(format, args);
  va_end(args);
  std::fprintf(stderr, "wdm: %s", text.c_str());
}

}  // namespace kernel

namespace sim {

std::string debug_text() {
  std::lock_guard<std::mutex> lock(log_lock);
  return ::debug_text;
}

void clear_debug_text() {
  std::lock_guard<std::mutex> lock(log_lock);
  ::debug_text.clear();
}

std::vector<NTSTATUS> error_log() {
  std::lock_guard<std::mutex> lock(log_lock);
  return error_codes;
}

void clear_error_log() {
  std::lock_guard<std::mutex> lock(log_lock);
  error_codes.clear();
}

}  // namespace sim

/* ntoskrnl */
ULONG DbgPrint(PCSTR Format, ...) {
  va_list args;
  va_start(args, Format);
  const std::string text = format_text(Format, args);
  va_end(args);
  const std::string channel = module_of(__builtin_return_address(0));
  if (channel_on(channel)) std::fprintf(stderr, "%s: %s", channel.c_str(), text.c_str());
  std::lock_guard<std::mutex> lock(log_lock);
  debug_text += text;
  return STATUS_SUCCESS;
}

/* ntoskrnl */
PVOID IoAllocateErrorLogEntry(PVOID IoObject, UCHAR EntrySize) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "IoAllocateErrorLogEntry");
  const POBJECT_TYPE type = kernel::object_type(IoObject);
  if (type != kernel::device_type && type != kernel::driver_type)
    kernel::verifier_fail("error-log entry for an object that is no device or driver", "%p", IoObject);
  if (EntrySize < sizeof(IO_ERROR_LOG_PACKET) || EntrySize > ERROR_LOG_MAXIMUM_SIZE) return nullptr;
  void* entry = std::calloc(1, EntrySize);
  std::lock_guard<std::mutex> lock(log_lock);
  allocated_entries.insert(entry);
  return entry;
}

static void release_entry(PVOID entry, const char* routine) {
  if (allocated_entries.erase(entry) == 0)
    kernel::verifier_fail("error-log entry not from IoAllocateErrorLogEntry", "%s of %p", routine, entry);
  std::free(entry);
}

/* ntoskrnl */
VOID IoWriteErrorLogEntry(PVOID ElEntry) {
  kernel::require_irql_at_most(DISPATCH_LEVEL, "IoWriteErrorLogEntry");
  std::lock_guard<std::mutex> lock(log_lock);
  error_codes.push_back(static_cast<PIO_ERROR_LOG_PACKET>(ElEntry)->ErrorCode);
  release_entry(ElEntry, "IoWriteErrorLogEntry");
}

/* ntoskrnl */
VOID IoFreeErrorLogEntry(PVOID ElEntry) {
  std::lock_guard<std::mutex> lock(log_lock);
  release_entry(ElEntry, "IoFreeErrorLogEntry");
}
