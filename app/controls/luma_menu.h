// LumaMenu: a menu whose pop-up items are owner-drawn, each with a text and
// optionally an image, in a classic style (raised and sunken image frames in menu
// colours) or a flat style (an image column, a light selection band, faded and
// shadowed images). It builds itself from a menu template, takes item images from
// toolbar resources, bitmaps or image lists, and measures items with the menu font.
#pragma once

#include <afxwin.h>
#include <afxcmn.h>

#include <memory>
#include <string>
#include <vector>

// Item text is kept wide; std::u16string since the wide C++ library assumes a
// wchar_t wider than the 16-bit one of Windows code.
using MenuText = std::u16string;

// One item of a LumaMenu; the system's item data of an owner-drawn item points here.
struct MenuItemData {
    MenuText text;             // a tab separates the label from the accelerator text
    int nImageIndex = -1;      // index in the own image list (0 when it holds one)
    int nSharedIndex = -1;     // index in the shared image list
    int nImageId = -1;         // resource id of the own image (0 from an image list); -1 none
    UINT nFlags = 0;           // the MF_ flags given to the system
    UINT_PTR nID = 0;          // command, or the pop-up's HMENU
    BOOL bUsed = FALSE;        // mark while the records are rebuilt
    std::unique_ptr<CImageList> pImages;  // the own image list

    LPCWSTR Text() const { return reinterpret_cast<LPCWSTR>(text.c_str()); }
    bool IsSeparator() const { return (nFlags & MF_SEPARATOR) != 0; }
};

// Where an item's image comes from: a toolbar resource by id (-1: whatever the shared
// list holds for the command), an image of a list, or a bitmap.
struct MenuImage {
    int id = -1;
    CImageList* list = nullptr;
    int index = 0;
    CBitmap* bitmap = nullptr;

    MenuImage(int imageId = -1) : id(imageId) {}
    MenuImage(CImageList* images, int image) : list(images), index(image) {}
    explicit MenuImage(CBitmap* picture) : bitmap(picture) {}
};

// The operating-system class that decides the menu's looks (0..7; see the source).
int LumaMenuOsClass(DWORD platformId, DWORD major, DWORD minor);
// c moved k (0 < k <= 1) of the way toward white in each component; other k keep it.
COLORREF LightenColor(COLORREF colour, double k);

class LumaMenu : public CMenu {
public:
    LumaMenu();
    ~LumaMenu() override;

    // ---- Drawing ----
    void DrawItem(LPDRAWITEMSTRUCT item) override;
    void MeasureItem(LPMEASUREITEMSTRUCT item) override;

    // ---- Building ----
    virtual BOOL LoadMenu(UINT id) { return LoadMenu(MAKEINTRESOURCEA(id)); }
    // The menu bar and its pop-ups from a menu template; nonzero on success.
    virtual BOOL LoadMenu(LPCSTR name);
    // Releases the records, the pop-ups made here and the system menu.
    virtual BOOL DestroyMenu();

    BOOL AppendMenu(UINT flags, UINT_PTR id, LPCWSTR text, MenuImage image = MenuImage());
    BOOL AppendMenu(UINT flags, UINT_PTR id, LPCSTR text, MenuImage image = MenuImage());
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR id, LPCWSTR text, MenuImage image = MenuImage());
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR id, LPCSTR text, MenuImage image = MenuImage());
    // Updates every item with the command anywhere in the tree (null text keeps it).
    BOOL ModifyMenu(LPCWSTR text, UINT id, MenuImage image = MenuImage());
    BOOL ModifyMenu(LPCSTR text, UINT id, MenuImage image = MenuImage());
    // A drawn rectangle as the command's image; hatch -1 fills it solid, size null
    // takes the image size.
    BOOL ModifyMenuColour(LPCWSTR text, UINT id, COLORREF fill, COLORREF border, int hatch = -1,
                          const SIZE* size = nullptr);
    BOOL ModifyMenuColour(LPCSTR text, UINT id, COLORREF fill, COLORREF border, int hatch = -1,
                          const SIZE* size = nullptr);
    // The item whose text is oldText gets newText (null keeps) and the bitmap resource
    // bitmapId as its own image; 0 when no item has oldText.
    BOOL SetItemImageByText(LPCWSTR newText, LPCWSTR oldText, int bitmapId);
    BOOL SetItemImageByText(LPCSTR newText, LPCSTR oldText, int bitmapId);
    BOOL LoadToolBarImages(UINT toolbarId);
    BOOL LoadToolBarImages(const UINT* toolbarIds, int count);
    void SetCheckImages(int checkId, int selectedCheckId);

    // The forms that take ANSI text convert it and do what the wide forms do; text
    // read back in ANSI form is converted back.
    LumaMenu* AppendPopup(LPCWSTR text);
    LumaMenu* AppendPopup(LPCSTR text);
    LumaMenu* GetSubMenuByTitle(LPCWSTR text) const;
    LumaMenu* GetSubMenuByTitle(LPCSTR text) const;
    LumaMenu* GetSubMenuByText(LPCWSTR text) const;
    LumaMenu* GetSubMenuByText(LPCSTR text) const;
    int FindItemIndex(LPCWSTR text) const;
    int FindItemIndex(LPCSTR text) const;
    BOOL GetItemText(UINT item, UINT flags, MenuText& text) const;
    BOOL GetItemText(UINT item, UINT flags, CString& text) const;
    BOOL SetItemText(UINT item, UINT flags, LPCWSTR text);
    BOOL SetItemText(UINT item, UINT flags, LPCSTR text);

    BOOL RemoveMenu(UINT item, UINT flags);
    BOOL DeleteMenu(UINT item, UINT flags);
    // Removes the item with text and, by neighbourMode, entries beside it (1 or 2:
    // the one before; 3: the ones before and after); its index, or -1.
    int RemoveMenuByText(LPCWSTR text, int neighbourMode = 0);
    int RemoveMenuByText(LPCSTR text, int neighbourMode = 0);
    int DeleteMenuByText(LPCWSTR text, int neighbourMode = 0);
    int DeleteMenuByText(LPCSTR text, int neighbourMode = 0);

    void SetImageSize(int width, int height) {
        m_iconX = width;
        m_iconY = height;
    }
    void SetImageBackground(COLORREF colour) {
        m_bitmapBackground = colour;
        m_bUseBitmapBackground = TRUE;
    }
    void ClearImageBackground() { m_bUseBitmapBackground = FALSE; }
    void SetDisabledImageStyle(BOOL embossed) { m_bDisableOldStyle = embossed; }
    BOOL GetDisabledImageStyle() const { return m_bDisableOldStyle; }

    // ---- Shared across all LumaMenus ----
    // WM_MENUCHAR: MNC_EXECUTE with the position of the first item whose text holds
    // "&" and the character, in either case; 0 when none.
    static LRESULT FindMenuChar(UINT character, UINT flags, CMenu* menu);
    static BOOL IsLumaMenu(const CMenu* menu) { return menu && IsLumaMenu(menu->m_hMenu); }
    static BOOL IsLumaMenu(HMENU menu);
    // 1 flat, 0 classic, as in force on this desktop.
    static int GetDrawStyle();
    static void SetDrawStyle(int style);
    static BOOL GetSelectDisabled();
    // The desktop is a themed one of the class that has themes (see the source).
    static bool IsThemedDesktop();
    static int OsClass();

