// CCaptionProgressCtrl: a progress bar that paints itself: the filled part in a bar
// colour, the rest in a background colour, and across the bar its caption or the
// percentage done, each part of the text in the colour that contrasts with what lies
// beneath it. It keeps its own range, position and step.
#pragma once

#include <afxwin.h>
#include <afxcmn.h>

class CCaptionProgressCtrl : public CProgressCtrl {
public:
    CCaptionProgressCtrl();
    ~CCaptionProgressCtrl() override;

    // No check and no redraw: the next position change shows the new range.
    void SetRange(int lower, int upper);
    // Each returns the previous position, or -1 (changing nothing) without a window.
    int SetPos(int position);
    int OffsetPos(int delta) { return SetPos(m_nPos + delta); }
    int StepIt() { return SetPos(m_nPos + m_nStepSize); }
    int SetStep(int step);
    void SetTextVisible(BOOL visible);

    // Colours take effect at the next repaint.
    void SetFillColor(COLORREF colour) { m_colFore = colour; }
    void SetEmptyColor(COLORREF colour) { m_colBk = colour; }
    void SetTextOnEmptyColor(COLORREF colour) { m_colTextFore = colour; }
    void SetTextOnFillColor(COLORREF colour) { m_colTextBk = colour; }
    COLORREF GetFillColor() const { return m_colFore; }
    COLORREF GetEmptyColor() const { return m_colBk; }
    COLORREF GetTextOnEmptyColor() const { return m_colTextFore; }
    COLORREF GetTextOnFillColor() const { return m_colTextBk; }

    // The caption shown instead of the percentage (null or empty: the percentage).
    // The window text follows it. Returns what the default handling returned.
    LRESULT OnSetText(LPCSTR text);
    // Copies up to size - 1 bytes of the caption, never splitting a double-byte
    // character, zero-fills the rest of the buffer and returns the bytes copied.
    LRESULT OnGetText(UINT size, LPSTR buffer) const;

protected:
    BOOL OnEraseBkgnd(CDC* dc);
    void OnSize(UINT type, int cx, int cy);
    void OnPaint();

    DECLARE_MESSAGE_MAP()

    int m_nPos = 0;
    int m_nStepSize = 1;
    int m_nMax = 100;
    int m_nMin = 0;
    CString m_strText;
    BOOL m_bShowText = TRUE;
    int m_nBarWidth = -1;  // filled width at the last redraw; -1 unknown
    COLORREF m_colFore;      // filled part
    COLORREF m_colBk;        // unfilled part
    COLORREF m_colTextFore;  // text over the unfilled part
    COLORREF m_colTextBk;    // text over the filled part

private:
    double FillFraction() const;
    // trunc(width x fraction), kept within what drawing coordinates can hold.
    static int ScaledWidth(double width, double fraction);
    void DrawBar(CDC* dc, const CRect& client);
    static void DrawTextClipped(CDC* dc, const CString& text, const CRect& client, const CRect& clip,
                                COLORREF colour);
};
