// CDC and CPaintDC: drawing on a device context.
#pragma once

#include <windows.h>

#include "mfc/geometry.h"

class CWnd;

class CDC {
public:
    CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    // Deletes the context it holds (one made by CreateCompatibleDC).
    virtual ~CDC();

    HDC m_hDC = nullptr;
    HDC m_hAttribDC = nullptr;  // the context queried for attributes (usually m_hDC)
    BOOL m_bPrinting = FALSE;   // the context draws on a printer

    // A temporary CDC for hDC, valid until the next idle time.
    static CDC* PASCAL FromHandle(HDC hDC);
    BOOL Attach(HDC hDC) { m_hDC = m_hAttribDC = hDC; return hDC != nullptr; }
    HDC Detach() { HDC hDC = m_hDC; m_hDC = m_hAttribDC = nullptr; return hDC; }
    BOOL CreateCompatibleDC(CDC* dc) { return Attach(::CreateCompatibleDC(dc ? dc->m_hDC : nullptr)); }
    BOOL DeleteDC();
    BOOL IsPrinting() const { return m_bPrinting; }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hAttribDC, index); }
    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
    HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
    // Selects a copy of region as the clip region (null: no clipping).
    int SelectClipRgn(HRGN region) { return ::SelectClipRgn(m_hDC, region); }
    int GetClipBox(LPRECT rect) const { return ::GetClipBox(m_hDC, rect); }
    CPoint SetWindowOrg(int x, int y);
    BOOL LPtoDP(LPRECT rect) const { return ::LPtoDP(m_hAttribDC, reinterpret_cast<LPPOINT>(rect), 2); }
    BOOL BitBlt(int x, int y, int width, int height, CDC* source, int xSource, int ySource, DWORD rop) {
        return ::BitBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, xSource, ySource, rop);
    }

    void FillSolidRect(LPCRECT rect, COLORREF color);
    void FillSolidRect(int x, int y, int width, int height, COLORREF color);
    // A one-pixel frame: top and left in topLeft, bottom and right in bottomRight.
    void Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight);
    void FillRect(LPCRECT rect, HBRUSH brush) { ::FillRect(m_hDC, rect, brush); }
    void FrameRect(LPCRECT rect, HBRUSH brush) { ::FrameRect(m_hDC, rect, brush); }
    BOOL Rectangle(LPCRECT rect) { return ::Rectangle(m_hDC, rect->left, rect->top, rect->right, rect->bottom); }
    BOOL Ellipse(LPCRECT rect) { return ::Ellipse(m_hDC, rect->left, rect->top, rect->right, rect->bottom); }
    BOOL DrawEdge(LPRECT rect, UINT edge, UINT flags) { return ::DrawEdge(m_hDC, rect, edge, flags); }
    void DrawFocusRect(LPCRECT rect) { ::DrawFocusRect(m_hDC, rect); }
    int DrawText(LPCSTR text, LPRECT rect, UINT format) { return ::DrawTextA(m_hDC, text, -1, rect, format); }
    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }
    BOOL DrawState(CPoint point, CSize size, HICON icon, UINT flags, HBRUSH brush = nullptr);
};

// The context of a WM_PAINT: BeginPaint on construction, EndPaint on destruction.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;

    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd;
};
