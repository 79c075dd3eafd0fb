#include "handle_map.h"

#include "mfc/dc.h"
#include "mfc/menu.h"
#include "mfc/wnd.h"

namespace mfc {

std::unordered_map<HWND, CWnd*>& PermanentWindows() {
    static std::unordered_map<HWND, CWnd*> windows;
    return windows;
}

template <>
void SetHandle(CWnd& wnd, HWND handle) { wnd.m_hWnd = handle; }
template <>
void SetHandle(CDC& dc, HDC handle) { dc.m_hDC = dc.m_hAttribDC = handle; }
template <>
void SetHandle(CMenu& menu, HMENU handle) { menu.m_hMenu = handle; }

namespace {

TemporaryMap<HWND, CWnd>& TemporaryWindows() {
    static TemporaryMap<HWND, CWnd> windows;
    return windows;
}

TemporaryMap<HDC, CDC>& TemporaryDCs() {
    static TemporaryMap<HDC, CDC> dcs;
    return dcs;
}

TemporaryMap<HMENU, CMenu>& TemporaryMenus() {
    static TemporaryMap<HMENU, CMenu> menus;
    return menus;
}

}  // namespace
}  // namespace mfc

CWnd* PASCAL CWnd::FromHandlePermanent(HWND hWnd) {
    auto& windows = mfc::PermanentWindows();
    auto it = windows.find(hWnd);
    return it == windows.end() ? nullptr : it->second;
}

CWnd* PASCAL CWnd::FromHandle(HWND hWnd) {
    if (!hWnd) return nullptr;
    if (CWnd* permanent = FromHandlePermanent(hWnd)) return permanent;
    return mfc::TemporaryWindows().Lookup(hWnd);
}

CDC* PASCAL CDC::FromHandle(HDC hDC) {
    return hDC ? mfc::TemporaryDCs().Lookup(hDC) : nullptr;
}

CMenu* PASCAL CMenu::FromHandle(HMENU hMenu) {
    return hMenu ? mfc::TemporaryMenus().Lookup(hMenu) : nullptr;
}

void AfxDeleteTempObjects() {
    mfc::TemporaryWindows().Clear();
    mfc::TemporaryDCs().Clear();
    mfc::TemporaryMenus().Clear();
}
