// CBrush: a GDI brush.
#pragma once

#include <windows.h>

#include "mfc/gdi_object.h"

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF colour) { CreateSolidBrush(colour); }
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
    BOOL CreateSolidBrush(COLORREF colour) { return Attach(::CreateSolidBrush(colour)); }
    BOOL CreateHatchBrush(int style, COLORREF colour) { return Attach(::CreateHatchBrush(style, colour)); }
};
