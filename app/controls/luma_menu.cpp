// LumaMenu's items: the records behind the owner-drawn items, adding, changing,
// finding and removing items, and building the menu from a template.
#include "luma_menu.h"
#include "luma_menu_shared.h"
#include "resource_lookup.h"

#include <algorithm>
#include <vector>

namespace {

constexpr UINT kSeparatorFlags = MF_SEPARATOR | MF_OWNERDRAW;  // 0x900
constexpr UINT kTopLevelPopupFlags = MF_BYPOSITION | MF_POPUP;  // 0x410
constexpr int kMenuStringSize = 256;

MenuText Widen(LPCSTR text) {
    if (!text) return MenuText();
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    MenuText wide(length > 0 ? length - 1 : 0, u'\0');
    if (length > 1) ::MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<LPWSTR>(wide.data()), length);
    return wide;
}

LPCWSTR WidePointer(const MenuText& text) { return reinterpret_cast<LPCWSTR>(text.c_str()); }

// Wide text for ANSI text; null stays null.
class WideArgument {
public:
    explicit WideArgument(LPCSTR text) : m_null(!text), m_text(Widen(text)) {}
    operator LPCWSTR() const { return m_null ? nullptr : WidePointer(m_text); }

private:
    bool m_null;
    MenuText m_text;
};

CString Narrowed(const MenuText& text) {
    const int length = ::WideCharToMultiByte(CP_ACP, 0, WidePointer(text), -1, nullptr, 0, nullptr, nullptr);
    CString narrow;
    if (length > 1) {
        ::WideCharToMultiByte(CP_ACP, 0, WidePointer(text), -1, narrow.GetBuffer(length), length, nullptr, nullptr);
        narrow.ReleaseBuffer();
    }
    return narrow;
}

MenuText Lowered(MenuText text) {
    if (!text.empty()) ::CharLowerBuffW(reinterpret_cast<LPWSTR>(text.data()), static_cast<DWORD>(text.size()));
    return text;
}

bool SameText(const MenuText& a, LPCWSTR b) { return b && a == reinterpret_cast<const char16_t*>(b); }

MenuText SystemItemText(HMENU menu, int position) {
    WCHAR text[kMenuStringSize] = {};
    ::GetMenuStringW(menu, position, text, kMenuStringSize, MF_BYPOSITION);
    return reinterpret_cast<const char16_t*>(text);
}

// The flags a record is given: a command of 0 is a separator; everything is owner-drawn.
UINT ItemFlags(UINT flags, UINT_PTR id, bool byPosition) {
    if (!(flags & MF_POPUP) && id == 0) return byPosition ? (kSeparatorFlags | MF_BYPOSITION) : kSeparatorFlags;
    return flags | MF_OWNERDRAW;
}

std::unique_ptr<MenuItemData> MakeRecord(UINT flags, UINT_PTR id, const MenuText& text) {
    auto record = std::make_unique<MenuItemData>();
    record->nFlags = flags;
    record->nID = id;
    record->text = text;
    return record;
}

// Reads a menu template without running past its end.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}
    bool Word(WORD& value) {
        if (m_at + sizeof(WORD) > m_size) return false;
        value = static_cast<WORD>(m_data[m_at] | m_data[m_at + 1] << 8);
        m_at += sizeof(WORD);
        return true;
    }
    bool Text(MenuText& text) {
        text.clear();
        for (WORD ch; Word(ch);) {
            if (ch == 0) return true;
            text += static_cast<char16_t>(ch);
        }
        return false;
    }
    void Skip(size_t bytes) { m_at += bytes; }
    bool AtEnd() const { return m_at >= m_size; }

private:
    const BYTE* m_data;
    size_t m_size;
    size_t m_at = 0;
};

}  // namespace

LumaMenu::LumaMenu() { OsClass(); }

LumaMenu::~LumaMenu() { DestroyMenu(); }

LumaMenu* LumaMenu::ObjectOf(HMENU handle) {
    const auto& registry = luma::Shared().registry;
    const auto found = registry.find(handle);
    return found == registry.end() ? nullptr : found->second;
}

// ---- Lifetime ------------------------------------------------------------------

void LumaMenu::ReleaseContents() {
    auto& registry = luma::Shared().registry;
    for (HMENU popup : m_SubMenus) registry.erase(popup);
    if (m_hMenu) registry.erase(m_hMenu);
    m_SubMenus.clear();
    // The system destroys the pop-ups' menus with this one.
    for (auto& popup : m_OwnedPopups) {
        popup->ReleaseContents();
        popup->Detach();
    }
    m_OwnedPopups.clear();
    m_MenuItems.clear();
    m_checkMaps.reset();
    m_bLoadedFromTemplate = FALSE;
}

