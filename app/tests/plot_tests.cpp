// The plot control: its operations and their effects, what it draws where (into a
// memory DC), and what the mouse does in each track mode.
#include <afxwin.h>

#include <cmath>
#include <limits>

#include "gtest_winelib.h"
#include "pixel_grid.h"
#include "plot/plot_control.h"
#include "plot/plot_model.h"
#include "plot/plot_view.h"
#include "plot/trend_graph.h"

namespace {

constexpr COLORREF kGreen = RGB(0, 255, 0), kRed = RGB(255, 0, 0);

class PlotControlTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RegisterPlotControl());
        HWND hWnd = ::CreateWindowExA(0, kPlotControlClass, "", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                      ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(hWnd, nullptr);
        ASSERT_TRUE(m_graph.SubclassWindow(hWnd));
    }
    void TearDown() override { m_graph.DestroyWindow(); }

    const PlotModel& Model() const { return *PlotControlModel(m_graph.m_hWnd); }
    HRESULT Invoke(DISPID id, const PlotInvokeArgs& args) {
        return static_cast<HRESULT>(m_graph.SendMessage(PLM_INVOKE, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&args)));
    }
    static PlotInvokeArgs Put(LONG value) {
        PlotInvokeArgs args;
        args.flags = DISPATCH_PROPERTYPUT;
        args.integer = value;
        return args;
    }
    static PlotInvokeArgs Method(double a = 0, double b = 0, double c = 0, double d = 0, LONG integer = 0) {
        PlotInvokeArgs args;
        args.numbers[0] = a;
        args.numbers[1] = b;
        args.numbers[2] = c;
        args.numbers[3] = d;
        args.integer = integer;
        return args;
    }
    RECT Area() const {
        RECT client;
        ::GetClientRect(m_graph.m_hWnd, &client);
        return PlotDataArea(client);
    }
    POINT Pixel(double x, double y) const { return PlotToPixel(Model().Range(), Area(), x, y); }
    void Render(PixelGrid& grid) { m_graph.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(grid.dc()), PRF_CLIENT); }
    void Mouse(UINT message, POINT at) { m_graph.SendMessage(message, 0, MAKELPARAM(at.x, at.y)); }
    void Drag(POINT from, POINT to) {
        Mouse(WM_LBUTTONDOWN, from);
        Mouse(WM_MOUSEMOVE, to);
        Mouse(WM_LBUTTONUP, to);
    }

    CTrendGraph m_graph;
};

void ExpectRange(const PlotRange& got, double xMin, double xMax, double yMin, double yMax, double tolerance = 1e-9) {
    EXPECT_NEAR(got.xMin, xMin, tolerance);
    EXPECT_NEAR(got.xMax, xMax, tolerance);
    EXPECT_NEAR(got.yMin, yMin, tolerance);
    EXPECT_NEAR(got.yMax, yMax, tolerance);
}

// ---- Operations ---------------------------------------------------------------------

TEST_F(PlotControlTest, ElementPropertiesActOnTheCurrentElement) {
    ASSERT_EQ(Model().Elements().size(), 1u) << "a new control holds element 0";
    m_graph.AddElement();
    ASSERT_EQ(Model().Elements().size(), 2u);
    m_graph.SetElement(1);
    m_graph.SetElementColor(kRed);
    m_graph.SetElementName("ENC Pos.");
    m_graph.SetElementInLegend(TRUE);
    m_graph.SetElementShow(FALSE);
    const PlotElement& first = Model().Elements()[0];
    const PlotElement& second = Model().Elements()[1];
    EXPECT_EQ(Model().CurrentIndex(), 1);
    EXPECT_EQ(second.colour, kRed);
    EXPECT_EQ(second.name, "ENC Pos.");
    EXPECT_TRUE(second.inLegend);
    EXPECT_FALSE(second.shown);
    EXPECT_EQ(first.name, "");
    EXPECT_TRUE(first.shown);
    EXPECT_FALSE(first.inLegend);

    m_graph.PlotXY(1.5, 20.0, 0);  // to the element named, not the current one
    ASSERT_EQ(first.points.size(), 1u);
    EXPECT_EQ(first.points[0].x, 1.5);
    EXPECT_EQ(first.points[0].y, 20.0);
    EXPECT_TRUE(second.points.empty());

    m_graph.SetRange(-1, 2, 3, 40);
    ExpectRange(Model().Range(), -1, 2, 3, 40);
    m_graph.SetTrackMode(3);
    EXPECT_EQ(Model().TrackMode(), PlotTrackMode::Pan);
    m_graph.SetLegendMode(1);
    EXPECT_TRUE(Model().LegendShown());
}

