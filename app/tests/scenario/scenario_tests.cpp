// The test program as a technician uses it: the real Kavrel_New started under Wine on
// the virtual display, driven by synthetic mouse and keyboard input (xdotool), from
// start to exit. What it checks is read back from the screen: control texts, status
// panes and, where pixels matter, screenshots. A window that does not close in time
// fails the test; every wait is bounded.
//   RM7X0_PROGRAM       the program (Kavrel_New.exe.so)
//   RM7X0_ARTIFACT_DIR  where the screenshots of the pages go
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "gtest_winelib.h"
#include "patience.h"
#include "pixel_grid.h"
#include "resource.h"
#include "unix_process.h"

namespace {

constexpr const char* kMainCaption = "VEXA-RM730 Kavrel ";
constexpr const char* kConfigFile = "C:\\windows\\system32\\RM720_Config.ini";

// ---- Waiting and reading the screen ------------------------------------------------

bool WaitFor(const std::function<bool()>& done) { return WaitUntil(done, 30); }

std::string Text(HWND hWnd) {
    char text[512] = "";
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, kPatienceMs,
                          &copied);
    return text;
}

std::string ClassOf(HWND hWnd) {
    char name[64] = "";
    ::GetClassNameA(hWnd, name, sizeof name);
    return name;
}

struct Found {
    std::string caption;
    bool prefix;
    HWND hWnd;
};

BOOL CALLBACK FindDialog(HWND hWnd, LPARAM param) {
    auto* found = reinterpret_cast<Found*>(param);
    if (ClassOf(hWnd) != "#32770" || !::IsWindowVisible(hWnd)) return TRUE;
    char caption[256] = "";
    ::GetWindowTextA(hWnd, caption, sizeof caption);
    const std::string text = caption;
    if (found->prefix ? text.rfind(found->caption, 0) == 0 : text == found->caption) {
        found->hWnd = hWnd;
        return FALSE;
    }
    return TRUE;
}

// The visible dialog of this caption (or of a caption that starts so), or null.
HWND Dialog(const std::string& caption, bool prefix = false) {
    Found found{caption, prefix, nullptr};
    ::EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&found));
    return found.hWnd;
}

HWND WaitDialog(const std::string& caption, bool prefix = false) {
    HWND hWnd = nullptr;
    WaitFor([&] { return (hWnd = Dialog(caption, prefix)) != nullptr; });
    return hWnd;
}

// Message boxes: the dialogs holding the box's text control.
BOOL CALLBACK CollectMessageBox(HWND hWnd, LPARAM param) {
    if (ClassOf(hWnd) == "#32770" && ::IsWindowVisible(hWnd) && ::GetDlgItem(hWnd, 0xFFFF))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(hWnd);
    return TRUE;
}

std::vector<HWND> MessageBoxes() {
    std::vector<HWND> boxes;
    ::EnumWindows(CollectMessageBox, reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

// A status pane's text, read through a buffer in the program's own memory.
std::string PaneText(HWND bar, int pane) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(bar, &pid);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return "<no process>";
    char text[256] = "";
    void* remote = ::VirtualAllocEx(process, nullptr, sizeof text, MEM_COMMIT, PAGE_READWRITE);
    DWORD_PTR length = 0;
    if (remote && ::SendMessageTimeoutA(bar, SB_GETTEXTA, pane, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                                        kPatienceMs, &length))
        ::ReadProcessMemory(process, remote, text, sizeof text - 1, nullptr);
    if (remote) ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return text;
}

HWND StatusBar(HWND page) { return ::FindWindowExA(page, nullptr, STATUSCLASSNAMEA, nullptr); }

// The window as the screen shows it, once the program has painted what it was asked
// to repaint (it paints in its own process, after the request).
void Screenshot(HWND hWnd, const std::string& name) {
    const char* folder = std::getenv("RM7X0_ARTIFACT_DIR");
    if (!folder) return;
    ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME | RDW_ERASE);
    ::Sleep(300);
    RECT frame{};
    ::GetWindowRect(hWnd, &frame);
    PixelGrid grid(frame.right - frame.left, frame.bottom - frame.top);
    HDC screen = ::GetDC(nullptr);
    ::BitBlt(grid.dc(), 0, 0, grid.width(), grid.height(), screen, frame.left, frame.top, SRCCOPY);
    ::ReleaseDC(nullptr, screen);
    EXPECT_TRUE(grid.SaveBmp(std::string(folder) + "/scenario-" + name + ".bmp")) << name;
}

// ---- Synthetic input ---------------------------------------------------------------

void Xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    ASSERT_EQ(unix_process::Run(args), 0) << "xdotool " << args[1];
    ::Sleep(60);  // the program takes the events in
}

void ClickAt(int x, int y) {
    Xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y)});
    Xdotool({"click", "1"});
}

void Click(HWND control) {
    ASSERT_TRUE(control && ::IsWindowVisible(control)) << "no control to click";
    RECT rect{};
    ::GetWindowRect(control, &rect);
    ClickAt((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
}

void Click(HWND dialog, int id) {
    SCOPED_TRACE("control " + std::to_string(id));
    Click(::GetDlgItem(dialog, id));
}

void Keys(const std::string& keys) { Xdotool({"key", "--clearmodifiers", keys}); }

// Replaces an edit's text by typing, key by key.
void TypeInto(HWND dialog, int id, const std::string& text) {
    Click(dialog, id);
    Keys("End");
    Keys("shift+Home");
    Xdotool({"type", "--delay", "40", "--", text});
}

std::string TextOf(HWND dialog, int id) { return Text(::GetDlgItem(dialog, id)); }

// Picks the item of a drop-down list that starts with the key: the list is opened
// and closed again by two clicks, then the key picks the item.
void ChooseByKey(HWND dialog, int id, const char* key, const char* item) {
    Click(dialog, id);
    Click(dialog, id);
    Keys(key);
    EXPECT_TRUE(WaitFor([&] { return TextOf(dialog, id) == item; })) << TextOf(dialog, id);
}

// Closes a window with its caption's close box, as the user does, and waits for it to go.
void CloseBox(HWND window) {
    RECT rect{};
    ASSERT_TRUE(::GetWindowRect(window, &rect));
    for (int x = rect.right - 1; x > rect.right - 80; --x) {
        for (int y = rect.top + 2; y < rect.top + 30; y += 2) {
            DWORD_PTR hit = 0;
            ::SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, kPatienceMs, &hit);
            if (hit != HTCLOSE) continue;
            ClickAt(x - 3, y + 2);
            ASSERT_TRUE(WaitFor([&] { return !::IsWindow(window) || !::IsWindowVisible(window); }))
                << "the window did not close";
            return;
        }
    }
    FAIL() << "no close box";
}

// Presses a page's button that ends it and waits until it has gone.
void Leave(HWND page, int id) {
    Click(page, id);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(page) || !::IsWindowVisible(page); }))
        << "the page did not close";
}

// ---- The program ---------------------------------------------------------------------

class Program {
public:
    Program() {
        const char* path = std::getenv("RM7X0_PROGRAM");
        if (path) m_pid = unix_process::Start({"/usr/lib/wine/wine64", path});
    }
    ~Program() {
        int status = 0;
        if (m_pid > 0 && !unix_process::Ended(m_pid, &status)) unix_process::Kill(m_pid);
    }
    bool Started() const { return m_pid > 0; }
    // Closes the main window and waits for the program to end.
    void Exit(HWND main) {
        CloseBox(main);
        int status = -1;
        ASSERT_TRUE(WaitFor([&] { return unix_process::Ended(m_pid, &status); })) << "the program did not end";
        m_pid = -1;
        EXPECT_EQ(status, 0);
    }

private:
    int m_pid = -1;
};

std::string ConfigValue(const char* key) {
    char value[32] = "";
    ::GetPrivateProfileStringA("CardNo:0", key, "", value, sizeof value, kConfigFile);
    return value;
}

void RemoveConfigFile() {
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, kConfigFile);
    ::DeleteFileA(kConfigFile);
}

// The number shown in an edit, waiting until the axis has stopped there.
bool Settles(HWND page, int id, const std::string& value, std::set<std::string>* seen = nullptr) {
    return WaitFor([&] {
        const std::string text = TextOf(page, id);
        if (seen) seen->insert(text);
        return text == value;
    });
}

// Samples a lamp's pixels from the screen.
std::vector<COLORREF> LampPixels(HWND page, int id) {
    HWND lamp = ::GetDlgItem(page, id);
    RECT rect{};
    ::GetWindowRect(lamp, &rect);
    HDC screen = ::GetDC(nullptr);
    std::vector<COLORREF> pixels;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x) pixels.push_back(::GetPixel(screen, x, y));
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

// True when a control shows more than one colour on the screen: it is drawn.
bool Drawn(HWND dialog, int id) {
    const std::vector<COLORREF> pixels = LampPixels(dialog, id);
    return std::find_if(pixels.begin(), pixels.end(), [&](COLORREF c) { return c != pixels.front(); }) !=
           pixels.end();
}

