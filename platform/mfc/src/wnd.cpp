#include "mfc/wnd.h"

#include <algorithm>
#include <vector>

#include "handle_map.h"
#include "mfc/cmd_ui.h"
#include "mfc/menu.h"

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, entries};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

CWnd::~CWnd() {
    // A window outliving its object would route messages to freed memory.
    if (m_hWnd && FromHandlePermanent(m_hWnd) == this) DestroyWindow();
    if (m_hWnd) Detach();
}

BOOL CWnd::Attach(HWND hWnd) {
    if (!hWnd || m_hWnd || FromHandlePermanent(hWnd)) return FALSE;
    m_hWnd = hWnd;
    mfc::PermanentWindows()[hWnd] = this;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hWnd = m_hWnd;
    if (hWnd) {
        auto& windows = mfc::PermanentWindows();
        auto it = windows.find(hWnd);
        if (it != windows.end() && it->second == this) windows.erase(it);
    }
    m_hWnd = nullptr;
    return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!Attach(hWnd)) return FALSE;
    PreSubclassWindow();
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    HWND item = ::GetDlgItem(parent->m_hWnd, id);
    return item && SubclassWindow(item);
}

HWND CWnd::UnsubclassWindow() {
    if (m_pfnSuper) ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    HWND hWnd = m_hWnd;
    const bool routedHere = m_pfnSuper != nullptr;
    BOOL destroyed = ::DestroyWindow(hWnd);
    // Attached but not subclassed: WM_NCDESTROY did not pass through here.
    if (!routedHere && m_hWnd == hWnd) Detach();
    return destroyed;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendDlgItemMessageA(m_hWnd, id, message, wParam, lParam);
}

CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }

int CWnd::GetDlgItemText(int id, CString& text) const {
    HWND item = ::GetDlgItem(m_hWnd, id);
    text.Empty();
    if (!item) return 0;
    FromHandle(item)->GetWindowText(text);
    return text.GetLength();
}

UINT CWnd::GetDlgItemInt(int id, BOOL* translated, BOOL isSigned) const {
    return ::GetDlgItemInt(m_hWnd, id, translated, isSigned);
}

CWnd* CWnd::GetNextDlgTabItem(CWnd* control, BOOL previous) const {
    return FromHandle(::GetNextDlgTabItem(m_hWnd, control ? control->m_hWnd : nullptr, previous));
}

void CWnd::GetWindowText(CString& text) const {
    const int length = ::GetWindowTextLengthA(m_hWnd);
    ::GetWindowTextA(m_hWnd, text.GetBuffer(length + 1), length + 1);
    text.ReleaseBuffer();
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
    const DWORD style = GetStyle();
    const DWORD changed = (style & ~remove) | add;
    if (changed == style) return FALSE;
    ::SetWindowLongA(m_hWnd, GWL_STYLE, static_cast<LONG>(changed));
    if (swpFlags)
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    return TRUE;
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

CMenu* CWnd::GetSystemMenu(BOOL revert) const { return CMenu::FromHandle(::GetSystemMenu(m_hWnd, revert)); }

void CWnd::RepositionBars(UINT first, UINT last, UINT leftOver) {
    CRect rest;
    GetClientRect(&rest);
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const UINT id = static_cast<UINT>(::GetDlgCtrlID(child));
        if (id < first || id > last) continue;
        // A bar places itself along the bottom of its parent when told of a size.
        ::SendMessageA(child, WM_SIZE, 0, 0);
        RECT bar;
        ::GetWindowRect(child, &bar);
        rest.bottom -= bar.bottom - bar.top;
    }
    if (HWND item = leftOver ? ::GetDlgItem(m_hWnd, leftOver) : nullptr)
        ::MoveWindow(item, rest.left, rest.top, rest.Width(), std::max(0, rest.Height()), TRUE);
}

void CWnd::UpdateDialogControls(CCmdTarget* target, BOOL disableIfNoHandler) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    for (HWND child : children) {
        CCmdUI state;
        state.m_nID = static_cast<UINT>(::GetDlgCtrlID(child));
        state.m_pOther = FromHandle(child);
        state.DoUpdate(target, disableIfNoHandler);
    }
}
