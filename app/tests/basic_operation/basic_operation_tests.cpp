// The Basic Operation page on the default machine (model A ID 0, model B ID 1):
// its buttons, edits and poll drive the simulated cards through the motion
// libraries, and the tests read back both the controls and the card.
#include <afxwin.h>

#include <cstdio>

#include <cstdlib>
#include <string>
#include <vector>

#include "basic_operation_dlg.h"
#include "gtest_winelib.h"
#include "patience.h"
#include "message_box_watcher.h"
#include "main_dlg.h"
#include "open_cards.h"
#include "pixel_grid.h"
#include "rm720.h"

namespace {

const testing::Environment* const g_openCards = testing::AddGlobalTestEnvironment(new OpenCardsEnvironment);

constexpr uint8_t kCardA = 0;
constexpr uint16_t kAxisX = 1;

// The page made modeless over a main window that is only the settings store.
class Page : public CBasicOperationDlg {
public:
    Page() : CBasicOperationDlg(-1, -1, -1) { Create(IDD_BASIC_OPERATION); }
    ~Page() override { DestroyWindow(); }

    void Click(int id) { SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(id)->m_hWnd)); }
    void ClickRadio(int first, int last, int id) {
        CheckRadioButton(first, last, id);
        Click(id);
    }
    void Type(int id, const char* text) { SetDlgItemText(id, text); }
    // Types a number key by key, as a technician does.
    void TypeKeys(int id, const std::string& text) {
        for (size_t length = 1; length <= text.size(); ++length) Type(id, text.substr(0, length).c_str());
    }
    void LeaveEdit(int id) {
        SendMessage(WM_COMMAND, MAKEWPARAM(id, EN_KILLFOCUS), reinterpret_cast<LPARAM>(GetDlgItem(id)->m_hWnd));
    }
    // Picks a radio of a group and a distance, then presses Forward.
    void Forward(int first, int last, int radio, const char* pulses) {
        ClickRadio(first, last, radio);
        Type(IDC_BO_OUTPUT_PULSE, pulses);
        Click(IDC_BO_FORWARD);
    }
    void Tick() { SendMessage(WM_TIMER, 1); }
    std::string Text(int id) const {
        CString text;
        GetDlgItemText(id, text);
        return static_cast<LPCSTR>(text);
    }
    std::string Pane(int index) const { return static_cast<LPCSTR>(m_wndStatusBar.GetPaneText(index)); }
    // Selects the card item of the given place in the tree.
    void SelectCard(int index) {
        HTREEITEM card = m_tree.GetRootItem();
        for (int i = 0; i < index && card; ++i) card = m_tree.GetNextSiblingItem(card);
        ASSERT_NE(card, nullptr);
        m_tree.SelectItem(card);
    }
    HICON ServoLamp() const { return m_lamps[10].GetIcon(); }
    bool Enabled(int id) const { return GetDlgItem(id)->IsWindowEnabled() != FALSE; }
    // Polls until the move watched has ended (the card runs on its own clock).
    void PollUntilStopped() {
        WaitUntil([&] {
            Tick();
            return m_Motion.moving != 1;
        });
        ASSERT_EQ(m_Motion.moving, 0) << "the move never ended";
    }
};

class BasicOperationPage : public testing::Test {
protected:
    BasicOperationPage() : m_main(CardCount(), CardTable(), nullptr) { AfxGetApp()->m_pMainWnd = &m_main; }
    ~BasicOperationPage() override {
        rm720_stop_move(kCardA, kAxisX, 0x27);
        rm720_set_range(kCardA, kAxisX, 16000);  // the default range
        AfxGetApp()->m_pMainWnd = nullptr;
    }
    static int32_t CardCount() { return 2; }
    static const uint8_t* CardTable() {
        static const uint8_t table[16] = {1, 1};
        return table;
    }
    static int32_t CmdCounter() {
        int32_t counter = 0;
        EXPECT_EQ(rm720_get_cmdcounter(kCardA, kAxisX, &counter), SUCCESS_NO_ERROR);
        return counter;
    }

    CWinApp m_app;
    CMainDlg m_main;
};

