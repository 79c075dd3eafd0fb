#include "mfc/cmd_ui.h"

#include "mfc/wnd.h"

void CCmdUI::Enable(BOOL on) {
    if (!m_pOther) return;
    // A control that loses its enabled state must not keep the focus.
    if (!on && ::GetFocus() == m_pOther->m_hWnd) {
        HWND parent = ::GetParent(m_pOther->m_hWnd);
        ::SendMessageA(parent, WM_NEXTDLGCTL, 0, FALSE);
    }
    m_pOther->EnableWindow(on);
}

void CCmdUI::SetCheck(int check) {
    if (m_pOther) m_pOther->SendMessage(BM_SETCHECK, check);
}

void CCmdUI::SetText(LPCSTR text) {
    if (m_pOther) m_pOther->SetWindowText(text);
}

void CCmdUI::DoUpdate(CCmdTarget* target, BOOL disableIfNoHandler) {
    if (target->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, this)) return;
    if (disableIfNoHandler) Enable(target->OnCmdMsg(m_nID, CN_COMMAND, nullptr) ? TRUE : FALSE);
}
