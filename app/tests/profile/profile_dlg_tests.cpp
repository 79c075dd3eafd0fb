// The Profile window on the default simulated machine (a model-A card with ID 0, a
// model-B card with ID 1): its series, sampling an axis that moves, dropping slow
// reads, its edits, pause, clear, set, the track modes and closing. The sampling timer
// is fired by hand and the performance counter is scripted.
#include <afxwin.h>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "gtest_winelib.h"
#include "patience.h"
#include "message_box_watcher.h"
#include "pixel_grid.h"
#include "plot/plot_model.h"
#include "profile_dlg.h"
#include "resource.h"
#include "rm720.h"
#include "rm730.h"

namespace {

constexpr LONGLONG kTicksPerSecond = 1000000;
constexpr UINT_PTR kSampleTimer = 1;

// The scripted counter: each query takes the next scripted value, or else moves on by
// `step` ticks.
struct ScriptedCounter {
    LONGLONG now = 0;
    LONGLONG step = 10;
    std::deque<int64_t> script;
    int queries = 0;
};
ScriptedCounter g_counter;

BOOL WINAPI ScriptedQueryCounter(LARGE_INTEGER* value) {
    ++g_counter.queries;
    if (!g_counter.script.empty()) {
        g_counter.now = g_counter.script.front();
        g_counter.script.pop_front();
    } else {
        g_counter.now += g_counter.step;
    }
    value->QuadPart = g_counter.now;
    return TRUE;
}

BOOL WINAPI ScriptedQueryFrequency(LARGE_INTEGER* value) {
    value->QuadPart = kTicksPerSecond;
    return TRUE;
}

std::string TextOf(HWND hWnd) {
    char text[256] = "";
    ::GetWindowTextA(hWnd, text, sizeof text);
    return text;
}

void WaitUntilStopped(ApiStatus (*motionDone)(uint8_t, uint16_t, uint8_t*, int16_t*), uint8_t card, uint16_t axis) {
    uint8_t done = 0;
    int16_t state = 0;
    WaitUntil([&] { return motionDone(card, axis, &done, &state) != SUCCESS_NO_ERROR || done == 1; });
    ASSERT_EQ(done, 1) << "the move did not end";
}

class ProfileWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(rm720_open_all(), SUCCESS_NO_ERROR);
        ASSERT_EQ(rm730_open_all(), SUCCESS_NO_ERROR);
    }
    static void TearDownTestSuite() {
        rm720_close_all();
        rm730_close_all();
    }
    void SetUp() override {
        g_counter = ScriptedCounter{};
        CProfileDlg::s_pfnQueryCounter = ScriptedQueryCounter;
        CProfileDlg::s_pfnQueryFrequency = ScriptedQueryFrequency;
    }
    void TearDown() override {
        CProfileDlg::s_pfnQueryCounter = ::QueryPerformanceCounter;
        CProfileDlg::s_pfnQueryFrequency = ::QueryPerformanceFrequency;
    }

    // Opens the window as the Basic Operation page does; the test fires its timer.
    static void Open(CProfileDlg& dialog, CWnd* parent = nullptr) {
        ASSERT_TRUE(dialog.Create(IDD_PROFILE, parent));
        dialog.ShowWindow(SW_SHOW);
        ASSERT_TRUE(::KillTimer(dialog.m_hWnd, kSampleTimer)) << "showing started the sampling timer";
    }
    static void Tick(CProfileDlg& dialog) { dialog.SendMessage(WM_TIMER, kSampleTimer); }
    // A tick whose counter queries answer the given values, in order.
    static void Tick(CProfileDlg& dialog, std::initializer_list<int64_t> counter) {
        g_counter.script = counter;
        Tick(dialog);
    }
    static const PlotModel& Plot(const CProfileDlg& dialog) {
        return *PlotControlModel(::GetDlgItem(dialog.m_hWnd, IDC_PROFILE_GRAPH));
    }
    static const std::vector<PlotPoint>& Points(const CProfileDlg& dialog, int element) {
        return Plot(dialog).Elements().at(element).points;
    }
    static void Click(CProfileDlg& dialog, int id) { dialog.SendDlgItemMessage(id, BM_CLICK); }
    static void Check(CProfileDlg& dialog, int logicPos, int encoderPos, int speed, int encoderSpeed) {
        dialog.CheckDlgButton(IDC_PROFILE_LOGIC_POS, logicPos);
        dialog.CheckDlgButton(IDC_PROFILE_ENCODER_POS, encoderPos);
        dialog.CheckDlgButton(IDC_PROFILE_SPEED, speed);
        dialog.CheckDlgButton(IDC_PROFILE_ENCODER_SPEED, encoderSpeed);
    }
    // Opens the window with the given series checked and takes the first tick at start.
    static void OpenAndStart(CProfileDlg& dialog, int logicPos, int encoderPos, int speed, int encoderSpeed,
                             int64_t start) {
        Open(dialog);
        Check(dialog, logicPos, encoderPos, speed, encoderSpeed);
        Tick(dialog, {start});
    }
    static void ExpectRange(const CProfileDlg& dialog, double xMin, double xMax, double yMin, double yMax) {
        const PlotRange& range = Plot(dialog).Range();
        EXPECT_DOUBLE_EQ(range.xMin, xMin);
        EXPECT_DOUBLE_EQ(range.xMax, xMax);
        EXPECT_DOUBLE_EQ(range.yMin, yMin);
        EXPECT_DOUBLE_EQ(range.yMax, yMax);
    }
};

