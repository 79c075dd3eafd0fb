// The Windows motion libraries on a machine without a card, called through
// their ordinals as the test program calls them: both load, both scans find
// nothing, and the model-A robot set-up, which stores into the caller's memory
// before it looks at the card, answers a bad pointer with an access-violation
// status while the process goes on.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "rm720.h"

namespace {

int failures = 0;

void expect_status(const char *what, int got, int want) {
  if (got == want) return;
  std::printf("FAILED: %s gave %d, not %d\n", what, got, want);
  ++failures;
}

template <typename Function>
Function by_ordinal(HMODULE library, WORD ordinal) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void *>(GetProcAddress(library, MAKEINTRESOURCEA(ordinal))));
}

// The ordinals of windows/ordinals.txt that this test calls.
constexpr WORD SCAN = 1, GET_CARDINFO = 2, OPEN = 3, OPEN_ALL = 4, CLOSE_ALL = 6,
               ROBOT_INIT = 109;

void check_model(const char *name, bool model_a) {
  HMODULE library = LoadLibraryA(name);
  if (!library) {
    std::printf("FAILED: %s does not load (error %lu)\n", name, GetLastError());
    ++failures;
    return;
  }
  int16_t count = 7;
  uint8_t present[16] = {};
  uint8_t card_id = 0;
  expect_status("scan", by_ordinal<decltype(&rm720_scan)>(library, SCAN)(&count, present),
                ERROR_NO_CARD_FOUND);
  expect_status("get_cardinfo",
                by_ordinal<decltype(&rm720_get_cardinfo)>(library, GET_CARDINFO)(0, &card_id),
                ERROR_NO_CARD_FOUND);
  expect_status("open", by_ordinal<decltype(&rm720_open)>(library, OPEN)(0), ERROR_INVALID_CARD_ID);
  expect_status("open_all", by_ordinal<decltype(&rm720_open_all)>(library, OPEN_ALL)(),
                ERROR_NO_CARD_FOUND);
  expect_status("close_all", by_ordinal<decltype(&rm720_close_all)>(library, CLOSE_ALL)(),
                ERROR_NO_CARD_FOUND);
  const auto robot_init = by_ordinal<decltype(&rm720_robot_init)>(library, ROBOT_INIT);
  if (!model_a) {
    expect_status("model B has no ordinal 109", robot_init == nullptr, 1);
  } else if (robot_init) {
    int32_t result = 5;
    expect_status("robot_init into caller memory", robot_init(0, 1, nullptr, &result),
                  ERROR_INVALID_CARD_ID);
    expect_status("robot_init's stored result", result, -1);
    expect_status("robot_init into a bad address",
                  robot_init(0, 1, nullptr, reinterpret_cast<int32_t *>(16)),
                  ERROR_ACCESS_VIOLATION_DATA_COPY);
  }
  FreeLibrary(library);
}

}  // namespace

int main() {
  check_model("rm720.dll", true);
  check_model("rm730.dll", false);
  std::printf("%s\n", failures ? "libraries without a card: FAILED"
                               : "libraries without a card: all cases pass");
  return failures ? 1 : 0;
}
