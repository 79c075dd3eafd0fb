// CToolBar: a bar of command buttons over the common toolbar control, filled from a
// toolbar resource's command list and a bitmap strip of button images.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "mfc/wnd.h"

// Control-bar styles (the low word of a bar's style; not window styles).
constexpr DWORD CBRS_ALIGN_TOP = 0x2000;
constexpr DWORD CBRS_BORDER_BOTTOM = 0x0800;
constexpr DWORD CBRS_TOP = CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM;
constexpr DWORD CBRS_ALL = 0x0040FFFF;
constexpr UINT AFX_IDW_TOOLBAR = 0xE800;
// Resource type of toolbar resources (button commands and image size).
#define RT_TOOLBAR MAKEINTRESOURCEA(241)

class CToolBar : public CWnd {
public:
    ~CToolBar() override;

    BOOL Create(CWnd* parent, DWORD style = WS_CHILD | WS_VISIBLE | CBRS_TOP, UINT id = AFX_IDW_TOOLBAR);
    // One button per id, images numbered in order; an id of 0 is a separator.
    BOOL SetButtons(const UINT* ids, int count);
    void SetSizes(SIZE button, SIZE image);
    // Takes ownership of the bitmap and makes it the button images.
    BOOL AddReplaceBitmap(HBITMAP bitmap);

    int GetCount() const { return static_cast<int>(SendMessage(TB_BUTTONCOUNT)); }
    // The index of the button with that command, -1 when none has it.
    int CommandToIndex(UINT id) const { return static_cast<int>(SendMessage(TB_COMMANDTOINDEX, id)); }
    UINT GetItemID(int index) const;
    // id 0 and style TBSTYLE_SEP for a separator; image is the button's image number.
    void GetButtonInfo(int index, UINT& id, UINT& style, int& image) const;

    DWORD m_dwStyle = 0;                // the control-bar styles given to Create
    HINSTANCE m_hInstImageWell = nullptr;  // where the images came from
    HRSRC m_hRsrcImageWell = nullptr;
    HBITMAP m_hbmImageWell = nullptr;      // the images, owned

private:
    BOOL GetButton(int index, TBBUTTON& button) const;
};