// ---- Set-up -------------------------------------------------------------------------

TEST_F(ProfileWindowTest, ShowingSetsUpTheFourSeriesTheRangeAndTheEdits) {
    CProfileDlg dialog(0, 1, 12.5, 3000);
    Open(dialog);
    const PlotModel& plot = Plot(dialog);
    ASSERT_EQ(plot.Elements().size(), 4u);
    const struct {
        const char* name;
        COLORREF colour;
        bool shown;
    } expected[4] = {{"CMD Pos.", 0x00FF00, true}, {"ENC Pos.", 0x0000FF, false},
                     {"CMD Speed", 0xFFFF00, true}, {"ENC Speed", 0x00FFFF, false}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(plot.Elements()[i].name, expected[i].name);
        EXPECT_EQ(plot.Elements()[i].colour, expected[i].colour) << i;
        EXPECT_EQ(plot.Elements()[i].shown, expected[i].shown) << i;
        EXPECT_TRUE(plot.Elements()[i].inLegend) << i;
    }
    EXPECT_TRUE(plot.LegendShown());
    ExpectRange(dialog, 0, 12.5, 0, 3000);
    EXPECT_EQ(TextOf(dialog.m_hWnd), "VEXA-RM520 ID:0 AXIS-X");
    const struct {
        int id;
        const char* text;
    } edits[] = {{IDC_PROFILE_XMIN, "0"}, {IDC_PROFILE_WIDTH, "12.5"}, {IDC_PROFILE_YMIN, "0"},
                 {IDC_PROFILE_HEIGHT, "3000"}};
    for (const auto& edit : edits) EXPECT_EQ(TextOf(::GetDlgItem(dialog.m_hWnd, edit.id)), edit.text);
    EXPECT_EQ(dialog.IsDlgButtonChecked(IDC_PROFILE_LOGIC_POS), 1u);
    EXPECT_EQ(dialog.IsDlgButtonChecked(IDC_PROFILE_ENCODER_POS), 0u);
    EXPECT_EQ(dialog.IsDlgButtonChecked(IDC_PROFILE_SPEED), 1u);
    EXPECT_EQ(dialog.IsDlgButtonChecked(IDC_PROFILE_ENCODER_SPEED), 0u);
}

TEST_F(ProfileWindowTest, TitleNamesTheCardAndTheAxis) {
    const struct {
        int card, axis;
        const char* title;
    } cases[] = {{0, 2, "VEXA-RM520 ID:0 AXIS-Y"}, {3, 4, "VEXA-RM520 ID:3 AXIS-Z"},
                 {15, 8, "VEXA-RM520 ID:15 AXIS-U"}, {0, 3, "VEXA-RM520 ID:0 AXIS-U"}};
    for (const auto& c : cases) {
        CProfileDlg dialog(c.card, c.axis, 10, 100);
        Open(dialog);
        EXPECT_EQ(TextOf(dialog.m_hWnd), c.title);
    }
}

