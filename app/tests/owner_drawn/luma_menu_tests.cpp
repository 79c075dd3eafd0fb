// The owner-drawn menu: the looks by desktop class, items measured and drawn into
// memory in both styles (images, check marks, check images, disabled items), menus
// built from templates, and items found, changed and removed.
#include <afxwin.h>

#include "gtest_winelib.h"
#include "luma_menu.h"
#include "owner_drawn_host.h"
#include "owner_drawn_tests.rh"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kPurple = RGB(0x80, 0x00, 0x80);
// Commands that no test gives an image: the shared image list outlives each test.
constexpr UINT kPlainCommand = 750;
constexpr UINT kOtherPlainCommand = 751;
constexpr COLORREF kCyan = RGB(0x00, 0xFF, 0xFF);
constexpr int kItemWidth = 200;

COLORREF Sys(int index) { return ::GetSysColor(index); }

class ProbeMenu : public LumaMenu {
public:
    using LumaMenu::m_iconX;
    using LumaMenu::m_iconY;
    using LumaMenu::m_MenuItems;
};

MenuItemData* RecordOf(HMENU menu, UINT position) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_DATA | MIIM_FTYPE;
    ::GetMenuItemInfoW(menu, position, TRUE, &info);
    return reinterpret_cast<MenuItemData*>(info.dwItemData);
}

UINT TypeOf(HMENU menu, UINT position) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    ::GetMenuItemInfoW(menu, position, TRUE, &info);
    return info.fType;
}

int PositionOf(HMENU menu, UINT command) {
    for (int p = 0; p < ::GetMenuItemCount(menu); ++p)
        if (::GetMenuItemID(menu, p) == command) return p;
    return -1;
}

class LumaMenuTest : public testing::Test {
protected:
    void SetUp() override { m_savedStyle = LumaMenu::GetDrawStyle(); }
    void TearDown() override { LumaMenu::SetDrawStyle(m_savedStyle); }

    // A pop-up of Open (Ctrl+O), Save, Mark, a separator and Exit.
    void MakeFilePopup() {
        ASSERT_TRUE(m_menu.CreatePopupMenu());
        ASSERT_TRUE(m_menu.AppendMenu(MF_STRING, ID_OPEN, L"&Open\tCtrl+O"));
        ASSERT_TRUE(m_menu.AppendMenu(MF_STRING, ID_SAVE, L"&Save"));
        ASSERT_TRUE(m_menu.AppendMenu(MF_STRING, kPlainCommand, L"&Mark"));
        ASSERT_TRUE(m_menu.AppendMenu(MF_SEPARATOR, 0, L""));
        ASSERT_TRUE(m_menu.AppendMenu(MF_STRING, ID_EXIT, L"E&xit"));
    }

    MEASUREITEMSTRUCT Measure(LumaMenu& owner, HMENU menu, UINT position) {
        MEASUREITEMSTRUCT item{};
        item.CtlType = ODT_MENU;
        item.itemID = ::GetMenuItemID(menu, position);
        item.itemData = reinterpret_cast<ULONG_PTR>(RecordOf(menu, position));
        owner.MeasureItem(&item);
        return item;
    }

    std::unique_ptr<PixelGrid> Draw(LumaMenu& owner, HMENU menu, UINT command, UINT state, int height = 22) {
        auto grid = std::make_unique<PixelGrid>(kItemWidth, height);
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_MENU;
        item.itemID = command;
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = state;
        item.hwndItem = reinterpret_cast<HWND>(menu);
        item.hDC = grid->dc();
        item.rcItem = {0, 0, kItemWidth, height};
        item.itemData = reinterpret_cast<ULONG_PTR>(RecordOf(menu, PositionOf(menu, command)));
        owner.DrawItem(&item);
        return grid;
    }

