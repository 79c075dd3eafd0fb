// The shaded image button in a real dialog: its looks by state, drawn through the
// dialog's owner-draw reflection into memory; its clicks through the message loop;
// and its faces against values computed here from the shading rules.
#include <afxwin.h>

#include <array>
#include <cstring>
#include <memory>
#include <cstdint>
#include <vector>

#include "controls_tests.rh"
#include "crt_rand.h"
#include "gtest_winelib.h"
#include "pixel_grid.h"
#include "shade_button.h"
#include "shade_pattern.h"

namespace {

constexpr COLORREF kBlueTint = 0xFF3737;
constexpr COLORREF kIconGreen = RGB(0, 255, 0);

// A button whose faces and state the tests may look at.
class ProbeButton : public CShadeButton {
public:
    using CShadeButton::m_bDefault;
    using CShadeButton::m_bHover;
    using CShadeButton::m_dibHover;
    using CShadeButton::m_dibShade;
};

class ProbeDialog : public CDialog {
public:
    ProbeDialog() : CDialog(IDD_PROBE) {}
    ProbeButton m_run, m_stop, m_plain;
    int m_runClicks = 0;

protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, IDC_RUN, m_run);
        DDX_Control(dx, IDC_STOP, m_stop);
        DDX_Control(dx, IDC_PLAIN, m_plain);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        for (ProbeButton* button : {&m_run, &m_stop, &m_plain}) {
            button->SetFlatFocus(TRUE, TRUE);
            button->PrepareShade(4, 8, 20, 5, kBlueTint);
        }
        m_run.SetIcon(IDI_PROBE, 0);
        m_stop.SetIcon(IDI_PROBE, 0);
        return TRUE;
    }
    void OnRun() { ++m_runClicks; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeDialog, CDialog)
    ON_BN_CLICKED(IDC_RUN, OnRun)
END_MESSAGE_MAP()

COLORREF ToColor(const RGBQUAD& q) { return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue); }

// The colour a face shows at (x, y) counted from the top-left corner.
COLORREF FaceColor(const CDibBitmap& face, int x, int y) {
    const uint8_t index = face.GetBits()[static_cast<size_t>(face.GetHeight() - 1 - y) * face.GetStride() + x];
    return ToColor(face.GetPalette()[index]);
}

void PumpPending() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) AfxPumpMessage();
}

class ShadeButtonTest : public testing::Test {
protected:
    // One dialog for the suite: without a window manager, each window that X maps
    // or unmaps costs Wine a wait.
    static void SetUpTestSuite() {
        s_dialog = new ProbeDialog;
        ASSERT_TRUE(s_dialog->Create(IDD_PROBE));
        PumpPending();
    }
    static void TearDownTestSuite() {
        s_dialog->DestroyWindow();
        delete s_dialog;
        s_dialog = nullptr;
    }
    // Every test starts from the dialog as it opened: all enabled, nothing hovered,
    // Run the default.
    void SetUp() override {
        for (ProbeButton* button : {&m_dialog.m_run, &m_dialog.m_stop, &m_dialog.m_plain}) {
            button->EnableWindow(TRUE);
            button->SendMessage(WM_MOUSELEAVE);
        }
        m_dialog.SendMessage(DM_SETDEFID, IDC_RUN);
        m_dialog.m_runClicks = 0;
        PumpPending();
    }

    static inline ProbeDialog* s_dialog = nullptr;
    ProbeDialog& m_dialog = *s_dialog;

    // Draws the button as the dialog has it drawn, in the given owner-draw state.
    std::unique_ptr<PixelGrid> Draw(CButton& button, UINT itemState) {
        CRect client;
        button.GetClientRect(&client);
        auto grid = std::make_unique<PixelGrid>(client.Width(), client.Height());
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.CtlID = static_cast<UINT>(button.GetDlgCtrlID());
        item.itemAction = ODA_DRAWENTIRE;
        item.itemState = itemState;
        item.hwndItem = button.m_hWnd;
        item.hDC = grid->dc();
        item.rcItem = client;
        m_dialog.SendMessage(WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
        return grid;
    }

    void Hover(CWnd& button) { button.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5)); }

    static COLORREF Highlight() { return ::GetSysColor(COLOR_BTNHIGHLIGHT); }
    static COLORREF Shadow() { return ::GetSysColor(COLOR_BTNSHADOW); }
};

