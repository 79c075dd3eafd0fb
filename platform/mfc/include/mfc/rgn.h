// CRgn: a GDI region.
#pragma once

#include <windows.h>

#include "mfc/gdi_object.h"

class CRgn : public CGdiObject {
public:
    operator HRGN() const { return static_cast<HRGN>(m_hObject); }
    BOOL CreateRectRgnIndirect(LPCRECT rect) { return Attach(::CreateRectRgnIndirect(rect)); }
};
