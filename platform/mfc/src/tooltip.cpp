#include "mfc/tooltip.h"

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style) {
    HWND tip = ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | style, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, parent ? parent->m_hWnd : nullptr, nullptr,
                                 nullptr, nullptr);
    // Routed through here, so the map lets go of it when its owner takes it down.
    return tip && SubclassWindow(tip);
}