    // The text width MeasureItem finds: the menu font is used above class 1.
    static int TextWidth(const wchar_t* text) {
        HWND desktop = ::GetDesktopWindow();
        HDC dc = ::GetDC(desktop);
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        HFONT font = ::CreateFontIndirectW(&metrics.lfMenuFont);
        HGDIOBJ previous = LumaMenu::OsClass() > 1 ? ::SelectObject(dc, font) : nullptr;
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, text, ::lstrlenW(text), &extent);
        if (previous) ::SelectObject(dc, previous);
        ::DeleteObject(font);
        ::ReleaseDC(desktop, dc);
        return extent.cx;
    }

    static COLORREF FlatBack() {
        return LumaMenu::IsThemedDesktop() ? Sys(COLOR_BTNFACE) : LightenColor(Sys(COLOR_BTNFACE), 0.25);
    }
    static COLORREF ClassicBack() { return Sys(LumaMenu::IsThemedDesktop() ? COLOR_BTNFACE : COLOR_MENU); }
    static COLORREF Shadow() {
        return LumaMenu::IsThemedDesktop() ? Sys(COLOR_BTNSHADOW) : LightenColor(Sys(COLOR_BTNSHADOW), 0.49);
    }

    ProbeMenu m_menu;
    int m_savedStyle = 0;
};

TEST(LumaMenuLooks, OsClassFollowsTheVersion) {
    const struct {
        DWORD platform, major, minor;
        int expected;
    } cases[] = {
        {VER_PLATFORM_WIN32_WINDOWS, 3, 95, 0}, {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 2},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 3}, {VER_PLATFORM_WIN32_WINDOWS, 4, 90, 4},
        {VER_PLATFORM_WIN32_NT, 4, 0, 5},       {VER_PLATFORM_WIN32_NT, 5, 0, 6},
        {VER_PLATFORM_WIN32_NT, 5, 1, 7},       {VER_PLATFORM_WIN32_NT, 5, 2, 1},
        {VER_PLATFORM_WIN32_NT, 10, 0, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LumaMenuOsClass(c.platform, c.major, c.minor), c.expected)
            << "platform " << c.platform << " version " << c.major << "." << c.minor;
}

TEST(LumaMenuLooks, LighteningMovesEachComponentTowardWhite) {
    EXPECT_EQ(LightenColor(RGB(0, 100, 255), 0.5), RGB(127, 177, 255));
    EXPECT_EQ(LightenColor(RGB(10, 20, 30), 1.0), RGB(255, 255, 255));
    EXPECT_EQ(LightenColor(RGB(10, 20, 30), 0.0), RGB(10, 20, 30));
    EXPECT_EQ(LightenColor(RGB(10, 20, 30), 1.5), RGB(10, 20, 30));
}

TEST(LumaMenuLooks, DrawStyleAndSelectDisabledGoTogether) {
    const int saved = LumaMenu::GetDrawStyle();
    LumaMenu::SetDrawStyle(1);
    EXPECT_EQ(LumaMenu::GetDrawStyle(), 1);
    EXPECT_FALSE(LumaMenu::GetSelectDisabled()) << "flat: disabled items are not selected";
    LumaMenu::SetDrawStyle(0);
    EXPECT_TRUE(LumaMenu::GetSelectDisabled());
    LumaMenu::SetDrawStyle(saved);
}

TEST_F(LumaMenuTest, ItemsMeasureByStyleImageAndText) {
    MakeFilePopup();
    LumaMenu::SetDrawStyle(1);
    const MEASUREITEMSTRUCT flat = Measure(m_menu, m_menu.m_hMenu, 1);
    EXPECT_EQ(static_cast<int>(flat.itemWidth), 16 + 7 + TextWidth(L"&Save") + 8);
    EXPECT_EQ(static_cast<int>(flat.itemHeight), std::max(::GetSystemMetrics(SM_CYMENU), 22));
    const MEASUREITEMSTRUCT separator = Measure(m_menu, m_menu.m_hMenu, 3);
    EXPECT_EQ(separator.itemWidth, 0u);
    EXPECT_EQ(static_cast<int>(separator.itemHeight), std::max(::GetSystemMetrics(SM_CYMENU) / 2, 11));

    LumaMenu::SetDrawStyle(0);
    const MEASUREITEMSTRUCT classic = Measure(m_menu, m_menu.m_hMenu, 1);
    EXPECT_EQ(static_cast<int>(classic.itemWidth), TextWidth(L"&Save") + 2 * 16 + 1);
    EXPECT_EQ(static_cast<int>(classic.itemHeight), std::max(::GetSystemMetrics(SM_CYMENU), 19));
}

