#include "owner_drawn_host.h"

#include "owner_drawn_tests.rh"

CDialog& HostDialog() {
    static CDialog* host = [] {
        auto* dialog = new CDialog(IDD_HOST);
        dialog->Create(IDD_HOST);
        return dialog;
    }();
    return *host;
}

void PumpPending() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) AfxPumpMessage();
}

std::unique_ptr<PixelGrid> CaptureClient(HWND window) {
    RECT client;
    ::GetClientRect(window, &client);
    auto grid = std::make_unique<PixelGrid>(client.right, client.bottom);
    HDC dc = ::GetDC(window);
    ::BitBlt(grid->dc(), 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    ::ReleaseDC(window, dc);
    return grid;
}

int CountColour(const PixelGrid& grid, COLORREF colour, const RECT& area) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (grid.at(x, y) == colour) ++count;
    return count;
}
