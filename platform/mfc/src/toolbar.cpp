#include "mfc/toolbar.h"

#include <vector>

#include "mfc/app.h"

namespace {

constexpr int kSeparatorWidth = 8;

}  // namespace

CToolBar::~CToolBar() {
    DestroyWindow();
    if (m_hbmImageWell) ::DeleteObject(m_hbmImageWell);
}

BOOL CToolBar::Create(CWnd* parent, DWORD style, UINT id) {
    m_dwStyle = style & CBRS_ALL;
    // The bar lays itself out: the control neither moves nor sizes itself.
    const DWORD windowStyle = (style & ~CBRS_ALL) | CCS_NOPARENTALIGN | CCS_NOMOVEY | CCS_NODIVIDER | CCS_NORESIZE;
    HWND bar = ::CreateWindowExA(0, TOOLBARCLASSNAMEA, nullptr, windowStyle, 0, 0, 0, 0,
                                 parent ? parent->m_hWnd : nullptr,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), AfxGetInstanceHandle(), nullptr);
    if (!bar || !SubclassWindow(bar)) return FALSE;
    SendMessage(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return TRUE;
}

BOOL CToolBar::SetButtons(const UINT* ids, int count) {
    while (GetCount() > 0) SendMessage(TB_DELETEBUTTON, 0);
    std::vector<TBBUTTON> buttons(count);
    int image = 0;
    for (int i = 0; i < count; ++i) {
        TBBUTTON& button = buttons[i];
        button.idCommand = static_cast<int>(ids ? ids[i] : 0);
        if (button.idCommand == 0) {
            button.fsStyle = TBSTYLE_SEP;
            button.iBitmap = kSeparatorWidth;
        } else {
            button.fsStyle = TBSTYLE_BUTTON;
            button.fsState = TBSTATE_ENABLED;
            button.iBitmap = image++;
        }
    }
    return count == 0 || SendMessage(TB_ADDBUTTONSA, count, reinterpret_cast<LPARAM>(buttons.data())) != 0;
}

void CToolBar::SetSizes(SIZE button, SIZE image) {
    SendMessage(TB_SETBITMAPSIZE, 0, MAKELPARAM(image.cx, image.cy));
    SendMessage(TB_SETBUTTONSIZE, 0, MAKELPARAM(button.cx, button.cy));
}

BOOL CToolBar::AddReplaceBitmap(HBITMAP bitmap) {
    if (!bitmap) return FALSE;
    BOOL added;
    if (m_hbmImageWell) {
        TBREPLACEBITMAP replace{nullptr, reinterpret_cast<UINT_PTR>(m_hbmImageWell), nullptr,
                                reinterpret_cast<UINT_PTR>(bitmap), 0};
        added = SendMessage(TB_REPLACEBITMAP, 0, reinterpret_cast<LPARAM>(&replace)) != 0;
    } else {
        TBADDBITMAP add{nullptr, reinterpret_cast<UINT_PTR>(bitmap)};
        added = SendMessage(TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&add)) != -1;
    }
    if (!added) {
        ::DeleteObject(bitmap);
        return FALSE;
    }
    if (m_hbmImageWell) ::DeleteObject(m_hbmImageWell);
    m_hbmImageWell = bitmap;
    return TRUE;
}

BOOL CToolBar::GetButton(int index, TBBUTTON& button) const {
    button = TBBUTTON{};
    return SendMessage(TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button)) != 0;
}

UINT CToolBar::GetItemID(int index) const {
    TBBUTTON button;
    return GetButton(index, button) ? static_cast<UINT>(button.idCommand) : 0;
}

void CToolBar::GetButtonInfo(int index, UINT& id, UINT& style, int& image) const {
    TBBUTTON button;
    GetButton(index, button);
    id = static_cast<UINT>(button.idCommand);
    style = button.fsStyle;
    image = button.iBitmap;
}
