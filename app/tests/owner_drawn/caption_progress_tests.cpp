// The text progress bar in a real window: what SetPos and the other operations make
// it show, read back from the screen, and its caption handling.
#include <afxwin.h>
#include <afxcmn.h>

#include <climits>
#include <cstring>

#include "caption_progress_ctrl.h"
#include "gtest_winelib.h"
#include "owner_drawn_host.h"

namespace {

constexpr COLORREF kFill = RGB(0, 0, 200);
constexpr COLORREF kEmpty = RGB(250, 250, 250);
constexpr COLORREF kTextOnFill = RGB(255, 255, 0);
constexpr COLORREF kTextOnEmpty = RGB(200, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr int kWidth = 200;
constexpr int kHeight = 30;
constexpr UINT kTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

class ProbeBar : public CCaptionProgressCtrl {
public:
    using CCaptionProgressCtrl::m_nPos;
    using CCaptionProgressCtrl::m_bShowText;
};

class CaptionProgressTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_bar.Create(WS_CHILD | WS_VISIBLE, CRect(10, 10, 10 + kWidth, 10 + kHeight), &HostDialog(), 100));
        Paint(kFill, kEmpty, kTextOnFill, kTextOnEmpty);
    }
    void TearDown() override {
        m_bar.DestroyWindow();
        PumpPending();
    }

    void Paint(COLORREF fill, COLORREF empty, COLORREF onFill, COLORREF onEmpty) {
        m_bar.SetFillColor(fill);
        m_bar.SetEmptyColor(empty);
        m_bar.SetTextOnFillColor(onFill);
        m_bar.SetTextOnEmptyColor(onEmpty);
    }
    std::unique_ptr<PixelGrid> Repainted() {
        m_bar.Invalidate();
        m_bar.UpdateWindow();
        return CaptureClient(m_bar.m_hWnd);
    }
    // The bar shows exactly text: drawn in one colour over one colour, it matches
    // the text drawn here the same way.
    void ExpectText(const char* text) {
        Paint(kWhite, kWhite, kBlack, kBlack);
        auto shown = Repainted();
        PixelGrid expected(kWidth, kHeight);
        CRect all(0, 0, kWidth, kHeight);
        ::FillRect(expected.dc(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::SetBkMode(expected.dc(), TRANSPARENT);
        ::DrawTextA(expected.dc(), text, -1, &all, kTextFormat);
        int differing = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) differing += shown->at(x, y) != expected.at(x, y);
        EXPECT_EQ(differing, 0) << "the bar does not show \"" << text << "\"";
        EXPECT_GT(CountColour(*shown, kBlack, all), 0);
        Paint(kFill, kEmpty, kTextOnFill, kTextOnEmpty);
    }
    static int Filled(const PixelGrid& grid) {
        int width = 0;
        while (width < grid.width() && grid.at(width, 0) == kFill) ++width;
        return width;
    }

    ProbeBar m_bar;
};

TEST_F(CaptionProgressTest, HalfwayFillsHalfAndSplitsTheTextBetweenTwoColours) {
    EXPECT_EQ(m_bar.SetPos(50), 0);
    auto shown = CaptureClient(m_bar.m_hWnd);
    EXPECT_EQ(Filled(*shown), 100);
    EXPECT_EQ(shown->at(100, 0), kEmpty);
    const CRect filled(0, 0, 100, kHeight), empty(100, 0, kWidth, kHeight);
    EXPECT_GT(CountColour(*shown, kTextOnFill, filled), 0);
    EXPECT_EQ(CountColour(*shown, kTextOnFill, empty), 0);
    EXPECT_GT(CountColour(*shown, kTextOnEmpty, empty), 0);
    EXPECT_EQ(CountColour(*shown, kTextOnEmpty, filled), 0);
    ExpectText("50%");
}

TEST_F(CaptionProgressTest, PercentageAndFillAreTruncatedNotRounded) {
    m_bar.SetRange(0, 3);
    m_bar.SetPos(2);
    EXPECT_EQ(Filled(*CaptureClient(m_bar.m_hWnd)), 133);
    ExpectText("66%");
    m_bar.SetRange(-100, 100);
    m_bar.SetPos(-99);
    EXPECT_EQ(Filled(*CaptureClient(m_bar.m_hWnd)), 1);
    ExpectText("0%");
}

TEST_F(CaptionProgressTest, PositionsOutsideTheRangeAreShownAsTheyAre) {
    m_bar.SetPos(-50);
    auto below = CaptureClient(m_bar.m_hWnd);
    EXPECT_EQ(CountColour(*below, kFill, CRect(0, 0, kWidth, kHeight)), 0);
    ExpectText("-50%");
    m_bar.SetPos(150);
    auto above = CaptureClient(m_bar.m_hWnd);
    EXPECT_EQ(Filled(*above), kWidth);
    EXPECT_EQ(CountColour(*above, kEmpty, CRect(0, 0, kWidth, kHeight)), 0);
    ExpectText("150%");
}

TEST_F(CaptionProgressTest, CaptionReplacesThePercentageUntilItIsEmptied) {
    m_bar.SetPos(50);
    m_bar.OnSetText("Homing");
    ExpectText("Homing");
    CString windowText;
    m_bar.GetWindowText(windowText);
    EXPECT_STREQ(windowText, "Homing");
    m_bar.OnSetText("");
    ExpectText("50%");
    m_bar.OnSetText("Again");
    m_bar.OnSetText(nullptr);
    ExpectText("50%");
}

