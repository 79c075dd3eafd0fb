// What a test draws or captures, as 32-bit pixels it can inspect and save.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct Box {
    int left, top, right, bottom;  // inclusive; right < left when empty
    bool empty() const { return right < left; }
};

class PixelGrid {
public:
    PixelGrid(int width, int height);
    ~PixelGrid();
    PixelGrid(const PixelGrid&) = delete;
    PixelGrid& operator=(const PixelGrid&) = delete;

    HDC dc() const { return m_dc; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    COLORREF at(int x, int y) const;  // (0, 0) is the top-left corner
    // The smallest box holding every pixel of colour inside the area.
    Box Find(COLORREF colour, const RECT& area) const;
    // Writes a 24-bit .bmp file; false when it cannot.
    bool SaveBmp(const std::string& path) const;

private:
    int m_width, m_height;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    const RGBQUAD* m_bits = nullptr;
};

// Captures a window, frame included, as it is on the screen now, and saves it
// as a .bmp file; false when it cannot.
bool SaveWindowBmp(HWND hWnd, const std::string& path);
