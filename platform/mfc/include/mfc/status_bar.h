// CStatusBar: a bar of text panes at the bottom of a dialog.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "mfc/cstring.h"
#include "mfc/wnd.h"

// Ids and styles of the framework's control bars.
constexpr UINT AFX_IDW_CONTROLBAR_FIRST = 0xE800;
constexpr UINT AFX_IDW_CONTROLBAR_LAST = 0xE8FF;
constexpr UINT AFX_IDW_STATUS_BAR = 0xE801;
constexpr DWORD CBRS_BOTTOM = 0x8000;
constexpr UINT SBPS_NORMAL = 0x0000;
constexpr UINT SBPS_STRETCH = 0x08000000;

class CStatusBar : public CWnd {
public:
    BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, UINT id = AFX_IDW_STATUS_BAR);
    // One pane per id, showing the id's string resource.
    BOOL SetIndicators(const UINT* ids, int count);
    // width: the pane's text width in pixels; SBPS_STRETCH makes the last pane
    // take the rest of the bar.
    void SetPaneInfo(int index, UINT id, UINT style, int width);
    BOOL SetPaneText(int index, LPCSTR text);
    CString GetPaneText(int index) const;

private:
    struct Pane {
        UINT id;
        UINT style;
        int width;
    };
    void LayOutPanes();

    std::vector<Pane> m_panes;
};
