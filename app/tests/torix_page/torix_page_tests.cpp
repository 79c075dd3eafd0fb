// The Torix DI/DO page driven through its controls on the simulated cards: the
// default machine has a model-A card with ID 0 and a model-B card with ID 1,
// each with input modules 8 and 9 fed by its output groups 0 and 1. The
// SeveralCards suite runs on tests/skeleton/machines/several-cards.ini.
#include <afxwin.h>

#include <cstdlib>
#include <string>

#include "gtest_winelib.h"
#include "main_dlg.h"
#include "open_cards.h"
#include "pixel_grid.h"
#include "torix_io_dlg.h"

namespace {

const testing::Environment* const g_openCards = testing::AddGlobalTestEnvironment(new OpenCardsEnvironment);
CWinApp g_app("Kavrel_New");

constexpr uint8_t kCardA = 0, kCardB = 1;
constexpr const char* kPageCaption = "Torix (DI/DO) ";

// The main window, whose selection the tests read.
class MainWindow : public CMainDlg {
public:
    MainWindow() : CMainDlg(2, kCardTable, nullptr) {}
    using CMainDlg::m_ActiveCardID;
    using CMainDlg::m_ActiveModel;
    using CMainDlg::m_ActiveRA;
    using CMainDlg::m_ActiveSA;

