#include "mfc/app.h"

#include <cstring>

#include "mfc/wnd.h"

namespace {

CWinApp* g_app = nullptr;
bool g_oleStarted = false;  // AfxOleInit succeeded; COM ends with the program

}  // namespace

CWinApp::CWinApp(LPCSTR appName) : m_hInstance(::GetModuleHandleA(nullptr)), m_pszAppName(m_title) {
    g_app = this;
    if (appName) {
        ::lstrcpynA(m_title, appName, sizeof m_title);
    } else if (::LoadStringA(m_hInstance, AFX_IDS_APP_TITLE, m_title, sizeof m_title) <= 0) {
        // Without a title resource, the module's file name without its extension.
        char path[MAX_PATH] = "";
        ::GetModuleFileNameA(nullptr, path, sizeof path);
        const char* name = std::strrchr(path, '\\');
        ::lstrcpynA(m_title, name ? name + 1 : path, sizeof m_title);
        if (char* dot = std::strchr(m_title, '.')) *dot = '\0';
    }
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

int CWinApp::Run() {
    MSG msg;
    for (;;) {
        while (!::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            AfxDeleteTempObjects();
            ::WaitMessage();
        }
        if (!AfxPumpMessage(&msg)) return ExitInstance();
    }
}

HICON CWinApp::LoadIcon(UINT id) const {
    return ::LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(id), RT_GROUP_ICON),
                       MAKEINTRESOURCEA(id));
}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

HINSTANCE AfxGetInstanceHandle() { return g_app ? g_app->m_hInstance : ::GetModuleHandleA(nullptr); }

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

HINSTANCE AfxFindResourceHandle(LPCSTR, LPCSTR) { return AfxGetResourceHandle(); }

int AfxMessageBox(LPCSTR text, UINT type, UINT) {
    CWnd* main = AfxGetMainWnd();
    HWND owner = main && ::IsWindowVisible(main->m_hWnd) ? main->m_hWnd : nullptr;
    if (owner) owner = ::GetLastActivePopup(owner);
    const char* caption = g_app ? g_app->m_pszAppName : nullptr;
    if (!(type & MB_ICONMASK)) {
        // The framework's default icon follows the buttons offered.
        const UINT buttons = type & MB_TYPEMASK;
        type |= (buttons == MB_OK || buttons == MB_OKCANCEL) ? MB_ICONEXCLAMATION : MB_ICONQUESTION;
    }
    return ::MessageBoxA(owner, text, caption, type);
}

int AfxMessageBox(UINT promptId, UINT type, UINT) {
    char prompt[1024] = "";
    ::LoadStringA(AfxGetResourceHandle(), promptId, prompt, sizeof prompt);
    return AfxMessageBox(prompt, type);
}

BOOL AfxOleInit() {
    if (g_oleStarted) return TRUE;
    g_oleStarted = SUCCEEDED(::OleInitialize(nullptr));
    return g_oleStarted;
}

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int cmdShow) {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    app->m_hInstance = instance;
    app->m_lpCmdLine = cmdLine;
    app->m_nCmdShow = cmdShow;
    int result;
    if (app->InitInstance()) {
        result = app->Run();
    } else {
        if (app->m_pMainWnd && ::IsWindow(app->m_pMainWnd->m_hWnd)) app->m_pMainWnd->DestroyWindow();
        result = app->ExitInstance();
    }
    if (g_oleStarted) ::OleUninitialize();
    g_oleStarted = false;
    return result;
}
