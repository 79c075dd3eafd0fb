// LumaMenu's measuring and drawing of one item, in the classic and the flat style.
#include "luma_menu.h"
#include "luma_menu_image_ops.h"
#include "luma_menu_shared.h"
#include "offscreen_dc.h"

#include <algorithm>
#include <optional>

namespace {

// Raster operations of disabled drawing: paint with the brush where the mask is 1
// (etched), where it is 0 (embossed).
constexpr DWORD kPaintWhereSet = 0xE20746;
constexpr DWORD kPaintWhereClear = 0xB8074A;
constexpr UINT kLabelFormat = DT_VCENTER | DT_SINGLELINE;
constexpr UINT kAcceleratorFormat = DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
constexpr int kFlatCheckBox = 16;

COLORREF Sys(int index) { return ::GetSysColor(index); }

// A context that only borrows its handle (an owner-draw request's).
class BorrowedDC : public CDC {
public:
    explicit BorrowedDC(HDC hDC) { Attach(hDC); }
    ~BorrowedDC() override { Detach(); }
};

void FrameWith(CDC* dc, const CRect& rect, COLORREF colour) {
    CBrush brush(colour);
    dc->FrameRect(&rect, brush);
}

void FillAndFrame(CDC* dc, const CRect& rect, COLORREF colour) {
    dc->FillSolidRect(&rect, colour);
    FrameWith(dc, rect, colour);
}

// Half of n rounded up, and never negative.
int HalfUp(int n) { return std::max(0, (n + 1) / 2); }

bool MenuFont(CFont& font) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    return ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) &&
           font.CreateFontIndirect(&metrics.lfMenuFont);
}

HWND MeasuringWindow() {
    CWnd* main = AfxGetMainWnd();
    return main && main->m_hWnd ? main->m_hWnd : ::GetDesktopWindow();
}

// Whether a check mark shows (checked, or an unchecked bitmap is set), and whether
// it is the dot of a check bitmap.
std::optional<bool> CheckMark(HMENU menu, UINT id, bool checked) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_CHECKMARKS;
    ::GetMenuItemInfoW(menu, id, FALSE, &info);
    if (!checked && !info.hbmpUnchecked) return std::nullopt;
    return (checked ? info.hbmpChecked : info.hbmpUnchecked) != nullptr;
}

}  // namespace

// What one draw request shows.
struct LumaMenu::ItemLook {
    CRect rect;
    const MenuItemData* data = nullptr;
    HMENU menu = nullptr;
    UINT id = 0;
    bool selected = false;
    bool checked = false;
    bool greyed = false;
    CImageList* list = nullptr;  // the item's image, when it has one
    int index = -1;
    bool checkImage = false;     // shows a check image instead of an own image
    bool HasImage() const { return list != nullptr; }
};

// ---- Measuring -----------------------------------------------------------------

void LumaMenu::MeasureItem(LPMEASUREITEMSTRUCT item) {
    const auto* data = reinterpret_cast<const MenuItemData*>(item->itemData);
    if (!data) return;
    const int gap = Gap();
    if (data->IsSeparator()) {
        item->itemWidth = 0;
        item->itemHeight = std::max(::GetSystemMetrics(SM_CYMENU) / 2, (m_iconY + gap) / 2);
        return;
    }
    CFont font;
    MenuFont(font);
    HWND window = MeasuringWindow();
    HDC dc = ::GetDC(window);
    HGDIOBJ previous = OsClass() > 1 && font.GetSafeHandle() ? ::SelectObject(dc, font) : nullptr;
    const int length = static_cast<int>(data->text.size());
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, data->Text(), length, &extent);
    int textWidth = extent.cx;
    if (OsClass() == 0) {
        RECT calculated{};
        ::DrawTextW(dc, data->Text(), length, &calculated, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
        textWidth = calculated.right + 3;
        // An empty text has no characters to widen.
        if (length > 0) textWidth += 3 * (textWidth / length);
    }
    if (previous) ::SelectObject(dc, previous);
    ::ReleaseDC(window, dc);

    item->itemWidth = GetDrawStyle() == 1 ? m_iconX + gap + textWidth + 8 : textWidth + 2 * m_iconX + 1;
    item->itemHeight = std::max(::GetSystemMetrics(SM_CYMENU), m_iconY + gap);
}

// ---- Drawing -------------------------------------------------------------------

