// CToolTipCtrl: a tooltip window owned by a control.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "mfc/wnd.h"

class CToolTipCtrl : public CWnd {
public:
    BOOL Create(CWnd* parent, DWORD style = 0);
    void Activate(BOOL activate) { SendMessage(TTM_ACTIVATE, activate); }
    int SetMaxTipWidth(int width) { return static_cast<int>(SendMessage(TTM_SETMAXTIPWIDTH, 0, width)); }
    void RelayEvent(LPMSG msg) { SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg)); }
};