TEST_F(ShadeButtonTest, FlatButtonShowsItsBorderOnlyWhileHoveredOrPressed) {
    auto normal = Draw(m_dialog.m_run, 0);
    const int w = normal->width(), h = normal->height();
    EXPECT_EQ(normal->at(0, 0), FaceColor(m_dialog.m_run.m_dibShade, 0, 0));
    EXPECT_EQ(normal->at(w - 1, h - 1), FaceColor(m_dialog.m_run.m_dibShade, w - 1, h - 1));

    Hover(m_dialog.m_run);
    ASSERT_TRUE(m_dialog.m_run.m_bHover);
    auto hovered = Draw(m_dialog.m_run, 0);
    EXPECT_EQ(hovered->at(0, 0), Highlight()) << "raised: light top-left";
    EXPECT_EQ(hovered->at(0, h - 2), Highlight());
    EXPECT_EQ(hovered->at(w - 1, 0), Shadow()) << "raised: dark bottom-right";
    EXPECT_EQ(hovered->at(w - 1, h - 1), Shadow());
    EXPECT_EQ(hovered->at(5, 5), FaceColor(m_dialog.m_run.m_dibHover, 5, 5)) << "the lighter face";

    auto pressed = Draw(m_dialog.m_run, ODS_SELECTED);
    EXPECT_EQ(pressed->at(0, 0), Shadow()) << "sunken: dark top-left";
    EXPECT_EQ(pressed->at(w - 1, h - 1), Highlight()) << "sunken: light bottom-right";
    EXPECT_EQ(pressed->at(5, 5), FaceColor(m_dialog.m_run.m_dibHover, 4, 4)) << "the face moves by (1, 1)";
}

TEST_F(ShadeButtonTest, IconAndCaptionMoveByOneOneWhilePressed) {
    Hover(m_dialog.m_run);
    auto up = Draw(m_dialog.m_run, 0);
    auto down = Draw(m_dialog.m_run, ODS_SELECTED);
    const RECT all = {0, 0, up->width(), up->height()};
    const Box iconUp = up->Find(kIconGreen, all), iconDown = down->Find(kIconGreen, all);
    ASSERT_FALSE(iconUp.empty());
    EXPECT_EQ(iconDown.left, iconUp.left + 1);
    EXPECT_EQ(iconDown.top, iconUp.top + 1);
    // The icon loads at its 32-pixel size, whose picture has a clear border of 4.
    EXPECT_EQ(iconUp.left, 3 + 4) << "the icon keeps the margin from the left edge";

    const RECT captionArea = {iconUp.right + 4, 2, up->width() - 2, up->height() - 2};
    const COLORREF text = ::GetSysColor(COLOR_BTNTEXT);
    const Box captionUp = up->Find(text, captionArea), captionDown = down->Find(text, captionArea);
    ASSERT_FALSE(captionUp.empty());
    EXPECT_EQ(captionDown.left, captionUp.left + 1);
    EXPECT_EQ(captionDown.top, captionUp.top + 1);
}

TEST_F(ShadeButtonTest, EveryWayOfLeavingEndsTheHoverLook) {
    struct Case {
        const char* name;
        void (*leave)(CWnd& button);
    };
    const Case cases[] = {
        {"mouse leaves", [](CWnd& b) { b.SendMessage(WM_MOUSELEAVE); }},
        {"mouse moves off", [](CWnd& b) { b.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(-30, -30)); }},
        {"program switched", [](CWnd& b) { b.SendMessage(WM_ACTIVATE, WA_INACTIVE); }},
        {"cancel mode", [](CWnd& b) { b.SendMessage(WM_CANCELMODE); }},
        {"focus lost", [](CWnd& b) { b.SendMessage(WM_KILLFOCUS); }},
        {"disabled", [](CWnd& b) { b.EnableWindow(FALSE); }},
    };
    for (const Case& c : cases) {
        m_dialog.m_stop.EnableWindow(TRUE);
        Hover(m_dialog.m_stop);
        ASSERT_TRUE(m_dialog.m_stop.m_bHover) << c.name;
        c.leave(m_dialog.m_stop);
        EXPECT_FALSE(m_dialog.m_stop.m_bHover) << c.name;
        auto drawn = Draw(m_dialog.m_stop, 0);
        EXPECT_EQ(drawn->at(0, 0), FaceColor(m_dialog.m_stop.m_dibShade, 0, 0)) << c.name << ": no border";
    }
}