TEST_F(LumaMenuTest, FlatItemShowsItsImageFadedUntilSelected) {
    MakeFilePopup();
    LumaMenu::SetDrawStyle(1);
    ASSERT_TRUE(m_menu.LoadToolBarImages(IDR_TOOLS));
    auto normal = Draw(m_menu, m_menu.m_hMenu, ID_OPEN, 0);
    EXPECT_EQ(normal->at(1, 1), FlatBack()) << "image column";
    EXPECT_EQ(normal->at(kItemWidth - 2, 1), Sys(COLOR_WINDOW));
    const Box faded = normal->Find(LightenColor(kRed, 0.3), {0, 0, 23, 22});
    EXPECT_EQ(faded.left, 6);  // image at (4, 4), its square 2 pixels in
    EXPECT_EQ(faded.top, 6);
    EXPECT_EQ(faded.right, 17);
    EXPECT_EQ(faded.bottom, 16);
    EXPECT_TRUE(normal->Find(kRed, {0, 0, kItemWidth, 22}).empty());

    auto selected = Draw(m_menu, m_menu.m_hMenu, ID_OPEN, ODS_SELECTED);
    EXPECT_EQ(selected->at(0, 0), Sys(COLOR_HIGHLIGHT)) << "selection framed";
    EXPECT_EQ(selected->at(kItemWidth - 2, 1), LightenColor(Sys(COLOR_HIGHLIGHT), LumaMenu::IsThemedDesktop() ? 0.7 : 0.85));
    const Box raised = selected->Find(kRed, {0, 0, 23, 22});
    EXPECT_EQ(raised.left, 5) << "lifted by (-1, -1) over its shadow";
    EXPECT_EQ(raised.top, 5);
    EXPECT_EQ(selected->at(18, 17), Shadow());
}

TEST_F(LumaMenuTest, LabelAndAcceleratorTakeTheirPlaces) {
    MakeFilePopup();
    LumaMenu::SetDrawStyle(1);
    auto item = Draw(m_menu, m_menu.m_hMenu, ID_OPEN, 0);
    const Box text = item->Find(Sys(COLOR_MENUTEXT), {0, 0, kItemWidth, 22});
    ASSERT_FALSE(text.empty());
    EXPECT_GE(text.left, 23 + 8) << "label after the image column";
    EXPECT_LT(text.left, 23 + 8 + 4);
    EXPECT_LE(text.right, kItemWidth - 16 - 1) << "accelerator ends one image width before the edge";
    EXPECT_GT(text.right, kItemWidth - 16 - 6);
}

TEST_F(LumaMenuTest, CheckedItemWithoutImageShowsATickOrADot) {
    MakeFilePopup();
    LumaMenu::SetDrawStyle(0);
    ::CheckMenuItem(m_menu.m_hMenu, kPlainCommand, MF_BYCOMMAND | MF_CHECKED);
    const COLORREF ink = Sys(COLOR_MENUTEXT);
    auto tick = Draw(m_menu, m_menu.m_hMenu, kPlainCommand, ODS_CHECKED, 19);
    EXPECT_EQ(tick->at(4, 6), ink) << "first stroke, two down";
    EXPECT_EQ(tick->at(4, 5), LightenColor(ClassicBack(), 0.6)) << "box of a checked item";
    EXPECT_EQ(tick->at(6, 10), ink) << "lowest stroke";
    EXPECT_EQ(tick->at(10, 4), ink) << "last stroke, at the top";

    CBitmap checkBitmap;
    checkBitmap.CreateCompatibleBitmap(CDC::FromHandle(tick->dc()), 13, 13);
    ::SetMenuItemBitmaps(m_menu.m_hMenu, kPlainCommand, MF_BYCOMMAND, nullptr, checkBitmap);
    auto dot = Draw(m_menu, m_menu.m_hMenu, kPlainCommand, ODS_CHECKED, 19);
    EXPECT_EQ(dot->at(8, 7), ink) << "middle of the dot";
    EXPECT_NE(dot->at(4, 6), ink);
    ::SetMenuItemBitmaps(m_menu.m_hMenu, kPlainCommand, MF_BYCOMMAND, nullptr, nullptr);

    LumaMenu::SetDrawStyle(1);
    auto flat = Draw(m_menu, m_menu.m_hMenu, kPlainCommand, ODS_CHECKED);
    // A 16 x 16 box centred in the 23-pixel column: at (4, 3).
    EXPECT_EQ(flat->at(4, 3), Sys(COLOR_HIGHLIGHT)) << "box frame";
    EXPECT_EQ(flat->at(8, 9), ink) << "tick from (8, 7)";
}

