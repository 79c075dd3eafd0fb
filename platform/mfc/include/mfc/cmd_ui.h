// CCmdUI: asks a handler whether a control should be enabled (ON_UPDATE_COMMAND_UI).
#pragma once

#include <windows.h>

class CCmdTarget;
class CWnd;

class CCmdUI {
public:
    UINT m_nID = 0;
    CWnd* m_pOther = nullptr;  // the control being updated

    virtual ~CCmdUI() = default;
    virtual void Enable(BOOL on = TRUE);
    virtual void SetCheck(int check = 1);
    virtual void SetText(LPCSTR text);

    // Lets target's update handler for m_nID update the control; without one, the
    // control is enabled when target handles the command, when disableIfNoHandler.
    void DoUpdate(CCmdTarget* target, BOOL disableIfNoHandler);
};
