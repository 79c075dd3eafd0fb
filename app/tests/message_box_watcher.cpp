#include "message_box_watcher.h"

#include <afxwin.h>

#include <utility>

namespace {

std::vector<SeenMessageBox> g_seen;
std::vector<MessageBoxAnswer> g_answers;

constexpr int kFileNameBox = 0x47C;  // cmb13 of the file dialogs

// The answer given for the caption, used up; OK when none is left.
MessageBoxAnswer TakeAnswer(const std::string& caption) {
    for (auto answer = g_answers.begin(); answer != g_answers.end(); ++answer) {
        if (answer->caption != caption) continue;
        MessageBoxAnswer taken = *answer;
        g_answers.erase(answer);
        return taken;
    }
    return {caption, IDOK, ""};
}

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
    const MessageBoxAnswer answer = TakeAnswer(TextOf(hWnd));
    if (!answer.fileName.empty()) ::SetDlgItemTextA(hWnd, kFileNameBox, answer.fileName.c_str());
    ::PostMessageA(hWnd, WM_COMMAND, answer.command, 0);
    return TRUE;
}

void CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
    ::EnumThreadWindows(::GetCurrentThreadId(), AnswerBox, 0);
}

UINT_PTR g_timer = 0;

}  // namespace

MessageBoxWatcher::MessageBoxWatcher(std::vector<MessageBoxAnswer> answers) {
    g_seen.clear();
    g_answers = std::move(answers);
    g_timer = ::SetTimer(nullptr, 0, 50, Poll);
}

MessageBoxWatcher::~MessageBoxWatcher() { ::KillTimer(nullptr, g_timer); }

const std::vector<SeenMessageBox>& MessageBoxWatcher::Seen() const { return g_seen; }