void LumaMenu::DrawItem(LPDRAWITEMSTRUCT item) {
    const auto* data = reinterpret_cast<const MenuItemData*>(item->itemData);
    if (!data) return;
    ItemLook look;
    look.rect = item->rcItem;
    look.data = data;
    look.menu = reinterpret_cast<HMENU>(item->hwndItem);
    look.id = item->itemID;
    look.selected = (item->itemState & ODS_SELECTED) != 0;
    look.checked = (item->itemState & ODS_CHECKED) != 0;
    look.greyed = (item->itemState & ODS_GRAYED) != 0;
    ItemImage(*data, look.list, look.index);
    look.checkImage = look.checked && !look.HasImage() && m_checkMaps &&
                      (m_unselectCheck > 0 || (look.selected && m_selectCheck > 0));

    BorrowedDC dc(item->hDC);
    if ((dc.GetDeviceCaps(RASTERCAPS) & RC_PALETTE) || GetDrawStyle() != 1)
        DrawClassic(&dc, look);
    else
        DrawFlat(&dc, look);
}

void LumaMenu::DrawItemText(CDC* dc, const ItemLook& look, CRect rect, COLORREF colour) const {
    const MenuText& text = look.data->text;
    const size_t firstTab = text.find(u'\t');
    const MenuText label = text.substr(0, firstTab);
    dc->SetBkMode(TRANSPARENT);
    dc->SetTextColor(colour);
    ::DrawTextW(dc->m_hDC, reinterpret_cast<LPCWSTR>(label.c_str()), -1, &rect, kLabelFormat);
    if (firstTab == MenuText::npos) return;
    const MenuText accelerator = text.substr(text.rfind(u'\t') + 1);
    rect.right -= m_iconX;
    ::DrawTextW(dc->m_hDC, reinterpret_cast<LPCWSTR>(accelerator.c_str()), -1, &rect, kAcceleratorFormat);
}

void LumaMenu::DrawCheckGlyph(CDC* dc, CPoint anchor, bool dot) {
    const COLORREF colour = Sys(COLOR_MENUTEXT);
    if (dot) {
        CBrush brush(colour);
        CPen pen(PS_SOLID, 1, colour);
        HGDIOBJ oldBrush = dc->SelectObject(brush);
        HGDIOBJ oldPen = dc->SelectObject(pen);
        const CRect ellipse(anchor.x + 1, anchor.y, anchor.x + 7, anchor.y + 6);
        dc->Ellipse(&ellipse);
        dc->SelectObject(oldPen);
        dc->SelectObject(oldBrush);
        return;
    }
    // A tick: seven strokes of three pixels, falling then rising.
    static constexpr int kStrokeTop[] = {2, 3, 4, 3, 2, 1, 0};
    for (int x = 0; x < 7; ++x) dc->FillSolidRect(anchor.x + x, anchor.y + kStrokeTop[x], 1, 3, colour);
}

void LumaMenu::DrawDisabledImage(CDC* dc, CPoint at, CImageList* list, int index, COLORREF background) const {
    CBitmap picture;
    if (!luma::RenderImage(*list, index, picture)) return;
    const CSize size = luma::BitmapSize(picture);
    const COLORREF face = Sys(COLOR_BTNFACE), highlight = Sys(COLOR_BTNHIGHLIGHT), shadow = Sys(COLOR_BTNSHADOW);
    CBitmap mask;
    if (m_bDisableOldStyle) {
        // Embossed: the dark pixels, in highlight moved by (1, 1) under shadow.
        const auto light = [](COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) >= 3 * 128; };
        if (!luma::MakeMask(picture, light, mask)) return;
        dc->FillSolidRect(at.x, at.y, size.cx, size.cy, background);
        luma::PaintMask(dc->m_hDC, at.x + 1, at.y + 1, mask, highlight, kPaintWhereClear);
        luma::PaintMask(dc->m_hDC, at.x, at.y, mask, shadow, kPaintWhereClear);
        return;
    }
    // Etched: everything but face and highlight, composed on a work picture.
    const auto drawn = [face, highlight](COLORREF c) { return c != face && c != highlight; };
    if (!luma::MakeMask(picture, drawn, mask)) return;
    CDC work;
    work.CreateCompatibleDC(dc);
    CBitmap workPicture;
    workPicture.CreateCompatibleBitmap(dc, size.cx, size.cy);
    HGDIOBJ previous = work.SelectObject(workPicture);
    work.FillSolidRect(0, 0, size.cx, size.cy, background);
    luma::PaintMask(work.m_hDC, 0, 0, mask, highlight, kPaintWhereSet);
    dc->BitBlt(at.x + 1, at.y + 1, size.cx, size.cy, &work, 0, 0, SRCCOPY);
    luma::PaintMask(work.m_hDC, 1, 1, mask, highlight, kPaintWhereSet);
    luma::PaintMask(work.m_hDC, 0, 0, mask, shadow, kPaintWhereSet);
    dc->BitBlt(at.x, at.y, size.cx, size.cy, &work, 0, 0, SRCCOPY);
    work.SelectObject(previous);
}

