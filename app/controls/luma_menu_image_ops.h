// Pixel work on LumaMenu's item images: rendering an image over the button face,
// its faded and shadow copies, and the masks of disabled drawing.
#pragma once

#include <afxwin.h>
#include <afxcmn.h>

#include <functional>

namespace luma {

enum class ImageEffect { Faded, Shadow };

// The image drawn over the button-face colour into a new bitmap of the list's size.
bool RenderImage(CImageList& list, int index, CBitmap& bitmap);
// A new icon (the caller destroys it) of the image with the effect applied; null
// when it cannot be made.
HICON EffectIcon(CImageList& list, int index, ImageEffect effect);
// A monochrome bitmap of the picture: 1 where marked says so, 0 elsewhere.
bool MakeMask(CBitmap& picture, const std::function<bool(COLORREF)>& marked, CBitmap& mask);
// Paints, with a brush of colour, the pixels that rop picks by the mask at (x, y).
void PaintMask(HDC dc, int x, int y, CBitmap& mask, COLORREF colour, DWORD rop);
// Size of a bitmap.
CSize BitmapSize(CBitmap& bitmap);

}  // namespace luma