BOOL LumaMenu::DestroyMenu() {
    ReleaseContents();
    return CMenu::DestroyMenu();
}

LumaMenu* LumaMenu::NewPopup() {
    auto popup = std::make_unique<LumaMenu>();
    popup->m_checkMaps = m_checkMaps;
    popup->m_checkMapsShared = TRUE;
    popup->m_selectCheck = m_selectCheck;
    popup->m_unselectCheck = m_unselectCheck;
    if (!popup->CreatePopupMenu()) return nullptr;
    luma::Shared().registry[popup->m_hMenu] = popup.get();
    m_OwnedPopups.push_back(std::move(popup));
    return m_OwnedPopups.back().get();
}

void LumaMenu::RegisterPopup(HMENU popup) {
    m_SubMenus.push_back(popup);
    luma::Shared().registry.emplace(popup, nullptr);
}

// ---- Records -------------------------------------------------------------------

int LumaMenu::TemplateOffset() const {
    if (!m_bLoadedFromTemplate) return 0;
    const int count = static_cast<int>(GetMenuItemCount());
    for (int position = 0; position < count; ++position) {
        const MenuText text = SystemItemText(m_hMenu, position);
        if (text.empty()) continue;
        const int index = FindItemIndex(WidePointer(text));
        return index >= 0 && position - index >= 0 ? position - index : 0;
    }
    return 0;
}

int LumaMenu::RecordIndex(int position) const {
    const int offset = TemplateOffset();
    return position >= offset ? position - offset : position;
}

MenuItemData* LumaMenu::RecordAt(int position) const {
    const int index = RecordIndex(position);
    return index >= 0 && index < static_cast<int>(m_MenuItems.size()) ? m_MenuItems[index].get() : nullptr;
}

MenuItemData* LumaMenu::RecordOfCommand(UINT_PTR id) const {
    for (const auto& record : m_MenuItems)
        if (record->nID == id) return record.get();
    return nullptr;
}

void LumaMenu::CollectRecords(UINT_PTR id, std::vector<MenuItemData*>& found) {
    for (const auto& record : m_MenuItems)
        if (record->nID == id) found.push_back(record.get());
    for (HMENU popup : m_SubMenus)
        if (LumaMenu* child = ObjectOf(popup)) child->CollectRecords(id, found);
}

MenuItemData* LumaMenu::FindRecordByText(LPCWSTR text) {
    for (const auto& record : m_MenuItems)
        if (SameText(record->text, text)) return record.get();
    for (HMENU popup : m_SubMenus)
        if (LumaMenu* child = ObjectOf(popup))
            if (MenuItemData* record = child->FindRecordByText(text)) return record;
    return nullptr;
}

void LumaMenu::FreeRecord(const MenuItemData* record) {
    std::erase_if(m_MenuItems, [record](const auto& each) { return each.get() == record; });
}

LumaMenu* LumaMenu::FindCommand(UINT id, int& position) {
    const int count = static_cast<int>(GetMenuItemCount());
    for (int p = 0; p < count; ++p) {
        if (HMENU popup = ::GetSubMenu(m_hMenu, p)) {
            if (LumaMenu* child = ObjectOf(popup))
                if (LumaMenu* holder = child->FindCommand(id, position)) return holder;
        } else if (::GetMenuItemID(m_hMenu, p) == id) {
            position = p;
            return this;
        }
    }
    return nullptr;
}

BOOL LumaMenu::SetSystemItem(UINT position, MenuItemData& record) {
    const UINT flags = (record.nFlags & ~MF_BYPOSITION) | MF_BYPOSITION | MF_OWNERDRAW;
    return ::ModifyMenuW(m_hMenu, position, flags, record.nID, reinterpret_cast<LPCWSTR>(&record));
}

void LumaMenu::ResetTopLevelItems(bool popupsOnly) {
    const int offset = TemplateOffset();
    for (size_t i = 0; i < m_MenuItems.size(); ++i) {
        MenuItemData& record = *m_MenuItems[i];
        const bool popup = (record.nFlags & MF_POPUP) != 0;
        if (popupsOnly && !popup) continue;
        record.nFlags = popup ? kTopLevelPopupFlags : (MF_BYPOSITION | (record.nFlags & MF_SEPARATOR));
        ::ModifyMenuW(m_hMenu, static_cast<UINT>(offset + i), record.nFlags, record.nID, record.Text());
    }
}