TEST_F(ShadeButtonTest, DisabledButtonDrawsItsIconDisabledAndItsCaptionEmbossed) {
    m_dialog.m_run.EnableWindow(FALSE);
    auto drawn = Draw(m_dialog.m_run, ODS_DISABLED);
    const RECT all = {0, 0, drawn->width(), drawn->height()};
    EXPECT_TRUE(drawn->Find(kIconGreen, all).empty()) << "the icon is drawn disabled, not in colour";

    auto enabled = Draw(m_dialog.m_stop, 0);
    const Box icon = enabled->Find(kIconGreen, all);
    ASSERT_FALSE(icon.empty());
    const RECT captionArea = {icon.right + 4, 2, drawn->width() - 2, drawn->height() - 2};
    EXPECT_TRUE(drawn->Find(::GetSysColor(COLOR_BTNTEXT), captionArea).empty());
    const Box dark = drawn->Find(Shadow(), captionArea), light = drawn->Find(Highlight(), captionArea);
    ASSERT_FALSE(dark.empty());
    EXPECT_EQ(light.left, dark.left + 1) << "the light copy lies one pixel right and down";
    EXPECT_EQ(light.bottom, dark.bottom + 1);
}

TEST_F(ShadeButtonTest, GreyAndDarkerOutIconsShowUntilHovered) {
    struct Case {
        UINT out;
        COLORREF shown;  // the probe's green, toned
    };
    for (const Case c : {Case{CImageButton::kGreyOutIcon, RGB(149, 149, 149)},
                         Case{CImageButton::kDarkerOutIcon, RGB(0, 191, 0)}, Case{0, kIconGreen}}) {
        ProbeButton& plain = m_dialog.m_plain;
        ASSERT_EQ(plain.SetIcon(IDI_PROBE, c.out), 0u);
        plain.SendMessage(WM_MOUSELEAVE);
        auto out = Draw(plain, 0);
        const RECT all = {0, 0, out->width(), out->height()};
        EXPECT_FALSE(out->Find(c.shown, all).empty()) << "out icon " << static_cast<int>(c.out);
        Hover(plain);
        auto in = Draw(plain, 0);
        EXPECT_FALSE(in->Find(kIconGreen, all).empty()) << "hovered: the icon itself";
    }
    m_dialog.m_plain.SetIcon(HICON(nullptr), HICON(nullptr));
}

TEST_F(ShadeButtonTest, AnIconThatCannotBeLoadedIsAFailureAndLeavesNoIcon) {
    ProbeButton& plain = m_dialog.m_plain;
    constexpr UINT kNoSuchIcon = 4321;
    for (const UINT in : {kNoSuchIcon, static_cast<UINT>(IDI_PROBE)}) {
        ASSERT_EQ(plain.SetIcon(IDI_PROBE, 0), 0u);
        EXPECT_EQ(plain.SetIcon(in, in == kNoSuchIcon ? 0 : kNoSuchIcon), 1u) << in;
        auto drawn = Draw(plain, 0);
        EXPECT_TRUE(drawn->Find(kIconGreen, {0, 0, drawn->width(), drawn->height()}).empty()) << in;
    }
}

TEST_F(ShadeButtonTest, ButtonAnswersTheDialogsColourRequestWithAHollowBrush) {
    PixelGrid grid(4, 4);
    const LRESULT brush = m_dialog.SendMessage(WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(grid.dc()),
                                               reinterpret_cast<LPARAM>(m_dialog.m_stop.m_hWnd));
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), ::GetStockObject(NULL_BRUSH));
}

