// CImageList: a list of same-sized images (tree items, menu items).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "mfc/geometry.h"

class CBitmap;
class CDC;

class CImageList {
public:
    CImageList() = default;
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    ~CImageList() { DeleteImageList(); }

    HIMAGELIST m_hImageList = nullptr;

    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    BOOL DeleteImageList();
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }
    int Add(HICON icon) { return ImageList_ReplaceIcon(m_hImageList, -1, icon); }
    // Adds the bitmap's images with mask the colour made transparent.
    int Add(CBitmap* bitmap, COLORREF mask);
    BOOL Replace(int image, HICON icon) { return ImageList_ReplaceIcon(m_hImageList, image, icon) != -1; }
    // A new icon of the image; the caller destroys it.
    HICON ExtractIcon(int image) const { return ImageList_GetIcon(m_hImageList, image, ILD_NORMAL); }
    BOOL Draw(CDC* dc, int image, POINT point, UINT style) const;
    BOOL GetImageInfo(int image, IMAGEINFO* info) const { return ImageList_GetImageInfo(m_hImageList, image, info); }
    int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
    COLORREF SetBkColor(COLORREF colour) { return ImageList_SetBkColor(m_hImageList, colour); }
    COLORREF GetBkColor() const { return ImageList_GetBkColor(m_hImageList); }
};