TEST_F(PlotControlTest, ClearLeavesOneEmptyCurrentElementAndKeepsTheView) {
    m_graph.AddElement();
    m_graph.AddElement();
    m_graph.SetElement(2);
    m_graph.SetElementName("CMD Speed");
    m_graph.PlotXY(1, 1, 2);
    m_graph.SetRange(5, 6, 7, 8);
    m_graph.SetTrackMode(2);
    m_graph.ClearGraph();
    ASSERT_EQ(Model().Elements().size(), 1u);
    EXPECT_EQ(Model().CurrentIndex(), 0);
    EXPECT_TRUE(Model().Elements()[0].points.empty());
    EXPECT_EQ(Model().Elements()[0].name, "");
    ExpectRange(Model().Range(), 5, 6, 7, 8);
    EXPECT_EQ(Model().TrackMode(), PlotTrackMode::Zoom);
}

TEST_F(PlotControlTest, RefusesWhatItCannotTakeAndChangesNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    PlotInvokeArgs methodOnProperty = Put(0);
    methodOnProperty.flags = DISPATCH_METHOD;
    const struct {
        DISPID id;
        PlotInvokeArgs args;
        HRESULT expected;
    } cases[] = {
        {PLOT_DISPID_ELEMENT, Put(1), DISP_E_BADINDEX},
        {PLOT_DISPID_ELEMENT, Put(-1), DISP_E_BADINDEX},
        {PLOT_DISPID_PLOT_XY, Method(1, 1, 0, 0, 1), DISP_E_BADINDEX},
        {PLOT_DISPID_PLOT_XY, Method(nan, 1), E_INVALIDARG},
        {PLOT_DISPID_SET_RANGE, Method(10, 0, 0, 1), E_INVALIDARG},
        {PLOT_DISPID_SET_RANGE, Method(0, 1, 5, 5), E_INVALIDARG},
        {PLOT_DISPID_SET_RANGE, Method(0, nan, 0, 1), E_INVALIDARG},
        {PLOT_DISPID_TRACK_MODE, Put(4), E_INVALIDARG},
        {PLOT_DISPID_ELEMENT_COLOR, methodOnProperty, DISP_E_MEMBERNOTFOUND},
        {PLOT_DISPID_ADD_ELEMENT, Put(0), DISP_E_MEMBERNOTFOUND},
        {99, Put(0), DISP_E_MEMBERNOTFOUND},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Invoke(c.id, c.args), c.expected) << "dispid " << c.id;
        EXPECT_EQ(Model().Elements().size(), 1u);
        EXPECT_EQ(Model().CurrentIndex(), 0);
        EXPECT_TRUE(Model().Elements()[0].points.empty());
        ExpectRange(Model().Range(), 0, 1, 0, 1);
        EXPECT_EQ(Model().TrackMode(), PlotTrackMode::None);
    }
    EXPECT_EQ(m_graph.SendMessage(PLM_INVOKE, PLOT_DISPID_ADD_ELEMENT, 0), E_POINTER);
    EXPECT_EQ(PlotControlModel(::GetDesktopWindow()), nullptr) << "only plot controls have a model";
}

// ---- Drawing ------------------------------------------------------------------------

