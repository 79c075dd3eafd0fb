#include "message_box_watcher.h"

#include <afxwin.h>

namespace {

std::vector<SeenMessageBox> g_seen;

std::string TextOf(HWND hWnd) {
    char text[1024] = "";
    ::GetWindowTextA(hWnd, text, sizeof text);
    return text;
}

// The message text is the longest static text of the box.
BOOL CALLBACK CollectText(HWND child, LPARAM found) {
    char className[32] = "";
    ::GetClassNameA(child, className, sizeof className);
    auto* text = reinterpret_cast<std::string*>(found);
    if (lstrcmpiA(className, "Static") == 0 && TextOf(child).size() > text->size()) *text = TextOf(child);
    return TRUE;
}

BOOL CALLBACK AnswerBox(HWND hWnd, LPARAM) {
    char className[32] = "";
    ::GetClassNameA(hWnd, className, sizeof className);
    // Message boxes are the dialogs that no CDialog of the program stands for.
    if (lstrcmpA(className, "#32770") != 0 || !::IsWindowVisible(hWnd) || CWnd::FromHandlePermanent(hWnd))
        return TRUE;
    std::string text;
    ::EnumChildWindows(hWnd, CollectText, reinterpret_cast<LPARAM>(&text));
    g_seen.push_back({TextOf(hWnd), text});
    ::PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
    ::EnumThreadWindows(::GetCurrentThreadId(), AnswerBox, 0);
}

UINT_PTR g_timer = 0;

}  // namespace

MessageBoxWatcher::MessageBoxWatcher() {
    g_seen.clear();
    g_timer = ::SetTimer(nullptr, 0, 50, Poll);
}

MessageBoxWatcher::~MessageBoxWatcher() { ::KillTimer(nullptr, g_timer); }

const std::vector<SeenMessageBox>& MessageBoxWatcher::Seen() const { return g_seen; }