void LumaMenu::RebuildRecords() {
    for (auto& record : m_MenuItems) record->bUsed = FALSE;
    const auto takeUnused = [this](UINT_PTR id) -> MenuItemData* {
        for (auto& record : m_MenuItems)
            if (!record->bUsed && record->nID == id) return record.get();
        return nullptr;
    };
    std::vector<std::unique_ptr<MenuItemData>> fresh;
    std::vector<MenuItemData*> order;
    const int count = static_cast<int>(GetMenuItemCount());
    for (int p = 0; p < count; ++p) {
        const MenuText text = SystemItemText(m_hMenu, p);
        const UINT state = ::GetMenuState(m_hMenu, p, MF_BYPOSITION);
        HMENU popup = ::GetSubMenu(m_hMenu, p);
        MenuItemData* record = nullptr;
        if (popup) {
            record = takeUnused(reinterpret_cast<UINT_PTR>(popup));
            if (!record) record = fresh.emplace_back(MakeRecord(MF_POPUP | MF_OWNERDRAW, reinterpret_cast<UINT_PTR>(popup), text)).get();
        } else if (state & MF_SEPARATOR) {
            record = takeUnused(0);
            if (!record) record = fresh.emplace_back(MakeRecord(kSeparatorFlags, 0, MenuText())).get();
        } else {
            const UINT id = ::GetMenuItemID(m_hMenu, p);
            record = takeUnused(id);
            if (!record) record = fresh.emplace_back(MakeRecord(0, id, text)).get();
            record->nFlags = state | MF_BYPOSITION | MF_OWNERDRAW;
        }
        if (!text.empty()) record->text = text;
        record->bUsed = TRUE;
        order.push_back(record);
        SetSystemItem(p, *record);
    }
    std::erase_if(m_MenuItems, [](const auto& record) { return !record->bUsed; });
    for (auto& record : fresh) m_MenuItems.push_back(std::move(record));
    // The system's order replaces the records' order.
    std::sort(m_MenuItems.begin(), m_MenuItems.end(), [&order](const auto& a, const auto& b) {
        return std::find(order.begin(), order.end(), a.get()) < std::find(order.begin(), order.end(), b.get());
    });
}

// ---- Adding and changing items -------------------------------------------------

BOOL LumaMenu::AppendMenu(UINT flags, UINT_PTR id, LPCSTR text, MenuImage image) {
    return AppendMenu(flags, id, WideArgument(text), image);
}

BOOL LumaMenu::AppendMenu(UINT flags, UINT_PTR id, LPCWSTR text, MenuImage image) {
    auto record = MakeRecord(ItemFlags(flags, id, false), id, text ? reinterpret_cast<const char16_t*>(text) : u"");
    if (flags & MF_POPUP)
        RegisterPopup(reinterpret_cast<HMENU>(id));
    else if (!record->IsSeparator())
        ApplyImage(*record, id, image, true);
    MenuItemData& added = *m_MenuItems.emplace_back(std::move(record));
    const BOOL result = ::AppendMenuW(m_hMenu, added.nFlags, id, reinterpret_cast<LPCWSTR>(&added));
    if (m_bLoadedFromTemplate && !image.list && !image.bitmap) ResetTopLevelItems(true);
    return result;
}

BOOL LumaMenu::InsertMenu(UINT position, UINT flags, UINT_PTR id, LPCSTR text, MenuImage image) {
    return InsertMenu(position, flags, id, WideArgument(text), image);
}

BOOL LumaMenu::InsertMenu(UINT position, UINT flags, UINT_PTR id, LPCWSTR text, MenuImage image) {
    if (!(flags & MF_BYPOSITION)) {
        int at = 0;
        LumaMenu* holder = FindCommand(position, at);
        return holder && holder->InsertMenu(static_cast<UINT>(at), flags | MF_BYPOSITION, id, text, image);
    }
    if (position == static_cast<UINT>(-1)) return AppendMenu(flags & ~MF_BYPOSITION, id, text, image);
    auto record = MakeRecord(ItemFlags(flags, id, true), id, text ? reinterpret_cast<const char16_t*>(text) : u"");
    if (flags & MF_POPUP)
        RegisterPopup(reinterpret_cast<HMENU>(id));
    else if (!record->IsSeparator())
        ApplyImage(*record, id, image, false);
    const int index = std::clamp(RecordIndex(static_cast<int>(position)), 0, static_cast<int>(m_MenuItems.size()));
    MenuItemData& added = **m_MenuItems.insert(m_MenuItems.begin() + index, std::move(record));
    const BOOL result = ::InsertMenuW(m_hMenu, position, added.nFlags | MF_BYPOSITION, id,
                                      reinterpret_cast<LPCWSTR>(&added));
    if (m_bLoadedFromTemplate && !image.list && !image.bitmap) ResetTopLevelItems(true);
    return result;
}