TEST_F(BasicOperationPage, OpensOnTheFirstAxisWithItsStoredValues) {
    Page page;
    EXPECT_EQ(page.m_ActiveModel, 0);
    EXPECT_EQ(page.m_ActiveCardID, 0);
    EXPECT_EQ(page.m_ActiveAxis, 1);
    EXPECT_EQ(page.m_nTimer, 1);
    EXPECT_EQ(page.Text(IDC_BO_SV), "10000");
    EXPECT_EQ(page.Text(IDC_BO_DV), "50000");
    EXPECT_EQ(page.Text(IDC_BO_OUTPUT_PULSE), "10000");
    EXPECT_EQ(page.IsDlgButtonChecked(IDC_BO_T_PROFILE), BST_CHECKED);
    EXPECT_EQ(page.IsDlgButtonChecked(IDC_BO_POINT_TO_POINT), BST_CHECKED);
    EXPECT_EQ(static_cast<CComboBox*>(page.GetDlgItem(IDC_BO_HOME_STEP))->GetCurSel(), 1);

    if (const char* folder = std::getenv("RM7X0_ARTIFACT_DIR")) {
        page.UpdateControlStates();
        page.Tick();
        page.ShowWindow(SW_SHOW);
        page.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME | RDW_ERASE);
        CRect frame;
        page.GetWindowRect(&frame);
        PixelGrid grid(frame.Width(), frame.Height());
        HDC window = ::GetWindowDC(page.m_hWnd);
        ::BitBlt(grid.dc(), 0, 0, grid.width(), grid.height(), window, 0, 0, SRCCOPY);
        ::ReleaseDC(page.m_hWnd, window);
        EXPECT_TRUE(grid.SaveBmp(std::string(folder) + "/basic-operation.bmp"));
    }
}

TEST_F(BasicOperationPage, ForwardAndReverseRunTheDistanceBothWaysAndShowWhyTheyEnded) {
    ASSERT_EQ(rm720_set_cmdcounter(kCardA, kAxisX, 0), SUCCESS_NO_ERROR);
    Page page;
    page.Forward(IDC_BO_CONST_VELOCITY, IDC_BO_S_CURVE, IDC_BO_CONST_VELOCITY, "300");
    EXPECT_EQ(page.m_Motion.moving, 1);
    page.UpdateControlStates();
    EXPECT_FALSE(page.Enabled(IDC_BO_FORWARD));
    EXPECT_TRUE(page.Enabled(IDC_BO_CHANGE_P));
    page.PollUntilStopped();
    EXPECT_EQ(CmdCounter(), 300);
    EXPECT_EQ(page.Text(IDC_BO_LOGIC_POSITION), "300");
    EXPECT_EQ(page.Pane(1), "rm720_motion_done()");
    EXPECT_EQ(page.Pane(2), "DRIVE_FINISH_OUTPUT_FIXED_PULSE");

    page.ClickRadio(IDC_BO_CONST_VELOCITY, IDC_BO_S_CURVE, IDC_BO_S_CURVE);
    page.Click(IDC_BO_REVERSE);
    page.PollUntilStopped();
    EXPECT_EQ(CmdCounter(), 0);

    // A continuous move runs until stopped; slowly, far from the limits.
    const std::string slowest = std::to_string(page.m_Motion.speedMin);
    page.Type(IDC_BO_SV, slowest.c_str());
    page.Type(IDC_BO_DV, slowest.c_str());
    page.ClickRadio(IDC_BO_POINT_TO_POINT, IDC_BO_RECIPROCATION, IDC_BO_CONTI_OUTPUT);
    page.Click(IDC_BO_REVERSE);
    ASSERT_EQ(page.m_Motion.moving, 1);
    page.Click(IDC_BO_STOP);
    page.PollUntilStopped();
    EXPECT_EQ(page.Pane(2), "DRIVE_FINISH_WITH_STOP_COMMAND");
    EXPECT_LT(CmdCounter(), 0);
}

