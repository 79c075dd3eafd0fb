// The Axis Configuration page on the default machine (model A ID 0, model B
// ID 1), under a main window of its own that is the settings store: the page's
// controls are clicked and typed into, its idle updates fired by hand, and the
// cards' state read back through the motion libraries.
#include <afxwin.h>
#include <unistd.h>

#include <string>

#include "axis_config_dlg.h"
#include "gtest_winelib.h"
#include "main_dlg.h"
#include "message_box_watcher.h"
#include "open_cards.h"
#include "pixel_grid.h"

namespace {

const testing::Environment* const g_openCards = testing::AddGlobalTestEnvironment(new OpenCardsEnvironment);

constexpr int kCardA = 0, kCardB = 1;
constexpr int kAxisX = 1, kAxisY = 2;

// The application object that the main window and the page look for.
class TestApp : public CWinApp {};
TestApp g_app;

std::string TextOf(HWND hWnd) {
    char text[256] = "";
    ::GetWindowTextA(hWnd, text, sizeof text);
    return text;
}

// The main window, modeless, as the application's main window.
class MainWindow : public CMainDlg {
public:
    MainWindow() : CMainDlg(2, kCards, nullptr) {
        Create(IDD_MAIN);
        g_app.m_pMainWnd = this;
    }
    ~MainWindow() override {
        g_app.m_pMainWnd = nullptr;
        DestroyWindow();
    }
    AxisConfigRecord Stored(int model, int cardId, int axis) const {
        AxisConfigRecord record;
        GetAxisConfig(model, cardId, axis, &record);
        return record;
    }
    using CMainDlg::m_ActiveAxis;
    using CMainDlg::m_ActiveCardID;
    using CMainDlg::m_ActiveModel;
    using CMainDlg::m_bGoBasic;
    using CMainDlg::m_bGoConfig;
    using CMainDlg::m_bGoInterp;

private:
    static constexpr uint8_t kCards[16] = {1, 1};
};

// The page, modeless and shown, driven as a user would.
class Page : public CAxisConfigDlg {
public:
    Page() : CAxisConfigDlg(-1, -1, -1) {
        Create(IDD_AXIS_CONFIG);
        ShowWindow(SW_SHOW);
    }
    ~Page() override {
        if (m_hWnd) DestroyWindow();
    }
    using CAxisConfigDlg::m_AxisConfig;
    using CAxisConfigDlg::m_nLastStatus;
    using CAxisConfigDlg::m_tree;

