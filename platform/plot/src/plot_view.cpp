#include "plot/plot_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kLeftMargin = 64, kRightMargin = 16, kTopMargin = 10, kBottomMargin = 24;
constexpr int kDivisions = 5;  // grid lines per axis, labelled
// Far-away points are pulled in to this many pixels from the area, so that the
// conversion to int stays defined; their lines still leave the area at the right angle.
constexpr double kPixelLimit = 1.0e6;

int ToPixel(double offset, double span, int pixels) {
    const double scaled = offset / span * (pixels - 1);
    return static_cast<int>(std::lround(std::clamp(scaled, -kPixelLimit, kPixelLimit)));
}

// A GDI object selected for the life of the scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object, bool owned) : m_dc(dc), m_object(object), m_owned(owned) {
        m_previous = ::SelectObject(dc, object);
    }
    ~Selected() {
        ::SelectObject(m_dc, m_previous);
        if (m_owned) ::DeleteObject(m_object);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_object, m_previous;
    bool m_owned;
};

void Line(HDC dc, int x1, int y1, int x2, int y2) {
    ::MoveToEx(dc, x1, y1, nullptr);
    ::LineTo(dc, x2, y2);
}

void Label(HDC dc, double value, RECT box, UINT format) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    ::DrawTextA(dc, text, -1, &box, format | DT_SINGLELINE | DT_NOCLIP);
}

void DrawGrid(HDC dc, const RECT& area, const PlotRange& range) {
    Selected pen(dc, ::CreatePen(PS_SOLID, 1, kPlotGrid), true);
    ::SetTextColor(dc, kPlotText);
    const int width = area.right - area.left, height = area.bottom - area.top;
    for (int i = 0; i <= kDivisions; ++i) {
        const int x = area.left + (width - 1) * i / kDivisions;
        const int y = area.bottom - 1 - (height - 1) * i / kDivisions;
        Line(dc, x, area.top, x, area.bottom);
        Line(dc, area.left, y, area.right, y);
        Label(dc, range.xMin + (range.xMax - range.xMin) * i / kDivisions,
              {x - 40, area.bottom + 4, x + 40, area.bottom + 20}, DT_CENTER | DT_TOP);
        Label(dc, range.yMin + (range.yMax - range.yMin) * i / kDivisions,
              {0, y - 8, area.left - 6, y + 8}, DT_RIGHT | DT_VCENTER);
    }
    Selected framePen(dc, ::CreatePen(PS_SOLID, 1, kPlotFrame), true);
    Selected hollow(dc, ::GetStockObject(NULL_BRUSH), false);
    ::Rectangle(dc, area.left - 1, area.top - 1, area.right + 1, area.bottom + 1);
}

void DrawElement(HDC dc, const RECT& area, const PlotRange& range, const PlotElement& element) {
    if (!element.shown || element.points.empty()) return;
    std::vector<POINT> pixels;
    pixels.reserve(element.points.size());
    for (const PlotPoint& p : element.points) pixels.push_back(PlotToPixel(range, area, p.x, p.y));
    if (pixels.size() > 1) {
        Selected pen(dc, ::CreatePen(PS_SOLID, 1, element.colour), true);
        ::Polyline(dc, pixels.data(), static_cast<int>(pixels.size()));
    }
    // A line leaves out its end pixel: the latest point (or a lone one) is set here.
    ::SetPixelV(dc, pixels.back().x, pixels.back().y, element.colour);
}

void DrawLegend(HDC dc, const RECT& area, const PlotModel& model) {
    TEXTMETRICA metrics;
    ::GetTextMetricsA(dc, &metrics);
    const int rowHeight = metrics.tmHeight + 2;
    int y = area.top + 4;
    for (const PlotElement& element : model.Elements()) {
        if (!element.inLegend || !element.shown) continue;
        const int middle = y + rowHeight / 2;
        Selected pen(dc, ::CreatePen(PS_SOLID, 2, element.colour), true);
        Line(dc, area.left + 6, middle, area.left + 24, middle);
        ::SetTextColor(dc, element.colour);
        RECT box = {area.left + 30, y, area.right, y + rowHeight};
        ::DrawTextA(dc, element.name.c_str(), -1, &box, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        y += rowHeight;
    }
}

void DrawOverlay(HDC dc, const RECT& area, const PlotRange& range, const PlotOverlay& overlay) {
    Selected pen(dc, ::CreatePen(PS_DOT, 1, kPlotCursor), true);
    ::SetBkMode(dc, TRANSPARENT);
    if (overlay.crosshair) {
        Line(dc, overlay.cursor.x, area.top, overlay.cursor.x, area.bottom);
        Line(dc, area.left, overlay.cursor.y, area.right, overlay.cursor.y);
        const PlotPoint value = PixelToPlot(range, area, overlay.cursor);
        char text[64];
        std::snprintf(text, sizeof text, "x=%.6g  y=%.6g", value.x, value.y);
        RECT box = {area.left, area.top + 4, area.right - 6, area.top + 20};
        ::SetTextColor(dc, kPlotCursor);
        ::DrawTextA(dc, text, -1, &box, DT_RIGHT | DT_TOP | DT_SINGLELINE);
    }
    if (overlay.band) {
        Selected hollow(dc, ::GetStockObject(NULL_BRUSH), false);
        const RECT& band = overlay.bandRect;  // corners included
        ::Rectangle(dc, band.left, band.top, band.right + 1, band.bottom + 1);
    }
}

}  // namespace

RECT PlotDataArea(const RECT& client) {
    RECT area = {client.left + kLeftMargin, client.top + kTopMargin, client.right - kRightMargin,
                 client.bottom - kBottomMargin};
    if (area.right <= area.left || area.bottom <= area.top) area = {area.left, area.top, area.left, area.top};
    return area;
}

POINT PlotToPixel(const PlotRange& range, const RECT& area, double x, double y) {
    return {area.left + ToPixel(x - range.xMin, range.xMax - range.xMin, area.right - area.left),
            area.bottom - 1 - ToPixel(y - range.yMin, range.yMax - range.yMin, area.bottom - area.top)};
}

PlotPoint PixelToPlot(const PlotRange& range, const RECT& area, POINT pixel) {
    const double columns = std::max<LONG>(area.right - area.left - 1, 1);
    const double rows = std::max<LONG>(area.bottom - area.top - 1, 1);
    return {range.xMin + (pixel.x - area.left) / columns * (range.xMax - range.xMin),
            range.yMin + (area.bottom - 1 - pixel.y) / rows * (range.yMax - range.yMin)};
}

void PlotDraw(HDC dc, const RECT& client, const PlotModel& model, const PlotOverlay& overlay) {
    HBRUSH background = ::CreateSolidBrush(kPlotBackground);
    ::FillRect(dc, &client, background);
    ::DeleteObject(background);
    const RECT area = PlotDataArea(client);
    if (area.right == area.left) return;

    const int saved = ::SaveDC(dc);
    ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    DrawGrid(dc, area, model.Range());
    ::IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
    for (const PlotElement& element : model.Elements()) DrawElement(dc, area, model.Range(), element);
    if (model.LegendShown()) DrawLegend(dc, area, model);
    DrawOverlay(dc, area, model.Range(), overlay);
    ::RestoreDC(dc, saved);
}