BOOL LumaMenu::ModifyMenu(LPCSTR text, UINT id, MenuImage image) {
    return ModifyMenu(WideArgument(text), id, image);
}

BOOL LumaMenu::ModifyMenu(LPCWSTR text, UINT id, MenuImage image) {
    int position = 0;
    LumaMenu* holder = FindCommand(id, position);
    if (!holder) return FALSE;
    const int shared = SharedImage(id, image);
    std::vector<MenuItemData*> records;
    CollectRecords(id, records);
    for (MenuItemData* record : records) {
        if (text) record->text = reinterpret_cast<const char16_t*>(text);
        record->pImages.reset();
        record->nImageId = record->nImageIndex = -1;
        record->nSharedIndex = shared;
    }
    MenuItemData* record = holder->RecordAt(position);
    if (!record || record->nID != id) record = holder->RecordOfCommand(id);
    return record && holder->SetSystemItem(static_cast<UINT>(position), *record);
}

LumaMenu* LumaMenu::AppendPopup(LPCWSTR text) {
    LumaMenu* popup = NewPopup();
    if (!popup) return nullptr;
    AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(popup->m_hMenu), text);
    return popup;
}

// ---- Finding items -------------------------------------------------------------

LumaMenu* LumaMenu::GetSubMenuByTitle(LPCWSTR text) const {
    const int count = static_cast<int>(GetMenuItemCount());
    for (int p = 0; p < count; ++p)
        if (HMENU popup = ::GetSubMenu(m_hMenu, p); popup && SameText(SystemItemText(m_hMenu, p), text))
            return ObjectOf(popup);
    return nullptr;
}

LumaMenu* LumaMenu::GetSubMenuByText(LPCWSTR text) const {
    for (const auto& record : m_MenuItems)
        if ((record->nFlags & MF_POPUP) && SameText(record->text, text))
            return ObjectOf(reinterpret_cast<HMENU>(record->nID));
    for (HMENU popup : m_SubMenus)
        if (LumaMenu* child = ObjectOf(popup))
            if (LumaMenu* found = child->GetSubMenuByText(text)) return found;
    return nullptr;
}

int LumaMenu::FindItemIndex(LPCWSTR text) const {
    for (size_t i = 0; i < m_MenuItems.size(); ++i)
        if (SameText(m_MenuItems[i]->text, text)) return static_cast<int>(i);
    return -1;
}

BOOL LumaMenu::GetItemText(UINT item, UINT flags, MenuText& text) const {
    if (!(flags & MF_BYPOSITION)) {
        int position = 0;
        const LumaMenu* holder = const_cast<LumaMenu*>(this)->FindCommand(item, position);
        return holder && holder->GetItemText(static_cast<UINT>(position), MF_BYPOSITION, text);
    }
    const MenuItemData* record = RecordAt(static_cast<int>(item));
    if (!record) return FALSE;
    text = record->text;
    return TRUE;
}

BOOL LumaMenu::SetItemText(UINT item, UINT flags, LPCWSTR text) {
    if (!(flags & MF_BYPOSITION)) {
        int position = 0;
        LumaMenu* holder = FindCommand(item, position);
        return holder && holder->SetItemText(static_cast<UINT>(position), MF_BYPOSITION, text);
    }
    MenuItemData* record = RecordAt(static_cast<int>(item));
    if (!record) return FALSE;
    record->text = text ? reinterpret_cast<const char16_t*>(text) : u"";
    return TRUE;
}