    HWND Item(UINT id) const { return ::GetDlgItem(m_hWnd, id); }
    std::string Text(UINT id) const { return TextOf(Item(id)); }
    bool Enabled(UINT id) const { return ::IsWindowEnabled(Item(id)); }
    std::string Pane(int index) const { return static_cast<LPCSTR>(m_wndStatusBar.GetPaneText(index)); }
    void Click(UINT id) { ::SendMessageA(Item(id), BM_CLICK, 0, 0); }
    void Type(UINT id, const char* text) { ::SetWindowTextA(Item(id), text); }
    void Choose(UINT id, int index) {
        ::SendMessageA(Item(id), CB_SETCURSEL, index, 0);
        SendMessage(WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(id)));
    }
    int Chosen(UINT id) const { return static_cast<int>(::SendMessageA(Item(id), CB_GETCURSEL, 0, 0)); }
    bool Checked(UINT id) const { return ::SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void Idle() { SendMessage(WM_KICKIDLE, MSGF_DIALOGBOX, 0); }
    // Where the caret is: the empty selection's start, -1 when text is selected.
    int Caret(UINT id) const {
        DWORD start = 0, end = 0;
        ::SendMessageA(Item(id), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return start == end ? static_cast<int>(start) : -1;
    }
    // Selects the tree item of that text.
    void Select(const char* card, const char* axis = nullptr) {
        for (HTREEITEM item = m_tree.GetRootItem(); item; item = m_tree.GetNextSiblingItem(item)) {
            if (m_tree.GetItemText(item) != card) continue;
            HTREEITEM child = m_tree.GetChildItem(item);
            while (axis && child && m_tree.GetItemText(child) != axis) child = m_tree.GetNextSiblingItem(child);
            m_tree.SelectItem(axis ? child : item);
            return;
        }
        ADD_FAILURE() << "no card item " << card;
    }
    std::string Selection() const {
        return std::to_string(m_ActiveModel) + "/" + std::to_string(m_ActiveCardID) + "/" + std::to_string(m_ActiveAxis);
    }
};

uint8_t ServoOutput(int model, int cardId, int axis) {
    uint8_t state = 0xFF;
    (model == 0 ? rm720_get_out1_status : rm730_get_out1_status)(static_cast<uint8_t>(cardId),
                                                                   static_cast<uint16_t>(axis), &state);
    return state;
}

int32_t SpeedMax(int model, int cardId, int axis) {
    int32_t limits[6] = {};
    (model == 0 ? rm720_get_range_settings : rm730_get_range_settings)(static_cast<uint8_t>(cardId),
                                                                         static_cast<uint16_t>(axis), limits);
    return limits[5];
}

TEST(AxisConfigPage, OpensOnTheFirstCardsAxisXWithItsRecord) {
    MainWindow main;
    AxisConfigRecord& stored = main.m_Settings[0].cards[kCardA].axis[0];
    stored.pulseMode = 2;
    stored.softLimitPlus = 1234;
    stored.rangeValue = 20000;
    stored.filterFlag[1] = 1;
    stored.filterMode = 0x02;
    stored.intFlag[7] = 1;
    stored.intFactor = 0x80;
    Page page;
    EXPECT_EQ(page.Selection(), "0/0/1");
    EXPECT_EQ(page.m_tree.GetItemText(page.m_tree.GetSelectedItem()), "AXIS-X");
    EXPECT_EQ(page.Chosen(IDC_CFG_PULSE_MODE), 2);
    EXPECT_EQ(page.Chosen(IDC_CFG_ENC_MODE), 3);
    EXPECT_EQ(page.Text(IDC_CFG_SOFT_LIMIT_PLUS), "1234");
    EXPECT_EQ(page.Text(IDC_CFG_SOFT_LIMIT_MINUS), "-1000000");
    EXPECT_EQ(page.Text(IDC_CFG_RANGE), "20000");
    EXPECT_TRUE(page.Checked(IDC_CFG_FILTER_INDEX));
    EXPECT_FALSE(page.Checked(IDC_CFG_FILTER_EMG));
    EXPECT_TRUE(page.Checked(IDC_CFG_INT_DRIVE_END));
    EXPECT_EQ(page.Text(IDC_CFG_SERVO), ServoOutput(0, kCardA, kAxisX) == 1 ? "Servo ON" : "Servo OFF");
    EXPECT_EQ(::SendMessageA(page.Item(IDC_CFG_PULSE_MODE), CB_GETCOUNT, 0, 0), 6);
    EXPECT_EQ(::SendMessageA(page.Item(IDC_CFG_DELAY_TIME), CB_GETCOUNT, 0, 0), 9);
    EXPECT_EQ(page.m_nLastStatus, 0);

    // A model-A card has none of the model-B outputs.
    for (UINT id : {IDC_CFG_ALARM_RESET, IDC_CFG_GDO, IDC_CFG_ERC}) EXPECT_FALSE(page.Enabled(id)) << id;
    EXPECT_EQ(page.Text(IDC_CFG_ALARM_RESET), "AlmRst OFF");
    EXPECT_EQ(page.Text(IDC_CFG_ERC), "ERC OFF");
    EXPECT_EQ(page.Text(IDC_CFG_GDO), "Gdo OFF");

    // Closing the page stores the shown record and applies it to the card.
    page.DestroyWindow();
    EXPECT_EQ(main.Stored(0, kCardA, kAxisX).applied, 1);
    EXPECT_EQ(SpeedMax(0, kCardA, kAxisX), 8000 * (8000000 / 20000));
    main.SetAxisConfig(0, kCardA, kAxisX, AxisConfigRecord{});
}

TEST(AxisConfigPage, ACardItemSelectsItsAxisXAndAnotherAxisTakesTheEditedRecordAlong) {
    MainWindow main;
    Page page;
    page.Choose(IDC_CFG_ENC_MODE, 1);
    page.Type(IDC_CFG_RANGE, "40000");
    EXPECT_EQ(main.Stored(0, kCardA, kAxisX).encMode, 3) << "edits stay on the page";

    page.Select("VEXA-RM730 ID:1");
    EXPECT_EQ(page.m_tree.GetItemText(page.m_tree.GetSelectedItem()), "AXIS-X");
    EXPECT_EQ(page.Selection(), "1/1/1");
    EXPECT_EQ(main.m_Settings[1].isModelB, 1);
    const AxisConfigRecord left = main.Stored(0, kCardA, kAxisX);
    EXPECT_EQ(left.encMode, 1);
    EXPECT_EQ(left.rangeValue, 40000);
    EXPECT_EQ(left.applied, 1);
    EXPECT_EQ(SpeedMax(0, kCardA, kAxisX), 8000 * (8000000 / 40000));
    EXPECT_EQ(page.Chosen(IDC_CFG_ENC_MODE), 3) << "the model-B axis's own record";
    for (UINT id : {IDC_CFG_ALARM_RESET, IDC_CFG_GDO, IDC_CFG_ERC}) EXPECT_TRUE(page.Enabled(id)) << id;

    page.Select("VEXA-RM730 ID:1", "AXIS-Y");
    EXPECT_EQ(page.Selection(), "1/1/2");
    page.Select("VEXA-RM720 ID:0", "AXIS-X");
    EXPECT_EQ(page.Chosen(IDC_CFG_ENC_MODE), 1);
    EXPECT_EQ(page.Text(IDC_CFG_RANGE), "40000");
    main.SetAxisConfig(0, kCardA, kAxisX, AxisConfigRecord{});
}

TEST(AxisConfigPage, SoftLimitEditsRefuseTheWrongSign) {
    MainWindow main;
    Page page;
    page.Type(IDC_CFG_SOFT_LIMIT_PLUS, "250");
    EXPECT_EQ(page.m_AxisConfig.softLimitPlus, 250);
    page.Type(IDC_CFG_SOFT_LIMIT_PLUS, "-35");
    EXPECT_EQ(page.Text(IDC_CFG_SOFT_LIMIT_PLUS), "0");
    EXPECT_EQ(page.m_AxisConfig.softLimitPlus, 0);
    EXPECT_EQ(page.Caret(IDC_CFG_SOFT_LIMIT_PLUS), 1);
    EXPECT_EQ(page.m_AxisConfig.softLimitMinus, -1000000) << "SL- keeps its value";
    page.Type(IDC_CFG_SOFT_LIMIT_PLUS, "77");
    for (const char* refused : {"-", "", "12x", "99999999999"}) {
        page.Type(IDC_CFG_SOFT_LIMIT_PLUS, refused);
        EXPECT_EQ(page.Text(IDC_CFG_SOFT_LIMIT_PLUS), "77") << refused;
        EXPECT_EQ(page.Caret(IDC_CFG_SOFT_LIMIT_PLUS), 2) << refused;
    }

    page.Type(IDC_CFG_SOFT_LIMIT_MINUS, "-");
    EXPECT_EQ(page.Text(IDC_CFG_SOFT_LIMIT_MINUS), "-") << "the start of a negative number stays";
    page.Type(IDC_CFG_SOFT_LIMIT_MINUS, "-4000");
    EXPECT_EQ(page.m_AxisConfig.softLimitMinus, -4000);
    page.Type(IDC_CFG_SOFT_LIMIT_MINUS, "abc");
    EXPECT_EQ(page.Text(IDC_CFG_SOFT_LIMIT_MINUS), "-4000");
    EXPECT_EQ(page.Caret(IDC_CFG_SOFT_LIMIT_MINUS), 5);
    page.Type(IDC_CFG_SOFT_LIMIT_MINUS, "12");
    EXPECT_EQ(page.Text(IDC_CFG_SOFT_LIMIT_MINUS), "0");
    EXPECT_EQ(page.m_AxisConfig.softLimitMinus, 0);
    page.Type(IDC_CFG_SOFT_LIMIT_MINUS, "-2147483648");
    EXPECT_EQ(page.Text(IDC_CFG_SOFT_LIMIT_MINUS), "-2147483647");
    EXPECT_EQ(page.m_AxisConfig.softLimitMinus, -2147483647);
    EXPECT_EQ(page.m_AxisConfig.softLimitPlus, 77);
}

TEST(AxisConfigPage, RangeEditKeepsItsLimits) {
    MainWindow main;
    Page page;
    // Key by key: the first digits of 20000 stand; a value left below the
    // minimum becomes the minimum when the edit loses the focus.
    for (const char* keys : {"2", "20", "200", "2000", "20000"}) {
        page.Type(IDC_CFG_RANGE, keys);
        EXPECT_EQ(page.Text(IDC_CFG_RANGE), keys);
    }
    EXPECT_EQ(page.m_AxisConfig.rangeValue, 20000);
    page.Type(IDC_CFG_RANGE, "5");
    EXPECT_EQ(page.Text(IDC_CFG_RANGE), "5");
    EXPECT_EQ(page.m_AxisConfig.rangeValue, 20000);
    page.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CFG_RANGE, EN_KILLFOCUS), reinterpret_cast<LPARAM>(page.Item(IDC_CFG_RANGE)));
    EXPECT_EQ(page.Text(IDC_CFG_RANGE), "16000");
    EXPECT_EQ(page.m_AxisConfig.rangeValue, 16000);
    page.Type(IDC_CFG_RANGE, "9000000");
    EXPECT_EQ(page.Text(IDC_CFG_RANGE), "8000000");
    EXPECT_EQ(page.m_AxisConfig.rangeValue, 8000000);
    page.Type(IDC_CFG_RANGE, "123456");
    EXPECT_EQ(page.m_AxisConfig.rangeValue, 123456);
    page.Type(IDC_CFG_RANGE, "");
    EXPECT_EQ(page.Text(IDC_CFG_RANGE), "123456") << "emptied: the stored value comes back";
}

