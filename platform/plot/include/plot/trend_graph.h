// CTrendGraph: the framework window that stands for a plot control in a dialog (bound
// with DDX_Control); each operation invokes one of the control's dispatch identifiers.
#pragma once

#include <afxwin.h>

#include "plot/plot_control.h"

class CTrendGraph : public CWnd {
public:
    // Registers the control's window class, so that a dialog holding the control can
    // be created once its CTrendGraph exists.
    CTrendGraph();

    // The current element: the one the element properties below act on.
    void SetElement(short element);
    void SetElementColor(COLORREF colour);
    void SetElementShow(BOOL show);
    void SetElementName(LPCSTR name);
    void SetElementInLegend(BOOL inLegend);  // listed in the legend
    void SetLegendMode(long mode);           // 0 none, 1 shown
    void SetTrackMode(long mode);            // 0 none, 1 track, 2 zoom, 3 pan
    void SetRange(double xMin, double xMax, double yMin, double yMax);
    void AddElement();
    void ClearGraph();
    void PlotXY(double x, double y, short element);

private:
    HRESULT InvokeHelper(PlotDispId id, const PlotInvokeArgs& args);
    HRESULT PutInteger(PlotDispId id, LONG value);
};
