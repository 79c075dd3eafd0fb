// CProgressCtrl: the common progress bar.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "mfc/wnd.h"

class CProgressCtrl : public CWnd {
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
};
