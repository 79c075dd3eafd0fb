// CWnd: a window of the program. The permanent map ties each HWND that the program
// subclassed or attached to its CWnd; FromHandle gives a temporary CWnd for any other
// window, valid until the next idle time.
#pragma once

#include <windows.h>

#include "mfc/cstring.h"
#include "mfc/geometry.h"
#include "mfc/message_map.h"

class CDC;
class CMenu;

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    ~CWnd() override;

    HWND m_hWnd = nullptr;

    // Handle map.
    static CWnd* PASCAL FromHandle(HWND hWnd);
    static CWnd* PASCAL FromHandlePermanent(HWND hWnd);
    BOOL Attach(HWND hWnd);
    HWND Detach();
    // Attaches and routes the window's messages through this object; the window's
    // own procedure becomes the default handling (Default, DefWindowProc).
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return GetSafeHwnd(); }

    // Message handling.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    LRESULT Default();
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void UpdateDialogControls(CCmdTarget* target, BOOL disableIfNoHandler);

    // Dialog items.
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void SetDlgItemText(int id, LPCSTR text) { ::SetDlgItemTextA(m_hWnd, id, text); }
    int GetDlgItemText(int id, CString& text) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE) { ::SetDlgItemInt(m_hWnd, id, value, isSigned); }
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const;
    void CheckDlgButton(int id, UINT check) { ::CheckDlgButton(m_hWnd, id, check); }
    UINT IsDlgButtonChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id); }
    void CheckRadioButton(int first, int last, int checked) { ::CheckRadioButton(m_hWnd, first, last, checked); }
    CWnd* GetNextDlgTabItem(CWnd* control, BOOL previous = FALSE) const;

    // Window state.
    void SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL DestroyWindow();
    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    static CWnd* PASCAL GetFocus() { return FromHandle(::GetFocus()); }
    static CWnd* PASCAL GetActiveWindow() { return FromHandle(::GetActiveWindow()); }
    static CWnd* PASCAL WindowFromPoint(POINT point) { return FromHandle(::WindowFromPoint(point)); }
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    HICON SetIcon(HICON icon, BOOL big);
    CMenu* GetSystemMenu(BOOL revert) const;

    // Geometry and painting.
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    void ClientToScreen(LPPOINT point) const { ::ClientToScreen(m_hWnd, point); }
    void ScreenToClient(LPPOINT point) const { ::ScreenToClient(m_hWnd, point); }
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void ValidateRect(LPCRECT rect) { ::ValidateRect(m_hWnd, rect); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    BOOL RedrawWindow(LPCRECT update = nullptr, HRGN region = nullptr,
                      UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) {
        return ::RedrawWindow(m_hWnd, update, region, flags);
    }

    // Lays the control bars among the children (ids first..last) along the bottom
    // of the client area; the child leftOver (0: none) gets the rest.
    void RepositionBars(UINT first, UINT last, UINT leftOver);

    // Timers.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr) { return ::SetTimer(m_hWnd, id, elapse, proc); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

    int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK) {
        return ::MessageBoxA(m_hWnd, text, caption, type);
    }

protected:
    // Called once the handle is attached and before messages are routed here.
    virtual void PreSubclassWindow() {}
    // Called after the window received its last message (WM_NCDESTROY).
    virtual void PostNcDestroy() {}
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Offers a notification to this control's reflected-message entries.
    BOOL ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // Default message handlers: each passes the current message on (Default).
    void OnPaint() { Default(); }
    void OnDestroy() { Default(); }
    void OnClose() { Default(); }
    void OnTimer(UINT_PTR) { Default(); }
    void OnSysCommand(UINT, LPARAM) { Default(); }
    void OnShowWindow(BOOL, UINT) { Default(); }
    void OnKillFocus(CWnd*) { Default(); }
    void OnMouseMove(UINT, CPoint) { Default(); }
    void OnSysColorChange() { Default(); }
    void OnActivate(UINT, CWnd*, BOOL) { Default(); }
    void OnEnable(BOOL) { Default(); }
    void OnCancelMode() { Default(); }
    BOOL OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
    void OnSize(UINT, int, int) { Default(); }
    HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
    UINT OnGetDlgCode() { return static_cast<UINT>(Default()); }
    BOOL OnSetCursor(CWnd*, UINT, UINT) { return static_cast<BOOL>(Default()); }

    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    void OnFinalMessage();

    WNDPROC m_pfnSuper = nullptr;  // the window's procedure before subclassing
};

// The window procedure of every subclassed window.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
// Gives each window from msg->hwnd up to its top-level window a chance to filter
// the message; TRUE when one of them handled it.
BOOL AfxPreTranslateMessage(MSG* msg);
// Retrieves and dispatches one message with the routing above (a copy of it into
// pumped when given); FALSE on WM_QUIT, which stays queued for the outer loops.
BOOL AfxPumpMessage(MSG* pumped = nullptr);
// Frees the temporary objects made by FromHandle (called at idle time).
void AfxDeleteTempObjects();
