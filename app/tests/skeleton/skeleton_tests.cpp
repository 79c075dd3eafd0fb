// The pages' shared skeleton: the status panes and their names, the card trees
// of the three forms filled through the motion libraries, and the lookup of a
// kept selection. The suites run on the default machine (model A ID 0, model B
// ID 1, input modules 8 and 9 on each bus) unless their name says otherwise.
#include <afxwin.h>

#include <sstream>
#include <string>
#include <vector>

#include "gtest_winelib.h"
#include "message_box_watcher.h"
#include "open_cards.h"
#include "page_skeleton.h"
#include "skeleton_tests.rh"
#include "status_names.h"

void PrintTo(const CardTreeSelection& s, std::ostream* out) {
    *out << "{model " << s.model << ", card " << s.cardId << ", axis " << s.axis << ", sa " << s.sa << "}";
}

namespace {

// The Torix module scans need the cards open.
const testing::Environment* const g_openCards = testing::AddGlobalTestEnvironment(new OpenCardsEnvironment);

// A page made of the skeleton alone; it records what its selection-change
// handler reads from the tree.
class TestPage : public CDialog {
public:
    explicit TestPage(int labelWidth = skeleton::kLabelPaneWidth) : CDialog(IDD_TEST_PAGE), m_labelWidth(labelWidth) {
        Create(IDD_TEST_PAGE);
    }
    ~TestPage() override { DestroyWindow(); }

    CTreeCtrl m_tree;
    CImageList m_images;
    CStatusBar m_wndStatusBar;
    int16_t m_nLastStatus = 0;
    std::vector<CardTreeSelection> m_selections;

    std::string Pane(int index) const { return static_cast<LPCSTR>(m_wndStatusBar.GetPaneText(index)); }
    // Right edges of the panes.
    std::vector<int> PaneEdges() const {
        std::vector<int> edges(3);
        m_wndStatusBar.SendMessage(SB_GETPARTS, 3, reinterpret_cast<LPARAM>(edges.data()));
        return edges;
    }

protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_TEST_TREE, m_tree); }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        skeleton::CreateStatusPanes(*this, m_wndStatusBar, m_labelWidth);
        return TRUE;
    }
    void OnSelChanged(NMHDR* header, LRESULT* result) {
        HTREEITEM selected = reinterpret_cast<NMTREEVIEWA*>(header)->itemNew.hItem;
        m_selections.push_back(skeleton::ReadCardTreeItem(m_tree, selected));
        *result = 0;
    }
    DECLARE_MESSAGE_MAP()

private:
    int m_labelWidth;
};

BEGIN_MESSAGE_MAP(TestPage, CDialog)
    ON_NOTIFY(TVN_SELCHANGEDA, IDC_TEST_TREE, OnSelChanged)
END_MESSAGE_MAP()

// The tree as text: one line per item, children indented, "*" before the
// selected item, with the item's image.
std::string TreeText(const CTreeCtrl& tree) {
    std::string text;
    HTREEITEM selected = tree.GetSelectedItem();
    auto line = [&](HTREEITEM item, const char* indent) {
        int image = -1, selectedImage = -1;
        tree.GetItemImage(item, image, selectedImage);
        text += std::string(item == selected ? "*" : "") + indent + static_cast<LPCSTR>(tree.GetItemText(item)) +
                " [" + std::to_string(image) + "]\n";
    };
    for (HTREEITEM card = tree.GetRootItem(); card; card = tree.GetNextSiblingItem(card)) {
        line(card, "");
        for (HTREEITEM child = tree.GetChildItem(card); child; child = tree.GetNextSiblingItem(child))
            line(child, "  ");
    }
    return text;
}

std::string ExpectedAxisTree(const char* card, bool selectX) {
    return std::string(card) + " [0]\n" + (selectX ? "*" : "") +
           "  AXIS-X [1]\n  AXIS-Y [1]\n  AXIS-Z [1]\n  AXIS-U [1]\n";
}

// Fills the page's tree in a form; returns the tree as text.
std::string FillTree(TestPage& page, CardTreeForm form,
                     const MotionLibrary& (*libraryOf)(int) = MotionLibraryOf) {
    skeleton::FillCardTree(page.m_tree, page.m_images, form, page.m_wndStatusBar, page.m_nLastStatus, libraryOf);
    return TreeText(page.m_tree);
}

template <typename Code>
struct NameCase {
    Code code;
    const char* name;
};

