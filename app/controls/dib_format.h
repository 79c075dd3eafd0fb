// The format of 32-bit pixel rows read from and written to bitmaps, top row first.
#pragma once

#include <windows.h>

inline BITMAPINFO TopDownFormat32(int width, int height) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    return format;
}