// True when most coloured pixels of a lamp are red.
bool Red(const std::vector<COLORREF>& pixels) {
    int red = 0, coloured = 0;
    for (COLORREF pixel : pixels) {
        const int r = GetRValue(pixel), g = GetGValue(pixel), b = GetBValue(pixel);
        if (r == g && g == b) continue;
        ++coloured;
        if (r > 2 * g && r > 2 * b) ++red;
    }
    return coloured > 0 && red * 2 > coloured;
}

class Scenario : public testing::Test {
protected:
    static void SetUpTestSuite() { RemoveConfigFile(); }
    static void TearDownTestSuite() { RemoveConfigFile(); }
    void SetUp() override {
        ASSERT_NE(std::getenv("RM7X0_PROGRAM"), nullptr);
        ASSERT_TRUE(m_program.Started());
        m_main = WaitDialog(kMainCaption);
        ASSERT_NE(m_main, nullptr) << "the main window did not come up";
    }
    void TearDown() override {
        if (!m_exited && m_main && ::IsWindow(m_main)) m_program.Exit(m_main);
        EXPECT_TRUE(MessageBoxes().empty()) << "a message box outlived the program";
    }
    HWND OpenPage(int button, const char* caption) {
        Click(m_main, button);
        HWND page = WaitDialog(caption);
        EXPECT_NE(page, nullptr) << caption << " did not open";
        return page;
    }

    Program m_program;
    HWND m_main = nullptr;
    bool m_exited = false;
};

// ---- The scenario --------------------------------------------------------------------

TEST_F(Scenario, ConfigureAnAxisAndSaveIt) {
    Screenshot(m_main, "main-window");
    HWND page = OpenPage(IDC_CONFIGURATION, "Axis Configuration");
    ASSERT_NE(page, nullptr);
    TypeInto(page, IDC_CFG_RANGE, "20000");
    EXPECT_TRUE(WaitFor([&] { return TextOf(page, IDC_CFG_RANGE) == "20000"; }))
        << "the first digits stand while typing: " << TextOf(page, IDC_CFG_RANGE);
    Keys("Return");
    ::Sleep(300);
    ASSERT_TRUE(::IsWindowVisible(page)) << "Return in an edit left the page";
    Click(page, IDC_CFG_SAVE_CONFIG);
    HWND question = WaitDialog("Save Configuration Type");
    ASSERT_NE(question, nullptr);
    Click(question, IDYES);
    ASSERT_TRUE(WaitFor([] { return ConfigValue("X-RANGE_VALUE") == "20000"; })) << ConfigValue("X-RANGE_VALUE");
    Screenshot(page, "axis-config");
    Leave(page, IDCANCEL);
}

TEST_F(Scenario, TheSavedConfigurationIsAppliedAtTheNextStart) {
    HWND page = OpenPage(IDC_CONFIGURATION, "Axis Configuration");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(TextOf(page, IDC_CFG_RANGE), "20000");
    Leave(page, IDCANCEL);
}

TEST_F(Scenario, TCurveForwardShowsThePositionsAndTheStopReason) {
    HWND page = OpenPage(IDC_BASIC_OPERATION, "Basic Operation");
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(WaitFor([&] { return Red(LampPixels(page, IDC_BO_SERVO_LAMP)); }))
        << "the servo lamp is red, bright or dark";
    Click(page, IDC_BO_T_PROFILE);
    TypeInto(page, IDC_BO_SV, "1000");
    TypeInto(page, IDC_BO_DV, "9000");
    Keys("Return");  // as after any typed value: the page stays
    ::Sleep(300);
    ASSERT_TRUE(::IsWindowVisible(page)) << "Return in an edit left the page";
    TypeInto(page, IDC_BO_OUTPUT_PULSE, "100000");
    Click(page, IDC_BO_CLEAR);
    ASSERT_TRUE(Settles(page, IDC_BO_LOGIC_POSITION, "0"));
    Click(page, IDC_BO_FORWARD);
    std::set<std::string> seen;
    HWND bar = StatusBar(page);
    const bool ended = Settles(page, IDC_BO_LOGIC_POSITION, "100000", &seen);
    if (!ended) Screenshot(page, "basic-operation-stuck");
    ASSERT_TRUE(ended) << TextOf(page, IDC_BO_LOGIC_POSITION) << " " << PaneText(bar, 0) << " " << PaneText(bar, 1)
                       << " " << PaneText(bar, 2);
    EXPECT_GT(seen.size(), 2u) << "the position updates while the axis runs";
    EXPECT_TRUE(WaitFor([&] { return PaneText(bar, 1) == "rm720_motion_done()"; })) << PaneText(bar, 1);
    EXPECT_NE(PaneText(bar, 2), " ");
    EXPECT_EQ(TextOf(page, IDC_BO_DV), "9000");
    Screenshot(page, "basic-operation");
    Leave(page, IDCANCEL);
}