TEST_F(LumaMenuTest, CheckImagesReplaceTheCheckMark) {
    ASSERT_TRUE(m_menu.CreatePopupMenu());
    // Made while the flat style is in force: no faded copy slips in between the two.
    LumaMenu::SetDrawStyle(1);
    m_menu.SetCheckImages(IDB_CHECK, IDB_CHECK_SELECTED);
    ASSERT_TRUE(m_menu.AppendMenu(MF_STRING | MF_CHECKED, kPlainCommand, L"&Save"));
    LumaMenu::SetDrawStyle(0);
    auto normal = Draw(m_menu, m_menu.m_hMenu, kPlainCommand, ODS_CHECKED);
    EXPECT_FALSE(normal->Find(kPurple, {0, 0, 20, 22}).empty());
    EXPECT_TRUE(normal->Find(kCyan, {0, 0, 20, 22}).empty());
    auto selected = Draw(m_menu, m_menu.m_hMenu, kPlainCommand, ODS_CHECKED | ODS_SELECTED);
    EXPECT_FALSE(selected->Find(kCyan, {0, 0, 20, 22}).empty());

    m_menu.SetCheckImages(0, IDB_CHECK_SELECTED);  // ignored: both ids must be set
    EXPECT_FALSE(Draw(m_menu, m_menu.m_hMenu, kPlainCommand, ODS_CHECKED)->Find(kPurple, {0, 0, 20, 22}).empty());
}

TEST_F(LumaMenuTest, GreyedItemsDrawTheirImageEtchedOrEmbossed) {
    MakeFilePopup();
    ASSERT_TRUE(m_menu.LoadToolBarImages(IDR_TOOLS));
    for (int style : {0, 1}) {
        LumaMenu::SetDrawStyle(style);
        for (BOOL embossed : {FALSE, TRUE}) {
            m_menu.SetDisabledImageStyle(embossed);
            auto greyed = Draw(m_menu, m_menu.m_hMenu, ID_OPEN, ODS_GRAYED);
            const RECT image = {0, 0, 23, 22};
            EXPECT_EQ(CountColour(*greyed, kRed, image) + CountColour(*greyed, LightenColor(kRed, 0.3), image), 0)
                << "style " << style << " embossed " << embossed;
            EXPECT_GT(CountColour(*greyed, Sys(COLOR_BTNSHADOW), image), 0);
            EXPECT_GT(CountColour(*greyed, Sys(COLOR_BTNHIGHLIGHT), image), 0);
        }
    }
}

TEST_F(LumaMenuTest, GreyedItemIsSelectedInTheClassicStyleOnly) {
    MakeFilePopup();
    ASSERT_TRUE(m_menu.LoadToolBarImages(IDR_TOOLS));
    LumaMenu::SetDrawStyle(1);
    auto flat = Draw(m_menu, m_menu.m_hMenu, ID_OPEN, ODS_GRAYED | ODS_SELECTED);
    EXPECT_EQ(flat->at(0, 0), FlatBack());
    EXPECT_EQ(flat->at(kItemWidth - 1, 0), Sys(COLOR_WINDOW));
    const COLORREF greyText = LumaMenu::IsThemedDesktop() ? Sys(COLOR_GRAYTEXT) : LightenColor(Sys(COLOR_GRAYTEXT), 0.4);
    EXPECT_GT(CountColour(*flat, greyText, {31, 0, kItemWidth, 22}), 0);

    LumaMenu::SetDrawStyle(0);
    auto classic = Draw(m_menu, m_menu.m_hMenu, ID_OPEN, ODS_GRAYED | ODS_SELECTED);
    EXPECT_EQ(classic->at(16 + 5, 1), Sys(COLOR_HIGHLIGHT)) << "band after the image";
    EXPECT_NE(classic->at(16 + 4, 1), Sys(COLOR_HIGHLIGHT));
}

