// The program's start on simulated machines: each CTest test runs one suite here
// with the machine file it names (RM7X0_MACHINE), since the motion libraries find
// the cards once, when the program loads them.
#include <afxwin.h>

#include <cstdlib>
#include <string>

#include "gtest_winelib.h"
#include "kavrel_app.h"
#include "message_box_watcher.h"
#include "pixel_grid.h"
#include "resource.h"
#include "rm720.h"
#include "rm730.h"
#include "settings_store.h"
#include "startup_check.h"

namespace {

constexpr const char* kNoCard = "No VEXA-RM720 and VEXA-RM730 is available on your system, please check the system";

// Starts the program and expects it to end with one message box before opening a card.
void ExpectRefusal(const char* message) {
    CKavrelApp app;
    MessageBoxWatcher watcher;
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text, message);
    EXPECT_EQ(watcher.Seen()[0].caption, "Kavrel_New");
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

TEST(StartupWithoutCards, ShowsTheNoCardMessageAndEnds) { ExpectRefusal(kNoCard); }

TEST(StartupWithDuplicatedModelA, ShowsTheModelAMessageAndEnds) {
    ExpectRefusal("Multiple VEXA-RM720 Cards are assigned identical ID, please check the system");
}

TEST(StartupWithDuplicatedModelB, ShowsTheModelBMessageAndEnds) {
    ExpectRefusal("Multiple VEXA-RM730 Cards are assigned identical ID, please check the system");
    // The program ended before opening any card: the good model-A card is free.
    EXPECT_EQ(rm720_open_all(), SUCCESS_NO_ERROR);
    rm720_close_all();
}

TEST(StartupRefusal, FirstMatchingReasonWins) {
    struct Case {
        int16_t modelA, modelB;
        int cards;
        const char* refusal;
    };
    const char* duplicatedA = "Multiple VEXA-RM720 Cards are assigned identical ID, please check the system";
    const char* duplicatedB = "Multiple VEXA-RM730 Cards are assigned identical ID, please check the system";
    const Case cases[] = {
        {ERROR_NO_CARD_FOUND, ERROR_NO_CARD_FOUND, 0, kNoCard},
        {ERROR_CARD_ID_DUPLICATED, ERROR_CARD_ID_DUPLICATED, 0, duplicatedA},
        {ERROR_NO_CARD_FOUND, ERROR_CARD_ID_DUPLICATED, 0, duplicatedB},
        {SUCCESS_NO_ERROR, ERROR_CARD_ID_DUPLICATED, 1, duplicatedB},
        {SUCCESS_NO_ERROR, SUCCESS_NO_ERROR, 0, kNoCard},  // both scans fine, no card
        {ERROR_NO_CARD_FOUND, SUCCESS_NO_ERROR, 1, nullptr},
        {SUCCESS_NO_ERROR, ERROR_NO_CARD_FOUND, 2, nullptr},
        {SUCCESS_NO_ERROR, SUCCESS_NO_ERROR, 2, nullptr},
    };
    for (const Case& c : cases) {
        const char* got = StartupRefusal(c.modelA, c.modelB, c.cards);
        EXPECT_EQ(std::string(got ? got : "(starts)"), std::string(c.refusal ? c.refusal : "(starts)"))
            << c.modelA << " " << c.modelB << " " << c.cards;
    }
}

// ---- The main window ----------------------------------------------------------------

// What the scripted user saw; filled by the timer script while the program runs.
struct MainWindowVisit {
    std::string caption;
    std::string buttonTexts[4];
    bool buttonsOwnerDrawn = false;
    std::string aboutMenuText;
    std::string aboutCaption;
    bool timedOut = false;
    bool saveScreens = false;
    int step = 0, ticks = 0;    // the script's progress, per run
    int32_t speedMaxX[2] = {};  // of the model-A card 0 and the model-B card 1, while the window shows
};
MainWindowVisit g_visit;

std::string TextOf(HWND hWnd) {
    char text[256] = "";
    ::GetWindowTextA(hWnd, text, sizeof text);
    return text;
}

// Captures a window, frame included, as it is on the screen now.
void SaveScreen(HWND hWnd, const char* name) {
    const char* folder = std::getenv("RM7X0_ARTIFACT_DIR");
    if (!g_visit.saveScreens || !folder) return;
    EXPECT_TRUE(SaveWindowBmp(hWnd, std::string(folder) + "/" + name));
}

HWND VisibleWindowWithCaption(const char* caption) {
    HWND hWnd = ::FindWindowA(nullptr, caption);
    return hWnd && ::IsWindowVisible(hWnd) ? hWnd : nullptr;
}

void ReadMainWindow(HWND main) {
    g_visit.caption = TextOf(main);
    const int ids[4] = {IDC_CONFIGURATION, IDC_BASIC_OPERATION, IDC_INTERPOLATION, IDC_TORIX};
    g_visit.buttonsOwnerDrawn = true;
    for (int i = 0; i < 4; ++i) {
        HWND button = ::GetDlgItem(main, ids[i]);
        g_visit.buttonTexts[i] = TextOf(button);
        g_visit.buttonsOwnerDrawn &= (::GetWindowLongA(button, GWL_STYLE) & 0x0F) == BS_OWNERDRAW;
    }
    HMENU system = ::GetSystemMenu(main, FALSE);
    const int last = ::GetMenuItemCount(system) - 1;
    char text[64] = "";
    if (::GetMenuItemID(system, last) == IDM_ABOUTBOX) ::GetMenuStringA(system, last, text, sizeof text, MF_BYPOSITION);
    g_visit.aboutMenuText = text;
    int32_t limits[6] = {};
    if (rm720_get_range_settings(0, 1, limits) == SUCCESS_NO_ERROR) g_visit.speedMaxX[0] = limits[5];
    if (rm730_get_range_settings(1, 1, limits) == SUCCESS_NO_ERROR) g_visit.speedMaxX[1] = limits[5];
}

// The user's script: look at the main window, open the About box from the system
// menu, close it, then close the main window.
void CALLBACK PlayUser(HWND, UINT, UINT_PTR, DWORD) {
    int& step = g_visit.step;
    CWnd* mainWnd = AfxGetMainWnd();
    HWND main = mainWnd ? mainWnd->m_hWnd : nullptr;
    if (++g_visit.ticks > 200) {  // ten seconds: something is stuck
        g_visit.timedOut = true;
        if (HWND about = VisibleWindowWithCaption("About Kavrel_New")) ::PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
        if (main) ::PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    switch (step) {
    case 0:
        if (!main || !::IsWindowVisible(main)) return;
        ReadMainWindow(main);
        SaveScreen(main, "main-window.bmp");
        ::PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        step = 1;
        return;
    case 1:
        if (HWND about = VisibleWindowWithCaption("About Kavrel_New")) {
            g_visit.aboutCaption = TextOf(about);
            SaveScreen(about, "about-box.bmp");
            ::PostMessageA(about, WM_COMMAND, IDOK, 0);
            step = 2;
        }
        return;
    case 2:
        if (VisibleWindowWithCaption("About Kavrel_New")) return;
        ::PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        step = 3;
        return;
    }
}

void RunProgramWithUser(bool saveScreens) {
    g_visit = MainWindowVisit{};
    g_visit.saveScreens = saveScreens;
    CKavrelApp app;
    MessageBoxWatcher watcher;
    const UINT_PTR user = ::SetTimer(nullptr, 0, 50, PlayUser);
    EXPECT_FALSE(app.InitInstance()) << "the program ends after its main window";
    ::KillTimer(nullptr, user);
    for (const SeenMessageBox& box : watcher.Seen()) ADD_FAILURE() << "unexpected message: " << box.text;
    EXPECT_FALSE(g_visit.timedOut);
}

TEST(StartupOnDefaultMachine, ShowsTheMainWindowAndClosesTheCardsAtTheEnd) {
    RunProgramWithUser(true);
    EXPECT_EQ(g_visit.caption, "VEXA-RM730 Kavrel ");
    EXPECT_EQ(g_visit.buttonTexts[0], "Configuration");
    EXPECT_EQ(g_visit.buttonTexts[1], "Basic Operation");
    EXPECT_EQ(g_visit.buttonTexts[2], "Interpolation");
    EXPECT_EQ(g_visit.buttonTexts[3], "Torix");
    EXPECT_TRUE(g_visit.buttonsOwnerDrawn);
    EXPECT_EQ(g_visit.aboutMenuText, "&About Kavrel_New...");
    EXPECT_EQ(g_visit.aboutCaption, "About Kavrel_New");
    // Closing the main window closed every card: they open again.
    EXPECT_EQ(rm720_open_all(), SUCCESS_NO_ERROR);
    EXPECT_EQ(rm730_open_all(), SUCCESS_NO_ERROR);
    rm720_close_all();
    rm730_close_all();
}

// The files saved for each model are applied while the main window opens.
TEST(StartupOnDefaultMachine, AppliesTheSavedConfigurationOfEachModel) {
    char paths[2][MAX_PATH];
    {
        CSettingsStore store;
        store.m_Settings[0].cards[0].axis[0].rangeValue = 32000;
        store.m_Settings[1].cards[1].axis[0].rangeValue = 64000;
        for (int model = 0; model < 2; ++model) ASSERT_TRUE(CSettingsStore::DefaultConfigPath(model, paths[model]));
        ASSERT_TRUE(store.SaveRM720Config(paths[0]));
        ASSERT_TRUE(store.SaveRM730Config(paths[1]));
    }
    RunProgramWithUser(false);
    for (const char* path : paths) ::DeleteFileA(path);
    EXPECT_EQ(g_visit.speedMaxX[0], 2000000);
    EXPECT_EQ(g_visit.speedMaxX[1], 1000000);
}

TEST(StartupWithModelBOnly, StartsOnTheModelBCard) {
    RunProgramWithUser(false);
    EXPECT_EQ(g_visit.caption, "VEXA-RM730 Kavrel ");
    EXPECT_EQ(rm730_open_all(), SUCCESS_NO_ERROR);
    rm730_close_all();
}

}  // namespace