// The Profile window opens at every click; a range typed out of bounds gives one
// message, and the window goes on.
TEST_F(Scenario, ProfileWindowRecoversFromARangeOutOfBounds) {
    HWND page = OpenPage(IDC_BASIC_OPERATION, "Basic Operation");
    ASSERT_NE(page, nullptr);
    // Each click opens a window of its own, in sight: on top where the pointer
    // points, whichever window was clicked last.
    std::vector<HWND> opened;
    for (int click = 0; click < 3; ++click) {
        Click(page, IDC_BO_PROFILE);
        HWND profile = nullptr;
        const auto newWindow = [&] {
            // The newest window of the caption is the first in the Z-order.
            profile = Dialog("VEXA-RM520 ID:0 AXIS-X");
            return profile && std::find(opened.begin(), opened.end(), profile) == opened.end();
        };
        ASSERT_TRUE(WaitFor(newWindow)) << "click " << click << " opened no window";
        opened.push_back(profile);
        RECT rect{};
        ::GetWindowRect(profile, &rect);
        const POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        EXPECT_EQ(::GetAncestor(::WindowFromPoint(centre), GA_ROOT), profile) << "click " << click << ": out of sight";
        RECT pageRect{};
        ::GetWindowRect(page, &pageRect);
        ClickAt(pageRect.right - 60, pageRect.top + 8);  // back to the page by its caption
        EXPECT_EQ(::GetAncestor(::WindowFromPoint(centre), GA_ROOT), profile) << "click " << click << ": behind the page";
        Screenshot(profile, "profile-" + std::to_string(click));
        if (click < 2) continue;
        TypeInto(profile, IDC_PROFILE_WIDTH, "200");
        Click(profile, IDC_PROFILE_SET);
        ASSERT_TRUE(WaitFor([] { return !MessageBoxes().empty(); })) << "no range message";
        HWND box = MessageBoxes()[0];
        EXPECT_EQ(Text(::GetDlgItem(box, 0xFFFF)), "Please enter a number between 0 and 100.");
        ::Sleep(300);  // thirty ticks of the window
        EXPECT_EQ(MessageBoxes().size(), 1u) << "one message for one value";
        Click(box, IDOK);
        ASSERT_TRUE(WaitFor([] { return MessageBoxes().empty(); }));
        Click(profile, IDC_PROFILE_LOGIC_POS);
        ::Sleep(300);
        EXPECT_LE(MessageBoxes().size(), 1u);
        for (HWND left : MessageBoxes()) Click(left, IDOK);
        ASSERT_TRUE(WaitFor([] { return MessageBoxes().empty(); }));
        TypeInto(profile, IDC_PROFILE_WIDTH, "20");
        Click(profile, IDC_PROFILE_SET);
        ::Sleep(300);
        EXPECT_TRUE(MessageBoxes().empty());
        for (int id : {IDC_PROFILE_XMIN, IDC_PROFILE_WIDTH, IDC_PROFILE_YMIN, IDC_PROFILE_HEIGHT, IDC_PROFILE_PAUSE,
                       IDC_PROFILE_CLEAR, IDC_PROFILE_SET})
            EXPECT_TRUE(WaitFor([&] { return Drawn(profile, id); })) << "control " << id << " is not drawn";
        Screenshot(profile, "profile");
    }
    for (auto window = opened.rbegin(); window != opened.rend(); ++window) CloseBox(*window);
    Leave(page, IDCANCEL);
}

