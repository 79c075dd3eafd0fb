#include "mfc/sys_color_bitmap.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct ColorMap {
    COLORREF from;  // a palette entry read as one word (greys read the same either way)
    int sysColor;
};

// The four standard button colours of toolbar bitmaps.
constexpr ColorMap kSysColorMap[] = {
    {RGB(0x00, 0x00, 0x00), COLOR_BTNTEXT},
    {RGB(0x80, 0x80, 0x80), COLOR_BTNSHADOW},
    {RGB(0xC0, 0xC0, 0xC0), COLOR_BTNFACE},
    {RGB(0xFF, 0xFF, 0xFF), COLOR_BTNHIGHLIGHT},
};

COLORREF AsQuad(COLORREF colour) { return RGB(GetBValue(colour), GetGValue(colour), GetRValue(colour)); }

}  // namespace

HBITMAP AfxLoadSysColorBitmap(HINSTANCE module, HRSRC resource) {
    HGLOBAL loaded = ::LoadResource(module, resource);
    const auto* source = loaded ? static_cast<const BITMAPINFOHEADER*>(::LockResource(loaded)) : nullptr;
    const size_t size = ::SizeofResource(module, resource);
    if (!source || size < sizeof(BITMAPINFOHEADER) || source->biBitCount > 8 ||
        source->biSize < sizeof(BITMAPINFOHEADER) || source->biClrUsed > 256u)
        return nullptr;

    const int colorCount = source->biClrUsed ? static_cast<int>(source->biClrUsed) : 1 << source->biBitCount;
    const size_t headerSize = source->biSize + colorCount * sizeof(RGBQUAD);
    if (size < headerSize) return nullptr;
    std::vector<uint8_t> header(headerSize);
    std::memcpy(header.data(), source, headerSize);
    auto* palette = reinterpret_cast<COLORREF*>(header.data() + source->biSize);
    for (int i = 0; i < colorCount; ++i)
        for (const ColorMap& entry : kSysColorMap)
            if (palette[i] == entry.from) {
                palette[i] = AsQuad(::GetSysColor(entry.sysColor));
                break;
            }

    const int width = source->biWidth;
    const int height = source->biHeight < 0 ? -source->biHeight : source->biHeight;
    const auto* bits = reinterpret_cast<const uint8_t*>(source) + headerSize;
    HDC screen = ::GetDC(nullptr);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    if (bitmap) {
        HDC memory = ::CreateCompatibleDC(screen);
        HGDIOBJ previous = ::SelectObject(memory, bitmap);
        ::StretchDIBits(memory, 0, 0, width, height, 0, 0, width, height, bits,
                        reinterpret_cast<const BITMAPINFO*>(header.data()), DIB_RGB_COLORS, SRCCOPY);
        ::SelectObject(memory, previous);
        ::DeleteDC(memory);
    }
    ::ReleaseDC(nullptr, screen);
    return bitmap;
}
