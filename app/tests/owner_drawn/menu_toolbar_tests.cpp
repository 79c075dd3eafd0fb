// The toolbar loader on the resources of this program, and the off-screen contexts
// that reach their target only when they go.
#include <afxwin.h>
#include <afxext.h>

#include "clip_offscreen_dc.h"
#include "gtest_winelib.h"
#include "menu_toolbar.h"
#include "offscreen_dc.h"
#include "owner_drawn_host.h"
#include "owner_drawn_tests.rh"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kUntouched = RGB(255, 0, 255);  // what a PixelGrid starts as

class MenuToolBarTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_bar.Create(&HostDialog(), 0x50002800, 0xE800)); }

    struct Button {
        UINT id;
        UINT style;
        int image;
    };
    Button ButtonAt(int index) const {
        Button button{};
        m_bar.GetButtonInfo(index, button.id, button.style, button.image);
        return button;
    }

    CMenuToolBar m_bar;
};

TEST_F(MenuToolBarTest, LoadsButtonsSizesAndImages) {
    int width = -1, height = -1;
    m_bar.GetImageSize(width, height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);

    ASSERT_TRUE(m_bar.LoadToolBar(IDR_TOOLS));
    m_bar.GetImageSize(width, height);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 15);
    const LRESULT buttonSize = m_bar.SendMessage(TB_GETBUTTONSIZE);
    EXPECT_EQ(LOWORD(buttonSize), 23);
    EXPECT_EQ(HIWORD(buttonSize), 22);

    ASSERT_EQ(m_bar.GetCount(), 4);
    EXPECT_EQ(ButtonAt(0).id, static_cast<UINT>(ID_OPEN));
    EXPECT_EQ(ButtonAt(1).image, 1);
    EXPECT_EQ(ButtonAt(2).id, 0u) << "the separator is passed on";
    EXPECT_EQ(ButtonAt(2).style & TBSTYLE_SEP, static_cast<UINT>(TBSTYLE_SEP));
    EXPECT_EQ(ButtonAt(3).id, static_cast<UINT>(ID_COPY));
    EXPECT_EQ(ButtonAt(3).image, 2);
    EXPECT_EQ(m_bar.CommandToIndex(ID_COPY), 3);
    EXPECT_NE(m_bar.m_hbmImageWell, nullptr);
    EXPECT_NE(m_bar.m_hRsrcImageWell, nullptr);
}

TEST_F(MenuToolBarTest, BitmapTakesTheCurrentButtonColours) {
    ASSERT_TRUE(m_bar.LoadToolBar(IDR_TOOLS));
    PixelGrid grid(48, 15);
    HDC memory = ::CreateCompatibleDC(grid.dc());
    HGDIOBJ previous = ::SelectObject(memory, m_bar.m_hbmImageWell);
    ::BitBlt(grid.dc(), 0, 0, 48, 15, memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
    EXPECT_EQ(grid.at(0, 0), ::GetSysColor(COLOR_BTNFACE)) << "light grey became the face colour";
    EXPECT_EQ(grid.at(5, 5), kRed);
    EXPECT_EQ(grid.at(37, 5), kBlue);
}

TEST_F(MenuToolBarTest, ToolbarWithoutItsBitmapFailsAfterSettingItsButtons) {
    EXPECT_FALSE(m_bar.LoadToolBar(IDR_NO_BITMAP));
    EXPECT_EQ(m_bar.GetCount(), 2);
}

TEST_F(MenuToolBarTest, MissingResourceLoadsNothing) {
    EXPECT_FALSE(m_bar.LoadToolBar(9999));
    EXPECT_EQ(m_bar.GetCount(), 0);
    int width = -1, height = -1;
    m_bar.GetImageSize(width, height);
    EXPECT_EQ(width, 0);
}

// ---- Off-screen contexts -------------------------------------------------------

TEST(OffscreenDC, PictureReachesTheTargetOnlyWhenItGoes) {
    PixelGrid grid(40, 30);
    CDC target;
    target.Attach(grid.dc());
    {
        COffscreenDC offscreen(&target, CRect(10, 5, 30, 25));
        offscreen.FillSolidRect(10, 5, 20, 20, kBlue);
        offscreen.FillSolidRect(12, 7, 1, 1, kRed);  // the target's coordinates
        EXPECT_EQ(grid.at(12, 7), kUntouched) << "nothing drawn on the target yet";
    }
    target.Detach();
    EXPECT_EQ(grid.at(12, 7), kRed);
    EXPECT_EQ(grid.at(10, 5), kBlue);
    EXPECT_EQ(grid.at(29, 24), kBlue);
    EXPECT_EQ(grid.at(9, 5), kUntouched) << "only the rectangle is copied";
    EXPECT_EQ(grid.at(30, 24), kUntouched);
}

TEST(OffscreenDC, OverAPrintingContextDrawsStraightOnIt) {
    PixelGrid grid(40, 30);
    CDC printer;
    printer.Attach(grid.dc());
    printer.m_bPrinting = TRUE;
    {
        COffscreenDC direct(&printer, CRect(0, 0, 40, 30));
        EXPECT_TRUE(direct.IsPrinting());
        direct.FillSolidRect(3, 3, 2, 2, kRed);
        EXPECT_EQ(grid.at(3, 3), kRed) << "drawn at once";
    }
    EXPECT_EQ(grid.at(0, 0), kUntouched) << "nothing copied over the rest at the end";
    EXPECT_EQ(printer.m_hDC, grid.dc()) << "the target keeps its context";
    printer.Detach();
}

TEST(ClipOffscreenDC, CoversTheTargetsClipBox) {
    PixelGrid grid(40, 30);
    HRGN clip = ::CreateRectRgn(20, 10, 40, 30);
    ::SelectClipRgn(grid.dc(), clip);
    ::DeleteObject(clip);
    CDC target;
    target.Attach(grid.dc());
    {
        CClipOffscreenDC offscreen(&target);
        offscreen.FillSolidRect(0, 0, 40, 30, kBlue);
    }
    target.Detach();
    ::SelectClipRgn(grid.dc(), nullptr);
    EXPECT_EQ(grid.at(20, 10), kBlue);
    EXPECT_EQ(grid.at(39, 29), kBlue);
    EXPECT_EQ(grid.at(19, 10), kUntouched);
    EXPECT_EQ(grid.at(20, 9), kUntouched);
}

}  // namespace