TEST_F(Scenario, ALineAndAnArcOfTwoAxes) {
    HWND page = OpenPage(IDC_INTERPOLATION, "Interpolation Move");
    ASSERT_NE(page, nullptr);
    ChooseByKey(page, IDC_INTERP_MAIN_AXIS, "x", "X-Axis");
    ChooseByKey(page, IDC_INTERP_2ND_AXIS, "y", "Y-Axis");
    Click(page, IDC_INTERP_CLEAR);
    TypeInto(page, IDC_INTERP_FP1, "3000");
    TypeInto(page, IDC_INTERP_FP2, "-1500");
    EXPECT_TRUE(WaitFor([&] { return TextOf(page, IDC_INTERP_FP1) == "3000"; })) << TextOf(page, IDC_INTERP_FP1);
    EXPECT_TRUE(WaitFor([&] { return TextOf(page, IDC_INTERP_FP2) == "-1500"; })) << TextOf(page, IDC_INTERP_FP2);
    Click(page, IDC_INTERP_MOVE);
    HWND bar = StatusBar(page);
    EXPECT_TRUE(Settles(page, IDC_INTERP_AXIS1_LOGIC, "3000"))
        << TextOf(page, IDC_INTERP_AXIS1_LOGIC) << " " << PaneText(bar, 0) << " " << PaneText(bar, 2);
    Screenshot(page, "interpolation-line");
    EXPECT_TRUE(Settles(page, IDC_INTERP_AXIS2_LOGIC, "-1500")) << TextOf(page, IDC_INTERP_AXIS2_LOGIC);

    // A counter-clockwise half circle about (1000, 0) from the origin ends at (2000, 0).
    Click(page, IDC_INTERP_CIRCULAR);
    Click(page, IDC_INTERP_CCW);
    Click(page, IDC_INTERP_CLEAR);
    ASSERT_TRUE(Settles(page, IDC_INTERP_AXIS1_LOGIC, "0"));
    TypeInto(page, IDC_INTERP_CP1, "1000");
    TypeInto(page, IDC_INTERP_CP2, "0");
    TypeInto(page, IDC_INTERP_FP1, "2000");
    TypeInto(page, IDC_INTERP_FP2, "0");
    Click(page, IDC_INTERP_MOVE);
    EXPECT_TRUE(Settles(page, IDC_INTERP_AXIS1_LOGIC, "2000")) << TextOf(page, IDC_INTERP_AXIS1_LOGIC);
    EXPECT_TRUE(Settles(page, IDC_INTERP_AXIS2_LOGIC, "0")) << TextOf(page, IDC_INTERP_AXIS2_LOGIC);
    Screenshot(page, "interpolation");
    Leave(page, IDCANCEL);
}

// Outputs sent on group 0 come back on the inputs of module 8: the lit lamps look
// alike, and unlike the dark ones. Lamps are compared with each other, never with
// a picture taken before the program has painted them.
TEST_F(Scenario, TorixOutputsComeBackOnTheInputLamps) {
    HWND page = OpenPage(IDC_TORIX, "Torix (DI/DO) ");
    ASSERT_NE(page, nullptr);
    auto lamp = [&](int bit) { return LampPixels(page, IDC_DI_LAMP0 + bit); };
    for (int bit : {0, 5}) Click(page, IDC_DO_BIT0 + bit);
    Click(page, IDC_DO_OUTPUT);
    EXPECT_TRUE(WaitFor([&] { return lamp(0) != lamp(1); })) << "lamp 0 stays dark";
    EXPECT_TRUE(WaitFor([&] { return lamp(5) == lamp(0); }));
    EXPECT_TRUE(WaitFor([&] { return lamp(1) == lamp(2); })) << "the dark lamps differ";
    Screenshot(page, "torix");
    Click(page, IDC_RESET_TORIX);
    EXPECT_TRUE(WaitFor([&] { return lamp(0) == lamp(1); })) << "Reset turns the outputs off";
    Leave(page, IDCANCEL);
}

// The pages chain into one another: each opens from the one before and closes.
TEST_F(Scenario, EveryPageOpensAndCloses) {
    HWND config = OpenPage(IDC_CONFIGURATION, "Axis Configuration");
    ASSERT_NE(config, nullptr);
    Click(config, IDOK);  // To Basic Operation
    HWND basic = WaitDialog("Basic Operation");
    ASSERT_NE(basic, nullptr);
    Click(basic, IDOK);  // To Config
    config = WaitDialog("Axis Configuration");
    ASSERT_NE(config, nullptr);
    Click(config, IDC_TO_INTERPOLATION);
    HWND interp = WaitDialog("Interpolation Move");
    ASSERT_NE(interp, nullptr);
    Click(interp, IDOK);  // To Config
    config = WaitDialog("Axis Configuration");
    ASSERT_NE(config, nullptr);
    Leave(config, IDCANCEL);
    HWND torix = OpenPage(IDC_TORIX, "Torix (DI/DO) ");
    ASSERT_NE(torix, nullptr);
    Leave(torix, IDCANCEL);
    m_program.Exit(m_main);
    m_exited = true;
}

}  // namespace
