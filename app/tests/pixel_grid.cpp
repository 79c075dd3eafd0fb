#include "pixel_grid.h"

#include <algorithm>
#include <cstdint>
#include <fstream>

PixelGrid::PixelGrid(int width, int height) : m_width(width), m_height(height) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;  // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_dc = ::CreateCompatibleDC(nullptr);
    m_bitmap = ::CreateDIBSection(m_dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_bits = static_cast<const RGBQUAD*>(bits);
    m_previous = ::SelectObject(m_dc, m_bitmap);
    // A colour no drawing of the tests uses, so untouched pixels stand out.
    const RECT all = {0, 0, width, height};
    HBRUSH magenta = ::CreateSolidBrush(RGB(255, 0, 255));
    ::FillRect(m_dc, &all, magenta);
    ::DeleteObject(magenta);
}

PixelGrid::~PixelGrid() {
    ::SelectObject(m_dc, m_previous);
    ::DeleteObject(m_bitmap);
    ::DeleteDC(m_dc);
}

COLORREF PixelGrid::at(int x, int y) const {
    ::GdiFlush();
    const RGBQUAD& p = m_bits[static_cast<size_t>(y) * m_width + x];
    return RGB(p.rgbRed, p.rgbGreen, p.rgbBlue);
}

Box PixelGrid::Find(COLORREF colour, const RECT& area) const {
    Box box{m_width, m_height, -1, -1};
    for (int y = std::max<int>(area.top, 0); y < std::min<int>(area.bottom, m_height); ++y)
        for (int x = std::max<int>(area.left, 0); x < std::min<int>(area.right, m_width); ++x)
            if (at(x, y) == colour) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

bool PixelGrid::SaveBmp(const std::string& path) const {
    const int stride = (m_width * 3 + 3) / 4 * 4;
    const uint32_t imageSize = static_cast<uint32_t>(stride * m_height);
    std::vector<uint8_t> file;
    const auto put = [&file](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) file.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    put('B' | ('M' << 8), 2);
    put(14 + 40 + imageSize, 4);
    put(0, 4);
    put(14 + 40, 4);
    put(40, 4);
    put(static_cast<uint32_t>(m_width), 4);
    put(static_cast<uint32_t>(m_height), 4);
    put(1, 2);
    put(24, 2);
    put(0, 4);
    put(imageSize, 4);
    put(0, 4);
    put(0, 4);
    put(0, 4);
    put(0, 4);
    for (int y = m_height - 1; y >= 0; --y) {
        for (int x = 0; x < m_width; ++x) {
            const COLORREF c = at(x, y);
            file.push_back(GetBValue(c));
            file.push_back(GetGValue(c));
            file.push_back(GetRValue(c));
        }
        for (int pad = m_width * 3; pad < stride; ++pad) file.push_back(0);
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

bool SaveWindowBmp(HWND hWnd, const std::string& path) {
    ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME | RDW_ERASE);
    RECT frame;
    ::GetWindowRect(hWnd, &frame);
    PixelGrid grid(frame.right - frame.left, frame.bottom - frame.top);
    HDC window = ::GetWindowDC(hWnd);
    ::BitBlt(grid.dc(), 0, 0, grid.width(), grid.height(), window, 0, 0, SRCCOPY);
    ::ReleaseDC(hWnd, window);
    return grid.SaveBmp(path);
}
