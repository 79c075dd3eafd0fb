// The plot control's window class: carries out the invocations on its model, paints
// it double-buffered, and pans, zooms or tracks with the mouse.
#include "plot/plot_control.h"

#include <algorithm>
#include <new>

#include "plot/plot_model.h"
#include "plot/plot_view.h"

namespace {

constexpr int kMinZoomPixels = 3;  // a smaller band is a click, not a zoom

enum class Drag { None, Zoom, Pan };

struct PlotWindow {
    PlotModel model;
    PlotOverlay overlay;
    Drag drag = Drag::None;
    POINT dragStart{};
    PlotRange rangeAtDragStart;
    bool leaveTracked = false;  // WM_MOUSELEAVE asked for
};

PlotWindow* StateOf(HWND hWnd) { return reinterpret_cast<PlotWindow*>(::GetWindowLongPtrA(hWnd, 0)); }

RECT DataAreaOf(HWND hWnd) {
    RECT client;
    ::GetClientRect(hWnd, &client);
    return PlotDataArea(client);
}

HRESULT Put(PlotModel& model, DISPID id, const PlotInvokeArgs& args) {
    switch (id) {
    case PLOT_DISPID_ELEMENT_COLOR:
        model.Current().colour = static_cast<COLORREF>(args.integer);
        return S_OK;
    case PLOT_DISPID_ELEMENT_SHOW:
        model.Current().shown = args.integer != 0;
        return S_OK;
    case PLOT_DISPID_ELEMENT_NAME:
        model.Current().name = args.text ? args.text : "";
        return S_OK;
    case PLOT_DISPID_ELEMENT_IN_LEGEND:
        model.Current().inLegend = args.integer != 0;
        return S_OK;
    case PLOT_DISPID_LEGEND:
        model.SetLegend(args.integer);
        return S_OK;
    case PLOT_DISPID_ELEMENT:
        return model.SelectElement(static_cast<SHORT>(args.integer));
    case PLOT_DISPID_TRACK_MODE:
        return model.SetTrackMode(args.integer);
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT Call(PlotModel& model, DISPID id, const PlotInvokeArgs& args) {
    switch (id) {
    case PLOT_DISPID_SET_RANGE:
        return model.SetRange({args.numbers[0], args.numbers[1], args.numbers[2], args.numbers[3]});
    case PLOT_DISPID_ADD_ELEMENT:
        model.AddElement();
        return S_OK;
    case PLOT_DISPID_CLEAR_GRAPH:
        model.Clear();
        return S_OK;
    case PLOT_DISPID_PLOT_XY:
        return model.PlotXY(args.numbers[0], args.numbers[1], static_cast<SHORT>(args.integer));
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

void EndDrag(HWND hWnd, PlotWindow& state) {
    state.drag = Drag::None;
    state.overlay.band = false;
    if (::GetCapture() == hWnd) ::ReleaseCapture();
    ::InvalidateRect(hWnd, nullptr, FALSE);
}

HRESULT Invoke(HWND hWnd, PlotWindow& state, DISPID id, const PlotInvokeArgs* args) {
    if (!args) return E_POINTER;
    const PlotTrackMode modeBefore = state.model.TrackMode();
    HRESULT result = DISP_E_MEMBERNOTFOUND;
    if (args->flags == DISPATCH_PROPERTYPUT) result = Put(state.model, id, *args);
    if (args->flags == DISPATCH_METHOD) result = Call(state.model, id, *args);
    if (state.model.TrackMode() != modeBefore) {
        // What the mouse was doing belongs to the mode that ended.
        EndDrag(hWnd, state);
        state.overlay.crosshair = false;
    }
    if (SUCCEEDED(result)) ::InvalidateRect(hWnd, nullptr, FALSE);
    return result;
}

// The band between two pixels, both corners included, inside the area.
RECT Normalised(POINT a, POINT b, const RECT& area) {
    return {std::max(std::min(a.x, b.x), area.left), std::max(std::min(a.y, b.y), area.top),
            std::min(std::max(a.x, b.x), area.right - 1), std::min(std::max(a.y, b.y), area.bottom - 1)};
}

void OnButtonDown(HWND hWnd, PlotWindow& state, POINT point) {
    const RECT area = DataAreaOf(hWnd);
    if (!::PtInRect(&area, point)) return;
    switch (state.model.TrackMode()) {
    case PlotTrackMode::Zoom:
        state.drag = Drag::Zoom;
        state.overlay.band = true;
        state.overlay.bandRect = {point.x, point.y, point.x, point.y};
        break;
    case PlotTrackMode::Pan:
        state.drag = Drag::Pan;
        state.rangeAtDragStart = state.model.Range();
        break;
    default:
        return;
    }
    state.dragStart = point;
    ::SetCapture(hWnd);
}

// Moves the range with the pointer, so the data follow it.
void Pan(PlotWindow& state, const RECT& area, POINT point) {
    const PlotRange& start = state.rangeAtDragStart;
    const PlotPoint from = PixelToPlot(start, area, state.dragStart);
    const PlotPoint to = PixelToPlot(start, area, point);
    const double dx = to.x - from.x, dy = to.y - from.y;
    state.model.SetRange({start.xMin - dx, start.xMax - dx, start.yMin - dy, start.yMax - dy});
}

void OnMouseMove(HWND hWnd, PlotWindow& state, POINT point) {
    const RECT area = DataAreaOf(hWnd);
    if (state.drag == Drag::Zoom) state.overlay.bandRect = Normalised(state.dragStart, point, area);
    if (state.drag == Drag::Pan) Pan(state, area, point);
    if (state.model.TrackMode() == PlotTrackMode::Track) {
        state.overlay.crosshair = ::PtInRect(&area, point) != FALSE;
        state.overlay.cursor = point;
        if (!state.leaveTracked) {
            TRACKMOUSEEVENT leave = {sizeof leave, TME_LEAVE, hWnd, 0};
            state.leaveTracked = ::TrackMouseEvent(&leave) != FALSE;
        }
    }
    ::InvalidateRect(hWnd, nullptr, FALSE);
}

void OnButtonUp(HWND hWnd, PlotWindow& state) {
    if (state.drag == Drag::Zoom) {
        const RECT band = state.overlay.bandRect;
        if (band.right - band.left >= kMinZoomPixels && band.bottom - band.top >= kMinZoomPixels) {
            const RECT area = DataAreaOf(hWnd);
            const PlotRange& range = state.model.Range();
            const PlotPoint low = PixelToPlot(range, area, {band.left, band.bottom});
            const PlotPoint high = PixelToPlot(range, area, {band.right, band.top});
            state.model.SetRange({low.x, high.x, low.y, high.y});
        }
    }
    EndDrag(hWnd, state);
}

void Paint(HWND hWnd, const PlotWindow& state) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hWnd, &paint);
    RECT client;
    ::GetClientRect(hWnd, &client);
    // Drawn off screen first: the plot is redrawn up to a hundred times a second.
    HDC memory = ::CreateCompatibleDC(dc);
    HBITMAP bitmap = ::CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    PlotDraw(memory, client, state.model, state.overlay);
    ::BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::EndPaint(hWnd, &paint);
}

LRESULT CALLBACK PlotWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created = new (std::nothrow) PlotWindow;
        if (!created) return FALSE;
        ::SetWindowLongPtrA(hWnd, 0, reinterpret_cast<LONG_PTR>(created));
    }
    PlotWindow* state = StateOf(hWnd);
    if (!state) return ::DefWindowProcA(hWnd, message, wParam, lParam);
    const POINT point = {static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
    switch (message) {
    case PLM_INVOKE:
        return Invoke(hWnd, *state, static_cast<DISPID>(wParam), reinterpret_cast<const PlotInvokeArgs*>(lParam));
    case WM_PAINT:
        Paint(hWnd, *state);
        return 0;
    case WM_PRINTCLIENT: {
        RECT client;
        ::GetClientRect(hWnd, &client);
        PlotDraw(reinterpret_cast<HDC>(wParam), client, state->model, state->overlay);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_LBUTTONDOWN:
        OnButtonDown(hWnd, *state, point);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(hWnd, *state, point);
        return 0;
    case WM_LBUTTONUP:
        OnButtonUp(hWnd, *state);
        return 0;
    case WM_CAPTURECHANGED:
        if (state->drag != Drag::None && reinterpret_cast<HWND>(lParam) != hWnd) EndDrag(hWnd, *state);
        return 0;
    case WM_MOUSELEAVE:
        state->leaveTracked = false;
        state->overlay.crosshair = false;
        ::InvalidateRect(hWnd, nullptr, FALSE);
        return 0;
    case WM_NCDESTROY:
        ::SetWindowLongPtrA(hWnd, 0, 0);
        delete state;
        break;
    }
    return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

}  // namespace

BOOL RegisterPlotControl() {
    static BOOL registered = FALSE;
    if (registered) return TRUE;
    WNDCLASSA windowClass{};
    windowClass.style = CS_GLOBALCLASS | CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = PlotWndProc;
    windowClass.cbWndExtra = sizeof(PlotWindow*);
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_CROSS));
    windowClass.lpszClassName = kPlotControlClass;
    registered = ::RegisterClassA(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return registered;
}

const PlotModel* PlotControlModel(HWND hWnd) {
    char name[32] = "";
    if (!hWnd || !::GetClassNameA(hWnd, name, sizeof name) || lstrcmpiA(name, kPlotControlClass) != 0) return nullptr;
    const PlotWindow* state = StateOf(hWnd);
    return state ? &state->model : nullptr;
}
