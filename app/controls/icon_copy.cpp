#include "icon_copy.h"

#include "dib_format.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace controls {
namespace {

void TonePixel(RGBQUAD& pixel, IconTone tone) {
    if (pixel.rgbRed == 0 && pixel.rgbGreen == 0 && pixel.rgbBlue == 0) return;  // black stays
    if (tone == IconTone::Grey) {
        const auto grey = static_cast<uint8_t>(pixel.rgbRed * 0.299 + pixel.rgbGreen * 0.587 + pixel.rgbBlue * 0.114);
        pixel.rgbRed = pixel.rgbGreen = pixel.rgbBlue = grey;
    } else {
        const auto darker = [](uint8_t c) { return static_cast<uint8_t>(c - 0.25 * c); };
        pixel.rgbRed = darker(pixel.rgbRed);
        pixel.rgbGreen = darker(pixel.rgbGreen);
        pixel.rgbBlue = darker(pixel.rgbBlue);
    }
}

}  // namespace

HICON MakeTonedIcon(HICON source, IconTone tone) {
    ICONINFO info{};
    if (!::GetIconInfo(source, &info)) return nullptr;
    HICON toned = nullptr;
    const int width = static_cast<int>(info.xHotspot * 2);
    const int height = static_cast<int>(info.yHotspot * 2);
    BITMAPINFO format = TopDownFormat32(width, height);
    std::vector<RGBQUAD> pixels(static_cast<size_t>(width) * height);
    HDC screen = ::GetDC(nullptr);
    if (info.hbmColor && width > 0 && height > 0 &&
        ::GetDIBits(screen, info.hbmColor, 0, height, pixels.data(), &format, DIB_RGB_COLORS) == height) {
        for (RGBQUAD& pixel : pixels) TonePixel(pixel, tone);
        void* bits = nullptr;
        HBITMAP colour = ::CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (colour && bits) {
            std::copy(pixels.begin(), pixels.end(), static_cast<RGBQUAD*>(bits));
            ICONINFO copy = info;
            copy.hbmColor = colour;
            toned = ::CreateIconIndirect(&copy);
        }
        if (colour) ::DeleteObject(colour);
    }
    ::ReleaseDC(nullptr, screen);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
    return toned;
}

}  // namespace controls
