// The Basic Operation page: runs one axis of one card by hand (moves of every
// driving mode and speed profile, home search, changes on the fly, stops,
// reset, counters) and watches it on a 100 ms poll.
#pragma once

#include <afxcmn.h>
#include <afxext.h>
#include <afxwin.h>

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "page_skeleton.h"
#include "profile_dlg.h"
#include "resource.h"
#include "settings_records.h"
#include "shade_button.h"

class CBasicOperationDlg : public CDialog {
public:
    // The page opens on the first axis of the first card whatever it is given;
    // the caller reads the selection back after DoModal.
    CBasicOperationDlg(int model, int cardId, int axis, CWnd* parent = nullptr);

    int32_t m_ActiveModel = -1;
    int32_t m_ActiveCardID = -1;
    int32_t m_ActiveAxis = -1;
    uint16_t m_AxisBits[4] = {1, 2, 4, 8};
    int16_t m_nLastStatus = 0;
    int32_t m_nTimer = -1;
    CProfileDlg* m_pProfileDlg = nullptr;  // the last Profile window opened
    std::vector<std::unique_ptr<CProfileDlg>> m_profileWindows;  // every one opened, ended with the page
    AxisConfigRecord m_AxisConfig;
    AxisMotionParams m_Motion;

    // Enables the controls that fit the mode, profile and running state (run
    // whenever the dialog is idle).
    void UpdateControlStates();

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnSelChangedTree(NMHDR* header, LRESULT* result);
    void OnConstVelocity() { m_Motion.profile = 0; }
    void OnTProfile() { m_Motion.profile = 1; }
    void OnSCurve() { m_Motion.profile = 2; }
    void OnSym() { m_Motion.asymmetric = 0; }
    void OnAsym() { m_Motion.asymmetric = 1; }
    void OnPointToPoint() { LeaveMpgFor(0); }
    void OnContiOutput() { LeaveMpgFor(1); }
    void OnMpg();
    void OnReciprocation() { LeaveMpgFor(3); }
    void OnNearHomeStep() { StoreHomeStep(IDC_BO_NEAR_HOME_STEP, 0); }
    void OnHomeStep() { StoreHomeStep(IDC_BO_HOME_STEP, 1); }
    void OnIndexStep() { StoreHomeStep(IDC_BO_INDEX_STEP, 2); }
    void OnOffsetStep() { StoreHomeStep(IDC_BO_OFFSET_STEP, 3); }
    void OnForward() { StartStroke(true); }
    void OnReverse() { StartStroke(false); }
    void OnHome();
    void OnStop();
    void OnReset();
    void OnClear();
    void OnChangeV();
    void OnChangeP();
    void OnChangeSv();
    void OnChangeDv();
    void OnChangeAcc();
    void OnChangeDec();
    void OnChangeJerk();
    void OnChangeDecRate();
    void OnChangeOutputPulse();
    void OnChangeOffsetPulse();
    void OnChangeHv();
    void OnChangeHomeOffset();
    void OnChangeMaxFrequency();
    void OnChangePulseRatio();
    void OnEditLostFocus(UINT) { SettleTypedValues(); }
    LRESULT OnKickIdle(WPARAM, LPARAM);
    void OnTimer(UINT_PTR nIDEvent);
    void OnProfile();
    void OnDestroy();

    void RefreshControls();
    void ExchangeValues(bool toControls);
    // Opens a Profile window plotting the axis over span seconds and up to
    // height (PPS or pulses).
    void OpenProfileWindow(double span, double height);
    // Places a new Profile window where it leaves the Profile button in sight.
    void PlaceProfileWindow(CWnd& window) const;

    void FillCardTree() {
        skeleton::FillCardTree(m_tree, m_images, CardTreeForm::Axes, m_wndStatusBar, m_nLastStatus);
    }
    void ShowErrorCode(LPCSTR label);
    void ClearStatusPanes() { skeleton::ClearStatusPanes(m_wndStatusBar); }
    void ShowStopReason(uint16_t state) { skeleton::ShowStopReason(m_wndStatusBar, state); }

    CTreeCtrl m_tree;
    CImageList m_images;
    CStatusBar m_wndStatusBar;
    CStatic m_lamps[11];
    CShadeButton m_buttons[11];

    DECLARE_MESSAGE_MAP()

private:
    struct EditRule;
    const MotionLibrary& Library() const { return MotionLibraryOf(m_ActiveModel); }
    uint8_t Card() const { return static_cast<uint8_t>(m_ActiveCardID); }
    uint16_t Axis() const { return static_cast<uint16_t>(m_ActiveAxis); }
    // Keeps the status of a call; shows it under the export's name when it
    // failed. True on success.
    bool Succeeded(ApiStatus status, LPCSTR exportName);
    // Copies the selected axis's records out of the store.
    void LoadAxisRecords();
    void SaveAxisMotion() const;
    // Sets the running flag when the axis is found moving.
    void FollowRunningMove();
    void ShowServoLamp();
    void StartStroke(bool forward);
    void LeaveMpgFor(int mode);
    void StoreHomeStep(int comboId, int step);
    void CheckRadios();
    // Checks a typed value; corrects it in the edit with a beep when it is out
    // of range. Returns the value to store.
    int32_t CheckEdit(int editId, const EditRule& rule, int32_t stored);
    static EditRule LimitRule(int32_t min, int32_t max, bool readSigned);
    void WriteEdit(int editId, int32_t value);
    void RecomputeMpgSpeed();
    void SettleTypedValues();
    void ReadRunningMove();
    void ReadCountersAndLamps();

    bool m_bWritingEdits = false;  // the page's own edit writes are not user input
    bool m_bSettling = false;      // the values of m_deferredEdits are corrected now
    std::set<int> m_deferredEdits;  // edits holding a value that may still grow (below the minimum, "-")
};