TEST_F(ProfileWindowTest, ShowingAgainNeitherAddsElementsNorRestartsAPausedPlot) {
    CProfileDlg dialog(0, 1, 10, 100);
    Open(dialog);
    Click(dialog, IDC_PROFILE_PAUSE);
    dialog.ShowWindow(SW_HIDE);
    dialog.SendMessage(WM_SHOWWINDOW, TRUE, SW_PARENTOPENING);
    dialog.ShowWindow(SW_SHOW);
    EXPECT_EQ(Plot(dialog).Elements().size(), 4u);
    EXPECT_FALSE(::KillTimer(dialog.m_hWnd, kSampleTimer)) << "still paused";
    EXPECT_EQ(TextOf(::GetDlgItem(dialog.m_hWnd, IDC_PROFILE_PAUSE)), "Restart");
}

// ---- Sampling -----------------------------------------------------------------------

TEST_F(ProfileWindowTest, FirstTickOnlySetsTheTimeBase) {
    CProfileDlg dialog(0, 1, 10, 100);
    Open(dialog);
    Tick(dialog);
    EXPECT_EQ(g_counter.queries, 1);
    for (int element = 0; element < 4; ++element) EXPECT_TRUE(Points(dialog, element).empty()) << element;
    Tick(dialog);  // "Logic Pos." and "Speed": two timed reads
    EXPECT_EQ(g_counter.queries, 1 + 4);
    EXPECT_EQ(Points(dialog, 0).size(), 1u);
    EXPECT_EQ(Points(dialog, 2).size(), 1u);
    EXPECT_TRUE(Points(dialog, 1).empty());
    EXPECT_TRUE(Points(dialog, 3).empty());
}