TEST_F(LumaMenuTest, TemplateMakesSystemDrawnTitlesOverOwnerDrawnPopups) {
    ASSERT_TRUE(m_menu.LoadMenu(IDM_MAIN));
    ASSERT_EQ(::GetMenuItemCount(m_menu.m_hMenu), 3);
    for (UINT p = 0; p < 3; ++p) EXPECT_EQ(TypeOf(m_menu.m_hMenu, p) & MFT_OWNERDRAW, 0u) << "title " << p;
    char title[32] = "";
    ::GetMenuStringA(m_menu.m_hMenu, 1, title, sizeof title, MF_BYPOSITION);
    EXPECT_STREQ(title, "&Edit");

    LumaMenu* file = m_menu.GetSubMenuByTitle(L"&File");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(LumaMenu::IsLumaMenu(file));
    EXPECT_EQ(m_menu.GetSubMenuByText(L"&File"), file);
    ASSERT_EQ(::GetMenuItemCount(file->m_hMenu), 4);
    EXPECT_NE(TypeOf(file->m_hMenu, 0) & MFT_OWNERDRAW, 0u);
    EXPECT_NE(TypeOf(file->m_hMenu, 2) & MFT_SEPARATOR, 0u);

    // Labels padded with blanks to the widest, so the accelerators line up.
    const MenuText open = RecordOf(file->m_hMenu, 0)->text;
    const size_t tab = open.find(u'\t');
    ASSERT_NE(tab, MenuText::npos);
    EXPECT_EQ(open.substr(0, 5), u"&Open");
    EXPECT_GT(tab, 5u);
    EXPECT_EQ(open.substr(5, tab - 5).find_first_not_of(u' '), MenuText::npos);
    EXPECT_EQ(open.substr(tab), u"\tCtrl+O");
    EXPECT_EQ(RecordOf(file->m_hMenu, 1)->text, u"&Save") << "no tab, no padding";
}

TEST_F(LumaMenuTest, MissingTemplateLoadsNothing) {
    EXPECT_FALSE(m_menu.LoadMenu(9999));
    EXPECT_EQ(m_menu.m_hMenu, nullptr);
}

TEST_F(LumaMenuTest, CommandInTwoPopupsSharesOneImage) {
    LumaMenu::SetDrawStyle(0);
    ASSERT_TRUE(m_menu.LoadMenu(IDM_MAIN));
    ASSERT_TRUE(m_menu.LoadToolBarImages(IDR_TOOLS));
    LumaMenu* file = m_menu.GetSubMenuByTitle(L"&File");
    LumaMenu* edit = m_menu.GetSubMenuByTitle(L"&Edit");
    const MenuItemData* saveInFile = RecordOf(file->m_hMenu, 1);
    const MenuItemData* saveInEdit = RecordOf(edit->m_hMenu, 2);
    EXPECT_GE(saveInFile->nSharedIndex, 0);
    EXPECT_EQ(saveInFile->nSharedIndex, saveInEdit->nSharedIndex);
    EXPECT_FALSE(Draw(*edit, edit->m_hMenu, ID_SAVE, 0)->Find(kGreen, {0, 0, 20, 22}).empty());
}

TEST_F(LumaMenuTest, ToolbarImagesFollowImageNumbersNotPlaces) {
    LumaMenu::SetDrawStyle(0);
    ASSERT_TRUE(m_menu.LoadMenu(IDM_MAIN));
    ASSERT_TRUE(m_menu.LoadToolBarImages(IDR_LEADING_SEPARATOR));
    LumaMenu* edit = m_menu.GetSubMenuByTitle(L"&Edit");
    EXPECT_FALSE(Draw(*edit, edit->m_hMenu, ID_SAVE, 0)->Find(kRed, {0, 0, 20, 22}).empty()) << "image 0";
    EXPECT_FALSE(Draw(*edit, edit->m_hMenu, ID_COPY, 0)->Find(kGreen, {0, 0, 20, 22}).empty()) << "image 1";
}

TEST_F(LumaMenuTest, LargerToolbarImagesRaiseTheImageSize) {
    MakeFilePopup();
    EXPECT_TRUE(m_menu.LoadToolBarImages(IDR_LARGE));
    EXPECT_EQ(m_menu.m_iconX, 20);
    EXPECT_EQ(m_menu.m_iconY, 18);
    const UINT both[] = {IDR_TOOLS, IDR_NO_BITMAP};
    EXPECT_FALSE(m_menu.LoadToolBarImages(both, 2));
    EXPECT_EQ(m_menu.m_iconX, 20) << "never lowered";
}