    uint16_t Shadow(int group) const {
        uint16_t word = 0xDEAD;
        GetTorixDoShadow(group, &word);
        return word;
    }

private:
    static constexpr uint8_t kCardTable[16] = {1, 1};
};

// The page, modeless and shown, on the main window given to it.
class Page : public CTorixIoDlg {
public:
    explicit Page(int32_t sa = -1, int32_t ra = -1) : CTorixIoDlg(-1, -1, sa, ra) {
        Create(IDD_TORIX_IO);
        ShowWindow(SW_SHOWNA);
    }
    ~Page() override {
        if (m_hWnd) DestroyWindow();
    }
    using CTorixIoDlg::m_hLampOn;
    using CTorixIoDlg::m_tree;
    using CTorixIoDlg::m_wndStatusBar;

    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void Click(int id) { ::SendMessageA(Item(id), BM_CLICK, 0, 0); }
    void Tick(UINT_PTR timer = kPollTimer) { SendMessage(WM_TIMER, timer, 0); }
    void ChooseGroup(int index) {
        ::SendMessageA(Item(IDC_RA_GROUP), CB_SETCURSEL, index, 0);
        SendMessage(WM_COMMAND, MAKEWPARAM(IDC_RA_GROUP, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(IDC_RA_GROUP)));
    }
    int ChosenGroup() const { return static_cast<int>(::SendMessageA(Item(IDC_RA_GROUP), CB_GETCURSEL, 0, 0)); }
    // The word the check boxes show.
    uint16_t Checks() const {
        uint16_t word = 0;
        for (int bit = 0; bit < kPoints; ++bit)
            if (::SendMessageA(Item(IDC_DO_BIT0 + bit), BM_GETCHECK, 0, 0) == BST_CHECKED) word |= 1 << bit;
        return word;
    }
    // Clicks the check boxes that differ from the word.
    void Compose(uint16_t word) {
        for (int bit = 0; bit < kPoints; ++bit)
            if (((Checks() ^ word) >> bit) & 1) Click(IDC_DO_BIT0 + bit);
    }
    // The word the lamps show.
    uint16_t Lamps() const {
        static const int lamps[kPoints] = {1218, 1219, 1220, 1221, 1222, 1223, 1148, 1152,
                                           1233, 1234, 1235, 1236, 1237, 1238, 1149, 1153};
        uint16_t word = 0;
        for (int bit = 0; bit < kPoints; ++bit)
            if (::SendMessageA(Item(lamps[bit]), STM_GETICON, 0, 0) == reinterpret_cast<LRESULT>(m_hLampOn))
                word |= 1 << bit;
        return word;
    }
    std::string Pane(int index) const { return static_cast<LPCSTR>(m_wndStatusBar.GetPaneText(index)); }
    // Selects the item of the card with this text, or of its module.
    void Select(const char* card, const char* module = nullptr) {
        for (HTREEITEM item = m_tree.GetRootItem(); item; item = m_tree.GetNextSiblingItem(item)) {
            if (m_tree.GetItemText(item) != card) continue;
            HTREEITEM child = m_tree.GetChildItem(item);
            while (module && child && m_tree.GetItemText(child) != module) child = m_tree.GetNextSiblingItem(child);
            m_tree.SelectItem(module ? child : item);
            return;
        }
        ADD_FAILURE() << "no card " << card;
    }
    std::string Selected() const { return static_cast<LPCSTR>(m_tree.GetItemText(m_tree.GetSelectedItem())); }
};

// The input word of a module as the card has it.
uint16_t BusInputs(int model, uint8_t card, uint16_t module) {
    int16_t word = -1;
    EXPECT_EQ(MotionLibraryOf(model).get_Torix_DI(card, module, &word, 1), SUCCESS_NO_ERROR);
    return static_cast<uint16_t>(word);
}

void SaveScreen(HWND hWnd, const char* name) {
    if (const char* folder = std::getenv("RM7X0_ARTIFACT_DIR")) {
        EXPECT_TRUE(SaveWindowBmp(hWnd, std::string(folder) + "/" + name));
    }
}

// Each test starts with every output off and a main window of its own.
class TorixPage : public testing::Test {
protected:
    TorixPage() {
        EXPECT_EQ(rm720_reset_Torix(kCardA), SUCCESS_NO_ERROR);
        EXPECT_EQ(rm730_reset_Torix(kCardB), SUCCESS_NO_ERROR);
        g_app.m_pMainWnd = &m_main;
    }
    ~TorixPage() override { g_app.m_pMainWnd = nullptr; }
    MainWindow m_main;
};

std::string TreeText(const CTreeCtrl& tree) {
    std::string text;
    for (HTREEITEM card = tree.GetRootItem(); card; card = tree.GetNextSiblingItem(card)) {
        text += static_cast<LPCSTR>(tree.GetItemText(card));
        for (HTREEITEM module = tree.GetChildItem(card); module; module = tree.GetNextSiblingItem(module))
            text += std::string(" ") + static_cast<LPCSTR>(tree.GetItemText(module));
        text += "\n";
    }
    return text;
}

TEST_F(TorixPage, OpensOnTheFirstModuleOfTheFirstCardWithGroupZero) {
    Page page(12, -1);
    char caption[64] = "";
    ::GetWindowTextA(page.m_hWnd, caption, sizeof caption);
    EXPECT_STREQ(caption, kPageCaption);
    EXPECT_EQ(TreeText(page.m_tree), "VEXA-RM720 ID:0 TORIX_SA8 TORIX_SA9\nVEXA-RM730 ID:1 TORIX_SA8 TORIX_SA9\n");
    EXPECT_EQ(page.Selected(), "TORIX_SA8");
    EXPECT_EQ(page.m_tree.GetItemText(page.m_hLastCard), "VEXA-RM730 ID:1");
    EXPECT_EQ(page.m_ActiveModel, kModelA);
    EXPECT_EQ(page.m_ActiveCardID, 0);
    EXPECT_EQ(page.m_ActiveSA, 8) << "the given module gives way to the first";
    EXPECT_EQ(page.m_ActiveRA, 0);

    HWND combo = page.Item(IDC_RA_GROUP);
    ASSERT_EQ(::SendMessageA(combo, CB_GETCOUNT, 0, 0), 8);
    for (int group = 0; group < 8; ++group) {
        char text[32] = "";
        ::SendMessageA(combo, CB_GETLBTEXT, group, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(std::string(text), "TORIX_RA" + std::to_string(group));
    }
    EXPECT_EQ(page.ChosenGroup(), 0);
    EXPECT_EQ(page.Checks(), 0);
    EXPECT_EQ(page.Lamps(), 0);
    for (int pane = 0; pane < 3; ++pane) EXPECT_EQ(page.Pane(pane), " ") << pane;
    int edges[3] = {};
    page.m_wndStatusBar.SendMessage(SB_GETPARTS, 3, reinterpret_cast<LPARAM>(edges));
    EXPECT_EQ((edges[1] - edges[0]) - edges[0], 110 - 90) << "code pane 90 wide, label pane 110";
    EXPECT_EQ(m_main.m_Settings[kModelA].isModelB, 0);
}

TEST_F(TorixPage, SentOutputWordComesBackOnTheWiredInputLamps) {
    Page page;
    page.Compose(0x8021);
    EXPECT_EQ(page.m_wDoWord, 0x8021);
    page.Tick();
    EXPECT_EQ(page.Lamps(), 0) << "composing sends nothing";
    EXPECT_EQ(BusInputs(kModelA, kCardA, 8), 0);

    page.Click(IDC_DO_OUTPUT);
    EXPECT_EQ(BusInputs(kModelA, kCardA, 8), 0x8021);
    EXPECT_EQ(page.Lamps(), 0) << "lamps change at the next poll";
    page.Tick();
    EXPECT_EQ(page.Lamps(), 0x8021);
    page.Tick(7);
    EXPECT_EQ(page.Lamps(), 0x8021) << "another timer polls nothing";
    SaveScreen(page.m_hWnd, "torix-page.bmp");

    // Group 1 feeds module 9; the model-B card's bus stays untouched.
    page.Compose(0x0000);
    page.ChooseGroup(1);
    page.Compose(0x0300);
    page.Click(IDC_DO_OUTPUT);
    page.Select("VEXA-RM720 ID:0", "TORIX_SA9");
    EXPECT_EQ(page.m_ActiveSA, 9);
    page.Tick();
    EXPECT_EQ(page.Lamps(), 0x0300);
    EXPECT_EQ(BusInputs(kModelA, kCardA, 8), 0x8021);
    EXPECT_EQ(BusInputs(kModelB, kCardB, 8), 0);
    EXPECT_EQ(BusInputs(kModelB, kCardB, 9), 0);
    for (int pane = 0; pane < 3; ++pane) EXPECT_EQ(page.Pane(pane), " ") << pane;
}

TEST_F(TorixPage, EachGroupKeepsItsComposedWordAcrossGroupChanges) {
    Page page;
    page.Compose(0x00F0);
    page.ChooseGroup(3);
    EXPECT_EQ(page.m_ActiveRA, 3);
    EXPECT_EQ(page.Checks(), 0);
    EXPECT_EQ(m_main.Shadow(0), 0x00F0);
    page.Compose(0x0101);
    page.ChooseGroup(0);
    EXPECT_EQ(page.Checks(), 0x00F0) << "shown again though never sent";
    EXPECT_EQ(page.m_wDoWord, 0x00F0);
    EXPECT_EQ(m_main.Shadow(3), 0x0101);
    EXPECT_EQ(BusInputs(kModelA, kCardA, 8), 0);
}

TEST_F(TorixPage, SavedWordsAreTheSameForEveryCardOfBothModels) {
    Page page;
    page.Compose(0x1234);
    page.Select("VEXA-RM730 ID:1");
    EXPECT_EQ(page.Selected(), "TORIX_SA8") << "a card stands for its first module";
    EXPECT_EQ(page.m_ActiveModel, kModelB);
    EXPECT_EQ(page.m_ActiveCardID, 1);
    EXPECT_EQ(m_main.m_Settings[kModelB].isModelB, 1);
    EXPECT_EQ(page.Checks(), 0x1234);
    EXPECT_EQ(m_main.Shadow(0), 0x1234);

    page.Click(IDC_DO_OUTPUT);
    page.Tick();
    EXPECT_EQ(page.Lamps(), 0x1234) << "the model-B card's own bus";
    EXPECT_EQ(BusInputs(kModelB, kCardB, 8), 0x1234);
    EXPECT_EQ(BusInputs(kModelA, kCardA, 8), 0);
}

TEST_F(TorixPage, OpensOnTheSavedWordOfItsGroupAndSavesItWhenItCloses) {
    m_main.SetTorixDoShadow(0, 0x0F0F);
    m_main.SetTorixDoShadow(3, 0x5555);
    {
        Page page(-1, 3);
        EXPECT_EQ(page.ChosenGroup(), 3);
        EXPECT_EQ(page.Checks(), 0x5555);
        EXPECT_EQ(m_main.Shadow(0), 0x0F0F) << "the opening stores nothing";
        page.Compose(0x00AA);
    }
    EXPECT_EQ(m_main.Shadow(3), 0x00AA);
    EXPECT_EQ(m_main.Shadow(0), 0x0F0F);

    Page first;
    EXPECT_EQ(first.ChosenGroup(), 0);
    EXPECT_EQ(first.Checks(), 0x0F0F);
}

TEST_F(TorixPage, ResetTurnsTheBusOffAndClearsEveryGroupsWord) {
    for (int group = 0; group < 16; ++group) m_main.SetTorixDoShadow(group, 0x7000 | group);
    Page page;
    page.Compose(0x00FF);
    page.Click(IDC_DO_OUTPUT);
    page.Tick();
    EXPECT_EQ(page.Lamps(), 0x00FF);

    page.Click(IDC_RESET_TORIX);
    EXPECT_EQ(page.Checks(), 0);
    EXPECT_EQ(page.m_wDoWord, 0);
    for (int group = 0; group < 16; ++group) EXPECT_EQ(m_main.Shadow(group), 0) << group;
    page.Tick();
    EXPECT_EQ(page.Lamps(), 0);
    EXPECT_EQ(page.Pane(0), " ");
}

TEST_F(TorixPage, FailedCallsAreShownAndThePollGoesOn) {
    Page page;
    page.Compose(0x0011);
    page.Click(IDC_DO_OUTPUT);
    page.Tick();
    ASSERT_EQ(page.Lamps(), 0x0011);
    m_main.SetTorixDoShadow(5, 0x0505);

    rm720_close_all();
    page.Tick();
    const ApiStatus closed = page.m_nLastStatus;
    EXPECT_NE(closed, SUCCESS_NO_ERROR);
    EXPECT_EQ(page.Pane(0), "Error Code: " + std::to_string(closed));
    EXPECT_EQ(page.Pane(1), "rm720_get_Torix_DI()");
    EXPECT_EQ(page.Lamps(), 0) << "a failed read shows no input";
    page.m_wndStatusBar.SetPaneText(1, "seen");
    page.Tick();
    EXPECT_EQ(page.Pane(1), "rm720_get_Torix_DI()") << "shown again at each tick";

    page.Click(IDC_DO_OUTPUT);
    EXPECT_EQ(page.Pane(1), "rm720_set_Torix_DO()");
    page.Click(IDC_RESET_TORIX);
    EXPECT_EQ(page.Pane(1), "rm720_reset_Torix()");
    EXPECT_EQ(m_main.Shadow(5), 0) << "the words go even when the bus reset failed";
    EXPECT_EQ(page.Checks(), 0);
    ASSERT_EQ(rm720_open_all(), SUCCESS_NO_ERROR);

    page.Select("VEXA-RM730 ID:1", "TORIX_SA9");
    for (int pane = 0; pane < 3; ++pane) EXPECT_EQ(page.Pane(pane), " ") << "another card clears the panes";
}

// The user's script on the main window: open the page with its button, pick the
// model-B card's module 9 and group 2, return; then close the main window.
struct Visit {
    int step = 0, ticks = 0;
    bool timedOut = false;
};
Visit g_visit;

HWND PageWindow() {
    HWND hWnd = ::FindWindowA(nullptr, kPageCaption);
    return hWnd && ::IsWindowVisible(hWnd) ? hWnd : nullptr;
}

void CALLBACK PlayUser(HWND, UINT, UINT_PTR, DWORD) {
    HWND main = g_app.m_pMainWnd ? g_app.m_pMainWnd->m_hWnd : nullptr;
    if (++g_visit.ticks > 200) {
        g_visit.timedOut = true;
        if (HWND page = PageWindow()) ::PostMessageA(page, WM_COMMAND, IDCANCEL, 0);
        if (main) ::PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    switch (g_visit.step) {
    case 0:
        if (!main || !::IsWindowVisible(main)) return;
        ::PostMessageA(::GetDlgItem(main, IDC_TORIX), BM_CLICK, 0, 0);
        g_visit.step = 1;
        return;
    case 1:
        if (HWND page = PageWindow()) {
            HWND tree = ::GetDlgItem(page, IDC_TORIX_TREE);
            const auto next = [tree](HTREEITEM item, UINT relation) {
                return reinterpret_cast<HTREEITEM>(
                    ::SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
            };
            HTREEITEM modelBCard = next(next(nullptr, TVGN_ROOT), TVGN_NEXT);
            HTREEITEM module9 = next(next(modelBCard, TVGN_CHILD), TVGN_NEXT);
            ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(module9));
            HWND combo = ::GetDlgItem(page, IDC_RA_GROUP);
            ::SendMessageA(combo, CB_SETCURSEL, 2, 0);
            ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_RA_GROUP, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
            ::PostMessageA(::GetDlgItem(page, IDCANCEL), BM_CLICK, 0, 0);
            g_visit.step = 2;
        }
        return;
    case 2:
        if (PageWindow()) return;
        ::PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
        g_visit.step = 3;
        return;
    }
}

TEST(MainWindowTorixButton, RunsThePageAndKeepsTheSelectionItHandsBack) {
    MainWindow main;
    g_app.m_pMainWnd = &main;
    g_visit = Visit{};
    const UINT_PTR user = ::SetTimer(nullptr, 0, 50, PlayUser);
    main.DoModal();
    ::KillTimer(nullptr, user);
    g_app.m_pMainWnd = nullptr;
    EXPECT_FALSE(g_visit.timedOut);
    EXPECT_EQ(g_visit.step, 3);
    EXPECT_EQ(main.m_ActiveModel, kModelB);
    EXPECT_EQ(main.m_ActiveCardID, 1);
    EXPECT_EQ(main.m_ActiveSA, 9);
    EXPECT_EQ(main.m_ActiveRA, 2);
}

// On several-cards.ini: model A IDs 0 (no module) and 3 (modules 10, 15),
// model B IDs 0 (no module) and 2 (module 8).
TEST(SeveralCards, CardsWithoutModulesKeepThePolledModuleAndOnlyAnotherModelAndIdClearsThePanes) {
    MainWindow main;
    g_app.m_pMainWnd = &main;
    {
        Page page(15, -1);
        // The first card has no modules: the tree takes the card itself
        // when it gets the focus, and the module given is polled there.
        EXPECT_EQ(page.Selected(), "VEXA-RM720 ID:0");
        EXPECT_EQ(page.m_ActiveCardID, 0);
        EXPECT_EQ(page.m_ActiveSA, 15);
        EXPECT_EQ(page.m_ActiveRA, 0);
        page.Tick();
        EXPECT_EQ(page.Pane(0), " ");

        page.Select("VEXA-RM720 ID:3", "TORIX_SA10");
        page.Select("VEXA-RM720 ID:0");
        EXPECT_EQ(page.m_ActiveModel, kModelA);
        EXPECT_EQ(page.m_ActiveCardID, 0);
        EXPECT_EQ(page.m_ActiveSA, 10) << "the module polled before";

        // A failure on card 3; the exchange (which blanks the panes) runs only
        // when both the model and the card ID change.
        page.Select("VEXA-RM720 ID:3", "TORIX_SA15");
        rm720_close_all();
        page.Tick();
        EXPECT_EQ(page.Pane(1), "rm720_get_Torix_DI()");
        ASSERT_EQ(rm720_open_all(), SUCCESS_NO_ERROR);
        const struct {
            const char* card;
            bool cleared;
        } steps[] = {
            {"VEXA-RM720 ID:0", false},  // the same model
            {"VEXA-RM730 ID:0", false},  // the same ID
            {"VEXA-RM720 ID:3", true},   // both differ
        };
        for (const auto& step : steps) {
            page.Select(step.card);
            EXPECT_EQ(page.Pane(1), step.cleared ? " " : "rm720_get_Torix_DI()") << step.card;
        }
        EXPECT_EQ(page.m_ActiveSA, 10);
    }
    g_app.m_pMainWnd = nullptr;
}

}  // namespace