TEST_F(BasicOperationPage, ReciprocationStartsTheOppositeStrokeUntilStopped) {
    ASSERT_EQ(rm720_set_cmdcounter(kCardA, kAxisX, 0), SUCCESS_NO_ERROR);
    Page page;
    page.Forward(IDC_BO_POINT_TO_POINT, IDC_BO_RECIPROCATION, IDC_BO_RECIPROCATION, "200");
    EXPECT_EQ(page.m_Motion.reciprocation[0], 1);
    EXPECT_EQ(page.m_Motion.reciprocation[1], 1);
    // The tick that sees the forward stroke end starts the reverse one.
    WaitUntil([&] {
        page.Tick();
        return page.m_Motion.reciprocation[1] == 0;
    });
    ASSERT_EQ(page.m_Motion.reciprocation[1], 0);
    EXPECT_EQ(page.m_Motion.moving, 1);
    EXPECT_EQ(page.Pane(0), " ") << "the next stroke blanked the stop reason";
    page.Click(IDC_BO_STOP);
    EXPECT_EQ(page.m_Motion.reciprocation[0], 0);
    page.PollUntilStopped();
    EXPECT_EQ(page.m_Motion.reciprocation[1], 0) << "no stroke after the stop";
}

TEST_F(BasicOperationPage, MpgModeComputesItsSpeedAndDisablesTheStarts) {
    Page page;
    page.Type(IDC_BO_MAX_FREQUENCY, "500");
    page.Type(IDC_BO_PULSE_RATIO, "1");
    EXPECT_EQ(page.m_Motion.mpgSpeed, 1000);
    page.Type(IDC_BO_PULSE_RATIO, "3");
    EXPECT_EQ(page.m_Motion.mpgSpeed, 3000);
    page.ClickRadio(IDC_BO_POINT_TO_POINT, IDC_BO_RECIPROCATION, IDC_BO_MPG);
    ASSERT_EQ(page.m_Motion.mode, 2);
    page.UpdateControlStates();
    for (int id : {IDC_BO_FORWARD, IDC_BO_REVERSE, IDC_BO_HOME}) EXPECT_FALSE(page.Enabled(id)) << id;
    page.Click(IDC_BO_FORWARD);
    EXPECT_EQ(page.m_Motion.moving, 0) << "no move in MPG mode";

    page.ClickRadio(IDC_BO_POINT_TO_POINT, IDC_BO_RECIPROCATION, IDC_BO_POINT_TO_POINT);
    EXPECT_EQ(page.m_Motion.mode, 0);
    EXPECT_EQ(page.Text(IDC_BO_DV), std::to_string(page.m_Motion.dv));
}

TEST_F(BasicOperationPage, RefusedMpgSpeedKeepsTheModeAndShowsThePagesName) {
    Page page;
    page.Type(IDC_BO_MAX_FREQUENCY, "5000");
    page.Type(IDC_BO_PULSE_RATIO, "10000");
    page.ClickRadio(IDC_BO_POINT_TO_POINT, IDC_BO_RECIPROCATION, IDC_BO_MPG);
    EXPECT_EQ(page.m_Motion.mode, 0);
    EXPECT_EQ(page.IsDlgButtonChecked(IDC_BO_POINT_TO_POINT), BST_CHECKED);
    EXPECT_EQ(page.Pane(0), "Error Code: -261");
    EXPECT_EQ(page.Pane(1), "rm720_set_mpg()");
    EXPECT_EQ(page.Pane(2), "ERROR_INVALID_MPG_SPEED (Speed >= 2*(MaxFrq.*PulseRatio)");
}