TEST_F(ProfileWindowTest, ReadsOnlyForCheckedSeries) {
    const struct {
        int logicPos, encoderPos, speed, encoderSpeed;
        int reads;
    } cases[] = {{0, 0, 1, 0, 1}, {1, 0, 0, 0, 1}, {0, 1, 0, 1, 1}, {0, 0, 0, 1, 1}, {1, 1, 1, 1, 3}, {0, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        CProfileDlg dialog(0, 1, 10, 100);
        Open(dialog);
        Check(dialog, c.logicPos, c.encoderPos, c.speed, c.encoderSpeed);
        Tick(dialog);
        const int before = g_counter.queries;
        Tick(dialog);
        EXPECT_EQ(g_counter.queries - before, 2 * c.reads)
            << c.logicPos << c.encoderPos << c.speed << c.encoderSpeed << ": each read is timed on its own";
    }
}

TEST_F(ProfileWindowTest, DropsAReadThatTook50MicrosecondsOrMore) {
    CProfileDlg dialog(0, 1, 10, 100);
    OpenAndStart(dialog, 0, 0, 1, 0, 1000);
    Tick(dialog, {2000, 2050, 2100, 2150, 2200, 2250, 2300, 2350});
    EXPECT_TRUE(Points(dialog, 2).empty()) << "exactly 50 us is too slow, each of four attempts";
    Tick(dialog, {3000, 3049});
    ASSERT_EQ(Points(dialog, 2).size(), 1u);
    EXPECT_DOUBLE_EQ(Points(dialog, 2)[0].x, (3049 - 1000) / 1e6) << "stamped with the time after the read";
    EXPECT_EQ(Points(dialog, 2)[0].y, 0) << "the axis stands";
}

TEST_F(ProfileWindowTest, EncoderSpeedOfADroppedSampleCountsInTheNextOne) {
    ASSERT_EQ(rm720_set_enccounter(0, 2, 0), SUCCESS_NO_ERROR);
    CProfileDlg dialog(0, 2, 10, 100);
    OpenAndStart(dialog, 0, 1, 0, 1, 0);  // the reference: encoder 0 at time 0
    ASSERT_EQ(rm720_set_enccounter(0, 2, 1000), SUCCESS_NO_ERROR);
    Tick(dialog, {100000, 100060, 100100, 100160, 100200, 100260, 100300, 100360});
    EXPECT_TRUE(Points(dialog, 1).empty());
    EXPECT_TRUE(Points(dialog, 3).empty());
    ASSERT_EQ(rm720_set_enccounter(0, 2, -3000), SUCCESS_NO_ERROR);
    Tick(dialog, {200000, 200010});
    ASSERT_EQ(Points(dialog, 1).size(), 1u);
    EXPECT_DOUBLE_EQ(Points(dialog, 1)[0].x, 0.20001);
    EXPECT_EQ(Points(dialog, 1)[0].y, -3000);
    ASSERT_EQ(Points(dialog, 3).size(), 1u);
    EXPECT_EQ(Points(dialog, 3)[0].y, 14999) << "|-3000 - 0| / 0.20001 s, truncated";
    ASSERT_EQ(rm720_set_enccounter(0, 2, 0), SUCCESS_NO_ERROR);
}

// A read held up once is made again at once, timed on its own; a failed read is
// not made again.
TEST_F(ProfileWindowTest, AReadHeldUpIsMadeAgainWithinTheTick) {
    ASSERT_EQ(rm720_set_enccounter(0, 2, 0), SUCCESS_NO_ERROR);
    CProfileDlg dialog(0, 2, 10, 100);
    OpenAndStart(dialog, 0, 1, 0, 1, 0);
    ASSERT_EQ(rm720_set_enccounter(0, 2, 500), SUCCESS_NO_ERROR);
    Tick(dialog, {10000, 10400, 10410, 10420});  // 400 us, then 10 us
    EXPECT_EQ(g_counter.queries, 1 + 4);
    ASSERT_EQ(Points(dialog, 1).size(), 1u);
    EXPECT_DOUBLE_EQ(Points(dialog, 1)[0].x, 0.01042) << "stamped after the attempt that was used";
    ASSERT_EQ(Points(dialog, 3).size(), 1u);
    EXPECT_EQ(Points(dialog, 3)[0].y, 47984) << "500 / 0.01042 s, truncated";

    CProfileDlg closed(9, 1, 10, 100);  // no such card: every read fails
    OpenAndStart(closed, 1, 0, 0, 0, 0);
    const int before = g_counter.queries;
    Tick(closed);
    EXPECT_EQ(g_counter.queries - before, 2) << "one attempt";
    EXPECT_TRUE(Points(closed, 0).empty());
    ASSERT_EQ(rm720_set_enccounter(0, 2, 0), SUCCESS_NO_ERROR);
}

// A busy machine: the first attempt of every read is held up. Each tick still
// keeps its point, so the encoder speed follows the axis tick by tick instead of
// one average over the whole move.
TEST_F(ProfileWindowTest, UnderLoadEveryTickKeepsItsEncoderSpeed) {
    ASSERT_EQ(rm720_set_enccounter(0, 2, 0), SUCCESS_NO_ERROR);
    CProfileDlg dialog(0, 2, 10, 100);
    OpenAndStart(dialog, 0, 0, 0, 1, 0);
    const int32_t positions[] = {100, 300, 600, 1000, 1000, 900};  // speeds up, stands, turns back
    for (int tick = 0; tick < 6; ++tick) {
        ASSERT_EQ(rm720_set_enccounter(0, 2, positions[tick]), SUCCESS_NO_ERROR);
        const int64_t start = 10000 * (tick + 1);
        Tick(dialog, {start, start + 200, start + 210, start + 220});  // 200 us, then 10 us
    }
    const std::vector<PlotPoint>& speeds = Points(dialog, 3);
    ASSERT_EQ(speeds.size(), 6u);
    const double expected[] = {100 / 0.01022, 200 / 0.01, 300 / 0.01, 400 / 0.01, 0, 100 / 0.01};
    for (int tick = 0; tick < 6; ++tick) EXPECT_NEAR(speeds[tick].y, expected[tick], 1.0) << tick;
    ASSERT_EQ(rm720_set_enccounter(0, 2, 0), SUCCESS_NO_ERROR);
}

TEST_F(ProfileWindowTest, NoEncoderSpeedWithoutTimeSinceTheLastSample) {
    CProfileDlg dialog(0, 2, 10, 100);
    OpenAndStart(dialog, 0, 1, 0, 1, 500);
    Tick(dialog, {500, 500});  // a counter that did not move
    EXPECT_EQ(Points(dialog, 1).size(), 1u);
    EXPECT_TRUE(Points(dialog, 3).empty()) << "no division by zero time";
    Tick(dialog, {600, 600});
    ASSERT_EQ(Points(dialog, 3).size(), 1u);
    EXPECT_EQ(Points(dialog, 3)[0].y, 0) << "the axis stands";
}

// Fires ticks while the axis runs, then one after it stopped; each tick is 10 ms later.
void SampleUntilStopped(CProfileDlg& dialog, ApiStatus (*motionDone)(uint8_t, uint16_t, uint8_t*, int16_t*),
                        uint8_t card, uint16_t axis) {
    for (int i = 0; i < 20; ++i) {
        g_counter.now += 10000;
        dialog.SendMessage(WM_TIMER, kSampleTimer);
    }
    WaitUntilStopped(motionDone, card, axis);
    g_counter.now += 10000;
    dialog.SendMessage(WM_TIMER, kSampleTimer);
}

void ExpectRisingTo(const std::vector<PlotPoint>& points, double target) {
    ASSERT_GE(points.size(), 2u);
    for (size_t i = 1; i < points.size(); ++i) {
        EXPECT_LT(points[i - 1].x, points[i].x) << i;
        EXPECT_LE(points[i - 1].y, points[i].y) << i;
    }
    EXPECT_EQ(points.back().y, target);
}

TEST_F(ProfileWindowTest, PlotsAMovingAxisOfTheModelACard) {
    // Short of the default machine's plus limit switch (200000).
    CProfileDlg dialog(0, 4, 12, 180000);
    Open(dialog);
    Tick(dialog);
    ASSERT_EQ(rm720_const_move(0, 4, 20000, 150000), SUCCESS_NO_ERROR);
    SampleUntilStopped(dialog, rm720_motion_done, 0, 4);
    ExpectRisingTo(Points(dialog, 0), 150000);
    for (const PlotPoint& p : Points(dialog, 2)) EXPECT_LE(p.y, 20000 * 1.01);
    EXPECT_EQ(Points(dialog, 2).back().y, 0) << "stopped";
    ASSERT_EQ(rm720_set_cmdcounter(0, 4, 0), SUCCESS_NO_ERROR);
}

TEST_F(ProfileWindowTest, ReadsAModelBCardThroughTheModelBLibrary) {
    CProfileDlg modelB(1, 1, 8, 120000, nullptr, 1);
    CProfileDlg asModelA(1, 1, 8, 120000);
    Open(modelB);
    Open(asModelA);
    Tick(modelB);
    Tick(asModelA);
    ASSERT_EQ(rm730_const_move(1, 1, 20000, 100000), SUCCESS_NO_ERROR);
    g_counter.now += 10000;
    Tick(asModelA);
    SampleUntilStopped(modelB, rm730_motion_done, 1, 1);
    ExpectRisingTo(Points(modelB, 0), 100000);
    EXPECT_TRUE(Points(asModelA, 0).empty()) << "card 1 is no model-A card: its failed reads plot nothing";
    EXPECT_TRUE(Points(asModelA, 2).empty());
    ASSERT_EQ(rm730_set_cmdcounter(1, 1, 0), SUCCESS_NO_ERROR);
}

TEST_F(ProfileWindowTest, ScrollsOnlyOnceTheTimePassesXminPlusSpan) {
    CProfileDlg dialog(0, 1, 1, 100);
    OpenAndStart(dialog, 0, 0, 1, 0, 0);
    Tick(dialog, {999000, 999010});
    ExpectRange(dialog, 0, 1, 0, 100);
    Tick(dialog, {1500000, 1500010});
    ExpectRange(dialog, 0.50001, 1.50001, 0, 100);
}

// ---- Commands -----------------------------------------------------------------------

TEST_F(ProfileWindowTest, PauseAndRestartKeepTheTimeBase) {
    CProfileDlg dialog(0, 1, 10, 100);
    Open(dialog);
    Check(dialog, 0, 0, 1, 0);
    Tick(dialog);
    Tick(dialog);
    Click(dialog, IDC_PROFILE_PAUSE);
    EXPECT_EQ(TextOf(::GetDlgItem(dialog.m_hWnd, IDC_PROFILE_PAUSE)), "Restart");
    EXPECT_FALSE(::KillTimer(dialog.m_hWnd, kSampleTimer)) << "paused: no timer";
    g_counter.now += 5 * kTicksPerSecond;
    Click(dialog, IDC_PROFILE_PAUSE);
    EXPECT_EQ(TextOf(::GetDlgItem(dialog.m_hWnd, IDC_PROFILE_PAUSE)), "Pause");
    EXPECT_TRUE(::KillTimer(dialog.m_hWnd, kSampleTimer)) << "restarted";
    Tick(dialog);
    const std::vector<PlotPoint>& speed = Points(dialog, 2);
    ASSERT_EQ(speed.size(), 2u);
    EXPECT_GE(speed[1].x - speed[0].x, 5.0) << "a five-second gap";
}

TEST_F(ProfileWindowTest, ClearEmptiesThePlotAndTheNextTickStartsAgainAtZero) {
    CProfileDlg dialog(0, 1, 10, 100);
    Open(dialog);
    Tick(dialog);
    g_counter.now += 3 * kTicksPerSecond;
    Tick(dialog);
    ASSERT_FALSE(Points(dialog, 0).empty());
    Click(dialog, IDC_PROFILE_CLEAR);
    ASSERT_EQ(Plot(dialog).Elements().size(), 4u);
    for (int element = 0; element < 4; ++element) EXPECT_TRUE(Points(dialog, element).empty());
    EXPECT_EQ(Plot(dialog).Elements()[2].name, "CMD Speed");
    ExpectRange(dialog, 0, 10, 0, 100);
    Tick(dialog);
    EXPECT_TRUE(Points(dialog, 0).empty()) << "a new time base";
    Tick(dialog);
    ASSERT_EQ(Points(dialog, 0).size(), 1u);
    EXPECT_LT(Points(dialog, 0)[0].x, 0.001);
}

TEST_F(ProfileWindowTest, SetAppliesTheRangeEdits) {
    CProfileDlg dialog(0, 1, 10, 100);
    Open(dialog);
    dialog.SetDlgItemText(IDC_PROFILE_XMIN, "2");
    dialog.SetDlgItemText(IDC_PROFILE_WIDTH, "20");
    dialog.SetDlgItemText(IDC_PROFILE_YMIN, "-50");
    dialog.SetDlgItemText(IDC_PROFILE_HEIGHT, "500");
    Click(dialog, IDC_PROFILE_SET);
    ExpectRange(dialog, 2, 22, -50, 450);
    Click(dialog, IDC_PROFILE_CLEAR);
    ExpectRange(dialog, 2, 22, -50, 450);
}

TEST_F(ProfileWindowTest, RangeEditsRefuseValuesBeyondTheirLimits) {
    const struct {
        int id;
        const char* text;
        const char* message;  // null: accepted
    } cases[] = {
        {IDC_PROFILE_WIDTH, "100.5", "Please enter a number between 0 and 100."},
        {IDC_PROFILE_WIDTH, "abc", "Please enter a number."},
        {IDC_PROFILE_XMIN, "-1", "Please enter a number between 0 and 100."},
        {IDC_PROFILE_XMIN, "101", "Please enter a number between 0 and 100."},
        {IDC_PROFILE_HEIGHT, "0.5", "Please enter a number between 1 and 10000000."},
        {IDC_PROFILE_HEIGHT, "10000001", "Please enter a number between 1 and 10000000."},
        {IDC_PROFILE_WIDTH, "100", nullptr},
        {IDC_PROFILE_HEIGHT, "1", nullptr},
        {IDC_PROFILE_YMIN, "-1e9", nullptr},
    };
    for (const auto& c : cases) {
        CProfileDlg dialog(0, 1, 10, 100);
        Open(dialog);
        MessageBoxWatcher watcher;
        dialog.SetDlgItemText(c.id, c.text);
        Click(dialog, IDC_PROFILE_SET);
        if (c.message) {
            ASSERT_EQ(watcher.Seen().size(), 1u) << c.text;
            EXPECT_EQ(watcher.Seen()[0].text, c.message);
            ExpectRange(dialog, 0, 10, 0, 100);
            Click(dialog, IDC_PROFILE_CLEAR);  // the refused value reached nothing
            ExpectRange(dialog, 0, 10, 0, 100);
        } else {
            EXPECT_TRUE(watcher.Seen().empty()) << c.text;
        }
    }
}

TEST_F(ProfileWindowTest, TicksLeaveAnEditBeingTypedAloneAndReportARefusalOnce) {
    CProfileDlg dialog(0, 1, 10, 100);
    Open(dialog);
    MessageBoxWatcher watcher;
    HWND width = ::GetDlgItem(dialog.m_hWnd, IDC_PROFILE_WIDTH);
    dialog.SetDlgItemText(IDC_PROFILE_WIDTH, "200");
    ::SetFocus(width);
    ASSERT_EQ(::GetFocus(), width);
    Tick(dialog);
    Tick(dialog);
    EXPECT_TRUE(watcher.Seen().empty()) << "no message while typing";

    ::SetFocus(::GetDlgItem(dialog.m_hWnd, IDC_PROFILE_PAUSE));
    const size_t before = Points(dialog, 0).size();
    // A second tick waits in the queue; the refusal message's loop runs it.
    dialog.PostMessage(WM_TIMER, kSampleTimer);
    Tick(dialog);
    EXPECT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(Points(dialog, 0).size(), before + 2) << "both ticks sampled";
    EXPECT_EQ(::GetFocus(), width) << "the refused edit has the focus again";
}

// The ticks that a refusal message's loop runs must not raise another message over
// it, by Set or by a Source box, nor once the focus has left the refused edit; the
// window stays usable.
TEST_F(ProfileWindowTest, ARefusedRangeGivesOneMessageWhateverTheTicksDo) {
    for (int trigger : {IDC_PROFILE_SET, IDC_PROFILE_SPEED}) {
        CProfileDlg dialog(0, 1, 10, 100);
        Open(dialog);
        MessageBoxWatcher watcher;
        dialog.SetDlgItemText(IDC_PROFILE_WIDTH, "200");
        for (int tick = 0; tick < 3; ++tick) dialog.PostMessage(WM_TIMER, kSampleTimer);
        Click(dialog, trigger);
        ASSERT_EQ(watcher.Seen().size(), 1u) << trigger;
        EXPECT_EQ(watcher.Seen()[0].text, "Please enter a number between 0 and 100.");
        ::SetFocus(::GetDlgItem(dialog.m_hWnd, IDC_PROFILE_PAUSE));
        for (int tick = 0; tick < 3; ++tick) Tick(dialog);
        Click(dialog, IDC_PROFILE_ENCODER_POS);
        Tick(dialog);
        EXPECT_EQ(watcher.Seen().size(), 2u) << "the Source box reads the controls itself, once";
        EXPECT_TRUE(Plot(dialog).Elements()[1].shown);
        dialog.SetDlgItemText(IDC_PROFILE_WIDTH, "20");
        Click(dialog, IDC_PROFILE_SET);
        EXPECT_EQ(watcher.Seen().size(), 2u);
        ExpectRange(dialog, 0, 20, 0, 100);
    }
}

TEST_F(ProfileWindowTest, TrackModeRadiosSetTheModeAndNoneResetsTheRange) {
    CProfileDlg dialog(0, 1, 10, 100);
    Open(dialog);
    const struct {
        int id;
        PlotTrackMode mode;
    } radios[] = {{IDC_PROFILE_PAN, PlotTrackMode::Pan},
                  {IDC_PROFILE_ZOOM, PlotTrackMode::Zoom},
                  {IDC_PROFILE_TRACK, PlotTrackMode::Track}};
    for (const auto& radio : radios) {
        Click(dialog, radio.id);
        EXPECT_EQ(Plot(dialog).TrackMode(), radio.mode);
    }
    dialog.SetDlgItemText(IDC_PROFILE_XMIN, "5");
    Click(dialog, IDC_PROFILE_SET);
    ExpectRange(dialog, 5, 15, 0, 100);
    Click(dialog, IDC_PROFILE_NONE);
    EXPECT_EQ(Plot(dialog).TrackMode(), PlotTrackMode::None);
    ExpectRange(dialog, 0, 10, 0, 100);
}

TEST_F(ProfileWindowTest, SourceCheckBoxesShowAndHideTheirSeries) {
    CProfileDlg dialog(0, 1, 10, 100);
    Open(dialog);
    const int boxes[4] = {IDC_PROFILE_LOGIC_POS, IDC_PROFILE_ENCODER_POS, IDC_PROFILE_SPEED,
                          IDC_PROFILE_ENCODER_SPEED};
    for (int element = 0; element < 4; ++element) {
        const bool before = Plot(dialog).Elements()[element].shown;
        Click(dialog, boxes[element]);
        EXPECT_NE(Plot(dialog).Elements()[element].shown, before) << element;
        EXPECT_EQ(Plot(dialog).CurrentIndex(), element);
    }
}

// ---- Closing ------------------------------------------------------------------------

TEST_F(ProfileWindowTest, CloseBoxEscapeAndTheObjectEndTheWindowEnterDoesNot) {
    {
        CProfileDlg dialog(0, 1, 10, 100);
        Open(dialog);
        dialog.SendMessage(WM_COMMAND, IDOK);
        EXPECT_TRUE(dialog.m_hWnd && dialog.IsWindowVisible());
        dialog.SendMessage(WM_CLOSE);
        EXPECT_EQ(dialog.m_hWnd, nullptr);
    }
    HWND hWnd = nullptr;
    {
        CProfileDlg dialog(0, 1, 10, 100);
        Open(dialog);
        hWnd = dialog.m_hWnd;
        dialog.SendMessage(WM_COMMAND, IDCANCEL);
        EXPECT_EQ(dialog.m_hWnd, nullptr);
        EXPECT_FALSE(::IsWindow(hWnd));
    }
    {
        CProfileDlg dialog(0, 1, 10, 100);
        Open(dialog);
        hWnd = dialog.m_hWnd;
    }
    EXPECT_FALSE(::IsWindow(hWnd)) << "the window goes with its object";
}

TEST_F(ProfileWindowTest, GoesWithItsParentAndStopsItsTimer) {
    CWnd parent;
    ASSERT_TRUE(parent.Attach(::CreateWindowExA(0, "Static", "page", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                                                ::GetModuleHandleA(nullptr), nullptr)));
    CProfileDlg dialog(0, 1, 10, 100, &parent);
    ASSERT_TRUE(dialog.Create(IDD_PROFILE, &parent));
    dialog.ShowWindow(SW_SHOW);
    HWND hWnd = dialog.m_hWnd;
    parent.DestroyWindow();
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_FALSE(::KillTimer(hWnd, kSampleTimer));
}

// ---- Screenshot ---------------------------------------------------------------------

// A T-curve move as the Basic Operation page would open the window for it; the
// counter follows the card's clock, so the time axis is the card's.
TEST_F(ProfileWindowTest, PlotsATCurveMoveForTheScreenshot) {
    const uint32_t dv = 2000;
    const int32_t pulses = 120000;
    CProfileDlg dialog(0, 8, pulses * 1.5 / dv, 1.2 * pulses);
    Open(dialog);
    Click(dialog, IDC_PROFILE_ENCODER_POS);
    Click(dialog, IDC_PROFILE_ENCODER_SPEED);
    const char* scaleText = std::getenv("RM7X0_TIME_SCALE");
    const double scale = scaleText ? std::atof(scaleText) : 1.0;
    LARGE_INTEGER frequency, start, now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    g_counter.step = 1;
    Tick(dialog);
    ASSERT_EQ(rm720_t_move(0, 8, 500, dv, 62500, 62500, pulses, 0), SUCCESS_NO_ERROR);
    uint8_t done = 0;
    int16_t state = 0;
    WaitUntil([&] {
        rm720_motion_done(0, 8, &done, &state);
        ::QueryPerformanceCounter(&now);
        g_counter.now = static_cast<LONGLONG>(static_cast<double>(now.QuadPart - start.QuadPart) /
                                              static_cast<double>(frequency.QuadPart) * scale * kTicksPerSecond);
        Tick(dialog);
        return done != 0;
    });
    ASSERT_EQ(done, 1);
    EXPECT_EQ(Points(dialog, 0).back().y, pulses);
    EXPECT_EQ(Points(dialog, 1).back().y, pulses);
    if (const char* folder = std::getenv("RM7X0_ARTIFACT_DIR")) {
        EXPECT_TRUE(SaveWindowBmp(dialog.m_hWnd, std::string(folder) + "/profile-window.bmp"));
    }
    ASSERT_EQ(rm720_set_cmdcounter(0, 8, 0), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_set_enccounter(0, 8, 0), SUCCESS_NO_ERROR);
}

}  // namespace