void LumaMenu::DrawClassic(CDC* dc, ItemLook& look) {
    const COLORREF back = Sys(IsThemedDesktop() ? COLOR_BTNFACE : COLOR_MENU);
    const CRect& rect = look.rect;
    const bool frames3d = OsClass() > 1;
    if (look.greyed && look.selected && !luma::Shared().selectDisabledClassic) look.selected = false;

    if (look.data->IsSeparator()) {
        dc->FillSolidRect(&rect, back);
        CRect line = rect;
        line.top += line.Height() / 2;
        dc->DrawEdge(&line, EDGE_ETCHED, BF_TOP);
        return;
    }
    if (look.selected) {
        CRect band = rect;
        if (look.HasImage() || look.checkImage || look.checked) band.left += m_iconX + 5;
        dc->FillSolidRect(&band, Sys(COLOR_HIGHLIGHT));
    } else {
        FillAndFrame(dc, rect, back);
    }
    const COLORREF textColour = Sys(look.selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);

    const int dy = std::max(0, (rect.Height() - m_iconY - 4) / 2);
    const CRect inner(rect.left + 1, rect.top + dy + 1, rect.left + m_iconX + 3, rect.top + m_iconY + dy + 3);
    const CRect outer(rect.left, rect.top + dy, rect.left + m_iconX + 4, rect.top + m_iconY + dy + 4);
    const CPoint at(rect.left + 2, rect.top + dy + 2);
    const COLORREF light = Sys(COLOR_BTNHIGHLIGHT), dark = Sys(COLOR_BTNSHADOW);

    if (look.checkImage) {
        dc->FillSolidRect(&inner, back);
        FrameWith(dc, outer, back);
        m_checkMaps->Draw(dc, look.selected ? 1 : 0, at, ILD_TRANSPARENT);
    } else if (look.HasImage() && !look.greyed) {
        if (look.selected) {
            dc->FillSolidRect(&inner, back);
            if (frames3d) dc->Draw3dRect(&outer, look.checked ? dark : light, look.checked ? light : dark);
        } else if (look.checked) {
            dc->FillSolidRect(&inner, LightenColor(back, 0.6));
            if (frames3d) dc->Draw3dRect(&outer, dark, light);
        } else {
            dc->FillSolidRect(&inner, back);
            FrameWith(dc, outer, back);
        }
        look.list->Draw(dc, look.index, at, ILD_TRANSPARENT);
    } else if (look.HasImage()) {
        FrameWith(dc, outer, back);
        DrawDisabledImage(dc, at, look.list, look.index, back);
    } else if (const auto dot = CheckMark(look.menu, look.id, look.checked)) {
        CRect box(rect.left + 1, rect.top + dy + 2, rect.left + m_iconX + 1, rect.top + m_iconY + dy + 2);
        dc->FillSolidRect(&box, look.selected ? back : LightenColor(back, 0.6));
        if (frames3d) dc->DrawEdge(&box, BDR_SUNKENOUTER, BF_RECT);
        DrawCheckGlyph(dc, CPoint(rect.left + 4, rect.top + dy + 4), *dot);
    }

    CRect text = rect;
    text.left += m_iconX + 9;
    text.OffsetRect(0, -1);
    if (!look.greyed) {
        DrawItemText(dc, look, text, textColour);
    } else if (look.selected) {
        DrawItemText(dc, look, text, back);
    } else {
        CRect embossed = text;
        embossed.OffsetRect(1, 1);
        DrawItemText(dc, look, embossed, light);
        DrawItemText(dc, look, text, Sys(COLOR_GRAYTEXT));
    }
}