LRESULT LumaMenu::FindMenuChar(UINT character, UINT flags, CMenu* menu) {
    if (!menu || !menu->m_hMenu || !(flags & MF_POPUP)) return 0;
    LumaMenu* luma = dynamic_cast<LumaMenu*>(menu);
    if (!luma) luma = ObjectOf(menu->m_hMenu);
    if (!luma) return 0;
    const MenuText key = Lowered(MenuText{u'&', static_cast<char16_t>(character)});
    if (luma->m_MenuItems.size() != luma->GetMenuItemCount()) luma->RebuildRecords();
    for (size_t i = 0; i < luma->m_MenuItems.size(); ++i)
        if (Lowered(luma->m_MenuItems[i]->text).find(key) != MenuText::npos)
            return MAKELRESULT(static_cast<WORD>(i), MNC_EXECUTE);
    return 0;
}

// ---- Removing items ------------------------------------------------------------

BOOL LumaMenu::RemoveMenu(UINT item, UINT flags) { return RemoveOrDelete(item, flags, false); }

BOOL LumaMenu::DeleteMenu(UINT item, UINT flags) { return RemoveOrDelete(item, flags, true); }

BOOL LumaMenu::RemoveOrDelete(UINT item, UINT flags, bool destroy) {
    const auto systemCall = [this, destroy](UINT what, UINT how) {
        return destroy ? ::DeleteMenu(m_hMenu, what, how) : ::RemoveMenu(m_hMenu, what, how);
    };
    if (!(flags & MF_BYPOSITION)) {
        int position = 0;
        LumaMenu* holder = FindCommand(item, position);
        if (!holder) return systemCall(item, flags);
        return holder->RemoveOrDelete(static_cast<UINT>(position), flags | MF_BYPOSITION, destroy);
    }
    const int position = static_cast<int>(item);
    std::unique_ptr<LumaMenu> removedPopup;
    if (HMENU popup = ::GetSubMenu(m_hMenu, position)) {
        std::erase(m_SubMenus, popup);
        luma::Shared().registry.erase(popup);
        const auto owned = std::find_if(m_OwnedPopups.begin(), m_OwnedPopups.end(),
                                        [popup](const auto& each) { return each->m_hMenu == popup; });
        if (owned != m_OwnedPopups.end()) {
            LumaMenu& object = **owned;
            for (int i = static_cast<int>(object.GetMenuItemCount()) - 1; i >= 0; --i)
                object.RemoveOrDelete(static_cast<UINT>(i), MF_BYPOSITION, destroy);
            removedPopup = std::move(*owned);
            m_OwnedPopups.erase(owned);
        }
        FreeRecord(RecordOfCommand(reinterpret_cast<UINT_PTR>(popup)));
    } else if (!(::GetMenuState(m_hMenu, position, MF_BYPOSITION) & MF_SEPARATOR)) {
        FreeRecord(RecordOfCommand(::GetMenuItemID(m_hMenu, position)));
    } else if (MenuItemData* record = RecordAt(position); record && (!destroy || record->text.empty())) {
        FreeRecord(record);
    }
    const BOOL result = systemCall(item, flags);
    if (removedPopup) {
        // Deleting the item destroyed the pop-up's menu; removing it leaves it to the object.
        if (destroy) removedPopup->Detach();
        removedPopup->ReleaseContents();
    }
    return result;
}

int LumaMenu::RemoveByText(LPCWSTR text, int neighbourMode, bool destroy) {
    const int index = FindItemIndex(text);
    if (index < 0) return -1;
    RemoveOrDelete(static_cast<UINT>(index), MF_BYPOSITION, destroy);
    const int neighbours = neighbourMode == 3 ? 2 : (neighbourMode == 1 || neighbourMode == 2 ? 1 : 0);
    for (int i = 0; i < neighbours && index >= 1; ++i) RemoveOrDelete(static_cast<UINT>(index - 1), MF_BYPOSITION, destroy);
    return index;
}

int LumaMenu::RemoveMenuByText(LPCWSTR text, int neighbourMode) { return RemoveByText(text, neighbourMode, false); }

int LumaMenu::DeleteMenuByText(LPCWSTR text, int neighbourMode) { return RemoveByText(text, neighbourMode, true); }

// ---- The ANSI forms ------------------------------------------------------------

BOOL LumaMenu::ModifyMenuColour(LPCSTR text, UINT id, COLORREF fill, COLORREF border, int hatch, const SIZE* size) {
    return ModifyMenuColour(WideArgument(text), id, fill, border, hatch, size);
}

BOOL LumaMenu::SetItemImageByText(LPCSTR newText, LPCSTR oldText, int bitmapId) {
    return SetItemImageByText(WideArgument(newText), WideArgument(oldText), bitmapId);
}

LumaMenu* LumaMenu::AppendPopup(LPCSTR text) { return AppendPopup(WideArgument(text)); }

