// The state that all LumaMenus share: the style settings, the registry of menu
// handles and the image list keyed by command.
#pragma once

#include <windows.h>

#include <map>
#include <vector>

#include <afxcmn.h>

class LumaMenu;

namespace luma {

struct SharedState {
    int osClass = -1;  // computed at first use
    bool themeProbed = false;
    bool classicTheme = false;
    int drawStyleThemed = 1;  // 1 flat, 0 classic
    int drawStyle = 0;
    BOOL selectDisabledClassic = TRUE;
    BOOL selectDisabledFlat = FALSE;
    BOOL glyphEffects = TRUE;
    // Every pop-up added through a LumaMenu, with its object when it is one.
    std::map<HMENU, LumaMenu*> registry;
    // Images used by several items, stored once; one command per image.
    CImageList images;
    std::vector<UINT> imageCommands;
};

SharedState& Shared();

}  // namespace luma
