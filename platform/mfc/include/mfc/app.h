// CWinApp: the program's one application object, and the framework's globals.
#pragma once

#include <windows.h>

#include "mfc/message_map.h"

class CWnd;

// The application title: string resource AFX_IDS_APP_TITLE, the caption of
// AfxMessageBox.
constexpr UINT AFX_IDS_APP_TITLE = 0xE000;

class CWinApp : public CCmdTarget {
public:
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp() override;

    HINSTANCE m_hInstance;
    LPCSTR m_lpCmdLine = "";
    int m_nCmdShow = SW_SHOWNORMAL;
    LPCSTR m_pszAppName;  // the title
    CWnd* m_pMainWnd = nullptr;

    // Sets up the program; FALSE ends it without a message loop.
    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    // The message loop of a program whose InitInstance returned TRUE.
    virtual int Run();

    HICON LoadIcon(UINT id) const;

private:
    char m_title[128];
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type);
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT promptId, UINT type = MB_OK, UINT helpId = (UINT)-1);
// Starts COM for the program's thread; FALSE when it cannot.
BOOL AfxOleInit();
// Dialogs of this framework hold window-class controls only (the plot control is one),
// so there is no container to set up.
inline void AfxEnableControlContainer() {}
// The framework's entry: InitInstance, then Run when it returned TRUE.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int cmdShow);
