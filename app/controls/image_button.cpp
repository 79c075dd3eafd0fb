#include "image_button.h"

#include "icon_copy.h"

BEGIN_MESSAGE_MAP(CImageButton, CButton)
    ON_WM_KILLFOCUS()
    ON_WM_MOUSEMOVE()
    ON_WM_SYSCOLORCHANGE()
    ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
    ON_WM_ACTIVATE()
    ON_WM_ENABLE()
    ON_WM_CANCELMODE()
    ON_WM_GETDLGCODE()
    ON_WM_CTLCOLOR_REFLECT()
    ON_MESSAGE(BM_SETSTYLE, OnSetStyle)
    ON_MESSAGE(WM_MOUSELEAVE, OnMouseLeave)
    ON_MESSAGE(BM_SETCHECK, OnSetCheck)
    ON_MESSAGE(BM_GETCHECK, OnGetCheck)
END_MESSAGE_MAP()

CImageButton::CImageButton() {
    SetDefaultColors(FALSE);
    SetPressedStyle(0, FALSE);
}

CImageButton::~CImageButton() { FreeIcons(); }

void CImageButton::FreeIcons() {
    for (IconSlot& slot : m_Icons) {
        if (slot.handle) ::DestroyIcon(slot.handle);
        slot = IconSlot{};
    }
}

// ---- Set-up --------------------------------------------------------------------

void CImageButton::PreSubclassWindow() {
    const DWORD style = GetStyle();
    m_nButtonType = static_cast<int>(style & 0x0F);
    if ((style & BS_CHECKBOX) == BS_CHECKBOX) m_bCheckBox = TRUE;
    if (m_nButtonType == BS_DEFPUSHBUTTON) {
        m_bDefault = TRUE;
        m_nButtonType = BS_PUSHBUTTON;
    }
    ModifyStyle(0x0F, BS_OWNERDRAW, SWP_FRAMECHANGED);
    CButton::PreSubclassWindow();
}

HICON CImageButton::LoadIconResource(UINT id, int cx, int cy) {
    HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCEA(id), RT_GROUP_ICON);
    return static_cast<HICON>(::LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
}

DWORD CImageButton::SetIcon(UINT nIconIn, UINT nIconOut) { return SetIcon(nIconIn, 0, 0, nIconOut, 0, 0); }

DWORD CImageButton::SetIcon(UINT nIconIn, int cxIn, int cyIn, UINT nIconOut, int cxOut, int cyOut) {
    HICON in = LoadIconResource(nIconIn, cxIn, cyIn);
    HICON out = nullptr;
    if (nIconOut == kGreyOutIcon || nIconOut == kDarkerOutIcon)
        out = reinterpret_cast<HICON>(static_cast<INT_PTR>(static_cast<int>(nIconOut)));
    else if (nIconOut != 0)
        out = LoadIconResource(nIconOut, cxOut, cyOut);
    // An icon that cannot be loaded is a failure, not a button without an icon.
    const bool outMissing = nIconOut != 0 && !out;
    if (!in || outMissing) {
        SetIcon(in, out);  // frees them, and what the button held
        FreeIcons();
        return 1;
    }
    return SetIcon(in, out);
}

bool CImageButton::ReadIconSize(HICON icon, IconSlot& slot) {
    ICONINFO info{};
    if (!::GetIconInfo(icon, &info)) return false;
    slot.handle = icon;
    slot.width = static_cast<int>(info.xHotspot * 2);
    slot.height = static_cast<int>(info.yHotspot * 2);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
    return true;
}

DWORD CImageButton::SetIcon(HICON hIconIn, HICON hIconOut) {
    FreeIcons();
    const INT_PTR outValue = reinterpret_cast<INT_PTR>(hIconOut);
    const bool toneIn = outValue == static_cast<int>(kGreyOutIcon) || outValue == static_cast<int>(kDarkerOutIcon);
    if (!hIconIn || !ReadIconSize(hIconIn, m_Icons[0])) {
        if (hIconIn) ::DestroyIcon(hIconIn);
        if (hIconOut && !toneIn) ::DestroyIcon(hIconOut);
        m_Icons[0] = IconSlot{};
        return hIconIn ? 1 : 0;
    }
    HICON out = hIconOut;
    if (toneIn)
        out = controls::MakeTonedIcon(hIconIn, outValue == static_cast<int>(kGreyOutIcon) ? controls::IconTone::Grey
                                                                                         : controls::IconTone::Darker);
    if (out && !ReadIconSize(out, m_Icons[1])) {
        ::DestroyIcon(out);
        FreeIcons();
        return 1;
    }
    if (m_hWnd) Invalidate();
    return 0;
}