TEST(AxisConfigPage, ListsAndCheckBoxesEditTheCopyAndItsMasks) {
    MainWindow main;
    Page page;
    page.Choose(IDC_CFG_DELAY_TIME, 3);
    page.Choose(IDC_CFG_COMPARE_SOURCE, 1);
    page.Choose(IDC_CFG_ALARM_LOGIC, 1);
    EXPECT_EQ(page.m_AxisConfig.delayTime, 3);
    EXPECT_EQ(page.m_AxisConfig.softLimitSource, 1);
    EXPECT_EQ(page.m_AxisConfig.almLevel, 1);
    page.Choose(IDC_CFG_PULSE_MODE, -1);
    EXPECT_EQ(page.m_AxisConfig.pulseMode, 0) << "no selection changes nothing";

    page.Click(IDC_CFG_FILTER_EMG);
    page.Click(IDC_CFG_FILTER_INP);
    page.Click(IDC_CFG_FILTER_IN3);
    page.Click(IDC_CFG_FILTER_INP);
    EXPECT_EQ(page.m_AxisConfig.filterMode, 0x11);
    EXPECT_EQ(page.m_AxisConfig.filterFlag[0], 1);
    EXPECT_EQ(page.m_AxisConfig.filterFlag[2], 0);
    EXPECT_EQ(page.m_AxisConfig.filterFlag[4], 1);

    page.Click(IDC_CFG_INT_COMP_PLUS_LT);
    page.Click(IDC_CFG_INT_CONST_START);
    EXPECT_EQ(page.m_AxisConfig.intFactor, 0x48);
    EXPECT_EQ(page.m_AxisConfig.intFlag[3], 1);
    EXPECT_EQ(page.m_AxisConfig.intFlag[6], 1);

    page.Click(IDC_CFG_INP_ENABLE);
    EXPECT_EQ(page.m_AxisConfig.inpEnable, 1);
    EXPECT_EQ(main.Stored(0, kCardA, kAxisX).inpEnable, 0) << "nothing is stored before the page leaves the axis";
}

