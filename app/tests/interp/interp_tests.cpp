// The Interpolation Move page on the default machine (model A card 0, model B
// card 1): its buttons, lists and edits are used as the user would, its poll
// timer is fired by hand, and the card's state is read back through the library.
#include <afxwin.h>

#include <cstdlib>
#include <string>

#include "gtest_winelib.h"
#include "patience.h"
#include "interpolation_dlg.h"
#include "open_cards.h"
#include "pixel_grid.h"
#include "rm720.h"
#include "rm730.h"
#include "settings_store.h"

namespace {

const testing::Environment* const g_openCards = testing::AddGlobalTestEnvironment(new OpenCardsEnvironment);

constexpr int kAxisX = 1, kAxisY = 2, kAxisZ = 4;

// The application's main window, which is the settings store pages reach.
class StoreWindow : public CWnd, public CSettingsStore {};

// The page, opened modeless, with what the tests read of it.
class Page : public CInterpolationDlg {
public:
    Page() : CInterpolationDlg(-1, -1, nullptr) { Create(IDD_INTERPOLATION); }
    ~Page() override {
        if (m_hWnd) DestroyWindow();
    }
    using CInterpolationDlg::m_Interp;
    using CInterpolationDlg::m_Ranges;

    std::string Text(int id) const {
        CString text;
        GetDlgItemText(id, text);
        return static_cast<LPCSTR>(text);
    }
    void Type(int id, const char* text) { SetDlgItemText(id, text); }
    // As between the user's actions, the idle rules run first.
    void Click(int id) {
        Idle();
        ::SendMessageA(::GetDlgItem(m_hWnd, id), BM_CLICK, 0, 0);
    }
    bool Checked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED; }
    bool Enabled(int id) { return ::IsWindowEnabled(::GetDlgItem(m_hWnd, id)) != FALSE; }
    void Idle() { SendMessage(WM_KICKIDLE, 0, 0); }
    void Poll() { SendMessage(WM_TIMER, 2, 0); }
    std::string Pane(int index) const { return static_cast<LPCSTR>(m_wndStatusBar.GetPaneText(index)); }
    // Picks an item of an axis list by its text.
    void Choose(int listId, const char* text) {
        HWND list = ::GetDlgItem(m_hWnd, listId);
        const LRESULT index = ::SendMessageA(list, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(text));
        ASSERT_NE(index, CB_ERR) << text;
        ::SendMessageA(list, CB_SETCURSEL, index, 0);
        SendMessage(WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }
    std::string Selected(int listId) const {
        HWND list = ::GetDlgItem(m_hWnd, listId);
        const LRESULT index = ::SendMessageA(list, CB_GETCURSEL, 0, 0);
        char text[32] = "";
        if (index != CB_ERR) ::SendMessageA(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
        return text;
    }
    // Polls until the page has seen its move end (the simulated card runs fast).
    void PollUntilStopped() {
        WaitUntil([&] {
            Poll();
            return m_Interp.moving != 1;
        });
        ASSERT_EQ(m_Interp.moving, 0) << Text(IDC_INTERP_AXIS1_LOGIC) << " " << Text(IDC_INTERP_AXIS1_SPEED) << " "
                                      << Pane(0) << Pane(1) << Pane(2);
    }
    void SelectCard(int model, int cardId) {
        const std::string wanted = std::string(model == 0 ? "VEXA-RM720" : "VEXA-RM730") + " ID:" +
                                   std::to_string(cardId);
        for (HTREEITEM item = m_tree.GetRootItem(); item; item = m_tree.GetNextSiblingItem(item))
            if (std::string(static_cast<LPCSTR>(m_tree.GetItemText(item))) == wanted) m_tree.SelectItem(item);
    }
};

class InterpolationPage : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rm720_reset(0), SUCCESS_NO_ERROR);
        ASSERT_EQ(rm730_reset(1), SUCCESS_NO_ERROR);
        m_app.m_pMainWnd = &m_store;
    }
    void TearDown() override { m_app.m_pMainWnd = nullptr; }

    // Main X and 2nd Y with the counters cleared.
    static void ChooseXY(Page& page) {
        page.Choose(IDC_INTERP_MAIN_AXIS, "X-Axis");
        page.Choose(IDC_INTERP_2ND_AXIS, "Y-Axis");
    }
    static int32_t Logic(int model, int axis) {
        int32_t value = 0;
        EXPECT_EQ(MotionLibraryOf(model).get_cmdcounter(model == 0 ? 0 : 1, axis, &value), SUCCESS_NO_ERROR);
        return value;
    }

    CWinApp m_app{"interp_tests"};
    StoreWindow m_store;
};