TEST_F(BasicOperationPage, TypedValuesOutOfRangeAreCorrected) {
    Page page;
    const std::string speedMax = std::to_string(page.m_Motion.speedMax);
    page.Type(IDC_BO_SV, "99999999");
    EXPECT_EQ(page.Text(IDC_BO_SV), speedMax);
    page.Type(IDC_BO_SV, "-5");
    EXPECT_EQ(page.Text(IDC_BO_SV), speedMax) << "a negative speed counts as above the maximum";
    EXPECT_EQ(page.m_Motion.sv, page.m_Motion.speedMax);

    page.Type(IDC_BO_OUTPUT_PULSE, "0");
    page.LeaveEdit(IDC_BO_OUTPUT_PULSE);
    EXPECT_EQ(page.Text(IDC_BO_OUTPUT_PULSE), "1");
    page.Type(IDC_BO_OUTPUT_PULSE, "4000");
    page.Type(IDC_BO_OUTPUT_PULSE, "-7");
    EXPECT_EQ(page.Text(IDC_BO_OUTPUT_PULSE), "4000");
    EXPECT_EQ(page.m_Motion.outputPulse, 4000);

    page.Type(IDC_BO_OFFSET_PULSE, "40000");
    EXPECT_EQ(page.m_Motion.offsetPulses, 32767);
    page.Type(IDC_BO_HOME_OFFSET, "-5000000");
    EXPECT_EQ(page.m_Motion.homeOffset, -4000000);
    page.Type(IDC_BO_MAX_FREQUENCY, "9");
    page.LeaveEdit(IDC_BO_MAX_FREQUENCY);
    EXPECT_EQ(page.Text(IDC_BO_MAX_FREQUENCY), "500");
}

// A value above its maximum is corrected at the keystroke; one below its minimum
// may be the first digits of a larger number and waits until the edit loses the
// focus or the value is used.
TEST_F(BasicOperationPage, TypedValuesBelowTheMinimumWaitUntilLeftOrUsed) {
    const struct {
        int id;
        const char* keys;
        int leave;  // 0: nothing; an edit id: it loses the focus; a button: it is pressed
        const char* shown;
        int32_t AxisMotionParams::*field;
        int32_t stored;
    } cases[] = {
        {IDC_BO_DV, "2500", 0, "2500", &AxisMotionParams::dv, 2500},
        {IDC_BO_DV, "900", 0, "900", &AxisMotionParams::dv, 30000},
        {IDC_BO_DV, "900", IDC_BO_DV, "1000", &AxisMotionParams::dv, 1000},
        {IDC_BO_SV, "90", IDC_BO_DV, "1000", &AxisMotionParams::sv, 1000},
        {IDC_BO_DV, "900", IDC_BO_PROFILE, "1000", &AxisMotionParams::dv, 1000},
        {IDC_BO_DV, "9000000", 0, "8000000", &AxisMotionParams::dv, 8000000},
        {IDC_BO_OUTPUT_PULSE, "0", 0, "0", &AxisMotionParams::outputPulse, 30000},
        {IDC_BO_OUTPUT_PULSE, "0", IDC_BO_OUTPUT_PULSE, "1", &AxisMotionParams::outputPulse, 1},
        {IDC_BO_OUTPUT_PULSE, "0", IDC_BO_CHANGE_P, "1", &AxisMotionParams::outputPulse, 1},
        {IDC_BO_MAX_FREQUENCY, "20", 0, "20", &AxisMotionParams::maxFrequency, 20},
        {IDC_BO_MAX_FREQUENCY, "7", IDC_BO_MAX_FREQUENCY, "500", &AxisMotionParams::maxFrequency, 500},
        {IDC_BO_HOME_OFFSET, "-700", 0, "-700", &AxisMotionParams::homeOffset, -700},
        {IDC_BO_HOME_OFFSET, "-", IDC_BO_HOME_OFFSET, "0", &AxisMotionParams::homeOffset, 0},
    };
    for (const auto& c : cases) {
        Page page;
        page.m_Motion.speedMin = 1000;
        page.m_Motion.speedMax = 8000000;
        page.m_Motion.dv = page.m_Motion.sv = page.m_Motion.outputPulse = 30000;
        page.m_Motion.maxFrequency = 500;
        page.m_Motion.homeOffset = 0;
        page.TypeKeys(c.id, c.keys);
        if (c.leave == IDC_BO_PROFILE || c.leave == IDC_BO_CHANGE_P)
            page.Click(c.leave);
        else if (c.leave)
            page.LeaveEdit(c.leave);
        EXPECT_EQ(page.Text(c.id), c.shown) << c.id << " " << c.keys;
        EXPECT_EQ(page.m_Motion.*c.field, c.stored) << c.id << " " << c.keys;
    }
}

