// AfxLoadSysColorBitmap: a toolbar-style bitmap resource in the current button colours.
#pragma once

#include <windows.h>

// Loads the bitmap resource (at most 8 bits per pixel) with its black, dark grey,
// light grey and white palette entries replaced by the button text, shadow, face and
// highlight colours; null when it cannot. The caller deletes the bitmap.
HBITMAP AfxLoadSysColorBitmap(HINSTANCE module, HRSRC resource);
