// The Torix DI/DO page: the cards of both models with the input modules on
// their Torix buses; the selected module's 16 inputs polled as lamps, and the
// 16-bit word of one output group composed with check boxes and sent on
// demand. The word last composed for each output group is kept in the settings
// store, so that it shows again when the user comes back to the group.
#pragma once

#include <afxcmn.h>
#include <afxext.h>
#include <afxwin.h>

#include <cstdint>

#include "motion_library.h"
#include "resource.h"
#include "shade_button.h"

class CTorixIoDlg : public CDialog {
public:
    static constexpr int kPoints = 16;        // inputs of a module, outputs of a group
    static constexpr UINT_PTR kPollTimer = 3;  // polls the selected input module
    static constexpr UINT kPollPeriodMs = 100;

    // The main window's selection; the page opens on the first module of the
    // first card whatever it is given.
    CTorixIoDlg(int32_t model, int32_t cardId, int32_t sa, int32_t ra, CWnd* parent = nullptr);

    uint16_t m_wDoWord = 0;           // output word of m_ActiveRA; bit i is check box i
    HTREEITEM m_hLastCard = nullptr;  // the last card item inserted into the tree
    // The selection the main window reads back: model (0 A, 1 B), card ID,
    // input module 8..15 and output group 0..7; -1 for none.
    int32_t m_ActiveModel = -1;
    int32_t m_ActiveCardID = -1;
    int32_t m_ActiveSA;
    int32_t m_ActiveRA;
    int32_t m_bDoCheck[kPoints] = {};  // the check boxes' states (0/1)
    int16_t m_nLastStatus = 0;         // status of the last library call

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnSelChangedTree(NMHDR* header, LRESULT* result);
    void OnDoCheck(UINT id);
    void OnSelChangeRA();
    void OnDoOutput();
    void OnResetTorix();
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();

    void FillTorixTree();
    void RefreshDoChecks();
    void ShowErrorCode(LPCSTR label);

    CTreeCtrl m_tree;
    CImageList m_images;
    CStatusBar m_wndStatusBar;
    CComboBox m_cbRaGroup;
    CStatic m_lamps[kPoints];  // by input bit
    CShadeButton m_btnReset;
    CShadeButton m_btnReturn;
    HICON m_hLampOn = nullptr;  // shared 16x16 lamp icons: input set, input clear
    HICON m_hLampOff = nullptr;

    DECLARE_MESSAGE_MAP()

private:
    // True when the call failed; the failure is shown under the export's label.
    bool Failed(ApiStatus status, LPCSTR exportName);
    void ShowInputs(uint16_t word);
    // The output word of a group is saved from the first selection on: before
    // the page has loaded its word, there is nothing of the user's to save.
    bool m_bWordLoaded = false;
};