TEST(StatusNames, NamesTheCodesTheProgramKnowsOnly) {
    const NameCase<int> cases[] = {
        {0, "SUCCESS_NO_ERROR"},
        {-100, "ERROR_ROUTINE_FAIL_BASE"},
        {-112, "ERROR_IN3_SET"},
        {-113, ""},
        {-130, ""},
        {-160, "ERROR_TORIX_INPUT"},
        {-161, "ERROR_TORIX_OUTPUT"},
        {-162, ""},
        {-168, ""},
        {-191, ""},
        {-192, ""},
        {-203, "ERROR_CARD_ID_DUPLICATED"},
        {-258, "ERROR_INVALID_TORIX_RA_GROUP_ADDRESS"},
        {-259, ""},
        {-260, ""},
        {-261, "ERROR_INVALID_MPG_SPEED"},
        {-262, ""},
        {-274, ""},
        {-278, ""},
        {-279, ""},
        {-305, "ERROR_OCCURS_IN_AXIS_XZ"},
        {-316, "ERROR_NO_CARD_FOUND"},
        {-341, "ERROR_CONFLICT_WITH_INTERPOLATION_MOVE"},
        {-342, ""},
        {-345, ""},
        {-347, ""},
        {-360, "ERROR_AXES_MOVE_CHECK"},
        {-361, "ERROR_IOCTL_FAILED"},
        {-362, ""},
        {-400, ""},
        {-32759, ""},
        {1, ""},
    };
    for (const auto& c : cases) EXPECT_STREQ(StatusName(c.code), c.name) << c.code;
}

TEST(StatusNames, FirstStopReasonInItsOrderWins) {
    const NameCase<uint16_t> cases[] = {
        {0x8004, "DRIVE_FINISH_WITH_STOP_COMMAND"},
        {0x0001, "DRIVE_FINISH_WITH_SW_LIMIT_POSITIVE"},
        {0x8003, "DRIVE_FINISH_WITH_SW_LIMIT_POSITIVE"},
        {0x0002, "DRIVE_FINISH_WITH_SW_LIMIT_NEGATIVE"},
        {0x3080, "DRIVE_FINISH_OUTPUT_FIXED_PULSE"},
        {0x3000, "DRIVE_FINISH_WITH_LIMIT_POSITIVE"},
        {0x2000, "DRIVE_FINISH_WITH_LIMIT_NEGATIVE"},
        {0xC000, "DRIVE_FINISH_WITH_ALARM"},
        {0x8000, "DRIVE_FINISH_WITH_EMG"},
        {0x0200, "DRIVE_FINISH_CONTI_BROKEN"},
        {0x0204, "DRIVE_FINISH_WITH_STOP_COMMAND"},
        {0x1200, "DRIVE_FINISH_WITH_LIMIT_POSITIVE"},
    };
    for (const auto& c : cases) EXPECT_STREQ(StopReasonName(c.code), c.name) << std::hex << c.code;
    EXPECT_EQ(StopReasonName(0), nullptr);
    EXPECT_EQ(StopReasonName(0x0D78), nullptr) << "bits beyond the nine reasons name nothing";
}

TEST(StatusPanes, StartBlankAlongTheBottomWithTheirWidths) {
    TestPage page;
    TestPage torixPage(skeleton::kTorixLabelPaneWidth);
    for (int pane = 0; pane < 3; ++pane) EXPECT_EQ(page.Pane(pane), " ") << pane;
    const std::vector<int> edges = page.PaneEdges(), torixEdges = torixPage.PaneEdges();
    EXPECT_EQ(edges[0], torixEdges[0]);
    EXPECT_EQ((edges[1] - edges[0]) - (torixEdges[1] - torixEdges[0]), 180 - 110);
    CRect client;
    page.GetClientRect(&client);
    EXPECT_GE(edges[2] - edges[1], client.Width()) << "the name pane reaches the right edge";

    CRect bar;
    page.m_wndStatusBar.GetWindowRect(&bar);
    page.ScreenToClient(reinterpret_cast<POINT*>(&bar.right));
    EXPECT_EQ(bar.bottom, client.bottom);
}

TEST(StatusPanes, ShowTheCodeTheLabelAndTheName) {
    TestPage page;
    skeleton::ShowErrorCode(page.m_wndStatusBar, ERROR_NO_CARD_FOUND, "rm720_scan()");
    EXPECT_EQ(page.Pane(0), "Error Code: -316");
    EXPECT_EQ(page.Pane(1), "rm720_scan()");
    EXPECT_EQ(page.Pane(2), "ERROR_NO_CARD_FOUND");

    for (int unnamed : {-113, -400}) {
        skeleton::ShowErrorCode(page.m_wndStatusBar, unnamed, "rm730_get_in3()");
        EXPECT_EQ(page.Pane(0), "Error Code: " + std::to_string(unnamed));
        EXPECT_EQ(page.Pane(2), "") << unnamed;
    }

    skeleton::ShowErrorCode(page.m_wndStatusBar, ERROR_INVALID_MPG_SPEED, "rm720_set_mpg()", "a page's own name");
    EXPECT_EQ(page.Pane(2), "a page's own name");

    skeleton::ClearStatusPanes(page.m_wndStatusBar);
    for (int pane = 0; pane < 3; ++pane) EXPECT_EQ(page.Pane(pane), " ") << pane;
}

