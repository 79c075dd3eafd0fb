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
    virtual ~CDC() = default;

    HDC m_hDC = nullptr;

    // A temporary CDC for hDC, valid until the next idle time.
    static CDC* PASCAL FromHandle(HDC hDC);
    BOOL Attach(HDC hDC) { m_hDC = hDC; return hDC != nullptr; }
    HDC Detach() { HDC hDC = m_hDC; m_hDC = nullptr; return hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
    HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }

    void FillSolidRect(LPCRECT rect, COLORREF color);
    void FillSolidRect(int x, int y, int width, int height, COLORREF color);
    // A one-pixel frame: top and left in topLeft, bottom and right in bottomRight.
    void Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight);
    void FillRect(LPCRECT rect, HBRUSH brush) { ::FillRect(m_hDC, rect, brush); }
    void FrameRect(LPCRECT rect, HBRUSH brush) { ::FrameRect(m_hDC, rect, brush); }
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