TEST_F(CaptionProgressTest, StepsAndOffsetsMoveThePosition) {
    EXPECT_EQ(m_bar.StepIt(), 0);
    EXPECT_EQ(m_bar.SetStep(10), 10);
    EXPECT_EQ(m_bar.StepIt(), 1);
    EXPECT_EQ(m_bar.OffsetPos(-5), 11);
    EXPECT_EQ(m_bar.m_nPos, 6);
}

TEST_F(CaptionProgressTest, WithTextHiddenOnlyTheTwoPartsShow) {
    m_bar.SetPos(30);
    m_bar.SetTextVisible(FALSE);
    auto shown = Repainted();
    const CRect all(0, 0, kWidth, kHeight);
    EXPECT_EQ(CountColour(*shown, kFill, all), 60 * kHeight);
    EXPECT_EQ(CountColour(*shown, kEmpty, all), 140 * kHeight);
}

TEST_F(CaptionProgressTest, ColoursAndRangeShowOnlyWhenTheBarIsRedrawn) {
    m_bar.SetPos(50);
    m_bar.SetFillColor(RGB(0, 160, 0));
    m_bar.SetRange(0, 200);
    EXPECT_EQ(Filled(*CaptureClient(m_bar.m_hWnd)), 100) << "nothing redrawn yet";
    // Less than a pixel of change redraws nothing either.
    m_bar.SetPos(100);
    m_bar.SetPos(100);
    EXPECT_EQ(CaptureClient(m_bar.m_hWnd)->at(0, 0), kFill);
    m_bar.SetPos(102);
    auto shown = CaptureClient(m_bar.m_hWnd);
    EXPECT_EQ(shown->at(0, 0), RGB(0, 160, 0));
    EXPECT_EQ(shown->at(101, 0), RGB(0, 160, 0));
    EXPECT_EQ(shown->at(102, 0), kEmpty);
}

TEST_F(CaptionProgressTest, ResizingMakesTheNextPositionRedraw) {
    m_bar.SetPos(50);
    m_bar.SetFillColor(RGB(0, 160, 0));
    ::SendMessageA(m_bar.m_hWnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(kWidth, kHeight));
    m_bar.SetPos(50);
    EXPECT_EQ(CaptureClient(m_bar.m_hWnd)->at(0, 0), RGB(0, 160, 0));
}

TEST_F(CaptionProgressTest, EmptyRangeDrawsNothingAndAnswersThePaint) {
    m_bar.SetRange(5, 5);
    EXPECT_EQ(m_bar.SetPos(7), 0);
    m_bar.Invalidate();
    m_bar.UpdateWindow();
    EXPECT_FALSE(::GetUpdateRect(m_bar.m_hWnd, nullptr, FALSE));
}

TEST_F(CaptionProgressTest, PartialRepaintDrawsTheSamePictureAsAFullOne) {
    m_bar.SetPos(50);
    auto full = Repainted();
    const RECT part = {60, 0, kWidth, kHeight};
    ::InvalidateRect(m_bar.m_hWnd, &part, FALSE);
    m_bar.UpdateWindow();
    auto partial = CaptureClient(m_bar.m_hWnd);
    int differing = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) differing += full->at(x, y) != partial->at(x, y);
    EXPECT_EQ(differing, 0);
}

TEST_F(CaptionProgressTest, FarOutOfRangePositionFillsTheBarWithoutFailing) {
    m_bar.SetRange(0, 1);
    m_bar.SetPos(INT_MAX);
    EXPECT_EQ(Filled(*CaptureClient(m_bar.m_hWnd)), kWidth);
    m_bar.SetPos(INT_MIN);
    EXPECT_EQ(CaptureClient(m_bar.m_hWnd)->at(0, 0), kEmpty);
}

TEST(CaptionProgress, WithoutAWindowPositionsAreRefusedAndTheFlagStored) {
    ProbeBar bar;
    EXPECT_EQ(bar.SetPos(5), -1);
    EXPECT_EQ(bar.StepIt(), -1);
    EXPECT_EQ(bar.OffsetPos(3), -1);
    EXPECT_EQ(bar.m_nPos, 0);
    bar.SetTextVisible(FALSE);
    EXPECT_FALSE(bar.m_bShowText);
    EXPECT_EQ(bar.GetFillColor(), ::GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(bar.GetEmptyColor(), ::GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(bar.GetTextOnEmptyColor(), ::GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(bar.GetTextOnFillColor(), ::GetSysColor(COLOR_WINDOW));
}

TEST(CaptionProgress, CaptionCopiesAreAlwaysTerminated) {
    ProbeBar bar;
    bar.OnSetText("Homing");
    char buffer[10];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(bar.OnGetText(4, buffer), 3);
    EXPECT_STREQ(buffer, "Hom");
    EXPECT_EQ(buffer[4], 'x') << "nothing beyond the given size";
    EXPECT_EQ(bar.OnGetText(sizeof buffer, buffer), 6);
    EXPECT_STREQ(buffer, "Homing");
    EXPECT_EQ(buffer[9], '\0') << "zero-filled";
    EXPECT_EQ(bar.OnGetText(0, buffer), 0);
}

}  // namespace
