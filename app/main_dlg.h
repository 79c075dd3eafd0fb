// The main window: a launcher with one button per page, which keeps the current
// selection (model, card, axis, Torix addresses) that the pages hand back. It is
// the settings store that the pages use, and loads each model's saved
// configuration when it opens.
#pragma once

#include <afxwin.h>

#include <cstdint>

#include "resource.h"
#include "settings_store.h"
#include "shade_button.h"

class CMainDlg : public CDialog, public CSettingsStore {
public:
    CMainDlg(int32_t cardCount, const uint8_t cardIdTable[16], CWnd* parent);

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDestroy();
    void OnTimer(UINT_PTR nIDEvent);
    void OnConfiguration();
    void OnTorix();
    void OnInterpolation();
    void OnBasicOperation();

    CShadeButton m_btnInterpolation;   // 1002
    CShadeButton m_btnTorix;           // 1003
    CShadeButton m_btnBasicOperation;  // 1001
    CShadeButton m_btnConfiguration;   // 1000
    uint8_t m_CardIdTable[16] = {};
    int32_t m_nCardCount;
    int32_t m_nTimer = -1;  // the page-chaining timer, -1 when none
    // A page that ended asking for another page sets its flag; the timer opens it.
    int32_t m_bGoBasic = 0;
    int32_t m_bGoConfig = 0;
    int32_t m_bGoInterp = 0;
    HICON m_hIcon;
    // The current selection, -1 for none: axis mask, card ID, model (0 model A,
    // 1 model B), and the Torix input-module address and output group.
    int32_t m_ActiveAxis = -1;
    int32_t m_ActiveCardID = -1;
    int32_t m_ActiveModel = -1;
    int32_t m_ActiveSA = -1;
    int32_t m_ActiveRA = -1;

    DECLARE_MESSAGE_MAP()
};
