// The framework classes under the program: the modal loop, data exchange, command
// updates, the handle map and CString, in real dialogs.
#include <afxwin.h>
#include <afxcmn.h>
#include <afxdlgs.h>
#include <afxext.h>

#include "framework_tests.rh"
#include "gtest_winelib.h"
#include "message_box_watcher.h"

namespace {

class FormDialog : public CDialog {
public:
    FormDialog() : CDialog(IDD_FORM) {}

    double m_speed = 10.0;
    int m_enabled = 1;
    bool m_allowApply = true;
    int m_kicks = 0;
    int m_endAfterKicks = 0;  // 0: never
    CButton m_apply;

protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, IDC_APPLY, m_apply);
        DDX_Check(dx, IDC_ENABLE, m_enabled);
        DDX_Text(dx, IDC_SPEED, m_speed);
        DDV_MinMaxDouble(dx, m_speed, 0.0, 100.0);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (m_endAfterKicks) SetTimer(1, 10);
        return TRUE;
    }
    // Each timer tick ends an idle spell, so the loop kicks the idle handler again.
    LRESULT OnKickIdle(WPARAM, LPARAM) {
        if (++m_kicks == m_endAfterKicks) EndDialog(6);
        return 0;
    }
    void OnTimer(UINT_PTR) {}
    void OnUpdateApply(CCmdUI* ui) { ui->Enable(m_allowApply); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(FormDialog, CDialog)
    ON_MESSAGE(WM_KICKIDLE, OnKickIdle)
    ON_WM_TIMER()
    ON_UPDATE_COMMAND_UI(IDC_APPLY, OnUpdateApply)
END_MESSAGE_MAP()

TEST(ModalLoop, KicksTheIdleHandlerAndReturnsTheEndDialogResult) {
    FormDialog form;
    form.m_endAfterKicks = 3;
    EXPECT_EQ(form.DoModal(), 6);
    EXPECT_EQ(form.m_kicks, 3);
    EXPECT_EQ(form.m_hWnd, nullptr) << "the window is gone after DoModal";
    EXPECT_EQ(form.m_apply.m_hWnd, nullptr) << "and its bound controls with it";
}

TEST(ModalLoop, MissingTemplateFailsWithMinusOne) {
    CDialog missing(4242);
    EXPECT_EQ(missing.DoModal(), -1);
}

class FormTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_form.Create(IDD_FORM)); }
    void TearDown() override { m_form.DestroyWindow(); }
    void Type(const char* text) { m_form.SetDlgItemText(IDC_SPEED, text); }
    FormDialog m_form;
};

TEST_F(FormTest, DataExchangeMovesValuesBothWays) {
    CString text;
    m_form.GetDlgItemText(IDC_SPEED, text);
    EXPECT_EQ(text, "10") << "OnInitDialog put the members into the controls";
    EXPECT_EQ(m_form.IsDlgButtonChecked(IDC_ENABLE), 1u);

    Type(" 42.5 ");
    m_form.CheckDlgButton(IDC_ENABLE, 0);
    EXPECT_TRUE(m_form.UpdateData(TRUE));
    EXPECT_DOUBLE_EQ(m_form.m_speed, 42.5);
    EXPECT_EQ(m_form.m_enabled, 0);
}

TEST_F(FormTest, RejectedValuesShowTheFrameworkMessage) {
    // A number out of range is taken, then refused; text that is no number is not taken.
    struct Case {
        const char* typed;
        const char* message;
        double member;
    };
    const Case cases[] = {
        {"250", "Please enter a number between 0 and 100.", 250.0},
        {"12abc", "Please enter a number.", 250.0},
        {"", "Please enter a number.", 250.0},
    };
    for (const Case& c : cases) {
        MessageBoxWatcher watcher;
        Type(c.typed);
        EXPECT_FALSE(m_form.UpdateData(TRUE)) << c.typed;
        ASSERT_EQ(watcher.Seen().size(), 1u) << c.typed;
        EXPECT_EQ(watcher.Seen()[0].text, c.message) << c.typed;
        EXPECT_DOUBLE_EQ(m_form.m_speed, c.member) << c.typed;
        EXPECT_EQ(::GetFocus(), m_form.GetDlgItem(IDC_SPEED)->m_hWnd) << "the edit gets the focus back";
    }
}