void SaveScreen(HWND hWnd, const char* name) {
    const char* folder = std::getenv("RM7X0_ARTIFACT_DIR");
    if (!folder) return;
    EXPECT_TRUE(SaveWindowBmp(hWnd, std::string(folder) + "/" + name));
}

TEST_F(InterpolationPage, OpensOnTheFirstCardWithTheDefaultsAndEnablesByChoice) {
    Page page;
    page.Idle();
    EXPECT_EQ(page.m_ActiveModel, 0);
    EXPECT_EQ(page.m_ActiveCardID, 0);
    EXPECT_EQ(page.Selected(IDC_INTERP_MAIN_AXIS), "None");
    EXPECT_TRUE(page.Checked(IDC_INTERP_LINEAR2D) && page.Checked(IDC_INTERP_TCURVE));
    EXPECT_TRUE(page.Checked(IDC_INTERP_SYM) && page.Checked(IDC_INTERP_CW));
    EXPECT_EQ(page.Text(IDC_INTERP_SV), "");
    EXPECT_FALSE(page.Enabled(IDC_INTERP_SV));
    EXPECT_FALSE(page.Enabled(IDC_INTERP_2ND_AXIS));
    EXPECT_FALSE(page.Enabled(IDC_INTERP_MOVE));

    page.Choose(IDC_INTERP_MAIN_AXIS, "X-Axis");
    page.Idle();
    const uint32_t speedMax = page.m_Ranges[5];
    EXPECT_EQ(page.Text(IDC_INTERP_SV), std::to_string(5000u <= speedMax ? 5000u : page.m_Ranges[4]));
    EXPECT_EQ(page.Text(IDC_INTERP_FP1), "70000");
    EXPECT_EQ(page.Text(IDC_INTERP_CP2), "35000");
    EXPECT_EQ(page.Text(IDC_INTERP_OFFSET), "0");
    EXPECT_TRUE(page.Enabled(IDC_INTERP_SV) && page.Enabled(IDC_INTERP_ACC));
    EXPECT_FALSE(page.Enabled(IDC_INTERP_DEC) || page.Enabled(IDC_INTERP_JERK) || page.Enabled(IDC_INTERP_FP3));
    EXPECT_FALSE(page.Enabled(IDC_INTERP_MOVE));
    // The 2nd list offers the other three axes.
    EXPECT_EQ(::SendDlgItemMessageA(page.m_hWnd, IDC_INTERP_2ND_AXIS, CB_GETCOUNT, 0, 0), 4);
    page.Choose(IDC_INTERP_2ND_AXIS, "Y-Axis");
    page.Idle();
    EXPECT_TRUE(page.Enabled(IDC_INTERP_MOVE));
    EXPECT_FALSE(page.Enabled(IDC_INTERP_3RD_AXIS));
    page.Click(IDC_INTERP_LINEAR3D);
    page.Idle();
    EXPECT_TRUE(page.Enabled(IDC_INTERP_3RD_AXIS) && page.Enabled(IDC_INTERP_FP3));
    EXPECT_FALSE(page.Enabled(IDC_INTERP_MOVE)) << "a three-axis line needs its 3rd axis";
    EXPECT_EQ(::SendDlgItemMessageA(page.m_hWnd, IDC_INTERP_3RD_AXIS, CB_GETCOUNT, 0, 0), 3);
    page.ShowWindow(SW_SHOW);
    page.Idle();
    SaveScreen(page.m_hWnd, "interpolation.bmp");
}