TEST_F(BasicOperationPage, HomeWithoutOffsetStepSendsNoOffset) {
    Page page;
    page.Type(IDC_BO_HOME_OFFSET, "700");
    EXPECT_EQ(page.m_Motion.homeOffset, 700);
    page.Click(IDC_BO_HOME);
    EXPECT_EQ(page.m_Motion.homeOffset, 0);
    EXPECT_EQ(page.m_Motion.moving, 1);
    page.Click(IDC_BO_STOP);
    page.PollUntilStopped();
}

TEST_F(BasicOperationPage, ProfileOpensAWindowPerClickAndTheyEndWithThePage) {
    HWND first = nullptr;
    HWND second = nullptr;
    {
        Page page;
        page.Click(IDC_BO_PROFILE);
        ASSERT_NE(page.m_pProfileDlg, nullptr);
        first = page.m_pProfileDlg->m_hWnd;
        EXPECT_TRUE(::IsWindowVisible(first));
        page.Click(IDC_BO_PROFILE);
        second = page.m_pProfileDlg->m_hWnd;
        EXPECT_NE(second, first) << "each click opens another window";
        EXPECT_TRUE(::IsWindow(first)) << "earlier windows stay open";
    }
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_FALSE(::IsWindow(second));
}

// Whatever the distance and the speed, the button opens a window that shows and
// samples without a message.
TEST_F(BasicOperationPage, ProfileOpensAWindowForEveryDistanceAndSpeed) {
    const struct {
        int32_t dv, pulses;
        const char *width, *height;  // on their limits when the move's are beyond them
    } cases[] = {
        {30000, 30000, "1.5", "36000"},         {0, 30000, "100", "36000"},
        {1, 2147483647, "100", "10000000"},     {8000000, 1, "1.875e-07", "9600000"},
        {100, 9000000, "100", "10000000"},      {1000, 1000000, "100", "1200000"},
    };
    for (const auto& c : cases) {
        Page page;
        page.m_Motion.dv = c.dv;
        page.m_Motion.outputPulse = c.pulses;
        MessageBoxWatcher watcher;
        page.Click(IDC_BO_PROFILE);
        ASSERT_NE(page.m_pProfileDlg, nullptr);
        HWND window = page.m_pProfileDlg->m_hWnd;
        EXPECT_TRUE(::IsWindowVisible(window)) << c.dv << " " << c.pulses;
        for (int tick = 0; tick < 3; ++tick) ::SendMessageA(window, WM_TIMER, 1, 0);
        ::UpdateWindow(window);
        EXPECT_TRUE(watcher.Seen().empty()) << c.dv << " " << c.pulses;
        char width[64] = "", height[64] = "";
        ::GetDlgItemTextA(window, IDC_PROFILE_WIDTH, width, sizeof width);
        ::GetDlgItemTextA(window, IDC_PROFILE_HEIGHT, height, sizeof height);
        EXPECT_STREQ(width, c.width) << c.dv << " " << c.pulses;
        EXPECT_STREQ(height, c.height) << c.dv << " " << c.pulses;
    }
}

// Several windows open at once; each closes by itself, in any order, while the
// others go on sampling.
TEST_F(BasicOperationPage, ProfileWindowsCloseOneByOneInAnyOrder) {
    for (const int order : {0, 1}) {
        Page page;
        std::vector<HWND> windows;
        for (int click = 0; click < 3; ++click) {
            page.Click(IDC_BO_PROFILE);
            windows.push_back(page.m_pProfileDlg->m_hWnd);
        }
        if (order == 1) std::swap(windows.front(), windows.back());
        for (size_t closed = 0; closed < windows.size(); ++closed) {
            ::SendMessageA(windows[closed], WM_CLOSE, 0, 0);
            EXPECT_FALSE(::IsWindow(windows[closed]));
            for (size_t open = closed + 1; open < windows.size(); ++open) ::SendMessageA(windows[open], WM_TIMER, 1, 0);
            page.Tick();
        }
    }
}

