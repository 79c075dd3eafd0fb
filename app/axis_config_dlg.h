// The Axis Configuration page: edits the hardware configuration of one axis at a
// time (pulse and encoder modes, speed range, input levels, software limits,
// servo alarm and in-position inputs, input filter, interrupt factors) and
// switches the axis's outputs. The page edits a copy of the axis's record; the
// copy goes back to the settings store, and from there to the card, when another
// axis is selected, when the configuration is saved and when the page closes.
#pragma once

#include <afxcmn.h>
#include <afxext.h>
#include <afxwin.h>

#include <cstdint>

#include "motion_library.h"
#include "resource.h"
#include "settings_records.h"
#include "shade_button.h"

class CMainDlg;

class CAxisConfigDlg : public CDialog {
public:
    // The page ends with IDOK for the Basic Operation page, with this for the
    // Interpolation Move page, and with IDCANCEL back to the main window.
    static constexpr INT_PTR kToInterpolation = IDC_TO_INTERPOLATION;

    // The main window's selection is handed in, but the page opens on the first
    // card's first axis: it starts with none.
    CAxisConfigDlg(int32_t model, int32_t cardId, int32_t axis, CWnd* parent = nullptr);

    // The selection (axis mask, card ID, 0 model A / 1 model B), -1 for none;
    // the main window reads it back when the page ends.
    int32_t m_ActiveAxis = -1;
    int32_t m_ActiveCardID = -1;
    int32_t m_ActiveModel = -1;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // The page skeleton.
    void FillCardTree();
    void ShowErrorCode(LPCSTR label);

    void OnSelChangedTree(NMHDR* header, LRESULT* result);
    void OnChangeSoftLimitPlus();
    void OnChangeSoftLimitMinus();
    void OnChangeRange();
    // Corrects a range below its minimum, which waits while it may still grow.
    void SettleRange();
    void OnServo();
    void OnAlarmReset();
    void OnGdo();
    void OnErc();
    void OnLoadConfig();
    void OnSaveConfig();
    void OnToInterpolation();
    void OnDestroy();
    LRESULT OnKickIdle(WPARAM, LPARAM);
    void OnUpdateSoftLimitFields(CCmdUI* ui);
    void OnUpdateSoftLimitEnable(CCmdUI* ui);
    void OnUpdateCompareInterrupts(CCmdUI* ui);
    void OnUpdateDelayTime(CCmdUI* ui);
    void OnUpdateAlarmLogic(CCmdUI* ui);
    void OnUpdateInpLogic(CCmdUI* ui);

    using OutputExport = decltype(&rm730_set_gdo);

    CMainDlg* MainWindow() const;
    uint8_t Card() const { return static_cast<uint8_t>(m_ActiveCardID); }
    uint16_t Axis() const { return static_cast<uint16_t>(m_ActiveAxis); }
    // True when the call succeeded; else shows the status under the export's
    // label of the page's model.
    bool Succeeded(ApiStatus status, LPCSTR exportName);
    CString EditText(UINT id) const;
    // Reads the servo output of the selected axis into servoOn; a failure is shown.
    void ReadServoState();
    void RefreshControls();
    void ShowOutputButton(CShadeButton& button, bool on, LPCSTR onText, LPCSTR offText);
    // Flips one of the model-B outputs and, on a model-B card, sends it.
    void ToggleModelBOutput(int32_t AxisConfigRecord::*flag, OutputExport MotionLibrary::*send,
                            CShadeButton& button, LPCSTR exportName, LPCSTR onText, LPCSTR offText);
    // Writes a corrected value into an edit, beeps and puts the caret to its end.
    void RewriteEdit(UINT id, int32_t value);

    CTreeCtrl m_tree;
    CImageList m_images;
    CShadeButton m_btnAlarmReset;   // 1025
    CShadeButton m_btnErc;          // 1026
    CShadeButton m_btnGdo;          // 1021
    CShadeButton m_btnSaveConfig;   // 1174
    CShadeButton m_btnLoadConfig;   // 1173
    CShadeButton m_btnServo;        // 1017
    CShadeButton m_btnToBasic;      // IDOK
    CShadeButton m_btnToInterp;     // 6
    CShadeButton m_btnReturn;       // IDCANCEL
    CStatusBar m_wndStatusBar;
    int16_t m_nLastStatus = 0;
    AxisConfigRecord m_AxisConfig;  // the shown copy of the selected axis's record
    bool m_bSettling = false;       // a range below its minimum is corrected now
    bool m_bRangeDeferred = false;  // the range edit holds a value below its minimum

    DECLARE_MESSAGE_MAP()
};