TEST_F(InterpolationPage, LinesAndArcsEndAtTheFinishPoint) {
    Page page;
    ChooseXY(page);
    page.Click(IDC_INTERP_CLEAR);
    page.Type(IDC_INTERP_FP1, "3000");
    page.Type(IDC_INTERP_FP2, "-1500");
    page.Click(IDC_INTERP_MOVE);
    EXPECT_EQ(page.m_Interp.moving, 1);
    page.Idle();
    EXPECT_FALSE(page.Enabled(IDC_INTERP_MOVE)) << "disabled while the move runs";
    page.PollUntilStopped();
    EXPECT_EQ(Logic(0, kAxisX), 3000);
    EXPECT_EQ(Logic(0, kAxisY), -1500);
    page.Poll();
    EXPECT_EQ(page.Text(IDC_INTERP_AXIS1_LOGIC), "3000");
    EXPECT_EQ(page.Text(IDC_INTERP_AXIS2_LOGIC), "-1500");
    EXPECT_EQ(page.Text(IDC_INTERP_AXIS1_SPEED), "0");

    // A three-axis S-curve line from there.
    page.Click(IDC_INTERP_LINEAR3D);
    page.Click(IDC_INTERP_SCURVE);
    page.Choose(IDC_INTERP_3RD_AXIS, "Z-Axis");
    page.Click(IDC_INTERP_CLEAR);
    page.Type(IDC_INTERP_FP3, "2000");
    page.Click(IDC_INTERP_MOVE);
    ASSERT_EQ(page.Pane(1), " ");
    page.PollUntilStopped();
    EXPECT_EQ(Logic(0, kAxisX), 3000);
    EXPECT_EQ(Logic(0, kAxisY), -1500);
    EXPECT_EQ(Logic(0, kAxisZ), 2000);

    // A counter-clockwise half circle about (1000, 0) ends at (2000, 0).
    page.Click(IDC_INTERP_CIRCULAR);
    page.Click(IDC_INTERP_CCW);
    page.Click(IDC_INTERP_CLEAR);
    page.Type(IDC_INTERP_CP1, "1000");
    page.Type(IDC_INTERP_CP2, "0");
    page.Type(IDC_INTERP_FP1, "2000");
    page.Type(IDC_INTERP_FP2, "0");
    page.Click(IDC_INTERP_MOVE);
    page.PollUntilStopped();
    EXPECT_EQ(Logic(0, kAxisX), 2000);
    EXPECT_EQ(Logic(0, kAxisY), 0);
    EXPECT_EQ(Logic(0, kAxisZ), 0) << "the arc leaves the 3rd axis alone";
}

TEST_F(InterpolationPage, StopEndsTheMoveWithItsStopReason) {
    Page page;
    ChooseXY(page);
    page.Type(IDC_INTERP_FP1, "50000000");
    page.Type(IDC_INTERP_FP2, "50000000");
    page.Click(IDC_INTERP_MOVE);
    ASSERT_EQ(page.m_Interp.moving, 1);
    page.Click(IDC_INTERP_STOP);
    page.PollUntilStopped();
    EXPECT_EQ(page.Pane(1), "rm720_motion_done()");
    EXPECT_EQ(page.Pane(2), "DRIVE_FINISH_WITH_STOP_COMMAND");
    EXPECT_LT(Logic(0, kAxisX), 50000000);
}

TEST_F(InterpolationPage, ArcRefusesSCurveAndAsymmetry) {
    Page page;
    page.Choose(IDC_INTERP_MAIN_AXIS, "X-Axis");
    page.Click(IDC_INTERP_SCURVE);
    page.Click(IDC_INTERP_ASYM);
    page.Click(IDC_INTERP_CIRCULAR);
    EXPECT_TRUE(page.Checked(IDC_INTERP_CONST) && !page.Checked(IDC_INTERP_SCURVE));
    EXPECT_TRUE(page.Checked(IDC_INTERP_SYM) && !page.Checked(IDC_INTERP_ASYM));
    EXPECT_EQ(page.m_Interp.profile, 0);
    EXPECT_EQ(page.m_Interp.asymmetric, 0);
    page.Idle();
    EXPECT_FALSE(page.Enabled(IDC_INTERP_SCURVE) || page.Enabled(IDC_INTERP_SYM));
    EXPECT_TRUE(page.Enabled(IDC_INTERP_CW) && page.Enabled(IDC_INTERP_CP1));
}

TEST_F(InterpolationPage, EditsRefuseWhatIsOutOfBounds) {
    Page page;
    page.Choose(IDC_INTERP_MAIN_AXIS, "X-Axis");
    const std::string sv = page.Text(IDC_INTERP_SV);
    page.Type(IDC_INTERP_SV, "");
    EXPECT_EQ(page.Text(IDC_INTERP_SV), sv) << "an empty edit gets the stored value back";
    page.Type(IDC_INTERP_V, "4294967295");
    EXPECT_EQ(page.Text(IDC_INTERP_V), std::to_string(page.m_Ranges[5]));
    EXPECT_EQ(static_cast<uint32_t>(page.m_Interp.v), page.m_Ranges[5]);
    // Numbers past 32 bits are above every bound, not wrapped round.
    page.Type(IDC_INTERP_V, "4294967296");
    EXPECT_EQ(page.Text(IDC_INTERP_V), std::to_string(page.m_Ranges[5]));
    page.Type(IDC_INTERP_OFFSET, "99999999999999999999");
    EXPECT_EQ(page.Text(IDC_INTERP_OFFSET), "32767");
    page.Type(IDC_INTERP_OFFSET, "40000");
    EXPECT_EQ(page.Text(IDC_INTERP_OFFSET), "32767");
    page.Type(IDC_INTERP_OFFSET, "-40000");
    EXPECT_EQ(page.Text(IDC_INTERP_OFFSET), "-32768");
    page.Type(IDC_INTERP_FP1, "-1234");
    EXPECT_EQ(page.m_Interp.finishPoint[0], -1234);
    page.Type(IDC_INTERP_FP1, "-2147483648");
    EXPECT_EQ(page.Text(IDC_INTERP_FP1), "-1234");
    page.Type(IDC_INTERP_FP1, "12x");
    EXPECT_EQ(page.Text(IDC_INTERP_FP1), "-1234");
}

