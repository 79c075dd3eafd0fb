#include "mfc/bitmap.h"

#include "mfc/app.h"
#include "mfc/dc.h"

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
    return Attach(::CreateCompatibleBitmap(dc->m_hDC, width, height));
}

BOOL CBitmap::LoadBitmap(UINT id) {
    HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCEA(id), RT_BITMAP);
    return Attach(::LoadBitmapA(module, MAKEINTRESOURCEA(id)));
}
