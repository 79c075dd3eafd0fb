// COffscreenDC: draws one rectangle of a target context off-screen and copies the
// picture to the target in one blit when it goes, so the target never shows a half-
// drawn state. Over a printing context it draws straight onto the target.
#pragma once

#include <afxwin.h>

class COffscreenDC : public CDC {
public:
    // Drawing uses the target's coordinates; only rect reaches the target.
    COffscreenDC(CDC* target, const RECT& rect);
    ~COffscreenDC() override;

private:
    CBitmap m_bitmap;
    HGDIOBJ m_oldBitmap = nullptr;
    CDC* m_pDC;
    CRect m_rect;
    BOOL m_bMemDC;  // FALSE: drawing goes straight to a printing target
};