TEST_F(PlotControlTest, MapsTheRangeOntoTheDataArea) {
    m_graph.SetRange(0, 100, 0, 1000);
    const RECT area = Area();
    ASSERT_GT(area.right - area.left, 100);
    ASSERT_GT(area.bottom - area.top, 100);
    const POINT low = Pixel(0, 0), high = Pixel(100, 1000), middle = Pixel(50, 500);
    EXPECT_EQ(low.x, area.left);
    EXPECT_EQ(low.y, area.bottom - 1);
    EXPECT_EQ(high.x, area.right - 1);
    EXPECT_EQ(high.y, area.top);
    EXPECT_NEAR(middle.x, (area.left + area.right - 1) / 2.0, 0.5);
    EXPECT_NEAR(middle.y, (area.top + area.bottom - 1) / 2.0, 0.5);
    const PlotPoint back = PixelToPlot(Model().Range(), area, high);
    EXPECT_NEAR(back.x, 100, 1e-9);
    EXPECT_NEAR(back.y, 1000, 1e-9);
}

TEST_F(PlotControlTest, DrawsShownElementsAsLinesInTheirColours) {
    m_graph.SetRange(0, 100, 0, 1000);
    m_graph.SetElementColor(kGreen);
    m_graph.PlotXY(0, 0, 0);
    m_graph.PlotXY(100, 1000, 0);
    m_graph.AddElement();
    m_graph.SetElement(1);
    m_graph.SetElementColor(kRed);
    m_graph.SetElementShow(FALSE);
    m_graph.PlotXY(0, 250, 1);
    m_graph.PlotXY(100, 250, 1);

    const RECT area = Area();
    {
        PixelGrid grid(400, 300);
        Render(grid);
        const POINT middle = Pixel(50, 500);
        EXPECT_EQ(grid.at(middle.x, middle.y), kGreen);
        EXPECT_EQ(grid.at(area.left, area.bottom - 1), kGreen);
        EXPECT_EQ(grid.at(area.right - 1, area.top), kGreen);
        EXPECT_TRUE(grid.Find(kRed, {0, 0, 400, 300}).empty()) << "a hidden element is not drawn";
        EXPECT_EQ(grid.at(area.left + 5, area.top + 40), kPlotBackground);
    }
    m_graph.SetElementShow(TRUE);
    PixelGrid grid(400, 300);
    Render(grid);
    const Box red = grid.Find(kRed, {0, 0, 400, 300});
    EXPECT_EQ(red.left, area.left);
    EXPECT_EQ(red.right, area.right - 1);
    EXPECT_EQ(red.top, Pixel(0, 250).y);
    EXPECT_EQ(red.bottom, Pixel(0, 250).y);
}

TEST_F(PlotControlTest, ClipsToTheDataAreaAndDrawsALonePoint) {
    m_graph.SetRange(0, 10, 0, 10);
    m_graph.SetElementColor(kGreen);
    m_graph.PlotXY(-1e12, 5, 0);  // far outside on both sides
    m_graph.PlotXY(1e12, 5, 0);
    m_graph.AddElement();
    m_graph.SetElement(1);
    m_graph.SetElementColor(kRed);
    m_graph.PlotXY(2, 2, 1);
    PixelGrid grid(400, 300);
    Render(grid);
    const RECT area = Area();
    const Box green = grid.Find(kGreen, {0, 0, 400, 300});
    EXPECT_EQ(green.left, area.left);
    EXPECT_EQ(green.right, area.right - 1);
    const Box red = grid.Find(kRed, {0, 0, 400, 300});
    const POINT dot = Pixel(2, 2);
    EXPECT_EQ(red.left, dot.x);
    EXPECT_EQ(red.right, dot.x);
    EXPECT_EQ(red.top, dot.y);
    EXPECT_EQ(red.bottom, dot.y);
}

