// How messages reach the objects: the shared window procedure, the message-map
// dispatch, reflection of control notifications, and the pre-translation walk.
#include <windows.h>

#include "handle_map.h"
#include "mfc/dc.h"
#include "mfc/wnd.h"

namespace {

// The message being handled, for Default().
struct CurrentMessage {
    HWND hWnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
CurrentMessage g_current{};

bool IsCtlColor(UINT message) { return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC; }

// Gives the control that caused a parent's message the first chance to handle it.
BOOL ReflectToChild(HWND child, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    CWnd* control = child ? CWnd::FromHandlePermanent(child) : nullptr;
    return control && control->OnChildNotify(message, wParam, lParam, result);
}

}  // namespace

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
    if (!wnd) return ::DefWindowProcA(hWnd, message, wParam, lParam);
    const CurrentMessage saved = g_current;
    g_current = {hWnd, message, wParam, lParam};
    LRESULT result = wnd->WindowProc(message, wParam, lParam);
    g_current = saved;
    if (message == WM_NCDESTROY) wnd->OnFinalMessage();
    return result;
}

void CWnd::OnFinalMessage() {
    UnsubclassWindow();
    Detach();
    PostNcDestroy();
}

LRESULT CWnd::Default() {
    return DefWindowProc(g_current.message, g_current.wParam, g_current.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_COMMAND) return OnCommand(wParam, lParam);
    if (message == WM_NOTIFY) return OnNotify(wParam, lParam, result);
    if (message == WM_DRAWITEM) {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        return item->CtlType != ODT_MENU && ReflectToChild(item->hwndItem, message, wParam, lParam, result);
    }
    if (IsCtlColor(message) && ReflectToChild(reinterpret_cast<HWND>(lParam), message, wParam, lParam, result))
        return TRUE;
    return DispatchMapEntry(message, 0, 0, wParam, lParam, result);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    LRESULT ignored = 0;
    if (control && ReflectToChild(control, WM_COMMAND, wParam, lParam, &ignored)) return TRUE;
    return DispatchMapEntry(WM_COMMAND, control ? code : CN_COMMAND, id, wParam, lParam, nullptr);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (ReflectToChild(header->hwndFrom, WM_NOTIFY, wParam, lParam, result)) return TRUE;
    return DispatchMapEntry(WM_NOTIFY, header->code, static_cast<UINT>(header->idFrom), wParam, lParam, result);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    return ReflectChildNotify(message, wParam, lParam, result);
}

BOOL CWnd::ReflectChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message == WM_COMMAND)
        return DispatchMapEntry(WM_REFLECT_BASE + WM_COMMAND, HIWORD(wParam), 0, wParam, lParam, result);
    if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        return DispatchMapEntry(WM_REFLECT_BASE + WM_NOTIFY, header->code, 0, wParam, lParam, result);
    }
    if (IsCtlColor(message)) {
        const UINT ctlColorType = message - WM_CTLCOLORMSGBOX;
        return DispatchMapEntry(WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0, wParam, ctlColorType, result);
    }
    return FALSE;
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

BOOL AfxPreTranslateMessage(MSG* msg) {
    for (HWND hWnd = msg->hwnd; hWnd; hWnd = ::GetParent(hWnd)) {
        CWnd* wnd = CWnd::FromHandlePermanent(hWnd);
        if (wnd && wnd->PreTranslateMessage(msg)) return TRUE;
        if (!(::GetWindowLongA(hWnd, GWL_STYLE) & WS_CHILD)) break;
    }
    return FALSE;
}

BOOL AfxPumpMessage(MSG* pumped) {
    MSG local;
    MSG& msg = pumped ? *pumped : local;
    if (!::GetMessageA(&msg, nullptr, 0, 0)) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return FALSE;
    }
    if (!AfxPreTranslateMessage(&msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return TRUE;
}
