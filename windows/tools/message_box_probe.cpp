// Waits for a message box of another program of the same Wine prefix, prints
// its caption and text, and answers it with OK, so that a program's message
// can be checked without a human.
//   message_box_probe.exe <seconds to wait>
// Exit status 0 when a box was seen and answered, 1 when none came in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string text_of(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string class_of(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The message is the longest static text of the box (its icon is a static too).
BOOL CALLBACK collect_text(HWND child, LPARAM found) {
  auto &text = *reinterpret_cast<std::string *>(found);
  if (lstrcmpiA(class_of(child).c_str(), "Static") == 0 && text_of(child).size() > text.size())
    text = text_of(child);
  return TRUE;
}

BOOL CALLBACK find_box(HWND window, LPARAM found) {
  if (class_of(window) != "#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND *>(found) = window;
  return FALSE;
}

}  // namespace

int main(int argc, char **argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  for (int waited = 0; waited < seconds * 10; ++waited) {
    HWND box = nullptr;
    EnumWindows(find_box, reinterpret_cast<LPARAM>(&box));
    if (box) {
      std::string text;
      EnumChildWindows(box, collect_text, reinterpret_cast<LPARAM>(&text));
      std::printf("caption: %s\ntext: %s\n", text_of(box).c_str(), text.c_str());
      std::fflush(stdout);
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      return 0;
    }
    Sleep(100);
  }
  std::printf("no message box within %d s\n", seconds);
  return 1;
}
