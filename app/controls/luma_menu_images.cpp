// LumaMenu's item images: bitmap resources into image lists, the faded and shadow
// copies of the flat style, the image list shared by command, toolbar images and
// check images.
#include "luma_menu.h"
#include "luma_menu_image_ops.h"
#include "luma_menu_shared.h"
#include "menu_toolbar.h"
#include "resource_lookup.h"

#include <algorithm>
#include <vector>

namespace {

constexpr UINT kListFlags = ILC_COLORDDB | ILC_MASK;
// How a hidden toolbar that lends its images is made.
constexpr DWORD kToolBarStyle = 0x50002800;
constexpr UINT kToolBarId = 0xE800;

// A bitmap of 16 colours is a toolbar-style one: it takes the current button colours.
HBITMAP LoadBitmapResource(UINT id) {
    const LockedResource found = LockResourceWithFallback(MAKEINTRESOURCEA(id), RT_BITMAP);
    const auto* header = static_cast<const BITMAPINFOHEADER*>(found.data);
    if (!header || found.size < sizeof *header) return nullptr;
    const bool sixteenColours = header->biClrUsed == 16 || (header->biClrUsed == 0 && header->biBitCount == 4);
    return sixteenColours ? AfxLoadSysColorBitmap(found.module, found.resource)
                          : ::LoadBitmapA(found.module, MAKEINTRESOURCEA(id));
}

bool CreateMenuToolBar(CMenuToolBar& bar) {
    CWnd* parent = AfxGetMainWnd();
    if (!parent) parent = CWnd::FromHandle(::GetDesktopWindow());
    return bar.Create(parent, kToolBarStyle, kToolBarId);
}

}  // namespace

COLORREF LumaMenu::TransparentColour() const {
    return m_bUseBitmapBackground ? m_bitmapBackground : ::GetSysColor(COLOR_BTNFACE);
}

void LumaMenu::AddEffectImages(CImageList& list, int image) {
    for (luma::ImageEffect effect : {luma::ImageEffect::Faded, luma::ImageEffect::Shadow}) {
        HICON icon = luma::EffectIcon(list, image, effect);
        if (icon) list.Add(icon);
        if (icon) ::DestroyIcon(icon);
    }
}

BOOL LumaMenu::AddBitmapResource(CImageList& list, UINT id, bool withEffects) const {
    CBitmap bitmap;
    if (!bitmap.Attach(LoadBitmapResource(id)) || list.Add(&bitmap, TransparentColour()) == -1) return FALSE;
    if (withEffects && EffectsOn()) AddEffectImages(list, 0);
    return TRUE;
}

int LumaMenu::SharedImageOf(UINT_PTR command) {
    const std::vector<UINT>& commands = luma::Shared().imageCommands;
    const auto at = std::find(commands.begin(), commands.end(), static_cast<UINT>(command));
    return at == commands.end() ? -1 : static_cast<int>(at - commands.begin());
}

int LumaMenu::AddSharedImage(UINT_PTR command, CImageList& source, int index) {
    luma::SharedState& shared = luma::Shared();
    if (!shared.images.GetSafeHandle() && !shared.images.Create(m_iconX, m_iconY, kListFlags, 1, 1)) return -1;
    HICON icon = source.ExtractIcon(index);
    if (!icon) return -1;
    std::vector<HICON> icons = {icon};
    if (EffectsOn())
        for (luma::ImageEffect effect : {luma::ImageEffect::Faded, luma::ImageEffect::Shadow})
            icons.push_back(luma::EffectIcon(source, index, effect));

    std::vector<UINT>& commands = shared.imageCommands;
    int result = SharedImageOf(command);
    if (result < 0) {
        result = shared.images.GetImageCount();
        // The list and its commands stay in step: an image that cannot be added ends it.
        for (HICON each : icons) {
            if (!each || shared.images.Add(each) == -1) break;
            commands.push_back(static_cast<UINT>(command));
        }
        if (SharedImageOf(command) < 0) result = -1;
    } else {
        shared.images.Replace(result, icon);
        const bool effectsFollow = icons.size() == 3 && result + 2 < static_cast<int>(commands.size()) &&
                                   commands[result + 1] == command && commands[result + 2] == command;
        if (effectsFollow)
            for (int i = 1; i < 3; ++i)
                if (icons[i]) shared.images.Replace(result + i, icons[i]);
    }
    for (HICON each : icons)
        if (each) ::DestroyIcon(each);
    return result;
}