TEST(AxisConfigPage, SoftLimitsAndCompareInterruptsExcludeEachOther) {
    MainWindow main;
    Page page;
    const UINT compares[] = {IDC_CFG_INT_COMP_MINUS_GE, IDC_CFG_INT_COMP_MINUS_LT, IDC_CFG_INT_COMP_PLUS_LT,
                             IDC_CFG_INT_COMP_PLUS_GE};
    const UINT softLimitFields[] = {IDC_CFG_SOFT_LIMIT_PLUS, IDC_CFG_SOFT_LIMIT_MINUS, IDC_CFG_COMPARE_SOURCE};
    page.Idle();
    for (UINT id : softLimitFields) EXPECT_FALSE(page.Enabled(id)) << id;
    for (UINT id : compares) EXPECT_TRUE(page.Enabled(id)) << id;
    for (UINT id : {IDC_CFG_DELAY_TIME, IDC_CFG_ALARM_LOGIC, IDC_CFG_INP_LOGIC}) EXPECT_FALSE(page.Enabled(id)) << id;

    page.Click(IDC_CFG_SOFT_LIMIT_ENABLE);
    page.Idle();
    for (UINT id : softLimitFields) EXPECT_TRUE(page.Enabled(id)) << id;
    for (UINT id : compares) EXPECT_FALSE(page.Enabled(id)) << id;
    EXPECT_TRUE(page.Enabled(IDC_CFG_INT_DRIVE_END)) << "the drive factors stay";

    page.Click(IDC_CFG_SOFT_LIMIT_ENABLE);
    page.Click(IDC_CFG_INT_COMP_MINUS_LT);
    page.Idle();
    EXPECT_FALSE(page.Enabled(IDC_CFG_SOFT_LIMIT_ENABLE));
    page.Click(IDC_CFG_INT_COMP_MINUS_LT);
    page.Click(IDC_CFG_INT_DRIVE_END);
    page.Idle();
    EXPECT_TRUE(page.Enabled(IDC_CFG_SOFT_LIMIT_ENABLE));

    page.Click(IDC_CFG_FILTER_INDEX);
    page.Click(IDC_CFG_ALARM_ENABLE);
    page.Click(IDC_CFG_INP_ENABLE);
    page.Idle();
    for (UINT id : {IDC_CFG_DELAY_TIME, IDC_CFG_ALARM_LOGIC, IDC_CFG_INP_LOGIC}) EXPECT_TRUE(page.Enabled(id)) << id;
}