TEST(StatusPanes, ShowTheStopReasonUnderOneLabelForBothModels) {
    TestPage page;
    skeleton::ShowStopReason(page.m_wndStatusBar, 0x8004);
    EXPECT_EQ(page.Pane(0), "Error Code: 0");
    EXPECT_EQ(page.Pane(1), "rm720_motion_done()");
    EXPECT_EQ(page.Pane(2), "DRIVE_FINISH_WITH_STOP_COMMAND");

    skeleton::ShowStopReason(page.m_wndStatusBar, 0x4000);
    EXPECT_EQ(page.Pane(1), "rm720_motion_done()") << "a model-B card's reason too";
    EXPECT_EQ(page.Pane(2), "DRIVE_FINISH_WITH_ALARM");

    skeleton::ShowErrorCode(page.m_wndStatusBar, ERROR_MOTION_NOT_COMPLETE, "rm730_t_move()");
    skeleton::ShowStopReason(page.m_wndStatusBar, 0x0100);
    EXPECT_EQ(page.Pane(0), "Error Code: -325") << "a word without a reason leaves the panes";
    EXPECT_EQ(page.Pane(1), "rm730_t_move()");
}

TEST(StatusPanes, LabelsNameTheModelsExport) {
    EXPECT_EQ(skeleton::ExportLabel(kModelA, "t_move"), "rm720_t_move()");
    EXPECT_EQ(skeleton::ExportLabel(kModelB, "t_move"), "rm730_t_move()");
}

