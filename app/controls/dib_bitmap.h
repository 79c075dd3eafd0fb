// CDibBitmap: a device-independent bitmap kept as one block (header, palette, pixel
// rows bottom-up), drawn through a DIB section made at the first Draw.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

class CDibBitmap {
public:
    CDibBitmap() = default;
    CDibBitmap(const CDibBitmap&) = delete;
    CDibBitmap& operator=(const CDibBitmap&) = delete;
    virtual ~CDibBitmap();

    // Frees what is held and allocates width x height at bitsPerPixel; palette and
    // pixels are left unset. Returns the block, null when it cannot be allocated.
    void* Create(uint32_t width, uint32_t height, uint16_t bitsPerPixel);
    void Free();
    void CopyFrom(const CDibBitmap& source);

    void SetPaletteEntry(uint8_t index, uint8_t red, uint8_t green, uint8_t blue);
    // Moves every palette entry percent (cut to 100) of the way toward colour.
    void BlendPalette(COLORREF colour, uint32_t percent);
    void Fill(uint8_t value);
    // The 8-bit pixel at column x of row y counted from the top; ignored outside.
    void SetPixel(int x, int y, uint8_t value);
    // Copies the pixels to hdc at (x, y); draws nothing when empty.
    void Draw(HDC hdc, int x, int y);

    uint8_t* GetBits() const;  // the bottom row
    int GetWidth() const { return m_header.biWidth; }
    int GetHeight() const { return m_header.biHeight; }
    uint32_t GetStride() const { return m_stride; }
    uint16_t GetBitsPerPixel() const { return m_header.biBitCount; }
    uint16_t GetColorCount() const { return m_colors; }
    const RGBQUAD* GetPalette() const;

private:
    RGBQUAD* Palette() const;
    size_t BlockSize() const;
    bool PrepareSection(HDC hdc);

    std::unique_ptr<uint8_t[]> m_block;
    BITMAPINFOHEADER m_header{};
    uint32_t m_stride = 0;
    uint16_t m_colors = 0;
    HBITMAP m_section = nullptr;
    HDC m_memoryDC = nullptr;
    void* m_sectionBits = nullptr;
};
