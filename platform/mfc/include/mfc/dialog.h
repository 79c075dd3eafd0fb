// CDialog: a dialog from a template resource, run modally (DoModal, with the
// framework's own modal loop) or modeless (Create).
#pragma once

#include <windows.h>

#include "mfc/wnd.h"

class CDataExchange;

// Sent to a modal dialog each time its message loop becomes idle; wParam
// MSGF_DIALOGBOX, lParam counts the idle calls. Return non-zero for more.
constexpr UINT WM_KICKIDLE = 0x036A;

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog until EndDialog; returns its result, or -1 when the dialog
    // could not be created.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless; it shows itself when its template says WS_VISIBLE.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    virtual BOOL OnInitDialog();
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    virtual void DoDataExchange(CDataExchange*) {}
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_nIDHelp = 0;
    LPCSTR m_lpszTemplateName;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    BOOL CreateFromTemplate(HWND parent);
    HWND ModalOwner() const;
    void RunModalLoop();

    bool m_bContinueModal = false;
    INT_PTR m_nModalResult = -1;
};

// The dialog procedure of every CDialog: runs OnInitDialog.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
