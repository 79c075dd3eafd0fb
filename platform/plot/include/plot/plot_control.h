// The plot control: a window class that draws elements (series) of points against an
// x and a y range. A program drives it as it would drive a dispatch interface: one
// PLM_INVOKE message per property put or method, named by its dispatch identifier.
// With the mouse it pans, zooms or tracks, as its track mode says.
#pragma once

#include <windows.h>

class PlotModel;

// The window class; dialog templates name it for the control.
constexpr const char* kPlotControlClass = "RmTrendPlot";

// The dispatch identifiers of the control's operations.
enum PlotDispId : DISPID {
    PLOT_DISPID_ELEMENT_COLOR = 10,      // put, 32-bit COLORREF: colour of the current element
    PLOT_DISPID_ELEMENT_SHOW = 16,       // put, Boolean: the current element is drawn
    PLOT_DISPID_ELEMENT_NAME = 17,       // put, string: name of the current element
    PLOT_DISPID_ELEMENT_IN_LEGEND = 18,  // put, Boolean: the current element is listed in the legend
    PLOT_DISPID_LEGEND = 23,             // put, 32-bit: 0 no legend, 1 legend in the top-left corner
    PLOT_DISPID_ELEMENT = 31,            // put, 16-bit: index of the current element
    PLOT_DISPID_TRACK_MODE = 47,         // put, 32-bit: PlotTrackMode
    PLOT_DISPID_SET_RANGE = 53,          // method (x min, x max, y min, y max)
    PLOT_DISPID_ADD_ELEMENT = 57,        // method: appends an element
    PLOT_DISPID_CLEAR_GRAPH = 59,        // method: back to one empty element
    PLOT_DISPID_PLOT_XY = 60,            // method (x, y, element): appends a point
};

// The arguments of one invocation.
struct PlotInvokeArgs {
    WORD flags = DISPATCH_METHOD;  // DISPATCH_METHOD or DISPATCH_PROPERTYPUT
    double numbers[4] = {};        // the doubles of a method, in order
    LONG integer = 0;              // the integer or Boolean of a put; the element of PLOT_XY
    LPCSTR text = nullptr;         // the string of a put
};

// wParam: the PlotDispId; lParam: const PlotInvokeArgs*. Returns an HRESULT: S_OK,
// DISP_E_MEMBERNOTFOUND for an unknown identifier or the wrong kind of invocation,
// DISP_E_BADINDEX for an element that does not exist, E_INVALIDARG for a value the
// control cannot take (an empty or inverted range, a number that is not finite).
constexpr UINT PLM_INVOKE = WM_USER + 0x0700;

// Registers the window class for every module of the process; TRUE when it is.
BOOL RegisterPlotControl();
// The state of a plot control window; null for any other window.
const PlotModel* PlotControlModel(HWND hWnd);
