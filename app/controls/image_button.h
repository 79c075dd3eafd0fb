// CImageButton: a push button drawn by the program, with an icon and a caption, a
// flat look that shows a raised border only while the mouse is over it, and colours
// by state. Bitmaps, a drop-down menu, a web link, sounds, a cursor, transparency,
// tooltip texts, alignments other than icon-left and the raised (non-flat) look are
// not carried: no dialog of the program uses them.
#pragma once

#include <afxwin.h>
#include <afxcmn.h>

class CImageButton : public CButton {
public:
    // Special out-icon values of SetIcon: a grey or a darker copy of the in icon.
    static constexpr UINT kGreyOutIcon = static_cast<UINT>(-2);
    static constexpr UINT kDarkerOutIcon = static_cast<UINT>(-3);

    CImageButton();
    ~CImageButton() override;

    // Loads the icons by resource id at their own size; nIconOut 0 means none.
    DWORD SetIcon(UINT nIconIn, UINT nIconOut);
    DWORD SetIcon(UINT nIconIn, int cxIn, int cyIn, UINT nIconOut, int cxOut, int cyOut);
    // Takes ownership of the icons; 0, or 1 when an icon's size cannot be read.
    DWORD SetIcon(HICON hIconIn, HICON hIconOut);
    DWORD SetFlatFocus(BOOL bDrawFlatFocus, BOOL bRepaint = TRUE);
    // 0: icon and caption move by (1, 1) while pressed; 1: by (0, 2); else 6.
    DWORD SetPressedStyle(BYTE byStyle, BOOL bRepaint = TRUE);
    DWORD SetDefaultColors(BOOL bRepaint = TRUE);
    void CancelHover();

    BOOL PreTranslateMessage(MSG* msg) override;
    void DrawItem(LPDRAWITEMSTRUCT item) override;

protected:
    // Colours by state: background and text for hovered or pressed, normal, focused.
    enum ColorIndex { kBackHover, kForeHover, kBackOut, kForeOut, kBackFocus, kForeFocus, kColorCount };

    void PreSubclassWindow() override;
    virtual DWORD DrawButtonBackground(CDC* dc, RECT* item);
    virtual DWORD DrawButtonBorder(CDC* dc, RECT* item);
    virtual DWORD DrawButtonIcon(CDC* dc, BOOL hasTitle, const RECT* item, RECT* caption, BOOL pressed,
                                 BOOL disabled);
    virtual DWORD DrawButtonText(CDC* dc, LPCSTR title, const RECT* item, RECT* caption, BOOL pressed,
                                 BOOL disabled);

    void OnKillFocus(CWnd* newFocus);
    void OnMouseMove(UINT flags, CPoint point);
    void OnSysColorChange();
    BOOL OnClicked();
    void OnActivate(UINT state, CWnd* other, BOOL minimized);
    void OnEnable(BOOL enable);
    void OnCancelMode();
    UINT OnGetDlgCode();
    HBRUSH CtlColor(CDC* dc, UINT ctlColor);
    LRESULT OnSetStyle(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseLeave(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCheck(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetCheck(WPARAM wParam, LPARAM lParam);

    struct IconSlot {
        HICON handle = nullptr;
        int width = 0;
        int height = 0;
    };

    int m_nMarginX = 3;
    int m_nMarginY = 3;
    int m_nPressOffsetX = 1;
    int m_nPressOffsetY = 1;
    BOOL m_bHover = FALSE;
    BOOL m_bPressed = FALSE;
    BOOL m_bFocused = FALSE;
    BOOL m_bDisabled = FALSE;
    BOOL m_bDefault = FALSE;
    BOOL m_bCheckBox = FALSE;
    BOOL m_bFlatFocus = FALSE;
    COLORREF m_Colors[kColorCount] = {};
    CToolTipCtrl m_ToolTip;
    BOOL m_bChecked = FALSE;
    int m_nButtonType = 15;
    DWORD m_nToolTipStyle = 0;
    IconSlot m_Icons[2];  // in (hovered or pressed), out (otherwise)

    DECLARE_MESSAGE_MAP()

private:
    void FreeIcons();
    static HICON LoadIconResource(UINT id, int cx, int cy);
    static bool ReadIconSize(HICON icon, IconSlot& slot);
    const IconSlot& IconForState(BOOL pressed) const;
};
