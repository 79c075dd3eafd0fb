#include "offscreen_dc.h"

COffscreenDC::COffscreenDC(CDC* target, const RECT& rect)
    : m_pDC(target), m_rect(rect), m_bMemDC(!target->IsPrinting()) {
    if (m_bMemDC) {
        CreateCompatibleDC(target);
        m_bitmap.CreateCompatibleBitmap(target, m_rect.Width(), m_rect.Height());
        m_oldBitmap = SelectObject(m_bitmap);
        SetWindowOrg(m_rect.left, m_rect.top);
    } else {
        // Borrowed: the target keeps owning these handles.
        m_bPrinting = target->m_bPrinting;
        m_hDC = target->m_hDC;
        m_hAttribDC = target->m_hAttribDC;
    }
}

COffscreenDC::~COffscreenDC() {
    if (m_bMemDC) {
        m_pDC->BitBlt(m_rect.left, m_rect.top, m_rect.Width(), m_rect.Height(), this, m_rect.left, m_rect.top,
                      SRCCOPY);
        SelectObject(m_oldBitmap);
    } else {
        m_hDC = m_hAttribDC = nullptr;
    }
}