LumaMenu* LumaMenu::GetSubMenuByTitle(LPCSTR text) const { return GetSubMenuByTitle(WideArgument(text)); }

LumaMenu* LumaMenu::GetSubMenuByText(LPCSTR text) const { return GetSubMenuByText(WideArgument(text)); }

int LumaMenu::FindItemIndex(LPCSTR text) const { return FindItemIndex(WideArgument(text)); }

BOOL LumaMenu::GetItemText(UINT item, UINT flags, CString& text) const {
    MenuText wide;
    if (!GetItemText(item, flags, wide)) return FALSE;
    text = Narrowed(wide);
    return TRUE;
}

BOOL LumaMenu::SetItemText(UINT item, UINT flags, LPCSTR text) { return SetItemText(item, flags, WideArgument(text)); }

int LumaMenu::RemoveMenuByText(LPCSTR text, int neighbourMode) {
    return RemoveMenuByText(WideArgument(text), neighbourMode);
}

int LumaMenu::DeleteMenuByText(LPCSTR text, int neighbourMode) {
    return DeleteMenuByText(WideArgument(text), neighbourMode);
}

// ---- Templates -----------------------------------------------------------------

BOOL LumaMenu::LoadMenu(LPCSTR name) {
    const LockedResource found = LockResourceWithFallback(name, RT_MENU);
    if (!found.data) return FALSE;
    DestroyMenu();
    if (!CreateMenu()) return FALSE;

    TemplateReader reader(static_cast<const BYTE*>(found.data), found.size);
    WORD version = 0, offset = 0;
    bool wellFormed = reader.Word(version) && reader.Word(offset);
    reader.Skip(offset);
    std::vector<LumaMenu*> menus = {this};
    std::vector<bool> ending = {false};
    while (wellFormed && !menus.empty()) {
        WORD flags = 0, id = 0;
        MenuText text;
        if (!reader.Word(flags) || (!(flags & MF_POPUP) && !reader.Word(id)) || !reader.Text(text)) {
            wellFormed = false;
            break;
        }
        const UINT itemFlags = flags & ~MF_END;
        if (flags & MF_POPUP) {
            if (flags & MF_END) ending.back() = true;
            LumaMenu* popup = menus.back()->NewPopup();
            if (!popup) {
                wellFormed = false;
                break;
            }
            menus.back()->AppendMenu(itemFlags, reinterpret_cast<UINT_PTR>(popup->m_hMenu), WidePointer(text));
            menus.push_back(popup);
            ending.push_back(false);
            continue;
        }
        menus.back()->AppendMenu(itemFlags, id, WidePointer(text));
        if (flags & MF_END) ending.back() = true;
        while (!menus.empty() && ending.back()) {
            menus.back()->AlignAccelerators();
            menus.pop_back();
            ending.pop_back();
        }
    }
    // A template that ends inside a pop-up is refused, not read past its end.
    if (!wellFormed) {
        DestroyMenu();
        return FALSE;
    }
    ResetTopLevelItems(false);
    m_bLoadedFromTemplate = TRUE;
    return TRUE;
}

void LumaMenu::AlignAccelerators() {
    HWND window = AfxGetMainWnd() && AfxGetMainWnd()->m_hWnd ? AfxGetMainWnd()->m_hWnd : ::GetDesktopWindow();
    HDC dc = ::GetDC(window);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    CFont font;
    HGDIOBJ previous = nullptr;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) &&
        font.CreateFontIndirect(&metrics.lfMenuFont))
        previous = ::SelectObject(dc, font);
    const auto widthOf = [dc](const MenuText& text) {
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, WidePointer(text), static_cast<int>(text.size()), &extent);
        return extent.cx;
    };
    LONG widest = 0;
    for (const auto& record : m_MenuItems)
        widest = std::max(widest, widthOf(record->text.substr(0, record->text.find(u'\t')) + u" "));
    for (auto& record : m_MenuItems) {
        const size_t tab = record->text.find(u'\t');
        if (tab == MenuText::npos) continue;
        MenuText label = record->text.substr(0, tab);
        // Blanks never widen an empty font's text: stop once they stop helping.
        for (LONG width = widthOf(label), last = -1; width < widest && width != last; width = widthOf(label)) {
            last = width;
            label += u' ';
        }
        record->text = label + record->text.substr(tab);
    }
    if (previous) ::SelectObject(dc, previous);
    ::ReleaseDC(window, dc);
}
