// Every window of the program, made as the program makes it: each visible control
// must lie wholly inside the client area and, on a page with a status bar, wholly
// above it. RM7X0_EXPECT_DPI names the DPI the prefix was prepared with.
#include <afxwin.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "about_dlg.h"
#include "axis_config_dlg.h"
#include "basic_operation_dlg.h"
#include "gtest_winelib.h"
#include "interpolation_dlg.h"
#include "main_dlg.h"
#include "open_cards.h"
#include "profile_dlg.h"
#include "resource.h"
#include "torix_io_dlg.h"

namespace {

const testing::Environment* const kCards = testing::AddGlobalTestEnvironment(new OpenCardsEnvironment);

std::string TextOf(HWND hWnd) {
    char text[256] = "";
    ::GetWindowTextA(hWnd, text, sizeof text);
    return text;
}

bool IsStatusBar(HWND hWnd) {
    char name[64] = "";
    ::GetClassNameA(hWnd, name, sizeof name);
    return lstrcmpiA(name, STATUSCLASSNAMEA) == 0;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The faults found: every visible control outside the client area or under the
// status bar, by id and caption.
std::vector<std::string> HiddenControls(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    RECT status{};
    bool hasStatus = false;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (IsStatusBar(child) && (::GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) {
            ::GetWindowRect(child, &status);
            hasStatus = true;
        }
    std::vector<std::string> faults;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!(::GetWindowLongA(child, GWL_STYLE) & WS_VISIBLE)) continue;
        RECT rect{}, overlap{};
        ::GetWindowRect(child, &rect);
        const bool underStatus = hasStatus && !IsStatusBar(child) && ::IntersectRect(&overlap, &rect, &status);
        if (!Inside(rect, client) || underStatus)
            faults.push_back(std::to_string(::GetDlgCtrlID(child)) + " \"" + TextOf(child) + "\" " +
                             std::to_string(rect.left) + "," + std::to_string(rect.top) + "-" +
                             std::to_string(rect.right) + "," + std::to_string(rect.bottom) +
                             (underStatus ? " under the status bar" : " outside the client area"));
    }
    return faults;
}

class MainWindow : public CMainDlg {
public:
    MainWindow() : CMainDlg(2, kCardTable, nullptr) {}
    static constexpr uint8_t kCardTable[16] = {1, 1};
};

template <class Page, class... Args>
std::unique_ptr<CDialog> Made(UINT id, Args... args) {
    auto page = std::make_unique<Page>(args...);
    if (!page->Create(id)) return nullptr;
    page->ShowWindow(SW_SHOW);
    return page;
}

class Layout : public testing::Test {
protected:
    Layout() { AfxGetApp()->m_pMainWnd = &m_main; }
    ~Layout() override { AfxGetApp()->m_pMainWnd = nullptr; }
    void SetUp() override {
        ASSERT_TRUE(m_main.Create(IDD_MAIN));
        if (const char* dpi = std::getenv("RM7X0_EXPECT_DPI")) {
            HDC screen = ::GetDC(nullptr);
            ASSERT_EQ(::GetDeviceCaps(screen, LOGPIXELSY), std::atoi(dpi)) << "the prefix's DPI";
            ::ReleaseDC(nullptr, screen);
        }
    }
    void TearDown() override {
        if (m_main.m_hWnd) m_main.DestroyWindow();
    }

    CWinApp m_app;
    MainWindow m_main;
};

TEST_F(Layout, EveryControlOfEveryWindowIsWhollyVisible) {
    const struct {
        const char* name;
        std::function<std::unique_ptr<CDialog>()> make;
    } windows[] = {
        {"About", [] { return Made<CAboutDlg>(IDD_ABOUTBOX); }},
        {"Axis Configuration", [] { return Made<CAxisConfigDlg>(IDD_AXIS_CONFIG, -1, -1, -1, nullptr); }},
        {"Basic Operation", [] { return Made<CBasicOperationDlg>(IDD_BASIC_OPERATION, -1, -1, -1, nullptr); }},
        {"Interpolation Move", [] { return Made<CInterpolationDlg>(IDD_INTERPOLATION, -1, -1, nullptr); }},
        {"Torix", [] { return Made<CTorixIoDlg>(IDD_TORIX_IO, -1, -1, -1, -1, nullptr); }},
        {"Profile", [] { return Made<CProfileDlg>(IDD_PROFILE, 0, 1, 10.0, 100.0, nullptr, 0); }},
    };
    EXPECT_EQ(HiddenControls(m_main.m_hWnd), std::vector<std::string>{}) << "main window";
    for (const auto& window : windows) {
        std::unique_ptr<CDialog> dialog = window.make();
        ASSERT_TRUE(dialog && dialog->m_hWnd) << window.name;
        EXPECT_EQ(HiddenControls(dialog->m_hWnd), std::vector<std::string>{}) << window.name;
        dialog->DestroyWindow();
    }
}

// Return in an edit goes to the dialog's default button: on a page that must be
// none, or the page would end and open another.
TEST_F(Layout, ReturnInAnEditLeavesEveryPageOpen) {
    const struct {
        const char* name;
        std::function<std::unique_ptr<CDialog>()> make;
        int edit;
    } pages[] = {
        {"Axis Configuration", [] { return Made<CAxisConfigDlg>(IDD_AXIS_CONFIG, -1, -1, -1, nullptr); },
         IDC_CFG_RANGE},
        {"Basic Operation", [] { return Made<CBasicOperationDlg>(IDD_BASIC_OPERATION, -1, -1, -1, nullptr); },
         IDC_BO_DV},
        {"Interpolation Move", [] { return Made<CInterpolationDlg>(IDD_INTERPOLATION, -1, -1, nullptr); },
         IDC_INTERP_FP1},
        {"Torix", [] { return Made<CTorixIoDlg>(IDD_TORIX_IO, -1, -1, -1, -1, nullptr); }, IDC_TORIX_TREE},
    };
    for (const auto& page : pages) {
        std::unique_ptr<CDialog> dialog = page.make();
        ASSERT_TRUE(dialog && dialog->m_hWnd) << page.name;
        const LRESULT defId = dialog->SendMessage(DM_GETDEFID);
        ASSERT_EQ(HIWORD(defId), DC_HASDEFID) << page.name;
        EXPECT_NE(LOWORD(defId), IDOK) << page.name;
        EXPECT_EQ(::GetDlgItem(dialog->m_hWnd, LOWORD(defId)), nullptr) << page.name << ": no control takes Return";
        HWND edit = ::GetDlgItem(dialog->m_hWnd, page.edit);
        ::SetFocus(edit);
        MSG key{edit, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
        ::IsDialogMessageA(dialog->m_hWnd, &key);
        EXPECT_TRUE(::IsWindow(dialog->m_hWnd) && ::IsWindowVisible(dialog->m_hWnd)) << page.name;
        if (dialog->m_hWnd) dialog->DestroyWindow();
    }
}

}  // namespace
