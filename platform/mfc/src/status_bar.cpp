#include "mfc/status_bar.h"

BOOL CStatusBar::Create(CWnd* parent, DWORD style, UINT id) {
    // The bar sits at the bottom whatever the style asks: the program has no other.
    const DWORD windowStyle = (style & ~CBRS_BOTTOM) | WS_CHILD;
    HWND bar = ::CreateWindowExA(0, STATUSCLASSNAMEA, nullptr, windowStyle, 0, 0, 0, 0, parent->m_hWnd,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
    return bar && SubclassWindow(bar);
}

BOOL CStatusBar::SetIndicators(const UINT* ids, int count) {
    m_panes.clear();
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ previousFont = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessage(WM_GETFONT)));
    for (int i = 0; i < count; ++i) {
        CString text;
        text.LoadString(ids[i]);
        SIZE extent{};
        ::GetTextExtentPoint32A(dc, text, text.GetLength(), &extent);
        m_panes.push_back({ids[i], SBPS_NORMAL, extent.cx});
    }
    ::SelectObject(dc, previousFont);
    ::ReleaseDC(m_hWnd, dc);
    LayOutPanes();
    for (int i = 0; i < count; ++i) {
        CString text;
        text.LoadString(ids[i]);
        SetPaneText(i, text);
    }
    return TRUE;
}

void CStatusBar::SetPaneInfo(int index, UINT id, UINT style, int width) {
    if (index < 0 || index >= static_cast<int>(m_panes.size())) return;
    m_panes[index] = {id, style, width};
    LayOutPanes();
}

void CStatusBar::LayOutPanes() {
    // Each pane's frame takes a few pixels beyond its text.
    const int frame = 2 * ::GetSystemMetrics(SM_CXEDGE) + 2;
    std::vector<int> rightEdges;
    int right = 0;
    for (const Pane& pane : m_panes) {
        right += pane.width + frame;
        rightEdges.push_back(pane.style & SBPS_STRETCH ? -1 : right);
    }
    SendMessage(SB_SETPARTS, rightEdges.size(), reinterpret_cast<LPARAM>(rightEdges.data()));
}

BOOL CStatusBar::SetPaneText(int index, LPCSTR text) {
    return static_cast<BOOL>(SendMessage(SB_SETTEXTA, index, reinterpret_cast<LPARAM>(text)));
}

CString CStatusBar::GetPaneText(int index) const {
    const int length = LOWORD(SendMessage(SB_GETTEXTLENGTHA, index));
    CString text;
    SendMessage(SB_GETTEXTA, index, reinterpret_cast<LPARAM>(text.GetBuffer(length + 1)));
    text.ReleaseBuffer();
    return text;
}
