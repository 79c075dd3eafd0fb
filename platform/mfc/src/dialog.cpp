#include "mfc/dialog.h"

#include "mfc/app.h"
#include "mfc/data_exchange.h"

namespace {

// The dialog object whose window is being created: its window is attached at the
// first message its dialog procedure receives, before the controls exist.
CDialog* g_dialogInCreation = nullptr;

bool IsMouseOrKeyboard(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

// Messages after which the loop is not idle again: only real work re-arms idle time.
bool WakesIdle(const MSG& msg) {
    static POINT lastMouse{-1, -1};
    if (msg.message == WM_PAINT || msg.message == 0x0118 /* WM_SYSTIMER: caret blink */) return false;
    if (msg.message == WM_MOUSEMOVE || msg.message == WM_NCMOUSEMOVE) {
        if (msg.pt.x == lastMouse.x && msg.pt.y == lastMouse.y) return false;
        lastMouse = msg.pt;
    }
    return true;
}

}  // namespace

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_lpszTemplateName(MAKEINTRESOURCEA(templateId)), m_pParentWnd(parent) {}

CDialog::~CDialog() = default;

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM) {
    if (g_dialogInCreation && !CWnd::FromHandlePermanent(hWnd)) {
        CDialog* dialog = g_dialogInCreation;
        g_dialogInCreation = nullptr;
        dialog->SubclassWindow(hWnd);
    }
    if (message != WM_INITDIALOG) return FALSE;
    auto* dialog = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(hWnd));
    return dialog ? dialog->OnInitDialog() : TRUE;
}

BOOL CDialog::CreateFromTemplate(HWND parent) {
    HINSTANCE module = AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG);
    HRSRC resource = ::FindResourceA(module, m_lpszTemplateName, RT_DIALOG);
    HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
    auto* dialogTemplate = loaded ? static_cast<LPCDLGTEMPLATEA>(::LockResource(loaded)) : nullptr;
    if (!dialogTemplate) return FALSE;
    g_dialogInCreation = this;
    HWND hWnd = ::CreateDialogIndirectParamA(module, dialogTemplate, parent, &AfxDlgProc, 0);
    g_dialogInCreation = nullptr;
    if (!hWnd) {
        if (m_hWnd) UnsubclassWindow();
        return FALSE;
    }
    return TRUE;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    m_lpszTemplateName = MAKEINTRESOURCEA(templateId);
    m_pParentWnd = parent;
    return CreateFromTemplate(parent ? parent->m_hWnd : nullptr);
}

HWND CDialog::ModalOwner() const {
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    if (!owner) {
        CWnd* main = AfxGetMainWnd();
        if (main && main != this) owner = main->m_hWnd;
    }
    // A dialog is owned by a top-level window.
    while (owner && (::GetWindowLongA(owner, GWL_STYLE) & WS_CHILD)) owner = ::GetParent(owner);
    return owner;
}

INT_PTR CDialog::DoModal() {
    HWND owner = ModalOwner();
    const bool reenableOwner = owner && ::IsWindowEnabled(owner);
    if (reenableOwner) ::EnableWindow(owner, FALSE);

    m_nModalResult = -1;
    if (CreateFromTemplate(owner)) {
        m_bContinueModal = true;
        RunModalLoop();
        if (m_hWnd)
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    // Re-enable the owner before the dialog goes, so the owner gets the activation.
    if (reenableOwner) ::EnableWindow(owner, TRUE);
    if (owner && m_hWnd && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(owner);
    DestroyWindow();
    return m_nModalResult;
}

void CDialog::RunModalLoop() {
    bool idle = true;
    LONG idleCount = 0;
    bool shown = (GetStyle() & WS_VISIBLE) != 0;
    MSG msg;
    // The loop also ends when something destroyed the dialog's window.
    const auto running = [this] { return m_bContinueModal && m_hWnd; };
    while (running()) {
        while (idle && running() && !::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!shown) {
                ShowWindow(SW_SHOWNORMAL);
                UpdateWindow();
                shown = true;
            }
            AfxDeleteTempObjects();
            if (!SendMessage(WM_KICKIDLE, MSGF_DIALOGBOX, idleCount++)) idle = false;
        }
        if (!running()) break;
        if (!AfxPumpMessage(&msg)) {
            m_nModalResult = -1;
            break;
        }
        if (WakesIdle(msg)) {
            idle = true;
            idleCount = 0;
        }
    }
}

void CDialog::EndDialog(int result) {
    m_nModalResult = result;
    if (m_bContinueModal) {
        m_bContinueModal = false;
        PostMessage(WM_NULL);  // wakes the modal loop
    }
    ::EndDialog(m_hWnd, result);
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
    // Keyboard navigation and mouse input of the dialog and its controls.
    if (!IsMouseOrKeyboard(msg->message)) return FALSE;
    if (msg->hwnd != m_hWnd && !::IsChild(m_hWnd, msg->hwnd)) return FALSE;
    return ::IsDialogMessageA(m_hWnd, msg);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate);
    try {
        DoDataExchange(&exchange);
    } catch (const CUserException&) {
        return FALSE;
    }
    return TRUE;
}
