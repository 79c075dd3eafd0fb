#include "mfc/dc.h"

#include "mfc/wnd.h"

CDC::~CDC() { DeleteDC(); }

BOOL CDC::DeleteDC() {
    if (!m_hDC) return FALSE;
    return ::DeleteDC(Detach());
}

CPoint CDC::SetWindowOrg(int x, int y) {
    POINT previous{};
    ::SetWindowOrgEx(m_hDC, x, y, &previous);
    return previous;
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color) {
    // An opaque empty text fills with the background colour without touching brushes.
    const COLORREF previous = ::SetBkColor(m_hDC, color);
    ::ExtTextOutA(m_hDC, 0, 0, ETO_OPAQUE, rect, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, previous);
}

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF color) {
    const RECT rect = {x, y, x + width, y + height};
    FillSolidRect(&rect, color);
}

void CDC::Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight) {
    const int x = rect->left, y = rect->top;
    const int width = rect->right - rect->left, height = rect->bottom - rect->top;
    FillSolidRect(x, y, width - 1, 1, topLeft);
    FillSolidRect(x, y, 1, height - 1, topLeft);
    FillSolidRect(x + width - 1, y, 1, height, bottomRight);
    FillSolidRect(x, y + height - 1, width, 1, bottomRight);
}

BOOL CDC::DrawState(CPoint point, CSize size, HICON icon, UINT flags, HBRUSH brush) {
    return ::DrawStateA(m_hDC, brush, nullptr, reinterpret_cast<LPARAM>(icon), 0, point.x, point.y, size.cx,
                        size.cy, flags | DST_ICON);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd) { Attach(::BeginPaint(m_hWnd, &m_ps)); }

CPaintDC::~CPaintDC() {
    ::EndPaint(m_hWnd, &m_ps);
    Detach();
}
