// Run where Wine reports Windows NT 4.0 (set for this program in the Wine
// prefix): loading the model-A library shows its refusal and fails the load.
#include <windows.h>

#include <cstdio>

int main() {
  HMODULE library = LoadLibraryA("rm720.dll");
  if (library) {
    std::printf("FAILED: rm720.dll loaded on Windows NT 4.0\n");
    return 1;
  }
  std::printf("rm720.dll refused to load (error %lu)\n", GetLastError());
  return 0;
}
