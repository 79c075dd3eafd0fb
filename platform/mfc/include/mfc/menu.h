// CMenu: a menu handle (the program uses the window's system menu; owner-drawn
// menus derive from it).
#pragma once

#include <windows.h>

class CMenu {
public:
    CMenu() = default;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;
    // Destroys the menu it holds.
    virtual ~CMenu() { DestroyMenu(); }

    HMENU m_hMenu = nullptr;

    // A temporary CMenu for hMenu, valid until the next idle time.
    static CMenu* PASCAL FromHandle(HMENU hMenu);
    BOOL Attach(HMENU hMenu) { m_hMenu = hMenu; return hMenu != nullptr; }
    HMENU Detach() { HMENU hMenu = m_hMenu; m_hMenu = nullptr; return hMenu; }
    HMENU GetSafeHmenu() const { return m_hMenu; }
    operator HMENU() const { return m_hMenu; }
    BOOL CreateMenu() { return Attach(::CreateMenu()); }
    BOOL CreatePopupMenu() { return Attach(::CreatePopupMenu()); }
    BOOL DestroyMenu() { return m_hMenu ? ::DestroyMenu(Detach()) : FALSE; }

    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr) {
        return ::AppendMenuA(m_hMenu, flags, id, text);
    }
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr) {
        return ::InsertMenuA(m_hMenu, position, flags, id, text);
    }
    BOOL ModifyMenu(UINT position, UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr) {
        return ::ModifyMenuA(m_hMenu, position, flags, id, text);
    }
    BOOL RemoveMenu(UINT position, UINT flags) { return ::RemoveMenu(m_hMenu, position, flags); }
    BOOL DeleteMenu(UINT position, UINT flags) { return ::DeleteMenu(m_hMenu, position, flags); }
    UINT GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
    UINT GetMenuItemID(int position) const { return ::GetMenuItemID(m_hMenu, position); }
    UINT GetMenuState(UINT id, UINT flags) const { return ::GetMenuState(m_hMenu, id, flags); }
    int GetMenuString(UINT id, LPSTR text, int size, UINT flags) const {
        return ::GetMenuStringA(m_hMenu, id, text, size, flags);
    }
    CMenu* GetSubMenu(int position) const { return FromHandle(::GetSubMenu(m_hMenu, position)); }
    BOOL GetMenuItemInfo(UINT item, LPMENUITEMINFOA info, BOOL byPosition = FALSE) const {
        return ::GetMenuItemInfoA(m_hMenu, item, byPosition, info);
    }

    // Owner-drawn items: what the owner window's WM_DRAWITEM and WM_MEASUREITEM ask.
    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
    virtual void MeasureItem(LPMEASUREITEMSTRUCT) {}
};