TEST_F(LumaMenuTest, ColourRectangleAndBitmapByTextBecomeImages) {
    MakeFilePopup();
    LumaMenu::SetDrawStyle(0);
    ASSERT_TRUE(m_menu.ModifyMenuColour(static_cast<LPCWSTR>(nullptr), ID_EXIT, RGB(0, 128, 0), RGB(0, 0, 0)));
    auto colour = Draw(m_menu, m_menu.m_hMenu, ID_EXIT, 0, 19);
    EXPECT_EQ(colour->at(2, 2), RGB(0, 0, 0)) << "border";
    EXPECT_EQ(colour->at(9, 9), RGB(0, 128, 0)) << "fill";

    EXPECT_TRUE(m_menu.SetItemImageByText(L"&Store", L"&Save", IDB_CHECK));
    EXPECT_EQ(RecordOf(m_menu.m_hMenu, 1)->text, u"&Store");
    EXPECT_EQ(RecordOf(m_menu.m_hMenu, 1)->nImageId, IDB_CHECK);
    EXPECT_FALSE(Draw(m_menu, m_menu.m_hMenu, ID_SAVE, 0, 19)->Find(kPurple, {0, 0, 20, 19}).empty());
    EXPECT_FALSE(m_menu.SetItemImageByText(static_cast<LPCWSTR>(nullptr), L"No such item", IDB_CHECK));
}

TEST_F(LumaMenuTest, ItemsAreInsertedChangedAndFoundByCommandThroughTheTree) {
    ASSERT_TRUE(m_menu.LoadMenu(IDM_MAIN));
    LumaMenu* file = m_menu.GetSubMenuByTitle(L"&File");
    ASSERT_TRUE(m_menu.InsertMenu(ID_SAVE, MF_STRING, 800, L"&New"));
    EXPECT_EQ(::GetMenuItemID(file->m_hMenu, 1), 800u) << "before the first item with that command";
    MenuText text;
    ASSERT_TRUE(m_menu.GetItemText(800, MF_BYCOMMAND, text));
    EXPECT_EQ(text, u"&New");
    EXPECT_TRUE(m_menu.ModifyMenu(L"Brand &New", 800));
    ASSERT_TRUE(m_menu.GetItemText(1, MF_BYPOSITION, text) || file->GetItemText(1, MF_BYPOSITION, text));
    EXPECT_EQ(RecordOf(file->m_hMenu, 1)->text, u"Brand &New");
    EXPECT_TRUE(m_menu.SetItemText(800, MF_BYCOMMAND, L"Newer"));
    EXPECT_EQ(RecordOf(file->m_hMenu, 1)->text, u"Newer");
    // ANSI text in and out.
    EXPECT_TRUE(m_menu.SetItemText(800, MF_BYCOMMAND, "Newest"));
    CString narrow;
    ASSERT_TRUE(m_menu.GetItemText(800, MF_BYCOMMAND, narrow));
    EXPECT_STREQ(narrow, "Newest");
    EXPECT_EQ(file->FindItemIndex("Newest"), 1);
    EXPECT_EQ(m_menu.GetSubMenuByTitle("&File"), file);
    EXPECT_FALSE(m_menu.ModifyMenu(L"nothing", 12345));
    EXPECT_FALSE(m_menu.GetItemText(12345, MF_BYCOMMAND, text));
    EXPECT_FALSE(file->GetItemText(40, MF_BYPOSITION, text));

    EXPECT_TRUE(m_menu.RemoveMenu(800, MF_BYCOMMAND));
    EXPECT_EQ(::GetMenuItemCount(file->m_hMenu), 4);
    EXPECT_EQ(file->FindItemIndex(L"Newest"), -1);
}