TEST_F(ShadeButtonTest, DoubleClickGivesTwoClicks) {
    HWND run = m_dialog.m_run.m_hWnd;
    const LPARAM at = MAKELPARAM(5, 5);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        ::PostMessageA(run, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
    PumpPending();
    EXPECT_EQ(m_dialog.m_runClicks, 2);
}

TEST_F(ShadeButtonTest, MovingTheDefaultKeepsBothButtonsOwnerDrawn) {
    const auto type = [](CWnd& b) { return b.GetStyle() & 0x0F; };
    EXPECT_TRUE(m_dialog.m_run.m_bDefault);
    m_dialog.SendMessage(DM_SETDEFID, IDC_STOP);
    EXPECT_EQ(type(m_dialog.m_run), static_cast<DWORD>(BS_OWNERDRAW));
    EXPECT_EQ(type(m_dialog.m_stop), static_cast<DWORD>(BS_OWNERDRAW));
    EXPECT_FALSE(m_dialog.m_run.m_bDefault);
    EXPECT_TRUE(m_dialog.m_stop.m_bDefault);
    EXPECT_TRUE(m_dialog.m_stop.SendMessage(WM_GETDLGCODE) & DLGC_DEFPUSHBUTTON);
    EXPECT_TRUE(m_dialog.m_run.SendMessage(WM_GETDLGCODE) & DLGC_UNDEFPUSHBUTTON);
}

// ---- The faces, computed here from the shading rules -------------------------------

// The Windows C library's generator, restarted at seed 1.
class ReferenceRand {
public:
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state = 1;
};

// Palette of a face: shadow -> face -> highlight ramp, then moved percent toward tint.
std::array<COLORREF, 256> ReferencePalette(COLORREF tint, int percent) {
    const COLORREF s = ::GetSysColor(COLOR_BTNSHADOW), f = ::GetSysColor(COLOR_BTNFACE),
                   hl = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    std::array<COLORREF, 256> palette{};
    const auto mix = [](COLORREF a, COLORREF b, int i) {
        return RGB((GetRValue(a) * (128 - i) + GetRValue(b) * i) / 128, (GetGValue(a) * (128 - i) + GetGValue(b) * i) / 128,
                   (GetBValue(a) * (128 - i) + GetBValue(b) * i) / 128);
    };
    for (int i = 0; i <= 128; ++i) palette[i] = mix(s, f, i);
    for (int i = 1; i <= 128; ++i) palette[127 + i] = mix(f, hl, i);
    for (COLORREF& c : palette)
        c = RGB((GetRValue(c) * (100 - percent) + GetRValue(tint) * percent) / 100,
                (GetGValue(c) * (100 - percent) + GetGValue(tint) * percent) / 100,
                (GetBValue(c) * (100 - percent) + GetBValue(tint) * percent) / 100);
    return palette;
}

// Style 4 before noise, for row y counted from the bottom.
int SoftVertical(int y, int h, int g) {
    const int t = y * 255 / h - 127;
    return t * t * t / 128 / 128 * (128 - g) / 128 + 128;
}

TEST_F(ShadeButtonTest, ProgramShadeMatchesTheShadingRulesPixelForPixel) {
    ProbeButton& plain = m_dialog.m_plain;
    controls::CrtSeed(1);
    plain.PrepareShade(4, 8, 20, 5, kBlueTint);
    auto drawn = Draw(plain, 0);
    const int w = drawn->width(), h = drawn->height();

    // Noise: one rand() per pixel, rows from the bottom, D = 0x7FFF / 16.
    ReferenceRand rand;
    std::vector<int> noise(static_cast<size_t>(w) * h);
    for (int& n : noise) n = rand.Next() / (0x7FFF / 16) - 8;
    const auto palette = ReferencePalette(kBlueTint, 5);
    const auto expected = [&](int x, int top) {
        const int y = h - 1 - top;
        return palette[static_cast<uint8_t>(SoftVertical(y, h, 8) + noise[static_cast<size_t>(y) * w + x])];
    };
    for (auto [x, top] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {w / 2, h / 2}, {7, h / 3}})
        EXPECT_EQ(drawn->at(x, top), expected(x, top)) << "pixel " << x << "," << top;
}

TEST(ShadePattern, SoftVerticalRunsFromShadowTowardHighlight) {
    // Before noise: index 11 in the bottom row, 218 in the top row of a 25-pixel
    // face, 229 at 40 pixels.
    struct Case {
        int height, top;
    };
    for (const Case c : {Case{25, 218}, Case{40, 229}}) {
        CDibBitmap face;
        face.Create(6, c.height, 8);
        controls::CrtSeed(1);
        controls::RenderShadePattern(face, 4, 8);
        ReferenceRand rand;
        const auto noiseAt = [&](int count) {
            int n = 0;
            for (int i = 0; i < count; ++i) n = rand.Next() / (0x7FFF / 16) - 8;
            return n;
        };
        const uint8_t* bits = face.GetBits();
        EXPECT_EQ(static_cast<uint8_t>(bits[0] - noiseAt(1)), 11) << "height " << c.height;
        const size_t lastRow = static_cast<size_t>(c.height - 1) * face.GetStride();
        EXPECT_EQ(static_cast<uint8_t>(bits[lastRow] - noiseAt((c.height - 1) * 6)), c.top) << "height " << c.height;
    }
}

