// CMenu: a menu handle (the program uses the window's system menu).
#pragma once

#include <windows.h>

class CMenu {
public:
    CMenu() = default;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu = nullptr;

    // A temporary CMenu for hMenu, valid until the next idle time.
    static CMenu* PASCAL FromHandle(HMENU hMenu);
    BOOL Attach(HMENU hMenu) { m_hMenu = hMenu; return hMenu != nullptr; }
    HMENU GetSafeHmenu() const { return m_hMenu; }
    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr) {
        return ::AppendMenuA(m_hMenu, flags, id, text);
    }
    UINT GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
    UINT GetMenuItemID(int position) const { return ::GetMenuItemID(m_hMenu, position); }
};
