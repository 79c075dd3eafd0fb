// Guarded copies on Windows. The copy loop runs in one small routine of its
// own; a vectored exception handler that sees an access violation raised
// inside that routine resumes the thread at the routine's failure exit, which
// returns false to the caller. The routine touches no stack, so resuming there
// is sound from any point of the loop, and no per-thread state is needed.
#include <windows.h>

#include "caller_memory.h"

extern "C" {
// Copies size bytes, one at a time; 1 when done, 0 when a byte faulted.
int rm7x0_guarded_copy(void *destination, const void *source, size_t size);
// The failure exit, and the end of the routine.
extern const char rm7x0_guarded_copy_failed[], rm7x0_guarded_copy_end[];
}

asm(R"(
    .text
    .p2align 4
    .globl rm7x0_guarded_copy
rm7x0_guarded_copy:
    test %r8, %r8
    jz 2f
1:  movzbl (%rdx), %eax
    movb %al, (%rcx)
    inc %rdx
    inc %rcx
    dec %r8
    jnz 1b
2:  mov $1, %eax
    ret
    .globl rm7x0_guarded_copy_failed
rm7x0_guarded_copy_failed:
    xor %eax, %eax
    ret
    .globl rm7x0_guarded_copy_end
rm7x0_guarded_copy_end:
)");

namespace {

bool inside_guarded_copy(DWORD64 address) {
  return address >= reinterpret_cast<DWORD64>(&rm7x0_guarded_copy) &&
         address < reinterpret_cast<DWORD64>(rm7x0_guarded_copy_end);
}

LONG CALLBACK fail_guarded_copy(EXCEPTION_POINTERS *exception) {
  const DWORD code = exception->ExceptionRecord->ExceptionCode;
  CONTEXT &context = *exception->ContextRecord;
  if ((code != EXCEPTION_ACCESS_VIOLATION && code != EXCEPTION_IN_PAGE_ERROR) ||
      !inside_guarded_copy(context.Rip))
    return EXCEPTION_CONTINUE_SEARCH;
  context.Rip = reinterpret_cast<DWORD64>(rm7x0_guarded_copy_failed);
  return EXCEPTION_CONTINUE_EXECUTION;
}

// The handler lives from the first guarded copy to the library's unload.
class FaultHandler {
 public:
  FaultHandler() : handle_(AddVectoredExceptionHandler(1, fail_guarded_copy)) {}
  ~FaultHandler() {
    if (handle_) RemoveVectoredExceptionHandler(handle_);
  }
  FaultHandler(const FaultHandler &) = delete;
  FaultHandler &operator=(const FaultHandler &) = delete;
  bool installed() const { return handle_ != nullptr; }

 private:
  void *handle_;
};

// Without the handler a bad address would end the process: then nothing is copied.
bool guarded_copy(void *destination, const void *source, size_t size) {
  static const FaultHandler handler;
  if (!handler.installed()) {
    SetLastError(ERROR_NOACCESS);
    return false;
  }
  if (rm7x0_guarded_copy(destination, source, size)) return true;
  SetLastError(ERROR_NOACCESS);
  return false;
}

}  // namespace

namespace seh {

bool try_copy_to(void *caller_memory, const void *source, size_t size) {
  return guarded_copy(caller_memory, source, size);
}

bool try_copy_from(void *destination, const void *caller_memory, size_t size) {
  return guarded_copy(destination, caller_memory, size);
}

}  // namespace seh
