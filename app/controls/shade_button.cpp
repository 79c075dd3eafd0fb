#include "shade_button.h"

#include <algorithm>

#include "shade_pattern.h"

namespace {

// The ramp from the shadow colour (0) through the face colour (128) to the
// highlight colour (255), each division truncating.
void SetRampPalette(CDibBitmap& dib, COLORREF shadow, COLORREF face, COLORREF highlight) {
    const auto mix = [](COLORREF from, COLORREF to, int i, auto component) {
        return static_cast<uint8_t>((component(from) * (128 - i) + component(to) * i) / 128);
    };
    const auto red = [](COLORREF c) { return static_cast<int>(GetRValue(c)); };
    const auto green = [](COLORREF c) { return static_cast<int>(GetGValue(c)); };
    const auto blue = [](COLORREF c) { return static_cast<int>(GetBValue(c)); };
    for (int i = 0; i <= 128; ++i)
        dib.SetPaletteEntry(static_cast<uint8_t>(i), mix(shadow, face, i, red), mix(shadow, face, i, green),
                            mix(shadow, face, i, blue));
    for (int i = 1; i <= 128; ++i)
        dib.SetPaletteEntry(static_cast<uint8_t>(127 + i), mix(face, highlight, i, red),
                            mix(face, highlight, i, green), mix(face, highlight, i, blue));
}

// Pixels alternately 0x00 and 0xFF: both ends of the ramp.
void FillAlternating(CDibBitmap& dib) {
    uint8_t* bits = dib.GetBits();
    if (!bits) return;
    const int count = std::max(dib.GetWidth(), dib.GetHeight());
    const bool row = dib.GetHeight() == 1;
    for (int k = 0; k < count; ++k) {
        const size_t offset = row ? static_cast<size_t>(k) : static_cast<size_t>(k) * dib.GetStride();
        bits[offset] = (k % 2) ? 0xFF : 0x00;
    }
}

}  // namespace

void CShadeButton::PrepareShade(uint32_t nStyle, uint8_t nGranularity, uint8_t nHighlight, uint8_t nColoring,
                                COLORREF clrBlend) {
    CRect window;
    GetWindowRect(&window);
    const int w = std::max(window.Width(), 0);
    const int h = std::max(window.Height(), 0);
    m_dibRow.Create(std::max(w, 1), 1, 8);
    m_dibColumn.Create(1, std::max(h, 1), 8);
    m_dibShade.Create(w, h, 8);

    const COLORREF highlight = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const COLORREF shadow = ::GetSysColor(COLOR_BTNSHADOW);
    for (CDibBitmap* dib : {&m_dibRow, &m_dibColumn, &m_dibShade}) SetRampPalette(*dib, shadow, face, highlight);
    m_dibShade.BlendPalette(clrBlend, nColoring);
    FillAlternating(m_dibRow);
    FillAlternating(m_dibColumn);

    controls::RenderShadePattern(m_dibShade, nStyle, nGranularity);

    m_dibShadeCopy.CopyFrom(m_dibShade);
    m_dibHover.CopyFrom(m_dibShade);
    m_dibHover.BlendPalette(highlight, nHighlight);
    m_dibHoverCopy.CopyFrom(m_dibHover);
}

DWORD CShadeButton::DrawButtonBackground(CDC* dc, RECT*) {
    if (m_bHover) {
        const int offset = m_bPressed ? 1 : 0;
        m_dibHover.Draw(dc->GetSafeHdc(), offset, offset);
    } else {
        m_dibShade.Draw(dc->GetSafeHdc(), 0, 0);
    }
    return 0;
}