TEST_F(LumaMenuTest, AppendedPopupSharesTheCheckImages) {
    ASSERT_TRUE(m_menu.CreatePopupMenu());
    m_menu.SetCheckImages(IDB_CHECK, IDB_CHECK_SELECTED);
    LumaMenu* popup = m_menu.AppendPopup(L"&More");
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(LumaMenu::IsLumaMenu(popup->m_hMenu));
    ASSERT_TRUE(popup->AppendMenu(MF_STRING | MF_CHECKED, kOtherPlainCommand, L"&Paste"));
    LumaMenu::SetDrawStyle(0);
    EXPECT_FALSE(Draw(*popup, popup->m_hMenu, kOtherPlainCommand, ODS_CHECKED)->Find(kPurple, {0, 0, 20, 22}).empty());
    // The parent making its list again leaves the pop-up with the one it shares.
    m_menu.SetCheckImages(IDB_CHECK_SELECTED, IDB_CHECK);
    EXPECT_FALSE(Draw(*popup, popup->m_hMenu, kOtherPlainCommand, ODS_CHECKED)->Find(kPurple, {0, 0, 20, 22}).empty());
    EXPECT_EQ(m_menu.GetSubMenuByText(L"&More"), popup);
}

TEST_F(LumaMenuTest, MenuCharFindsTheAmpersandLetterInEitherCase) {
    MakeFilePopup();
    EXPECT_EQ(LumaMenu::FindMenuChar('x', MF_POPUP, &m_menu), MAKELRESULT(4, MNC_EXECUTE));
    EXPECT_EQ(LumaMenu::FindMenuChar('S', MF_POPUP, &m_menu), MAKELRESULT(1, MNC_EXECUTE));
    EXPECT_EQ(LumaMenu::FindMenuChar('q', MF_POPUP, &m_menu), 0);
    EXPECT_EQ(LumaMenu::FindMenuChar('x', 0, &m_menu), 0) << "only pop-ups";
    EXPECT_EQ(LumaMenu::FindMenuChar('x', MF_POPUP, nullptr), 0);

    // An item added behind the menu's back gets a record and is owner-drawn.
    ::AppendMenuA(m_menu.m_hMenu, MF_STRING, 900, "&Zoom");
    EXPECT_EQ(LumaMenu::FindMenuChar('z', MF_POPUP, &m_menu), MAKELRESULT(5, MNC_EXECUTE));
    EXPECT_NE(TypeOf(m_menu.m_hMenu, 5) & MFT_OWNERDRAW, 0u);
    EXPECT_EQ(RecordOf(m_menu.m_hMenu, 5)->text, u"&Zoom");
    EXPECT_EQ(RecordOf(m_menu.m_hMenu, 1)->text, u"&Save") << "the others keep their records";
}

TEST_F(LumaMenuTest, RemovingByTextTakesNeighboursByMode) {
    MakeFilePopup();
    EXPECT_EQ(m_menu.RemoveMenuByText(L"No such item"), -1);
    EXPECT_EQ(::GetMenuItemCount(m_menu.m_hMenu), 5);
    EXPECT_EQ(m_menu.DeleteMenuByText(L"E&xit", 1), 4) << "with the separator before it";
    EXPECT_EQ(::GetMenuItemCount(m_menu.m_hMenu), 3);
    EXPECT_EQ(m_menu.m_MenuItems.size(), 3u);
    EXPECT_EQ(m_menu.RemoveMenuByText(L"&Open\tCtrl+O"), 0);
    EXPECT_EQ(::GetMenuItemID(m_menu.m_hMenu, 0), static_cast<UINT>(ID_SAVE));
}

TEST_F(LumaMenuTest, DeletingAPopupTakesItsItemsAndRegistration) {
    ASSERT_TRUE(m_menu.LoadMenu(IDM_MAIN));
    LumaMenu* edit = m_menu.GetSubMenuByTitle(L"&Edit");
    HMENU editHandle = edit->m_hMenu;
    ASSERT_TRUE(m_menu.DeleteMenu(1, MF_BYPOSITION));
    EXPECT_EQ(::GetMenuItemCount(m_menu.m_hMenu), 2);
    EXPECT_FALSE(LumaMenu::IsLumaMenu(editHandle));
    EXPECT_EQ(m_menu.GetSubMenuByText(L"&Edit"), nullptr);
    EXPECT_EQ(m_menu.FindItemIndex(L"&Edit"), -1);
    m_menu.DestroyMenu();
    EXPECT_EQ(m_menu.m_hMenu, nullptr);
    EXPECT_TRUE(m_menu.m_MenuItems.empty());
}

}  // namespace
