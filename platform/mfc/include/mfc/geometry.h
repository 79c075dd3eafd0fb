// CPoint, CSize and CRect: the framework's value types over POINT, SIZE and RECT.
#pragma once

#include <windows.h>

class CSize : public SIZE {
public:
    CSize() { cx = cy = 0; }
    CSize(int x, int y) { cx = x; cy = y; }
};

class CPoint : public POINT {
public:
    CPoint() { x = y = 0; }
    CPoint(int px, int py) { x = px; y = py; }
    CPoint(POINT p) { x = p.x; y = p.y; }
    // From the packed coordinates of a mouse message's lParam.
    explicit CPoint(LPARAM packed) { x = (short)LOWORD(packed); y = (short)HIWORD(packed); }
    void Offset(int dx, int dy) { x += dx; y += dy; }
    bool operator==(POINT p) const { return x == p.x && y == p.y; }
    bool operator!=(POINT p) const { return !(*this == p); }
};

class CRect : public RECT {
public:
    CRect() { SetRectEmpty(); }
    CRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    CRect(const RECT& r) { CopyRect(r); }

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return CSize(Width(), Height()); }
    CPoint TopLeft() const { return CPoint(left, top); }
    CPoint BottomRight() const { return CPoint(right, bottom); }
    CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
    BOOL IsRectEmpty() const { return Width() <= 0 || Height() <= 0; }
    BOOL PtInRect(POINT p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }

    void SetRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    void SetRectEmpty() { left = top = right = bottom = 0; }
    void CopyRect(const RECT& r) { left = r.left; top = r.top; right = r.right; bottom = r.bottom; }
    void DeflateRect(int dx, int dy) { left += dx; top += dy; right -= dx; bottom -= dy; }
    void InflateRect(int dx, int dy) { DeflateRect(-dx, -dy); }
    void OffsetRect(int dx, int dy) { left += dx; right += dx; top += dy; bottom += dy; }
    void OffsetRect(POINT p) { OffsetRect(p.x, p.y); }

    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
    bool operator==(const RECT& r) const {
        return left == r.left && top == r.top && right == r.right && bottom == r.bottom;
    }
    bool operator!=(const RECT& r) const { return !(*this == r); }
};