TEST(CardTree, ListsEachCardWithItsAxesAndSelectsTheFirstAxis) {
    TestPage page;
    HTREEITEM last = skeleton::FillCardTree(page.m_tree, page.m_images, CardTreeForm::Axes, page.m_wndStatusBar,
                                            page.m_nLastStatus);
    EXPECT_EQ(TreeText(page.m_tree),
              ExpectedAxisTree("VEXA-RM720 ID:0", true) + ExpectedAxisTree("VEXA-RM730 ID:1", false));
    EXPECT_EQ(page.m_tree.GetItemText(last), "VEXA-RM730 ID:1");
    for (HTREEITEM card = page.m_tree.GetRootItem(); card; card = page.m_tree.GetNextSiblingItem(card))
        EXPECT_TRUE(page.m_tree.GetItemState(card, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_EQ(page.m_images.GetImageCount(), 2);
    EXPECT_EQ(page.m_images.GetBkColor(), RGB(255, 255, 255));
    EXPECT_EQ(::SendMessageA(page.m_tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0),
              reinterpret_cast<LRESULT>(page.m_images.GetSafeHandle()));
    ASSERT_EQ(page.m_selections.size(), 1u);
    EXPECT_EQ(page.m_selections[0], (CardTreeSelection{kModelA, 0, AXIS_X, -1}));
    EXPECT_EQ(page.m_nLastStatus, 0);
    EXPECT_EQ(page.Pane(0), " ");
}

TEST(CardTree, InterpolationFormListsCardsOnlyAndSelectsTheFirst) {
    TestPage page;
    EXPECT_EQ(FillTree(page, CardTreeForm::CardsOnly), "*VEXA-RM720 ID:0 [0]\nVEXA-RM730 ID:1 [0]\n");
    EXPECT_EQ(page.m_images.GetImageCount(), 1);
    ASSERT_EQ(page.m_selections.size(), 1u);
    EXPECT_EQ(page.m_selections[0], (CardTreeSelection{kModelA, 0, -1, -1}));
}

TEST(CardTree, TorixFormListsEachCardsInputModules) {
    TestPage page(skeleton::kTorixLabelPaneWidth);
    EXPECT_EQ(FillTree(page, CardTreeForm::TorixModules),
              "VEXA-RM720 ID:0 [0]\n*  TORIX_SA8 [1]\n  TORIX_SA9 [1]\n"
              "VEXA-RM730 ID:1 [0]\n  TORIX_SA8 [1]\n  TORIX_SA9 [1]\n");
    EXPECT_EQ(page.m_images.GetImageCount(), 2);
    ASSERT_EQ(page.m_selections.size(), 1u);
    EXPECT_EQ(page.m_selections[0], (CardTreeSelection{kModelA, 0, -1, 8}));
}

// Model-A libraries whose scans the tests choose; model B stays the real one.
struct InjectedScan {
    int16_t count = 0;
    int failingIndex = -1;  // get_cardinfo fails here with -202
    ApiStatus scanStatus = SUCCESS_NO_ERROR;
    ApiStatus moduleStatus = SUCCESS_NO_ERROR;
};
InjectedScan g_injected;

ApiStatus InjectedScanCards(int16_t* count, uint8_t* present) {
    *count = g_injected.count;
    for (int id = 0; id < 16; ++id) present[id] = id >= 5 && id < 5 + g_injected.count;
    return g_injected.scanStatus;
}

ApiStatus InjectedCardInfo(int32_t index, uint8_t* cardId) {
    if (index == g_injected.failingIndex) return ERROR_INVALID_SCANNED_INDEX;
    *cardId = static_cast<uint8_t>(5 + index);
    return SUCCESS_NO_ERROR;
}

ApiStatus InjectedModuleScan(uint8_t, int16_t* modules) {
    *modules = 0x0081;
    return g_injected.moduleStatus;
}

const MotionLibrary& InjectedLibraryOf(int model) {
    static MotionLibrary injected;
    if (model != kModelA) return MotionLibraryOf(model);
    injected = MotionLibraryOf(kModelA);
    injected.scan = InjectedScanCards;
    injected.get_cardinfo = InjectedCardInfo;
    injected.scan_Torix_DI = InjectedModuleScan;
    return injected;
}

std::string FillInjected(TestPage& page, CardTreeForm form, InjectedScan scan) {
    g_injected = scan;
    return FillTree(page, form, InjectedLibraryOf);
}

TEST(CardTree, CardInfoFailureKeepsTheCardsSoFarAndGoesOnWithTheOtherModel) {
    TestPage page;
    EXPECT_EQ(FillInjected(page, CardTreeForm::CardsOnly, {.count = 3, .failingIndex = 1}),
              "*VEXA-RM720 ID:5 [0]\nVEXA-RM730 ID:1 [0]\n");
    EXPECT_EQ(page.m_nLastStatus, ERROR_INVALID_SCANNED_INDEX);
    EXPECT_EQ(page.Pane(0), "Error Code: -202");
    EXPECT_EQ(page.Pane(1), " rm720_get_cardinfo()");
    EXPECT_EQ(page.Pane(2), "ERROR_INVALID_SCANNED_INDEX");
}

TEST(CardTree, FailedModelScanListsNothingOfThatModelAndSaysNothing) {
    TestPage page;
    EXPECT_EQ(FillInjected(page, CardTreeForm::Axes, {.count = 2, .scanStatus = ERROR_NO_CARD_FOUND}),
              ExpectedAxisTree("VEXA-RM730 ID:1", true));
    EXPECT_EQ(page.m_nLastStatus, 0);
    EXPECT_EQ(page.Pane(0), " ");
}

TEST(CardTree, ModuleScanFailureEndsThatModelsCards) {
    TestPage page(skeleton::kTorixLabelPaneWidth);
    EXPECT_EQ(FillInjected(page, CardTreeForm::TorixModules, {.count = 2, .moduleStatus = ERROR_TORIX_DI_MODULE_GET}),
              "VEXA-RM720 ID:5 [0]\nVEXA-RM730 ID:1 [0]\n  TORIX_SA8 [1]\n  TORIX_SA9 [1]\n");
    EXPECT_EQ(page.m_tree.GetSelectedItem(), nullptr) << "a first card without modules selects nothing";
    EXPECT_EQ(page.m_nLastStatus, ERROR_TORIX_DI_MODULE_GET);
    EXPECT_EQ(page.Pane(1), "rm720_scan_Torix_DI()");
    EXPECT_EQ(page.Pane(2), "ERROR_TORIX_DI_MODULE_GET");

    TestPage second(skeleton::kTorixLabelPaneWidth);
    EXPECT_EQ(FillInjected(second, CardTreeForm::TorixModules, {.count = 1}),
              "VEXA-RM720 ID:5 [0]\n*  TORIX_SA8 [1]\n  TORIX_SA15 [1]\n"
              "VEXA-RM730 ID:1 [0]\n  TORIX_SA8 [1]\n  TORIX_SA9 [1]\n");
}

// Fills a page's tree in a form and looks a kept selection up in it.
struct Lookup {
    CardTreeForm form;
    CardTreeSelection wanted;
    const char* selectedText;  // nullptr: not found, with this message
    const char* message;
};

void CheckLookups(const std::vector<Lookup>& lookups) {
    for (const Lookup& lookup : lookups) {
        TestPage page;
        FillTree(page, lookup.form);
        HTREEITEM before = page.m_tree.GetSelectedItem();
        MessageBoxWatcher watcher;
        const BOOL found = skeleton::SelectCardTreeItem(page.m_tree, lookup.form, lookup.wanted);
        std::ostringstream what;
        PrintTo(lookup.wanted, &what);
        if (lookup.selectedText) {
            EXPECT_TRUE(found) << what.str();
            EXPECT_TRUE(watcher.Seen().empty()) << what.str();
            EXPECT_EQ(page.m_tree.GetItemText(page.m_tree.GetSelectedItem()), lookup.selectedText) << what.str();
            EXPECT_EQ(page.m_selections.back(), lookup.wanted) << "the page's handler took it over";
        } else {
            EXPECT_FALSE(found) << what.str();
            ASSERT_EQ(watcher.Seen().size(), 1u) << what.str();
            EXPECT_EQ(watcher.Seen()[0].text, lookup.message) << what.str();
            EXPECT_EQ(page.m_tree.GetSelectedItem(), before) << what.str();
        }
    }
}

constexpr const char* kNoAxis = "Incorrect m_ActiveCardID or m_ActiveAxis";
constexpr const char* kNoModule = "Incorrect m_ActiveCardID or m_ActiveSA";

TEST(CardTree, LookupSelectsAKeptSelectionOrSaysItIsNotThere) {
    CheckLookups({
        {CardTreeForm::Axes, {kModelB, 1, AXIS_Z, -1}, "AXIS-Z", nullptr},
        {CardTreeForm::Axes, {kModelA, 0, AXIS_U, -1}, "AXIS-U", nullptr},
        {CardTreeForm::Axes, {kModelA, 7, AXIS_X, -1}, nullptr, kNoAxis},
        {CardTreeForm::Axes, {kModelA, 1, AXIS_X, -1}, nullptr, kNoAxis},
        {CardTreeForm::Axes, {kModelA, 0, -1, -1}, nullptr, kNoAxis},
        {CardTreeForm::CardsOnly, {kModelB, 1, -1, -1}, "VEXA-RM730 ID:1", nullptr},
        {CardTreeForm::CardsOnly, {kModelB, 0, -1, -1}, nullptr, kNoAxis},
        {CardTreeForm::TorixModules, {kModelB, 1, -1, 9}, "TORIX_SA9", nullptr},
        {CardTreeForm::TorixModules, {kModelA, 0, -1, 12}, nullptr, kNoModule},
    });
}

// On several-cards.ini: model A IDs 3 (modules 10, 15) and 0, model B IDs 2
// (module 8) and 0.
TEST(SeveralCards, TreeListsEveryCardOfBothModelsByIdUpward) {
    TestPage page;
    EXPECT_EQ(FillTree(page, CardTreeForm::Axes), ExpectedAxisTree("VEXA-RM720 ID:0", true) +
                                         ExpectedAxisTree("VEXA-RM720 ID:3", false) +
                                         ExpectedAxisTree("VEXA-RM730 ID:0", false) +
                                         ExpectedAxisTree("VEXA-RM730 ID:2", false));

    TestPage torix(skeleton::kTorixLabelPaneWidth);
    EXPECT_EQ(FillTree(torix, CardTreeForm::TorixModules),
              "VEXA-RM720 ID:0 [0]\nVEXA-RM720 ID:3 [0]\n  TORIX_SA10 [1]\n  TORIX_SA15 [1]\n"
              "VEXA-RM730 ID:0 [0]\nVEXA-RM730 ID:2 [0]\n  TORIX_SA8 [1]\n");
    EXPECT_TRUE(torix.m_selections.empty()) << "the first card has no modules";
}

TEST(SeveralCards, LookupTellsCardsOfTheTwoModelsWithOneIdApart) {
    CheckLookups({
        {CardTreeForm::Axes, {kModelB, 0, AXIS_Y, -1}, "AXIS-Y", nullptr},
        {CardTreeForm::CardsOnly, {kModelB, 0, -1, -1}, "VEXA-RM730 ID:0", nullptr},
        {CardTreeForm::CardsOnly, {kModelA, 2, -1, -1}, nullptr, kNoAxis},
        {CardTreeForm::TorixModules, {kModelA, 3, -1, 15}, "TORIX_SA15", nullptr},
    });
}

}  // namespace