protected:
    // ---- Records and the system menu ----
    MenuItemData* NewRecord(UINT flags, UINT_PTR id, LPCWSTR text);
    // The (sub)menu and position that hold the command, depth-first; null when none.
    LumaMenu* FindCommand(UINT id, int& position);
    MenuItemData* RecordAt(int position) const;
    MenuItemData* RecordOfCommand(UINT_PTR id) const;
    // Every record with the command, through this menu's LumaMenu pop-ups.
    void CollectRecords(UINT_PTR id, std::vector<MenuItemData*>& found);
    MenuItemData* FindRecordByText(LPCWSTR text);
    void FreeRecord(const MenuItemData* record);
    void RebuildRecords();
    void ReleaseContents();
    BOOL RemoveOrDelete(UINT item, UINT flags, bool destroy);
    int RemoveByText(LPCWSTR text, int neighbourMode, bool destroy);
    LumaMenu* NewPopup();
    void RegisterPopup(HMENU popup);
    // Makes the system item at position the record's owner-drawn item.
    BOOL SetSystemItem(UINT position, MenuItemData& record);
    int RecordIndex(int position) const;
    int TemplateOffset() const;
    void ResetTopLevelItems(bool popupsOnly);
    void AlignAccelerators();
    static LumaMenu* ObjectOf(HMENU handle);

    // ---- Images ----
    // AppendMenu keeps an image-list image in the record's own list; the other
    // operations put every image into the shared list under the command.
    void ApplyImage(MenuItemData& record, UINT_PTR command, const MenuImage& image, bool ownList);
    int SharedImage(UINT_PTR command, const MenuImage& image);
    int SharedImageFromToolbar(UINT_PTR command, int toolbarId);
    static int SharedImageOf(UINT_PTR command);
    int AddSharedImage(UINT_PTR command, CImageList& source, int index);
    BOOL AddBitmapResource(CImageList& list, UINT id, bool withEffects) const;
    static void AddEffectImages(CImageList& list, int image);
    COLORREF TransparentColour() const;
    static bool HasEffects(const MenuItemData& record);
    static bool ItemImage(const MenuItemData& record, CImageList*& list, int& index);
    static bool EffectsOn();

    // ---- Drawing ----
    struct ItemLook;
    void DrawClassic(CDC* dc, ItemLook& look);
    void DrawFlat(CDC* dc, ItemLook& look);
    void DrawItemText(CDC* dc, const ItemLook& look, CRect rect, COLORREF colour) const;
    void DrawDisabledImage(CDC* dc, CPoint at, CImageList* list, int index, COLORREF background) const;
    static void DrawCheckGlyph(CDC* dc, CPoint anchor, bool dot);
    int Gap() const;

    std::vector<std::unique_ptr<MenuItemData>> m_MenuItems;
    std::vector<HMENU> m_SubMenus;
    std::vector<std::unique_ptr<LumaMenu>> m_OwnedPopups;  // the pop-ups made here
    int m_iconX = 16;
    int m_iconY = 15;
    COLORREF m_bitmapBackground = RGB(192, 192, 192);
    BOOL m_bUseBitmapBackground = FALSE;
    BOOL m_bDisableOldStyle = FALSE;  // 1 embossed disabled images, 0 etched
    // Check images 0 (normal) and 1 (selected); pop-ups made here share their parent's.
    std::shared_ptr<CImageList> m_checkMaps;
    BOOL m_checkMapsShared = FALSE;
    int m_selectCheck = -1;
    int m_unselectCheck = -1;
    BOOL m_bLoadedFromTemplate = FALSE;
};
