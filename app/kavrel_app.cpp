#include "kavrel_app.h"

#include <afxdisp.h>
#include <commctrl.h>

#include "main_dlg.h"
#include "rm720.h"
#include "rm730.h"
#include "startup_check.h"

BOOL CKavrelApp::InitInstance() {
    INITCOMMONCONTROLSEX commonControls = {sizeof commonControls, 0xFF};
    ::InitCommonControlsEx(&commonControls);
    CWinApp::InitInstance();

    if (!AfxOleInit()) {
        AfxMessageBox("Initial the OLE Dlls False!");
        return FALSE;
    }
    AfxEnableControlContainer();

    if (!FindCards()) return FALSE;
    rm720_open_all();
    rm730_open_all();

    CMainDlg mainDlg(m_nCardCount, m_CardIdTable, nullptr);
    m_pMainWnd = &mainDlg;
    const INT_PTR result = mainDlg.DoModal();
    if (result == IDOK || result == IDCANCEL) {
        rm720_close_all();
        rm730_close_all();
    }
    m_pMainWnd = nullptr;
    return FALSE;
}

BOOL CKavrelApp::FindCards() {
    int16_t count = 0;
    uint8_t table[16] = {};
    const ApiStatus statusModelA = rm720_scan(&count, table);
    if (statusModelA == SUCCESS_NO_ERROR) {
        m_nCardCount = count;
        for (int id = 0; id < 16; ++id) m_CardIdTable[id] = table[id];
    }
    count = 0;
    const ApiStatus statusModelB = rm730_scan(&count, table);
    if (statusModelB == SUCCESS_NO_ERROR) {
        m_nCardCount = static_cast<int16_t>(m_nCardCount + count);
        for (int id = 0; id < 16; ++id) m_CardIdTable[id] |= table[id];
    }
    if (const char* refusal = StartupRefusal(statusModelA, statusModelB, m_nCardCount)) {
        AfxMessageBox(refusal);
        return FALSE;
    }
    return TRUE;
}
