// CBitmap: a GDI bitmap.
#pragma once

#include <windows.h>

#include "mfc/gdi_object.h"

class CDC;

class CBitmap : public CGdiObject {
public:
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
    BOOL CreateCompatibleBitmap(CDC* dc, int width, int height);
    // A bitmap resource of the resource module.
    BOOL LoadBitmap(UINT id);
    int GetBitmap(BITMAP* info) const { return ::GetObjectA(m_hObject, sizeof *info, info); }
};