DWORD CImageButton::SetFlatFocus(BOOL bDrawFlatFocus, BOOL bRepaint) {
    m_bFlatFocus = bDrawFlatFocus;
    if (bRepaint && m_hWnd) Invalidate();
    return 0;
}

DWORD CImageButton::SetPressedStyle(BYTE byStyle, BOOL bRepaint) {
    switch (byStyle) {
    case 0: m_nPressOffsetX = 1; m_nPressOffsetY = 1; break;
    case 1: m_nPressOffsetX = 0; m_nPressOffsetY = 2; break;
    default: return 6;
    }
    if (bRepaint && m_hWnd) Invalidate();
    return 0;
}

DWORD CImageButton::SetDefaultColors(BOOL bRepaint) {
    for (int i = 0; i < kColorCount; i += 2) {
        m_Colors[i] = ::GetSysColor(COLOR_BTNFACE);
        m_Colors[i + 1] = ::GetSysColor(COLOR_BTNTEXT);
    }
    if (bRepaint && m_hWnd) Invalidate();
    return 0;
}

// ---- Hover and input -----------------------------------------------------------

void CImageButton::CancelHover() {
    if (!m_bHover) return;
    m_bHover = FALSE;
    Invalidate();
}

BOOL CImageButton::PreTranslateMessage(MSG* msg) {
    if (!m_ToolTip.m_hWnd && m_ToolTip.Create(this, m_nToolTipStyle)) {
        m_ToolTip.Activate(FALSE);
        m_ToolTip.SetMaxTipWidth(400);
    }
    if (m_ToolTip.m_hWnd) m_ToolTip.RelayEvent(msg);
    // A fast second click is a second click, not a double click.
    if (msg->message == WM_LBUTTONDBLCLK) msg->message = WM_LBUTTONDOWN;
    return CButton::PreTranslateMessage(msg);
}

void CImageButton::OnMouseMove(UINT flags, CPoint point) {
    CButton::OnMouseMove(flags, point);
    ClientToScreen(&point);
    CWnd* under = WindowFromPoint(point);
    if ((flags & MK_LBUTTON) && !m_bHover) return;
    if (!under || under->m_hWnd != m_hWnd) {
        CancelHover();
        return;
    }
    if (m_bHover) return;
    m_bHover = TRUE;
    Invalidate();
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, m_hWnd, 0};
    ::TrackMouseEvent(&track);
}

LRESULT CImageButton::OnMouseLeave(WPARAM, LPARAM) {
    CancelHover();
    return 0;
}

void CImageButton::OnKillFocus(CWnd* newFocus) {
    CButton::OnKillFocus(newFocus);
    CancelHover();
}

void CImageButton::OnActivate(UINT state, CWnd* other, BOOL minimized) {
    CButton::OnActivate(state, other, minimized);
    if (state == WA_INACTIVE) CancelHover();
}

void CImageButton::OnEnable(BOOL enable) {
    CButton::OnEnable(enable);
    if (!enable) {
        CWnd* parent = GetParent();
        CWnd* next = parent ? parent->GetNextDlgTabItem(this) : nullptr;
        if (next && next->m_hWnd != m_hWnd)
            next->SetFocus();
        else if (parent)
            parent->SetFocus();
        CancelHover();
    }
}

void CImageButton::OnCancelMode() {
    CButton::OnCancelMode();
    CancelHover();
}

void CImageButton::OnSysColorChange() {
    CButton::OnSysColorChange();
    SetDefaultColors(TRUE);
}

BOOL CImageButton::OnClicked() {
    SetFocus();
    if (m_bCheckBox) {
        m_bChecked = !m_bChecked;
        Invalidate();
    }
    return FALSE;  // the parent dialog handles the click as well
}

UINT CImageButton::OnGetDlgCode() {
    return CButton::OnGetDlgCode() | (m_bDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
}

HBRUSH CImageButton::CtlColor(CDC*, UINT) { return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH)); }

LRESULT CImageButton::OnSetStyle(WPARAM wParam, LPARAM lParam) {
    const UINT type = wParam & 0x0F;
    if (type == BS_DEFPUSHBUTTON)
        m_bDefault = TRUE;
    else if (type == BS_PUSHBUTTON)
        m_bDefault = FALSE;
    // The dialog moves the default between buttons: the button stays owner-drawn.
    return DefWindowProc(BM_SETSTYLE, (wParam & ~static_cast<WPARAM>(0x0F)) | BS_OWNERDRAW, lParam);
}

LRESULT CImageButton::OnSetCheck(WPARAM wParam, LPARAM) {
    if (m_bCheckBox) {
        m_bChecked = (wParam == BST_CHECKED || wParam == BST_INDETERMINATE);
        Invalidate();
    }
    return 0;
}

LRESULT CImageButton::OnGetCheck(WPARAM, LPARAM) { return m_bChecked; }