TEST_F(FormTest, UpdateDialogControlsAsksTheUpdateHandler) {
    m_form.m_allowApply = false;
    m_form.UpdateDialogControls(&m_form, FALSE);
    EXPECT_FALSE(m_form.m_apply.IsWindowEnabled());
    EXPECT_TRUE(m_form.GetDlgItem(IDOK)->IsWindowEnabled()) << "controls without a handler stay as they are";
    m_form.m_allowApply = true;
    m_form.UpdateDialogControls(&m_form, FALSE);
    EXPECT_TRUE(m_form.m_apply.IsWindowEnabled());
}

TEST_F(FormTest, HandleMapTiesBoundControlsAndLendsTemporaryObjects) {
    HWND apply = m_form.m_apply.m_hWnd;
    EXPECT_EQ(CWnd::FromHandlePermanent(apply), &m_form.m_apply);
    EXPECT_EQ(CWnd::FromHandle(apply), &m_form.m_apply);
    HWND edit = ::GetDlgItem(m_form.m_hWnd, IDC_SPEED);
    EXPECT_EQ(CWnd::FromHandlePermanent(edit), nullptr);
    CWnd* temporary = CWnd::FromHandle(edit);
    EXPECT_EQ(temporary->m_hWnd, edit);
    EXPECT_EQ(CWnd::FromHandle(edit), temporary) << "one temporary object per handle until idle";
    AfxDeleteTempObjects();
    EXPECT_TRUE(::IsWindow(edit)) << "freeing a temporary object leaves its window alone";

    m_form.DestroyWindow();
    EXPECT_EQ(CWnd::FromHandlePermanent(apply), nullptr);
    EXPECT_EQ(m_form.m_apply.m_hWnd, nullptr);
}