// A window over the Profile button would take the next click meant for it.
TEST_F(BasicOperationPage, ProfileWindowsLeaveTheProfileButtonInSight) {
    Page page;
    page.ShowWindow(SW_SHOW);
    RECT button{}, screen{};
    ::GetWindowRect(page.GetDlgItem(IDC_BO_PROFILE)->m_hWnd, &button);
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
    RECT previous{};
    for (int click = 0; click < 3; ++click) {
        page.Click(IDC_BO_PROFILE);
        RECT window{}, overlap{};
        ::GetWindowRect(page.m_pProfileDlg->m_hWnd, &window);
        EXPECT_FALSE(::IntersectRect(&overlap, &window, &button)) << click;
        EXPECT_TRUE(window.left >= screen.left && window.top >= screen.top && window.right <= screen.right &&
                    window.bottom <= screen.bottom)
            << click;
        if (click > 0) {
            EXPECT_NE(window.left, previous.left) << "each window a little beside the one before";
        }
        previous = window;
    }
}

TEST_F(BasicOperationPage, ClearZeroesTheCountersAndLeavingStoresTheParameters) {
    ASSERT_EQ(rm720_set_cmdcounter(kCardA, kAxisX, 1234), SUCCESS_NO_ERROR);
    {
        Page page;
        page.Tick();
        EXPECT_EQ(page.Text(IDC_BO_LOGIC_POSITION), "1234");
        page.Click(IDC_BO_CLEAR);
        page.Tick();
        EXPECT_EQ(page.Text(IDC_BO_LOGIC_POSITION), "0");
        EXPECT_EQ(page.Text(IDC_BO_ENCODER_POSITION), "0");
        page.Type(IDC_BO_OUTPUT_PULSE, "777");
    }
    AxisMotionParams stored;
    m_main.GetAxisMotionParams(0, 0, 1, &stored);
    EXPECT_EQ(stored.outputPulse, 777);
}

TEST_F(BasicOperationPage, OpeningOnAMovingAxisFollowsItToItsEnd) {
    // The widest range runs at 1 PPS: the axis is far from its limits while the page opens.
    ASSERT_EQ(rm720_set_range(kCardA, kAxisX, 8000000), SUCCESS_NO_ERROR);
    int32_t limits[6] = {};
    ASSERT_EQ(rm720_get_range_settings(kCardA, kAxisX, limits), SUCCESS_NO_ERROR);
    const auto slowest = static_cast<uint32_t>(limits[4]), gentlest = static_cast<uint32_t>(limits[2]);
    ASSERT_EQ(rm720_velocity_move(kCardA, kAxisX, slowest, slowest, gentlest, 1), SUCCESS_NO_ERROR);
    Page page;
    EXPECT_EQ(page.m_Motion.moving, 1);
    ASSERT_EQ(rm720_stop_move(kCardA, kAxisX, 0x27), SUCCESS_NO_ERROR);  // returns once the axis stands
    page.Tick();
    EXPECT_EQ(page.m_Motion.moving, 0);
    EXPECT_EQ(page.Pane(2), "DRIVE_FINISH_WITH_STOP_COMMAND");
    EXPECT_EQ(page.Text(IDC_BO_CURRENT_SPEED), "0");
}

TEST_F(BasicOperationPage, ChangingTheCardKeepsTheLastAxisAndDrivesTheOtherModel) {
    ASSERT_EQ(rm730_set_cmdcounter(1, kAxisX, 0), SUCCESS_NO_ERROR);
    Page page;
    page.Type(IDC_BO_OUTPUT_PULSE, "555");
    page.SelectCard(1);  // the model-B card: its first axis is taken
    EXPECT_EQ(page.m_ActiveModel, 1);
    EXPECT_EQ(page.m_ActiveCardID, 1);
    EXPECT_EQ(page.m_ActiveAxis, 1);
    EXPECT_EQ(m_main.m_Settings[1].isModelB, 1);
    AxisMotionParams left;
    m_main.GetAxisMotionParams(0, 0, 1, &left);
    EXPECT_EQ(left.outputPulse, 555);
    EXPECT_EQ(page.Text(IDC_BO_OUTPUT_PULSE), "10000") << "the model-B axis's own value";

    page.Forward(IDC_BO_CONST_VELOCITY, IDC_BO_S_CURVE, IDC_BO_CONST_VELOCITY, "300");
    page.PollUntilStopped();
    int32_t counter = 0;
    ASSERT_EQ(rm730_get_cmdcounter(1, kAxisX, &counter), SUCCESS_NO_ERROR);
    EXPECT_EQ(counter, 300);
}

