// How a plot control lays out and draws what it holds.
#pragma once

#include <windows.h>

#include "plot/plot_model.h"

constexpr COLORREF kPlotBackground = RGB(0, 0, 0);
constexpr COLORREF kPlotGrid = RGB(64, 64, 64);
constexpr COLORREF kPlotFrame = RGB(160, 160, 160);
constexpr COLORREF kPlotText = RGB(192, 192, 192);
constexpr COLORREF kPlotCursor = RGB(255, 255, 255);

// The area of the client rectangle where the data are drawn; the margins around it
// hold the axis labels. Empty when the client is too small.
RECT PlotDataArea(const RECT& client);
// The pixel of a value: the x minimum on the area's left column, the y minimum on its
// bottom row, the maxima on the right column and the top row.
POINT PlotToPixel(const PlotRange& range, const RECT& area, double x, double y);
// The value at a pixel of the area.
PlotPoint PixelToPlot(const PlotRange& range, const RECT& area, POINT pixel);

// What the mouse adds over the data.
struct PlotOverlay {
    bool crosshair = false;  // track mode: lines through the cursor, and its values
    POINT cursor{};
    bool band = false;  // zoom mode: the rectangle being dragged
    RECT bandRect{};    // its corner pixels, both included
};

void PlotDraw(HDC dc, const RECT& client, const PlotModel& model, const PlotOverlay& overlay);
