// CFont: a GDI font.
#pragma once

#include <windows.h>

#include "mfc/gdi_object.h"

class CFont : public CGdiObject {
public:
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }
    BOOL CreateFontIndirect(const LOGFONTW* font) { return Attach(::CreateFontIndirectW(font)); }
};
