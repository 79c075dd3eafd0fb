// The program's entry, linked into every program built on the framework.
#include <windows.h>

#include "mfc/app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int cmdShow) {
    return AfxWinMain(instance, previous, cmdLine, cmdShow);
}