TEST_F(BasicOperationPage, ResetRefreshesOnlyTheServoLamp) {
    Page page;
    page.Type(IDC_BO_SV, "12000");
    page.Click(IDC_BO_RESET);
    EXPECT_EQ(page.Text(IDC_BO_SV), "12000");
    uint8_t servo = 0;
    ASSERT_EQ(rm720_get_out1_status(kCardA, kAxisX, &servo), SUCCESS_NO_ERROR);
    const HICON expected = static_cast<HICON>(::LoadImageA(
        AfxGetResourceHandle(), MAKEINTRESOURCEA(servo == 1 ? IDI_LAMP_ON : IDI_LAMP_OFF), IMAGE_ICON, 16, 16, LR_SHARED));
    EXPECT_EQ(page.ServoLamp(), expected);
}

// ---- From the main window ---------------------------------------------------------

class MainWindow : public CMainDlg {
public:
    MainWindow() : CMainDlg(2, kTwoCards, nullptr) {}
    static constexpr uint8_t kTwoCards[16] = {1, 1};
    int32_t Model() const { return m_ActiveModel; }
    int32_t CardId() const { return m_ActiveCardID; }
    int32_t AxisBit() const { return m_ActiveAxis; }
    int32_t GoConfig() const { return m_bGoConfig; }
    int32_t GoBasic() const { return m_bGoBasic; }
};

// The scripted user: opens the page from the main window, leaves it with
// "To Config", closes the Axis Configuration page that the main window chains
// to, then closes the main window.
struct Visit {
    HWND main = nullptr;
    int step = 0, ticks = 0;
    bool pageSeen = false, timedOut = false, configOpened = false;
    MainWindow* window = nullptr;
} g_visit;

HWND VisibleWindow(const char* caption) {
    HWND hWnd = ::FindWindowA(nullptr, caption);
    return hWnd && ::IsWindowVisible(hWnd) ? hWnd : nullptr;
}

void CALLBACK PlayUser(HWND, UINT, UINT_PTR, DWORD) {
    HWND main = g_visit.window->m_hWnd;
    if (++g_visit.ticks > 400) {
        g_visit.timedOut = true;
        for (const char* caption : {"Basic Operation", "Axis Configuration"})
            if (HWND page = VisibleWindow(caption)) ::PostMessageA(page, WM_COMMAND, IDCANCEL, 0);
        if (main) ::PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    switch (g_visit.step) {
    case 0:
        if (!main || !::IsWindowVisible(main)) return;
        ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_BASIC_OPERATION, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(main, IDC_BASIC_OPERATION)));
        g_visit.step = 1;
        return;
    case 1:
        if (HWND page = VisibleWindow("Basic Operation")) {
            g_visit.pageSeen = true;
            ::PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(page, IDOK)));
            g_visit.step = 2;
        }
        return;
    case 2:
        if (VisibleWindow("Basic Operation")) return;
        if (HWND config = VisibleWindow("Axis Configuration")) {
            g_visit.configOpened = true;
            ::PostMessageA(config, WM_COMMAND, IDCANCEL, 0);
            g_visit.step = 3;
        }
        return;
    case 3:
        if (VisibleWindow("Axis Configuration")) return;
        ::PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        g_visit.step = 4;
        return;
    }
}

TEST_F(BasicOperationPage, MainWindowRunsThePageAndKeepsItsSelection) {
    MainWindow window;
    g_visit = Visit{};
    g_visit.window = &window;
    const UINT_PTR user = ::SetTimer(nullptr, 0, 25, PlayUser);
    window.DoModal();
    ::KillTimer(nullptr, user);
    EXPECT_FALSE(g_visit.timedOut);
    EXPECT_TRUE(g_visit.pageSeen);
    EXPECT_TRUE(g_visit.configOpened) << "\"To Config\" asks for the Axis Configuration page";
    EXPECT_EQ(window.GoConfig(), 0);
    EXPECT_EQ(window.GoBasic(), 0);
    EXPECT_EQ(window.Model(), 0);
    EXPECT_EQ(window.CardId(), 0);
    EXPECT_EQ(window.AxisBit(), 1);
}

}  // namespace