// A page's skeleton: a card tree with icons and a three-pane status bar.
class PageDialog : public CDialog {
public:
    PageDialog() : CDialog(IDD_PAGE) {}
    CTreeCtrl m_tree;
    CImageList m_images;
    CStatusBar m_status;
    HTREEITEM m_selected = nullptr;

protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_TREE, m_tree); }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        static const UINT indicators[] = {IDS_PANE_BLANK, IDS_PANE_BLANK, IDS_PANE_BLANK};
        m_status.Create(this);
        m_status.SetIndicators(indicators, 3);
        m_status.SetPaneInfo(0, IDS_PANE_BLANK, SBPS_NORMAL, 90);
        m_status.SetPaneInfo(1, IDS_PANE_BLANK, SBPS_NORMAL, 180);
        RepositionBars(AFX_IDW_CONTROLBAR_FIRST, AFX_IDW_CONTROLBAR_LAST, 0);
        m_images.Create(16, 16, ILC_COLOR24, 0, 2);
        m_images.Add(::LoadIconA(nullptr, MAKEINTRESOURCEA(32512)));  // IDI_APPLICATION
        m_tree.SetImageList(&m_images, TVSIL_NORMAL);
        return TRUE;
    }
    void OnSelChanged(NMHDR* header, LRESULT*) {
        m_selected = reinterpret_cast<NMTREEVIEWA*>(header)->itemNew.hItem;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(PageDialog, CDialog)
    ON_NOTIFY(TVN_SELCHANGEDA, IDC_TREE, OnSelChanged)
END_MESSAGE_MAP()

TEST(PageSkeleton, TreeAndStatusBarWork) {
    PageDialog page;
    ASSERT_TRUE(page.Create(IDD_PAGE));
    EXPECT_EQ(page.m_images.GetImageCount(), 1);

    HTREEITEM card = page.m_tree.InsertItem("VEXA-RM720 ID:0", 0, 0);
    HTREEITEM axisX = page.m_tree.InsertItem("AXIS-X", 0, 0, card);
    HTREEITEM axisY = page.m_tree.InsertItem("AXIS-Y", 0, 0, card);
    page.m_tree.Expand(card, TVE_EXPAND);
    EXPECT_EQ(page.m_tree.GetRootItem(), card);
    EXPECT_EQ(page.m_tree.GetChildItem(card), axisX);
    EXPECT_EQ(page.m_tree.GetNextSiblingItem(axisX), axisY);
    EXPECT_EQ(page.m_tree.GetParentItem(axisY), card);
    EXPECT_TRUE(page.m_tree.ItemHasChildren(card));
    EXPECT_FALSE(page.m_tree.ItemHasChildren(axisY));
    EXPECT_EQ(page.m_tree.GetItemText(card), "VEXA-RM720 ID:0");

    page.m_tree.SelectItem(axisY);
    EXPECT_EQ(page.m_tree.GetSelectedItem(), axisY);
    EXPECT_EQ(page.m_selected, axisY) << "the selection change reached the page's handler";

    EXPECT_EQ(page.m_status.GetPaneText(1), " ");
    page.m_status.SetPaneText(0, "Error Code: -316");
    page.m_status.SetPaneText(2, "ERROR_NO_CARD_FOUND");
    EXPECT_EQ(page.m_status.GetPaneText(0), "Error Code: -316");
    EXPECT_EQ(page.m_status.GetPaneText(2), "ERROR_NO_CARD_FOUND");
    CRect client, bar;
    page.GetClientRect(&client);
    page.m_status.GetWindowRect(&bar);
    page.ScreenToClient(reinterpret_cast<POINT*>(&bar.right));
    EXPECT_EQ(bar.bottom, client.bottom) << "the bar lies along the bottom";
    page.DestroyWindow();
}

// Types a file name into the open file dialog and chooses it.
void CALLBACK ChooseFile(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = ::FindWindowA(nullptr, "Load the axis configuration");
    if (!dialog || !::IsWindowVisible(dialog)) return;
    ::KillTimer(nullptr, timer);
    for (int nameControl : {0x47C /* cmb13 */, 0x480 /* edt1 */}) ::SetDlgItemTextA(dialog, nameControl, "Z:\\tmp\\picked.ini");
    ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

TEST(FileDialog, GivesThePathTheUserChose) {
    CFileDialog open(TRUE, "ini", nullptr, OFN_HIDEREADONLY, "Configuration (*.ini)|*.ini|All files (*.*)|*.*|");
    open.m_ofn.lpstrTitle = "Load the axis configuration";
    open.m_ofn.lpstrInitialDir = "C:\\windows";
    open.m_ofn.lStructSize = 76;  // as an old caller writes it
    ::SetTimer(nullptr, 0, 50, ChooseFile);
    ASSERT_EQ(open.DoModal(), IDOK);
    EXPECT_EQ(open.GetPathName(), "Z:\\tmp\\picked.ini");
}

TEST(CStringTest, FormatsSlicesAndCompares) {
    CString s;
    s.Format("%s\\system32\\%s", "C:\\windows", "RM720_Config.ini");
    EXPECT_EQ(s, "C:\\windows\\system32\\RM720_Config.ini");
    EXPECT_EQ(s.GetLength(), 36);
    EXPECT_EQ(s.Left(2), "C:");
    EXPECT_EQ(s.Mid(11, 8), "system32");
    EXPECT_EQ(s.Mid(30), "ig.ini");
    EXPECT_EQ(s.Right(3), "ini");
    EXPECT_EQ(s.Mid(99), "");
    EXPECT_EQ(s.Find('\\'), 2);
    EXPECT_EQ(s.Find("RM720"), 20);
    EXPECT_EQ(CString("VEXA-RM720 ID:") + "3", "VEXA-RM720 ID:3");
    EXPECT_TRUE(CString().IsEmpty());
    CString big;
    big.Format("%0300d", 7);
    EXPECT_EQ(big.GetLength(), 300) << "formatting is not limited to a fixed buffer";
}

}  // namespace
