#include "luma_menu_image_ops.h"

#include <vector>

#include "dib_format.h"
#include "luma_menu.h"

namespace luma {
namespace {

// 32-bit pixels of a bitmap, rows top-down.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<RGBQUAD> data;
};

bool ReadPixels(CBitmap& bitmap, Pixels& pixels) {
    const CSize size = BitmapSize(bitmap);
    pixels.width = size.cx;
    pixels.height = size.cy;
    pixels.data.assign(static_cast<size_t>(size.cx) * size.cy, RGBQUAD{});
    BITMAPINFO format = TopDownFormat32(size.cx, size.cy);
    HDC screen = ::GetDC(nullptr);
    const int rows = ::GetDIBits(screen, bitmap, 0, size.cy, pixels.data.data(), &format, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    return size.cy > 0 && rows == size.cy;
}

void WritePixels(CBitmap& bitmap, const Pixels& pixels) {
    BITMAPINFO format = TopDownFormat32(pixels.width, pixels.height);
    HDC screen = ::GetDC(nullptr);
    ::SetDIBits(screen, bitmap, 0, pixels.height, pixels.data.data(), &format, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
}

COLORREF ColourOf(const RGBQUAD& q) { return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue); }
RGBQUAD QuadOf(COLORREF c) { return RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0}; }

// The face colour as a bitmap of the screen's format holds it.
COLORREF ReadBackFace() {
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 1, 1);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    const RECT pixel = {0, 0, 1, 1};
    ::FillRect(memory, &pixel, ::GetSysColorBrush(COLOR_BTNFACE));
    const COLORREF face = ::GetPixel(memory, 0, 0);
    ::SelectObject(memory, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return face;
}

}  // namespace

CSize BitmapSize(CBitmap& bitmap) {
    BITMAP info{};
    if (!bitmap.GetSafeHandle() || !bitmap.GetBitmap(&info)) return CSize();
    return CSize(info.bmWidth, info.bmHeight);
}

bool RenderImage(CImageList& list, int index, CBitmap& bitmap) {
    int width = 0, height = 0;
    ImageList_GetIconSize(list.GetSafeHandle(), &width, &height);
    HICON icon = list.ExtractIcon(index);
    if (!icon) return false;
    HDC screen = ::GetDC(nullptr);
    bool drawn = false;
    if (bitmap.Attach(::CreateCompatibleBitmap(screen, width, height))) {
        HDC memory = ::CreateCompatibleDC(screen);
        HGDIOBJ previous = ::SelectObject(memory, bitmap);
        drawn = ::DrawIconEx(memory, 0, 0, icon, width, height, 0, ::GetSysColorBrush(COLOR_BTNFACE), DI_NORMAL);
        ::SelectObject(memory, previous);
        ::DeleteDC(memory);
    }
    ::ReleaseDC(nullptr, screen);
    ::DestroyIcon(icon);
    return drawn;
}

HICON EffectIcon(CImageList& list, int index, ImageEffect effect) {
    CBitmap picture;
    Pixels pixels;
    if (!RenderImage(list, index, picture) || !ReadPixels(picture, pixels)) return nullptr;
    const COLORREF face = ReadBackFace();
    const COLORREF shadow = LumaMenu::IsThemedDesktop() ? ::GetSysColor(COLOR_BTNSHADOW)
                                                        : LightenColor(::GetSysColor(COLOR_BTNSHADOW), 0.49);
    for (RGBQUAD& pixel : pixels.data) {
        const COLORREF colour = ColourOf(pixel);
        if (colour == face) continue;
        pixel = QuadOf(effect == ImageEffect::Faded ? LightenColor(colour, 0.3) : shadow);
    }
    WritePixels(picture, pixels);

    CImageList single;
    if (!single.Create(pixels.width, pixels.height, ILC_COLORDDB | ILC_MASK, 1, 1) ||
        single.Add(&picture, ::GetSysColor(COLOR_BTNFACE)) == -1)
        return nullptr;
    return single.ExtractIcon(0);
}

bool MakeMask(CBitmap& picture, const std::function<bool(COLORREF)>& marked, CBitmap& mask) {
    Pixels pixels;
    if (!ReadPixels(picture, pixels)) return false;
    const int stride = (pixels.width + 15) / 16 * 2;  // monochrome rows are word-aligned
    std::vector<BYTE> bits(static_cast<size_t>(stride) * pixels.height, 0);
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
            if (marked(ColourOf(pixels.data[static_cast<size_t>(y) * pixels.width + x])))
                bits[static_cast<size_t>(y) * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    return mask.Attach(::CreateBitmap(pixels.width, pixels.height, 1, 1, bits.data()));
}

void PaintMask(HDC dc, int x, int y, CBitmap& mask, COLORREF colour, DWORD rop) {
    const CSize size = BitmapSize(mask);
    HDC maskDC = ::CreateCompatibleDC(dc);
    HGDIOBJ previousMask = ::SelectObject(maskDC, mask);
    HBRUSH brush = ::CreateSolidBrush(colour);
    HGDIOBJ previousBrush = ::SelectObject(dc, brush);
    // Mask bits reach the raster operation unchanged: 0 black, 1 white.
    const COLORREF text = ::SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF back = ::SetBkColor(dc, RGB(255, 255, 255));
    ::BitBlt(dc, x, y, size.cx, size.cy, maskDC, 0, 0, rop);
    ::SetBkColor(dc, back);
    ::SetTextColor(dc, text);
    ::SelectObject(dc, previousBrush);
    ::DeleteObject(brush);
    ::SelectObject(maskDC, previousMask);
    ::DeleteDC(maskDC);
}

}  // namespace luma
