// CShadeButton: an image button whose face is a pre-rendered 8-bit bitmap, a
// gradient between the system shadow, face and highlight colours, tinted and
// roughened by noise, with a lighter copy shown while the mouse is over it.
#pragma once

#include <cstdint>

#include "dib_bitmap.h"
#include "image_button.h"

class CShadeButton : public CImageButton {
public:
    // Renders the faces for the button's current window size. Styles: 1 diagonal,
    // 2 vertical, 3 horizontal, 4 soft vertical, 5 soft horizontal, 6 soft both,
    // 7 soft vertical with side bands, 8 strokes; any other: noise alone.
    void PrepareShade(uint32_t nStyle, uint8_t nGranularity, uint8_t nHighlight, uint8_t nColoring,
                      COLORREF clrBlend);

protected:
    DWORD DrawButtonBackground(CDC* dc, RECT* item) override;

    CDibBitmap m_dibShade;      // the face drawn normally
    CDibBitmap m_dibHoverCopy;  // the hover face as first rendered
    CDibBitmap m_dibShadeCopy;  // the face as first rendered
    CDibBitmap m_dibHover;      // the face drawn while hovered
    CDibBitmap m_dibRow;        // one row of the palette ramp's ends
    CDibBitmap m_dibColumn;     // one column of the palette ramp's ends
};