void LumaMenu::DrawFlat(CDC* target, ItemLook& look) {
    const bool themed = IsThemedDesktop();
    const COLORREF back = themed ? Sys(COLOR_BTNFACE) : LightenColor(Sys(COLOR_BTNFACE), 0.25);
    const COLORREF window = Sys(COLOR_WINDOW), highlight = Sys(COLOR_HIGHLIGHT);
    const COLORREF band = LightenColor(highlight, themed ? 0.7 : 0.85);
    const int gap = Gap();
    const int column = m_iconX + gap;
    const CRect& rect = look.rect;

    // A greyed item that cannot be selected is composed off-screen with the menu font.
    std::optional<COffscreenDC> offscreen;
    CFont font;
    HGDIOBJ previousFont = nullptr;
    CDC* dc = target;
    if (look.greyed && !luma::Shared().selectDisabledFlat) {
        look.selected = false;
        offscreen.emplace(target, rect);
        dc = &*offscreen;
        if (MenuFont(font)) previousFont = dc->SelectObject(font);
    }

    const CRect imageColumn(rect.left, rect.top, rect.left + column, rect.bottom);
    if (look.data->IsSeparator()) {
        FillAndFrame(dc, imageColumn, back);
        const CRect rest(rect.left + column, rect.top, rect.right, rect.bottom);
        dc->FillSolidRect(&rest, window);
        CRect line(rect.left + column + gap, rect.top + rect.Height() / 2, rect.right, rect.bottom);
        dc->DrawEdge(&line, EDGE_ETCHED, BF_TOP);
    } else {
        if (look.selected) {
            dc->FillSolidRect(&rect, band);
            FrameWith(dc, rect, highlight);
        } else {
            FillAndFrame(dc, rect, window);
            FillAndFrame(dc, imageColumn, back);
        }
        const CRect box(rect.left + 1, rect.top + 1, rect.left + column - 1, rect.bottom - 1);
        const CPoint at(rect.left + HalfUp(column - m_iconX), rect.top + HalfUp(rect.Height() - m_iconY));
        const CPoint raised(at.x - 1, at.y - 1);
        const bool effects = look.HasImage() && HasEffects(*look.data);

        if (look.checkImage) {
            dc->FillSolidRect(&box, back);
            m_checkMaps->Draw(dc, look.selected ? 1 : 0, at, ILD_TRANSPARENT);
        } else if (look.HasImage() && !look.greyed) {
            if (look.selected) {
                dc->FillSolidRect(&box, band);
                if (look.checked) {
                    FrameWith(dc, box, highlight);
                    look.list->Draw(dc, look.index, raised, ILD_TRANSPARENT);
                } else if (effects) {
                    look.list->Draw(dc, look.index + 2, CPoint(at.x + 1, at.y + 1), ILD_TRANSPARENT);
                    look.list->Draw(dc, look.index, raised, ILD_TRANSPARENT);
                } else {
                    look.list->Draw(dc, look.index, at, ILD_TRANSPARENT);
                }
            } else if (look.checked) {
                dc->FillSolidRect(&box, LightenColor(highlight, 0.85));
                FrameWith(dc, box, highlight);
                look.list->Draw(dc, look.index, raised, ILD_TRANSPARENT);
            } else {
                FillAndFrame(dc, box, back);
                look.list->Draw(dc, effects ? look.index + 1 : look.index, at, ILD_TRANSPARENT);
            }
        } else if (look.HasImage()) {
            DrawDisabledImage(dc, at, look.list, look.index, look.selected ? band : back);
            if (look.selected) FrameWith(dc, rect, highlight);
        } else if (const auto dot = CheckMark(look.menu, look.id, look.checked)) {
            const CPoint corner(rect.left + HalfUp(column - kFlatCheckBox), rect.top + HalfUp(rect.Height() - kFlatCheckBox));
            const CRect checkBox(corner.x, corner.y, corner.x + kFlatCheckBox, corner.y + kFlatCheckBox);
            dc->FillSolidRect(&checkBox, LightenColor(highlight, 0.85));
            FrameWith(dc, checkBox, highlight);
            DrawCheckGlyph(dc, CPoint(corner.x + 4, corner.y + 4), *dot);
        }

        CRect text = rect;
        text.left += column + 8;
        COLORREF colour = Sys(COLOR_MENUTEXT);
        if (look.greyed) {
            colour = Sys(COLOR_GRAYTEXT);
            if (!themed && !look.selected) colour = LightenColor(colour, 0.4);
        }
        DrawItemText(dc, look, text, colour);
    }
    if (previousFont) dc->SelectObject(previousFont);
}
