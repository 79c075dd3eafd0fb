#include "plot/plot_model.h"

#include <cmath>

bool PlotRange::IsValid() const {
    return std::isfinite(xMin) && std::isfinite(xMax) && std::isfinite(yMin) && std::isfinite(yMax) &&
           xMin < xMax && yMin < yMax;
}

PlotModel::PlotModel() : m_elements(1) {}

HRESULT PlotModel::SelectElement(int index) {
    if (index < 0 || index >= static_cast<int>(m_elements.size())) return DISP_E_BADINDEX;
    m_current = index;
    return S_OK;
}

HRESULT PlotModel::SetRange(const PlotRange& range) {
    if (!range.IsValid()) return E_INVALIDARG;
    m_range = range;
    return S_OK;
}

HRESULT PlotModel::SetTrackMode(LONG mode) {
    if (mode < static_cast<LONG>(PlotTrackMode::None) || mode > static_cast<LONG>(PlotTrackMode::Pan))
        return E_INVALIDARG;
    m_trackMode = static_cast<PlotTrackMode>(mode);
    return S_OK;
}

HRESULT PlotModel::PlotXY(double x, double y, int element) {
    if (element < 0 || element >= static_cast<int>(m_elements.size())) return DISP_E_BADINDEX;
    if (!std::isfinite(x) || !std::isfinite(y)) return E_INVALIDARG;
    m_elements[element].points.push_back({x, y});
    return S_OK;
}

void PlotModel::AddElement() { m_elements.emplace_back(); }

void PlotModel::Clear() {
    m_elements.assign(1, PlotElement{});
    m_current = 0;
}
