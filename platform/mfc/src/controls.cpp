#include "mfc/controls.h"

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message != WM_DRAWITEM) return CWnd::OnChildNotify(message, wParam, lParam, result);
    DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    *result = TRUE;
    return TRUE;
}

void CEdit::SetSel(int start, int end, BOOL noScroll) {
    SendMessage(EM_SETSEL, start, end);
    if (!noScroll) SendMessage(EM_SCROLLCARET);
}

void CComboBox::GetLBText(int index, CString& text) const {
    const int length = static_cast<int>(SendMessage(CB_GETLBTEXTLEN, index));
    if (length < 0) {
        text.Empty();
        return;
    }
    SendMessage(CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.GetBuffer(length + 1)));
    text.ReleaseBuffer();
}