// Keys that may still grow into an accepted value stand while typing: digits below
// the minimum and a lone minus sign. They are corrected when the edit loses the
// focus or the move starts.
TEST_F(InterpolationPage, TypedValuesThatMayStillGrowWaitUntilLeftOrUsed) {
    Page page;
    page.Choose(IDC_INTERP_MAIN_AXIS, "X-Axis");
    const std::string speedMin = std::to_string(page.m_Ranges[4]), sv = page.Text(IDC_INTERP_SV);
    const auto leave = [&](int id) {
        page.SendMessage(WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(::GetDlgItem(page.m_hWnd, id)));
    };
    for (const char* keys : {"-", "-1", "-15", "-150", "-1500"}) {
        page.Type(IDC_INTERP_FP2, keys);
        EXPECT_EQ(page.Text(IDC_INTERP_FP2), keys);
    }
    EXPECT_EQ(page.m_Interp.finishPoint[1], -1500);
    page.Type(IDC_INTERP_FP2, "-");
    leave(IDC_INTERP_FP2);
    EXPECT_EQ(page.Text(IDC_INTERP_FP2), "-1500") << "a lone minus left: the stored value comes back";
    if (page.m_Ranges[4] > 1) {
        page.Type(IDC_INTERP_SV, "0");
        EXPECT_EQ(page.Text(IDC_INTERP_SV), "0");
        leave(IDC_INTERP_SV);
        EXPECT_EQ(page.Text(IDC_INTERP_SV), speedMin) << "below the minimum: the minimum";
    }
}

TEST_F(InterpolationPage, EachCardKeepsItsOwnSetUp) {
    {
        Page page;
        ChooseXY(page);
        page.Type(IDC_INTERP_FP1, "4321");
        page.SelectCard(1, 1);
        EXPECT_EQ(page.m_ActiveModel, 1);
        EXPECT_EQ(page.m_ActiveCardID, 1);
        EXPECT_EQ(page.Selected(IDC_INTERP_MAIN_AXIS), "None");
        page.Choose(IDC_INTERP_MAIN_AXIS, "Z-Axis");
    }
    InterpParams a, b;
    m_store.GetInterpParams(0, 0, &a);
    m_store.GetInterpParams(1, 1, &b);
    EXPECT_EQ(a.axes[0], kAxisX);
    EXPECT_EQ(a.axes[1], kAxisY);
    EXPECT_EQ(a.finishPoint[0], 4321);
    EXPECT_EQ(b.axes[0], kAxisZ);
    // Opened again, the page shows the first card's set-up.
    Page again;
    EXPECT_EQ(again.Selected(IDC_INTERP_MAIN_AXIS), "X-Axis");
    EXPECT_EQ(again.Selected(IDC_INTERP_2ND_AXIS), "Y-Axis");
    EXPECT_EQ(again.Text(IDC_INTERP_FP1), "4321");
}

TEST_F(InterpolationPage, ResetAndFailedStartsAreShown) {
    Page page;
    ChooseXY(page);
    // Main changed to the stored 2nd axis: the library refuses the start.
    page.Choose(IDC_INTERP_MAIN_AXIS, "Y-Axis");
    EXPECT_EQ(page.Selected(IDC_INTERP_2ND_AXIS), "None");
    page.Idle();
    EXPECT_TRUE(page.Enabled(IDC_INTERP_MOVE));
    page.Click(IDC_INTERP_MOVE);
    EXPECT_EQ(page.Pane(1), "rm720_t_line2_move()");
    EXPECT_EQ(page.m_Interp.moving, 0);
    page.Click(IDC_INTERP_RESET);
    EXPECT_EQ(page.Pane(1), "rm720_t_line2_move()") << "a reset that succeeds writes nothing";
}

}  // namespace
