#include "plot/trend_graph.h"

CTrendGraph::CTrendGraph() { RegisterPlotControl(); }

HRESULT CTrendGraph::InvokeHelper(PlotDispId id, const PlotInvokeArgs& args) {
    if (!m_hWnd) return E_HANDLE;
    return static_cast<HRESULT>(SendMessage(PLM_INVOKE, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&args)));
}

HRESULT CTrendGraph::PutInteger(PlotDispId id, LONG value) {
    PlotInvokeArgs args;
    args.flags = DISPATCH_PROPERTYPUT;
    args.integer = value;
    return InvokeHelper(id, args);
}

void CTrendGraph::SetElement(short element) { PutInteger(PLOT_DISPID_ELEMENT, element); }

void CTrendGraph::SetElementColor(COLORREF colour) {
    PutInteger(PLOT_DISPID_ELEMENT_COLOR, static_cast<LONG>(colour));
}

void CTrendGraph::SetElementShow(BOOL show) { PutInteger(PLOT_DISPID_ELEMENT_SHOW, show); }

void CTrendGraph::SetElementName(LPCSTR name) {
    PlotInvokeArgs args;
    args.flags = DISPATCH_PROPERTYPUT;
    args.text = name;
    InvokeHelper(PLOT_DISPID_ELEMENT_NAME, args);
}

void CTrendGraph::SetElementInLegend(BOOL inLegend) { PutInteger(PLOT_DISPID_ELEMENT_IN_LEGEND, inLegend); }

void CTrendGraph::SetLegendMode(long mode) { PutInteger(PLOT_DISPID_LEGEND, mode); }

void CTrendGraph::SetTrackMode(long mode) { PutInteger(PLOT_DISPID_TRACK_MODE, mode); }

void CTrendGraph::SetRange(double xMin, double xMax, double yMin, double yMax) {
    PlotInvokeArgs args;
    args.numbers[0] = xMin;
    args.numbers[1] = xMax;
    args.numbers[2] = yMin;
    args.numbers[3] = yMax;
    InvokeHelper(PLOT_DISPID_SET_RANGE, args);
}

void CTrendGraph::AddElement() { InvokeHelper(PLOT_DISPID_ADD_ELEMENT, {}); }

void CTrendGraph::ClearGraph() { InvokeHelper(PLOT_DISPID_CLEAR_GRAPH, {}); }

void CTrendGraph::PlotXY(double x, double y, short element) {
    PlotInvokeArgs args;
    args.numbers[0] = x;
    args.numbers[1] = y;
    args.integer = element;
    InvokeHelper(PLOT_DISPID_PLOT_XY, args);
}