TEST(AxisConfigPage, ServoButtonSwitchesTheCardsOutput) {
    MainWindow main;
    Page page;
    page.Select("VEXA-RM720 ID:0", "AXIS-Y");
    const bool wasOn = page.m_AxisConfig.servoOn == 1;
    page.Click(IDC_CFG_SERVO);
    EXPECT_EQ(ServoOutput(0, kCardA, kAxisY), wasOn ? 0 : 1);
    EXPECT_EQ(page.Text(IDC_CFG_SERVO), wasOn ? "Servo OFF" : "Servo ON");
    page.Click(IDC_CFG_SERVO);
    EXPECT_EQ(ServoOutput(0, kCardA, kAxisY), wasOn ? 1 : 0);
    EXPECT_EQ(page.Text(IDC_CFG_SERVO), wasOn ? "Servo ON" : "Servo OFF");
    EXPECT_EQ(page.m_nLastStatus, 0);
}

TEST(AxisConfigPage, ModelBOutputButtonsSwitchAndAFailureIsShown) {
    MainWindow main;
    Page page;
    page.Select("VEXA-RM730 ID:1", "AXIS-X");
    page.Click(IDC_CFG_GDO);
    EXPECT_EQ(page.Text(IDC_CFG_GDO), "GDO ON");
    EXPECT_EQ(page.m_AxisConfig.gdoEnable, 1);
    page.Click(IDC_CFG_ERC);
    EXPECT_EQ(page.Text(IDC_CFG_ERC), "ERC ON");
    page.Click(IDC_CFG_ALARM_RESET);
    page.Click(IDC_CFG_ALARM_RESET);
    EXPECT_EQ(page.Text(IDC_CFG_ALARM_RESET), "AlmRst OFF");
    EXPECT_EQ(page.m_nLastStatus, 0);

    // With the card closed the library refuses; the page says so and stays.
    const int32_t servoOn = page.m_AxisConfig.servoOn;
    rm730_close_all();
    page.Click(IDC_CFG_GDO);
    page.Click(IDC_CFG_SERVO);
    rm730_open_all();
    EXPECT_EQ(page.m_AxisConfig.gdoEnable, 1) << "the record keeps the output the card has";
    EXPECT_EQ(page.m_AxisConfig.servoOn, servoOn);
    EXPECT_NE(page.m_nLastStatus, 0);
    EXPECT_EQ(page.Pane(0), "Error Code: " + std::to_string(page.m_nLastStatus));
    EXPECT_EQ(page.Pane(1), "rm730_servo_on()");
    EXPECT_EQ(page.Text(IDC_CFG_GDO), "GDO ON") << "a refused switch leaves the button";
    main.SetAxisConfig(1, kCardB, kAxisX, AxisConfigRecord{});
}

// A Windows path of this process's own file, removed at the end.
struct OwnFile {
    std::string path = "C:\\windows\\temp\\rm7x0-axis-config-" + std::to_string(::getpid()) + ".ini";
    ~OwnFile() {
        ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
        ::DeleteFileA(path.c_str());
    }
};

