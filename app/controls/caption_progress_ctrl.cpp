#include "caption_progress_ctrl.h"

#include <algorithm>
#include <cmath>

#include "clip_offscreen_dc.h"

namespace {

constexpr UINT kTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
// Far beyond any screen, well within the 27-bit coordinates of drawing.
constexpr double kCoordinateLimit = 1 << 26;

}  // namespace

BEGIN_MESSAGE_MAP(CCaptionProgressCtrl, CProgressCtrl)
    ON_WM_ERASEBKGND()
    ON_WM_SIZE()
    ON_WM_PAINT()
END_MESSAGE_MAP()

CCaptionProgressCtrl::CCaptionProgressCtrl()
    : m_colFore(::GetSysColor(COLOR_HIGHLIGHT)),
      m_colBk(::GetSysColor(COLOR_WINDOW)),
      m_colTextFore(::GetSysColor(COLOR_HIGHLIGHT)),
      m_colTextBk(::GetSysColor(COLOR_WINDOW)) {}

CCaptionProgressCtrl::~CCaptionProgressCtrl() = default;

// ---- Operations ----------------------------------------------------------------

void CCaptionProgressCtrl::SetRange(int lower, int upper) {
    m_nMin = lower;
    m_nMax = upper;
}

double CCaptionProgressCtrl::FillFraction() const {
    // An empty range has nothing to show: nothing is filled.
    if (m_nMax == m_nMin) return 0.0;
    return (static_cast<double>(m_nPos) - m_nMin) / (static_cast<double>(m_nMax) - m_nMin);
}

int CCaptionProgressCtrl::ScaledWidth(double width, double fraction) {
    return static_cast<int>(std::clamp(std::trunc(width * fraction), -kCoordinateLimit, kCoordinateLimit));
}

int CCaptionProgressCtrl::SetPos(int position) {
    if (!m_hWnd) return -1;
    const int previous = m_nPos;
    m_nPos = position;
    CRect client;
    GetClientRect(&client);
    const int width = ScaledWidth(client.Width(), FillFraction());
    // A change of less than a pixel costs no repaint.
    if (width != m_nBarWidth) {
        m_nBarWidth = width;
        RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    }
    return previous;
}

int CCaptionProgressCtrl::SetStep(int step) {
    m_nStepSize = step;
    return m_nStepSize;
}

void CCaptionProgressCtrl::SetTextVisible(BOOL visible) {
    if (m_hWnd && visible != m_bShowText) Invalidate();
    m_bShowText = visible;
}

LRESULT CCaptionProgressCtrl::OnSetText(LPCSTR text) {
    // The default handling keeps the window text in step with the caption.
    const LRESULT result = m_hWnd ? DefWindowProc(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) : FALSE;
    if ((!text && !m_strText.IsEmpty()) || (text && m_strText != text)) {
        m_strText = text;
        if (m_hWnd) Invalidate();
    }
    return result;
}

LRESULT CCaptionProgressCtrl::OnGetText(UINT size, LPSTR buffer) const {
    if (!buffer || size == 0) return 0;
    const char* caption = m_strText;
    UINT count = 0;
    // Whole characters only, and room for the terminator.
    while (caption[count]) {
        const UINT length = ::IsDBCSLeadByte(static_cast<BYTE>(caption[count])) && caption[count + 1] ? 2 : 1;
        if (count + length > size - 1) break;
        count += length;
    }
    std::copy(caption, caption + count, buffer);
    std::fill(buffer + count, buffer + size, '\0');
    return count;
}

// ---- Painting ------------------------------------------------------------------

BOOL CCaptionProgressCtrl::OnEraseBkgnd(CDC*) { return TRUE; }

void CCaptionProgressCtrl::OnSize(UINT type, int cx, int cy) {
    CProgressCtrl::OnSize(type, cx, cy);
    m_nBarWidth = -1;
}

void CCaptionProgressCtrl::OnPaint() {
    if (m_nMin >= m_nMax) {
        // Nothing to draw, but the paint request is answered.
        ValidateRect(nullptr);
        return;
    }
    CRect client;
    GetClientRect(&client);
    CPaintDC paint(this);
    CClipOffscreenDC dc(&paint);
    DrawBar(&dc, client);
}

void CCaptionProgressCtrl::DrawBar(CDC* dc, const CRect& client) {
    const double fraction = FillFraction();
    CRect filled = client;
    filled.right = filled.left + ScaledWidth(client.Width(), fraction);
    CRect empty = client;
    empty.left = filled.right;
    dc->FillSolidRect(&filled, m_colFore);
    dc->FillSolidRect(&empty, m_colBk);
    if (!m_bShowText) return;

    CString text = m_strText;
    if (text.IsEmpty()) text.Format("%d%%", ScaledWidth(100.0, fraction));
    dc->SetBkMode(TRANSPARENT);
    DrawTextClipped(dc, text, client, filled, m_colTextBk);
    DrawTextClipped(dc, text, client, empty, m_colTextFore);
    dc->SelectClipRgn(nullptr);
}

void CCaptionProgressCtrl::DrawTextClipped(CDC* dc, const CString& text, const CRect& client, const CRect& clip,
                                           COLORREF colour) {
    // A clip region is in device units: an off-screen context over part of the bar
    // has its origin elsewhere.
    CRect device = clip;
    dc->LPtoDP(&device);
    CRgn region;
    region.CreateRectRgnIndirect(&device);
    dc->SelectClipRgn(region);
    dc->SetTextColor(colour);
    CRect area = client;
    dc->DrawText(text, &area, kTextFormat);
}
