// What a plot control holds: its elements with their points, the current element,
// the visible range, the track mode and the legend.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct PlotPoint {
    double x, y;
};

struct PlotElement {
    std::string name;
    COLORREF colour = RGB(255, 255, 255);
    bool shown = true;
    bool inLegend = false;
    std::vector<PlotPoint> points;  // in the order plotted; the line joins them
};

struct PlotRange {
    double xMin = 0.0, xMax = 1.0, yMin = 0.0, yMax = 1.0;
    // Finite, with each minimum below its maximum.
    bool IsValid() const;
};

// How the mouse acts on the plot.
enum class PlotTrackMode { None = 0, Track = 1, Zoom = 2, Pan = 3 };

class PlotModel {
public:
    PlotModel();

    // Each returns S_OK, or the failure of plot_control.h and changes nothing.
    HRESULT SelectElement(int index);
    HRESULT SetRange(const PlotRange& range);
    HRESULT SetTrackMode(LONG mode);
    HRESULT PlotXY(double x, double y, int element);
    void AddElement();
    // Removes every element and point and leaves one empty element, current.
    void Clear();
    void SetLegend(LONG legend) { m_legend = legend; }

    PlotElement& Current() { return m_elements[m_current]; }
    int CurrentIndex() const { return m_current; }
    const std::vector<PlotElement>& Elements() const { return m_elements; }
    const PlotRange& Range() const { return m_range; }
    PlotTrackMode TrackMode() const { return m_trackMode; }
    bool LegendShown() const { return m_legend != 0; }

private:
    std::vector<PlotElement> m_elements;
    int m_current = 0;
    PlotRange m_range;
    PlotTrackMode m_trackMode = PlotTrackMode::None;
    LONG m_legend = 0;
};