int LumaMenu::SharedImageFromToolbar(UINT_PTR command, int toolbarId) {
    int image = 0;
    {
        CMenuToolBar bar;
        if (CreateMenuToolBar(bar) && bar.LoadToolBar(static_cast<UINT>(toolbarId))) {
            const int index = bar.CommandToIndex(static_cast<UINT>(command));
            if (index >= 0) {
                UINT id = 0, style = 0;
                bar.GetButtonInfo(index, id, style, image);
                if (image < 0) image = 0;
            }
        }
    }
    CImageList strip;
    if (!strip.Create(m_iconX, m_iconY, kListFlags, 1, 1) || !AddBitmapResource(strip, toolbarId, false)) return -1;
    return AddSharedImage(command, strip, image);
}

int LumaMenu::SharedImage(UINT_PTR command, const MenuImage& image) {
    if (image.bitmap || image.list) {
        CImageList single;
        CImageList* source = image.list;
        int index = image.index;
        if (image.bitmap) {
            if (!single.Create(m_iconX, m_iconY, kListFlags, 1, 1) ||
                single.Add(image.bitmap, TransparentColour()) == -1)
                return -1;
            source = &single;
            index = 0;
        }
        return AddSharedImage(command, *source, index);
    }
    if (image.id > 0) return SharedImageFromToolbar(command, image.id);
    return SharedImageOf(command);
}

void LumaMenu::ApplyImage(MenuItemData& record, UINT_PTR command, const MenuImage& image, bool ownList) {
    record.pImages.reset();
    record.nImageId = record.nImageIndex = -1;
    if (!ownList || !image.list) {
        record.nSharedIndex = SharedImage(command, image);
        return;
    }
    // A copy of the image in a list of its own, with its effect images when they apply.
    int width = 0, height = 0;
    ImageList_GetIconSize(image.list->GetSafeHandle(), &width, &height);
    auto own = std::make_unique<CImageList>();
    HICON icon = image.list->ExtractIcon(image.index);
    if (icon && own->Create(width, height, kListFlags, 1, 1) && own->Add(icon) != -1) {
        if (EffectsOn()) AddEffectImages(*own, 0);
        record.pImages = std::move(own);
        record.nImageId = record.nImageIndex = 0;
    }
    if (icon) ::DestroyIcon(icon);
}

bool LumaMenu::ItemImage(const MenuItemData& record, CImageList*& list, int& index) {
    if (record.nImageId != -1 && record.pImages) {
        list = record.pImages.get();
        index = record.nImageIndex;
        return true;
    }
    if (record.nImageId < 0 && record.nSharedIndex >= 0 && luma::Shared().images.GetSafeHandle()) {
        list = &luma::Shared().images;
        index = record.nSharedIndex;
        return true;
    }
    return false;
}

bool LumaMenu::HasEffects(const MenuItemData& record) {
    if (!EffectsOn()) return false;
    CImageList* list = nullptr;
    int index = -1;
    if (!ItemImage(record, list, index)) return false;
    if (list == record.pImages.get()) return index == 0 && list->GetImageCount() > 2;
    const std::vector<UINT>& commands = luma::Shared().imageCommands;
    return index + 2 < static_cast<int>(commands.size()) && commands[index] == commands[index + 1] &&
           commands[index] == commands[index + 2];
}

BOOL LumaMenu::LoadToolBarImages(UINT toolbarId) {
    CMenuToolBar bar;
    if (!CreateMenuToolBar(bar) || !bar.LoadToolBar(toolbarId)) return FALSE;
    int width = 0, height = 0;
    bar.GetImageSize(width, height);
    m_iconX = std::max(m_iconX, width);
    m_iconY = std::max(m_iconY, height);
    CImageList strip;
    const BOOL added = strip.Create(m_iconX, m_iconY, kListFlags, 1, 1) && AddBitmapResource(strip, toolbarId, false);
    if (!added) return FALSE;
    for (int i = 0; i < bar.GetCount(); ++i) {
        UINT command = 0, style = 0;
        int image = 0;
        bar.GetButtonInfo(i, command, style, image);
        // The button's image number, not its place on the bar: separators take places.
        if (command != 0 && GetMenuState(command, MF_BYCOMMAND) != static_cast<UINT>(-1))
            ModifyMenu(static_cast<LPCWSTR>(nullptr), command, MenuImage(&strip, image));
    }
    return TRUE;
}