TEST(ShadePattern, NoStyleFailsOnTinyOrEmptyFaces) {
    // Styles 7 and 8 divide by the face's width and height.
    const std::pair<int, int> sizes[] = {{0, 0}, {1, 1}, {5, 1}, {3, 40}, {40, 1}, {0, 12}};
    for (auto [w, h] : sizes)
        for (uint32_t style = 0; style <= 9; ++style) {
            CDibBitmap face;
            face.Create(w, h, 8);
            controls::RenderShadePattern(face, style, 8);
        }
    SUCCEED();
}

TEST(ShadePattern, FaceTooNarrowForSideBandsKeepsItsGradient) {
    const int w = 5, h = 30, g = 8;
    CDibBitmap face;
    face.Create(w, h, 8);
    controls::CrtSeed(1);
    controls::RenderShadePattern(face, 7, g);
    ReferenceRand rand;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int t = y * 255 / h - 127;
            const int v = t * t * t / 128 / 128 * (128 - 2 * g) / 128 + 128;
            const int n = rand.Next() / (0x7FFF / 16) - g;
            ASSERT_EQ(face.GetBits()[static_cast<size_t>(y) * face.GetStride() + x], static_cast<uint8_t>(v + n))
                << x << "," << y;
        }
}

TEST(ShadePattern, EachFaceGetsFreshNoiseAndAStartReproducesThem) {
    const auto render = [](CDibBitmap& face) {
        face.Create(20, 10, 8);
        controls::RenderShadePattern(face, 4, 8);
    };
    CDibBitmap first, second, again;
    controls::CrtSeed(1);
    render(first);
    render(second);
    controls::CrtSeed(1);
    render(again);
    const size_t size = first.GetStride() * 10;
    EXPECT_NE(0, std::memcmp(first.GetBits(), second.GetBits(), size));
    EXPECT_EQ(0, std::memcmp(first.GetBits(), again.GetBits(), size));
}

TEST(DibBitmap, BlendBeyondOneHundredPercentGivesTheColourItself) {
    CDibBitmap dib;
    ASSERT_NE(dib.Create(4, 4, 8), nullptr);
    dib.SetPaletteEntry(3, 10, 20, 30);
    dib.BlendPalette(RGB(200, 100, 50), 150);
    EXPECT_EQ(ToColor(dib.GetPalette()[3]), RGB(200, 100, 50));
    dib.SetPaletteEntry(3, 100, 100, 100);
    dib.BlendPalette(RGB(200, 0, 50), 25);
    EXPECT_EQ(ToColor(dib.GetPalette()[3]), RGB(125, 75, 87));
}

TEST(DibBitmap, EmptyBitmapDrawsNothing) {
    PixelGrid grid(8, 8);
    CDibBitmap empty, zeroWide;
    empty.Draw(grid.dc(), 0, 0);
    zeroWide.Create(0, 8, 8);
    zeroWide.Fill(7);
    zeroWide.SetPixel(0, 0, 1);
    zeroWide.Draw(grid.dc(), 0, 0);
    for (auto [x, y] : {std::pair{0, 0}, {3, 4}, {7, 7}}) EXPECT_EQ(grid.at(x, y), RGB(255, 0, 255));
}

TEST(DibBitmap, RowsAreStoredBottomUpAndCountedFromTheTop) {
    CDibBitmap dib;
    dib.Create(3, 2, 8);
    dib.SetPaletteEntry(0, 0, 0, 0);
    dib.SetPaletteEntry(1, 255, 0, 0);
    dib.Fill(0);
    dib.SetPixel(2, 0, 1);  // top row
    dib.SetPixel(3, 0, 1);  // outside: ignored
    EXPECT_EQ(dib.GetBits()[dib.GetStride() + 2], 1) << "the top row is the last in memory";
    PixelGrid grid(3, 2);
    dib.Draw(grid.dc(), 0, 0);
    EXPECT_EQ(grid.at(2, 0), RGB(255, 0, 0));
    EXPECT_EQ(grid.at(2, 1), RGB(0, 0, 0));
}

}  // namespace
