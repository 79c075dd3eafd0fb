#include "dib_bitmap.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

uint16_t PaletteSizeFor(uint16_t bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

}  // namespace

CDibBitmap::~CDibBitmap() { Free(); }

void CDibBitmap::Free() {
    if (m_memoryDC) ::DeleteDC(m_memoryDC);
    if (m_section) ::DeleteObject(m_section);
    m_memoryDC = nullptr;
    m_section = nullptr;
    m_sectionBits = nullptr;
    m_block.reset();
    m_header = BITMAPINFOHEADER{};
    m_stride = 0;
    m_colors = 0;
}

size_t CDibBitmap::BlockSize() const {
    return sizeof(BITMAPINFOHEADER) + m_colors * sizeof(RGBQUAD) + m_header.biSizeImage;
}

void* CDibBitmap::Create(uint32_t width, uint32_t height, uint16_t bitsPerPixel) {
    Free();
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = bitsPerPixel;
    header.biCompression = BI_RGB;
    const uint32_t stride = (width * bitsPerPixel + 31) / 32 * 4;
    header.biSizeImage = height * stride;
    const uint16_t colors = PaletteSizeFor(bitsPerPixel);
    const size_t size = sizeof header + colors * sizeof(RGBQUAD) + header.biSizeImage;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size]);
    if (!block) return nullptr;
    m_header = header;
    m_stride = stride;
    m_colors = colors;
    m_block = std::move(block);
    std::memcpy(m_block.get(), &m_header, sizeof m_header);
    return m_block.get();
}

void CDibBitmap::CopyFrom(const CDibBitmap& source) {
    if (!source.m_block) {
        Free();
        return;
    }
    if (!Create(source.GetWidth(), source.GetHeight(), source.GetBitsPerPixel())) return;
    std::memcpy(m_block.get(), source.m_block.get(), BlockSize());
}

RGBQUAD* CDibBitmap::Palette() const {
    return m_block ? reinterpret_cast<RGBQUAD*>(m_block.get() + sizeof(BITMAPINFOHEADER)) : nullptr;
}

const RGBQUAD* CDibBitmap::GetPalette() const { return Palette(); }

uint8_t* CDibBitmap::GetBits() const {
    return m_block ? m_block.get() + sizeof(BITMAPINFOHEADER) + m_colors * sizeof(RGBQUAD) : nullptr;
}

void CDibBitmap::SetPaletteEntry(uint8_t index, uint8_t red, uint8_t green, uint8_t blue) {
    if (!m_block || index >= m_colors) return;
    Palette()[index] = RGBQUAD{blue, green, red, 0};
}

void CDibBitmap::BlendPalette(COLORREF colour, uint32_t percent) {
    percent = std::min<uint32_t>(percent, 100);
    const auto blend = [percent](uint8_t old, uint8_t target) {
        return static_cast<uint8_t>((old * (100 - percent) + target * percent) / 100);
    };
    RGBQUAD* palette = Palette();
    for (uint16_t i = 0; palette && i < m_colors; ++i) {
        palette[i].rgbRed = blend(palette[i].rgbRed, GetRValue(colour));
        palette[i].rgbGreen = blend(palette[i].rgbGreen, GetGValue(colour));
        palette[i].rgbBlue = blend(palette[i].rgbBlue, GetBValue(colour));
    }
}

void CDibBitmap::Fill(uint8_t value) {
    if (m_block) std::memset(GetBits(), value, m_header.biSizeImage);
}

void CDibBitmap::SetPixel(int x, int y, uint8_t value) {
    if (!m_block || x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight()) return;
    GetBits()[static_cast<size_t>(GetHeight() - 1 - y) * m_stride + x] = value;
}

bool CDibBitmap::PrepareSection(HDC hdc) {
    if (!m_section) {
        m_section = ::CreateDIBSection(hdc, reinterpret_cast<const BITMAPINFO*>(m_block.get()), DIB_RGB_COLORS,
                                       &m_sectionBits, nullptr, 0);
        if (m_section && !m_sectionBits) {
            ::DeleteObject(m_section);
            m_section = nullptr;
        }
        if (!m_section) return false;
    }
    if (!m_memoryDC) m_memoryDC = ::CreateCompatibleDC(hdc);
    return m_memoryDC != nullptr;
}

void CDibBitmap::Draw(HDC hdc, int x, int y) {
    if (!m_block || !PrepareSection(hdc)) return;
    ::GdiFlush();
    std::memcpy(m_sectionBits, GetBits(), m_header.biSizeImage);
    HGDIOBJ previous = ::SelectObject(m_memoryDC, m_section);
    ::BitBlt(hdc, x, y, GetWidth(), GetHeight(), m_memoryDC, 0, 0, SRCCOPY);
    ::SelectObject(m_memoryDC, previous);
}