TEST_F(PlotControlTest, LegendListsNamedShownElementsWhenOn) {
    m_graph.SetElementColor(kGreen);
    m_graph.SetElementName("CMD Pos.");
    m_graph.SetElementInLegend(TRUE);
    const RECT area = Area();
    const RECT corner = {area.left, area.top, area.left + 100, area.top + 30};
    {
        PixelGrid grid(400, 300);
        Render(grid);
        EXPECT_TRUE(grid.Find(kGreen, corner).empty()) << "no legend before mode 1";
    }
    m_graph.SetLegendMode(1);
    {
        PixelGrid grid(400, 300);
        Render(grid);
        EXPECT_FALSE(grid.Find(kGreen, corner).empty());
    }
    m_graph.SetElementShow(FALSE);
    PixelGrid grid(400, 300);
    Render(grid);
    EXPECT_TRUE(grid.Find(kGreen, corner).empty()) << "a hidden element leaves the legend";
}

// ---- Mouse --------------------------------------------------------------------------

TEST_F(PlotControlTest, ZoomDragSetsTheRangeToTheBand) {
    m_graph.SetRange(0, 100, 0, 100);
    m_graph.SetTrackMode(2);
    const RECT area = Area();
    const double pixelX = 100.0 / (area.right - area.left - 1), pixelY = 100.0 / (area.bottom - area.top - 1);
    Drag(Pixel(20, 80), Pixel(20, 80));
    ExpectRange(Model().Range(), 0, 100, 0, 100);  // a click is no zoom
    Drag(Pixel(20, 80), Pixel(60, 40));
    const PlotRange zoomed = Model().Range();  // to the pixels of the corners
    EXPECT_NEAR(zoomed.xMin, 20, pixelX / 2);
    EXPECT_NEAR(zoomed.xMax, 60, pixelX / 2);
    EXPECT_NEAR(zoomed.yMin, 40, pixelY / 2);
    EXPECT_NEAR(zoomed.yMax, 80, pixelY / 2);
    EXPECT_NE(::GetCapture(), m_graph.m_hWnd) << "the drag ended";
}

TEST_F(PlotControlTest, PanDragMovesTheDataWithThePointer) {
    m_graph.SetRange(0, 100, 0, 100);
    m_graph.SetTrackMode(3);
    const POINT from = Pixel(50, 50);
    const POINT to = {from.x + 40, from.y + 20};  // right and down
    const PlotPoint grabbed = PixelToPlot(Model().Range(), Area(), from);
    Drag(from, to);
    // The value that was under the pointer is under it again; the spans stay.
    const PlotPoint under = PixelToPlot(Model().Range(), Area(), to);
    EXPECT_NEAR(under.x, grabbed.x, 1e-9);
    EXPECT_NEAR(under.y, grabbed.y, 1e-9);
    const PlotRange& range = Model().Range();
    EXPECT_LT(range.xMin, 0);
    EXPECT_GT(range.yMin, 0);
    EXPECT_NEAR(range.xMax - range.xMin, 100, 1e-9);
    EXPECT_NEAR(range.yMax - range.yMin, 100, 1e-9);
}

TEST_F(PlotControlTest, TrackModeDrawsACrosshairAndNoneIgnoresTheMouse) {
    m_graph.SetRange(0, 100, 0, 100);
    Drag(Pixel(20, 20), Pixel(80, 80));
    ExpectRange(Model().Range(), 0, 100, 0, 100);

    m_graph.SetTrackMode(1);
    const POINT cursor = Pixel(30, 30);
    Mouse(WM_MOUSEMOVE, cursor);
    const RECT area = Area();
    {
        PixelGrid grid(400, 300);
        Render(grid);
        const Box column = grid.Find(kPlotCursor, {cursor.x, area.bottom - 20, cursor.x + 1, area.bottom});
        EXPECT_FALSE(column.empty()) << "the vertical line reaches the bottom";
        const Box row = grid.Find(kPlotCursor, {area.left, cursor.y, area.left + 20, cursor.y + 1});
        EXPECT_FALSE(row.empty()) << "the horizontal line reaches the left";
    }
    m_graph.SetTrackMode(0);
    PixelGrid grid(400, 300);
    Render(grid);
    EXPECT_TRUE(grid.Find(kPlotCursor, {cursor.x, area.bottom - 20, cursor.x + 1, area.bottom}).empty());
}

}  // namespace