BOOL LumaMenu::LoadToolBarImages(const UINT* toolbarIds, int count) {
    BOOL all = TRUE;
    for (int i = 0; i < count; ++i)
        if (!LoadToolBarImages(toolbarIds[i])) all = FALSE;
    return all;
}

void LumaMenu::SetCheckImages(int checkId, int selectedCheckId) {
    if (checkId < 1 || selectedCheckId < 1) return;
    m_unselectCheck = checkId;
    m_selectCheck = selectedCheckId;
    auto images = std::make_shared<CImageList>();
    // Image 0 for a checked item, 1 for one under the selection; no effect images.
    const bool built = images->Create(m_iconX, m_iconY, ILC_MASK, 2, 1) &&
                       AddBitmapResource(*images, static_cast<UINT>(checkId), false) &&
                       AddBitmapResource(*images, static_cast<UINT>(selectedCheckId), false);
    m_checkMaps = built ? std::move(images) : nullptr;
    m_checkMapsShared = FALSE;
}

BOOL LumaMenu::SetItemImageByText(LPCWSTR newText, LPCWSTR oldText, int bitmapId) {
    MenuItemData* record = FindRecordByText(oldText);
    if (!record) return FALSE;
    if (newText) record->text = reinterpret_cast<const char16_t*>(newText);
    auto own = std::make_unique<CImageList>();
    if (own->Create(m_iconX, m_iconY, kListFlags, 1, 1) && AddBitmapResource(*own, bitmapId, true)) {
        record->pImages = std::move(own);
        record->nImageId = bitmapId;
        record->nImageIndex = 0;
    } else {
        record->pImages.reset();
        record->nImageId = record->nImageIndex = -1;
    }
    return TRUE;
}

BOOL LumaMenu::ModifyMenuColour(LPCWSTR text, UINT id, COLORREF fill, COLORREF border, int hatch,
                                const SIZE* size) {
    const CSize drawn = size ? CSize(size->cx, size->cy) : CSize(m_iconX, m_iconY);
    CWnd* window = AfxGetMainWnd();
    HWND hWnd = window ? window->m_hWnd : ::GetDesktopWindow();
    HDC windowDC = ::GetDC(hWnd);
    CDC target;
    target.Attach(windowDC);
    CDC memory;
    memory.CreateCompatibleDC(&target);
    CBitmap picture;
    picture.CreateCompatibleBitmap(&target, m_iconX, m_iconY);
    target.Detach();
    ::ReleaseDC(hWnd, windowDC);

    HGDIOBJ previous = memory.SelectObject(picture);
    CRect rect(0, 0, m_iconX, m_iconY);
    if (drawn.cx != m_iconX || drawn.cy != m_iconY) {
        memory.FillSolidRect(&rect, ::GetSysColor(IsThemedDesktop() ? COLOR_BTNFACE : COLOR_MENU));
        rect = CRect((m_iconX - drawn.cx) / 2, (m_iconY - drawn.cy) / 2, 0, 0);
        rect.right = rect.left + drawn.cx;
        rect.bottom = rect.top + drawn.cy;
    }
    CPen pen(PS_SOLID, 1, border);
    CBrush brush;
    if (hatch == -1)
        brush.CreateSolidBrush(fill);
    else
        brush.CreateHatchBrush(hatch, fill);
    HGDIOBJ oldPen = memory.SelectObject(pen);
    HGDIOBJ oldBrush = memory.SelectObject(brush);
    memory.Rectangle(&rect);
    memory.SelectObject(oldBrush);
    memory.SelectObject(oldPen);
    memory.SelectObject(previous);
    return ModifyMenu(text, id, MenuImage(&picture));
}
