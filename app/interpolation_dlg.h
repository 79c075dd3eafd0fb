// The Interpolation Move page: one two- or three-axis line or two-axis arc on
// one card, with its position poll, stop, counter clear and card reset.
#pragma once

#include <afxcmn.h>
#include <afxext.h>
#include <afxwin.h>

#include <cstdint>
#include <set>

#include "page_skeleton.h"
#include "resource.h"
#include "settings_records.h"
#include "shade_button.h"

class CSettingsStore;

class CInterpolationDlg : public CDialog {
public:
    // The page opens on the first card of its tree: model and card are not kept.
    CInterpolationDlg(int32_t model, int32_t cardId, CWnd* parent);

    int32_t m_ActiveModel = -1;
    int32_t m_ActiveCardID = -1;
    int32_t m_ActiveAxis = 0;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    LRESULT OnKickIdle(WPARAM, LPARAM);
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();
    void OnSelChangedCardTree(NMHDR* header, LRESULT* result);
    void OnInterpolationMove();
    void OnStop();
    void OnReset();
    void OnClear();
    void OnLinear2D() { m_Interp.interpType = 0; }
    void OnLinear3D() { m_Interp.interpType = 1; }
    void OnCircular();
    void OnConst() { m_Interp.profile = 0; }
    void OnTCurve() { m_Interp.profile = 1; }
    void OnSCurve() { m_Interp.profile = 2; }
    void OnSym() { m_Interp.asymmetric = 0; }
    void OnAsym() { m_Interp.asymmetric = 1; }
    void OnCW() { m_Interp.arcDirection = 0; }
    void OnCCW() { m_Interp.arcDirection = 1; }
    void OnChangeParam(UINT id);
    // A value below its minimum, or a lone minus, waits while it may still grow;
    // this corrects every edit that holds one.
    void SettleParams();
    void OnParamLostFocus(UINT) { SettleParams(); }
    void OnSelChangeMainAxis();
    void OnSelChange2ndAxis();
    void OnSelChange3rdAxis();
    void OnUpdateControl(CCmdUI* cmdUI);
    DECLARE_MESSAGE_MAP()

    void UpdateControls();
    void TransferParams(BOOL toEdits);
    void RestoreAxisLists();
    void RefreshLamps();

    void FillCardTree();
    void ShowErrorCode(LPCSTR label);
    void ClearStatusPanes();
    void ShowStopReason(uint16_t state);

    CStatic m_lamp3rd, m_lamp2nd, m_lampMain;
    CShadeButton m_btnStop, m_btnReset, m_btnClear, m_btnReturn, m_btnMove, m_btn2DProfile, m_btnToConfig;
    CTreeCtrl m_tree;
    CComboBox m_mainAxis, m_2ndAxis, m_3rdAxis;
    uint8_t m_ServoState[4] = {};
    int32_t m_nTimer = -1;
    int16_t m_nLastStatus = 0;
    CStatusBar m_wndStatusBar;
    InterpParams m_Interp;
    uint32_t m_Ranges[6] = {};
    bool m_bSettling = false;         // values below their minimum are corrected now
    std::set<UINT> m_deferredParams;  // edits holding such a value
    CImageList m_images;

private:
    CSettingsStore* Store() const;
    const MotionLibrary& Library() const { return MotionLibraryOf(m_ActiveModel); }
    uint8_t Card() const { return static_cast<uint8_t>(m_ActiveCardID); }
    // Shows a failed call under the label of the model's export.
    void Check(int16_t status, LPCSTR exportName);
    void ReadRanges();
    BOOL ReadServoStates();
    void ClearMovingUnlessDone();
    void FillAxisList(CComboBox& list, int excludedBit);
    void ShowAxisColumn(int axisBit, const UINT ids[3]);
    // 1 or 0 for a control the enable rules govern, -1 for any other.
    int EnableRule(UINT id) const;
};
