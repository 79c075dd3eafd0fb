// Message boxes: there is no desktop under the native stand-in, so a box is
// its caption and text on standard error, answered at once with OK.
#include <windows.h>

#include <cstdio>

/***********************************************************************
 *           MessageBoxA   (USER32)
 */
int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT) {
  std::fprintf(stderr, "%s: %s\n", lpCaption ? lpCaption : "Error", lpText ? lpText : "");
  return IDOK;
}