TEST(AxisConfigPage, LoadConfigShowsTheLoadedRecordAtOnce) {
    MainWindow main;
    OwnFile file;
    main.m_Settings[0].cards[kCardA].axis[0].encMode = 1;
    main.m_Settings[0].cards[kCardA].axis[0].pulseMode = 5;
    ASSERT_TRUE(main.SaveRM720Config(file.path.c_str()));
    main.m_Settings[0].cards[kCardA].axis[0] = AxisConfigRecord{};

    Page page;
    EXPECT_EQ(page.Chosen(IDC_CFG_PULSE_MODE), 0);
    {
        MessageBoxWatcher watcher({{"Open VEXA-RM720 ConfigurationFile", IDOK, file.path}});
        page.Click(IDC_CFG_LOAD_CONFIG);
        EXPECT_EQ(watcher.Seen().size(), 1u);
    }
    EXPECT_EQ(page.m_AxisConfig.pulseMode, 5);
    EXPECT_EQ(page.Chosen(IDC_CFG_PULSE_MODE), 5);
    EXPECT_EQ(page.Chosen(IDC_CFG_ENC_MODE), 1);
    main.SetAxisConfig(0, kCardA, kAxisX, AxisConfigRecord{});
}

TEST(AxisConfigPage, SaveConfigStoresTheShownRecordInTheModelBFile) {
    MainWindow main;
    char path[MAX_PATH] = "";
    ASSERT_TRUE(CSettingsStore::DefaultConfigPath(1, path));
    Page page;
    page.Select("VEXA-RM730 ID:1", "AXIS-Y");
    page.Choose(IDC_CFG_PULSE_MODE, 4);
    page.Click(IDC_CFG_SAVE_CONFIG);
    char value[16] = "";
    ::GetPrivateProfileStringA("CardNo:1", "Y-PULSE_MODE", "", value, sizeof value, path);
    EXPECT_STREQ(value, "4");
    EXPECT_EQ(main.Stored(1, kCardB, kAxisY).pulseMode, 4);
    EXPECT_EQ(main.Stored(1, kCardB, kAxisY).applied, 1);
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path);
    ::DeleteFileA(path);
    page.m_AxisConfig = AxisConfigRecord{};
}

// ---- Run from the main window's button --------------------------------------------

struct Visit {
    UINT leaveWith = IDCANCEL;
    bool sawPage = false;
    int ticks = 0;
};
Visit g_visit;

// The user: waits for the page, pictures it once, and leaves it the chosen way.
void CALLBACK LeavePage(HWND, UINT, UINT_PTR, DWORD) {
    HWND page = ::FindWindowA(nullptr, "Axis Configuration");
    if (++g_visit.ticks > 500 && page) ::PostMessageA(page, WM_COMMAND, IDCANCEL, 0);  // stuck: leave
    if (!page || !::IsWindowVisible(page) || g_visit.sawPage) return;
    g_visit.sawPage = true;
    if (g_visit.leaveWith == IDCANCEL) {
        EXPECT_TRUE(SaveWindowArtifact(page, "axis-config.bmp"));
    }
    ::PostMessageA(page, WM_COMMAND, MAKEWPARAM(g_visit.leaveWith, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(page, g_visit.leaveWith)));
}

TEST(ConfigurationButton, RunsThePageAndTheWayOutChoosesTheNextPage) {
    struct Case {
        UINT leaveWith;
        int32_t goBasic, goInterp;
    };
    for (const Case c : {Case{IDCANCEL, 0, 0}, Case{IDOK, 1, 0}, Case{IDC_TO_INTERPOLATION, 0, 1}}) {
        MainWindow main;
        main.m_bGoConfig = 1;
        g_visit = Visit{c.leaveWith};
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, LeavePage);
        main.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_CONFIGURATION, BN_CLICKED),
                         reinterpret_cast<LPARAM>(::GetDlgItem(main, IDC_CONFIGURATION)));
        ::KillTimer(nullptr, timer);
        EXPECT_TRUE(g_visit.sawPage) << c.leaveWith;
        EXPECT_EQ(main.m_bGoConfig, 0) << c.leaveWith;
        EXPECT_EQ(main.m_bGoBasic, c.goBasic) << c.leaveWith;
        EXPECT_EQ(main.m_bGoInterp, c.goInterp) << c.leaveWith;
        EXPECT_EQ(main.m_ActiveModel, 0);
        EXPECT_EQ(main.m_ActiveCardID, 0);
        EXPECT_EQ(main.m_ActiveAxis, 1);
        EXPECT_EQ(main.Stored(0, kCardA, kAxisX).applied, 1) << "the page stored its record when it ended";
    }
}

}  // namespace
