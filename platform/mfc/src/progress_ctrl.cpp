#include "mfc/progress_ctrl.h"

BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    HWND bar = ::CreateWindowExA(0, PROGRESS_CLASSA, nullptr, style, rect.left, rect.top, rect.right - rect.left,
                                 rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
    // Routed through here, so a class deriving from it sees the bar's messages.
    return bar && SubclassWindow(bar);
}