// ---- Drawing -------------------------------------------------------------------

void CImageButton::DrawItem(LPDRAWITEMSTRUCT item) {
    CDC* dc = CDC::FromHandle(item->hDC);
    m_bPressed = (item->itemState & ODS_SELECTED) || (m_bCheckBox && m_bChecked);
    m_bFocused = (item->itemState & ODS_FOCUS) != 0;
    m_bDisabled = (item->itemState & ODS_DISABLED) != 0;

    CRect itemRect = item->rcItem;
    dc->SetBkMode(TRANSPARENT);
    DrawButtonBackground(dc, &itemRect);
    DrawButtonBorder(dc, &itemRect);

    CString title;
    GetWindowText(title);
    CRect caption = item->rcItem;
    if (m_Icons[0].handle)
        DrawButtonIcon(dc, !title.IsEmpty(), &item->rcItem, &caption, m_bPressed, m_bDisabled);
    if (!title.IsEmpty()) DrawButtonText(dc, title, &item->rcItem, &caption, m_bPressed, m_bDisabled);

    if (m_bFocused && m_bFlatFocus) {
        CRect focus = item->rcItem;
        focus.DeflateRect(3, 3);
        dc->DrawFocusRect(&focus);
    }
}

DWORD CImageButton::DrawButtonBackground(CDC* dc, RECT* item) {
    const COLORREF back = (m_bHover || m_bPressed) ? m_Colors[kBackHover]
                          : m_bFocused             ? m_Colors[kBackFocus]
                                                   : m_Colors[kBackOut];
    dc->FillSolidRect(item, back);
    return 0;
}

DWORD CImageButton::DrawButtonBorder(CDC* dc, RECT* item) {
    if (m_bPressed)
        dc->Draw3dRect(item, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
    else if (m_bHover)
        dc->Draw3dRect(item, ::GetSysColor(COLOR_BTNHIGHLIGHT), ::GetSysColor(COLOR_BTNSHADOW));
    return 0;
}

const CImageButton::IconSlot& CImageButton::IconForState(BOOL pressed) const {
    const bool showIn = m_bCheckBox ? pressed : (pressed || m_bHover);
    return (showIn || !m_Icons[1].handle) ? m_Icons[0] : m_Icons[1];
}

DWORD CImageButton::DrawButtonIcon(CDC* dc, BOOL hasTitle, const RECT* item, RECT* caption, BOOL pressed,
                                   BOOL disabled) {
    const IconSlot& icon = IconForState(pressed);
    const CRect itemRect = *item;
    CRect place(0, 0, icon.width, icon.height);
    // The icon sits left of the caption, or alone in the middle.
    if (hasTitle) {
        place.OffsetRect(itemRect.left + m_nMarginX, 0);
        caption->left += icon.width + m_nMarginX;
    } else {
        place.OffsetRect(itemRect.left + (itemRect.Width() - icon.width) / 2, 0);
    }
    place.OffsetRect(0, itemRect.top + (itemRect.Height() - icon.height) / 2);
    if (pressed && !m_bCheckBox) place.OffsetRect(m_nPressOffsetX, m_nPressOffsetY);
    dc->DrawState(place.TopLeft(), place.Size(), icon.handle, disabled ? DSS_DISABLED : DSS_NORMAL);
    return 0;
}

DWORD CImageButton::DrawButtonText(CDC* dc, LPCSTR title, const RECT*, RECT* caption, BOOL pressed,
                                   BOOL disabled) {
    CRect area = *caption;
    if (pressed && !m_bCheckBox) area.OffsetRect(m_nPressOffsetX, m_nPressOffsetY);
    CRect text = area;
    dc->DrawText(title, &text, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
    text.OffsetRect((area.Width() - text.Width()) / 2, (area.Height() - text.Height()) / 2);
    *caption = text;
    if (disabled) {
        text.OffsetRect(1, 1);
        dc->SetTextColor(::GetSysColor(COLOR_BTNHIGHLIGHT));
        dc->DrawText(title, &text, DT_WORDBREAK | DT_CENTER);
        text.OffsetRect(-1, -1);
        dc->SetTextColor(::GetSysColor(COLOR_BTNSHADOW));
        dc->DrawText(title, &text, DT_WORDBREAK | DT_CENTER);
        return 0;
    }
    const bool hot = m_bHover || m_bPressed;
    dc->SetTextColor(m_Colors[hot ? kForeHover : m_bFocused ? kForeFocus : kForeOut]);
    dc->SetBkColor(m_Colors[hot ? kBackHover : m_bFocused ? kBackFocus : kBackOut]);
    dc->DrawText(title, &text, DT_WORDBREAK | DT_CENTER);
    return 0;
}
