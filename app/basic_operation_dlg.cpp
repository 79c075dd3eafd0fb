#include "basic_operation_dlg.h"

#include <afxpriv.h>

#include <cmath>
#include <memory>
#include <new>

#include "main_dlg.h"
#include "profile_dlg.h"

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollPeriodMs = 100;
constexpr uint16_t kDeceleratingStop = 0x26;
constexpr uint16_t kMpgBothEdges = 24;
constexpr int kModeMpg = 2;

const struct {
    int id;
    UINT icon;  // 0: text only
} kButtons[11] = {
    {IDC_BO_FORWARD, IDI_FORWARD}, {IDC_BO_REVERSE, IDI_REVERSE}, {IDC_BO_STOP, IDI_STOP},
    {IDC_BO_RESET, IDI_RESET},     {IDC_BO_CLEAR, IDI_CLEAR},     {IDC_BO_HOME, IDI_HOME},
    {IDOK, IDI_CONFIGURATION},     {IDCANCEL, IDI_RETURN},        {IDC_BO_PROFILE, IDI_BASIC_OPERATION},
    {IDC_BO_CHANGE_V, 0},          {IDC_BO_CHANGE_P, 0},
};

// The input lamps: which bit of which word lights them, and in what colour.
struct Lamp {
    int id;
    bool errorWord;  // get_error_status, else get_mdi_status
    uint16_t bit;
    UINT litIcon;
};
constexpr Lamp kLamps[10] = {
    {IDC_BO_LAMP_DRV, false, 0x0001, IDI_LAMP_AMBER},      {IDC_BO_LAMP_LMT_PLUS, false, 0x0002, IDI_LAMP_RED},
    {IDC_BO_LAMP_LMT_MINUS, false, 0x0004, IDI_LAMP_RED},  {IDC_BO_LAMP_EMG, false, 0x0008, IDI_LAMP_RED},
    {IDC_BO_LAMP_ALM, false, 0x0010, IDI_LAMP_RED},        {IDC_BO_LAMP_ORG, false, 0x0020, IDI_LAMP_GREEN},
    {IDC_BO_LAMP_NORG, false, 0x0040, IDI_LAMP_AMBER},     {IDC_BO_LAMP_INP, false, 0x0100, IDI_LAMP_GREEN},
    {IDC_BO_LAMP_SLMT_PLUS, true, 0x0001, IDI_LAMP_RED},   {IDC_BO_LAMP_SLMT_MINUS, true, 0x0002, IDI_LAMP_RED},
};

// The home-step combos with their items; each step owns two bits of the home
// mode: the low one enables it, the high one makes its direction negative.
const struct {
    int id;
    const char* items[3];
} kHomeSteps[4] = {
    {IDC_BO_NEAR_HOME_STEP, {"1: Disable,NearHome", "2: Dir+, NearHome", "3: Dir-, NearHome"}},
    {IDC_BO_HOME_STEP, {"1: Disable, Home", "2: Dir+, Home", "3: Dir-, Home"}},
    {IDC_BO_INDEX_STEP, {"1: Disable, Index", "2: Dir+, Index", "3: Dir-, Index"}},
    {IDC_BO_OFFSET_STEP, {"1: Disable, Offset", "2: Dir+, Offset", "3: Dir-, Offset"}},
};

uint16_t HomeModeByte(const int32_t (&steps)[4]) {
    static constexpr uint16_t kStepBits[3] = {0x0, 0x1, 0x3};
    uint16_t mode = 0;
    for (int step = 0; step < 4; ++step)
        if (steps[step] >= 0 && steps[step] < 3) mode |= kStepBits[steps[step]] << (2 * step);
    return mode;
}

// A value outside [min, max] (compared as unsigned) becomes the minimum.
void IntoRange(int32_t& value, int32_t min, int32_t max) {
    const auto v = static_cast<uint32_t>(value);
    if (v < static_cast<uint32_t>(min) || v > static_cast<uint32_t>(max)) value = min;
}

// Reads a decimal number as 32-bit: unsigned (no sign allowed) or signed.
// False when the text holds no such number.
bool ParseNumber(const CString& text, bool isSigned, uint32_t& raw) {
    const char* p = text;
    while (*p == ' ') ++p;
    const bool negative = isSigned && *p == '-';
    if (negative) ++p;
    if (*p < '0' || *p > '9') return false;
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > UINT32_MAX) return false;
    }
    while (*p == ' ') ++p;
    if (*p != '\0') return false;
    const int64_t value = negative ? -magnitude : magnitude;
    if (isSigned && (value < INT32_MIN || value > INT32_MAX)) return false;
    raw = static_cast<uint32_t>(value);
    return true;
}

// The page's icons at their own 16 x 16 size.
HICON PageIcon(UINT id) {
    return static_cast<HICON>(::LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, LR_SHARED));
}

CSettingsStore* Store() { return dynamic_cast<CMainDlg*>(AfxGetMainWnd()); }

}  // namespace

// How a typed value is read, compared and corrected.
struct CBasicOperationDlg::EditRule {
    enum class Fix { Clamp, ToMinimum, Restore };
    bool readSigned;     // read with a sign, else as an unsigned number
    bool compareSigned;  // compare as signed, else as unsigned 32-bit
    int64_t min, max;
    Fix outOfRange;
    bool restoreNoNumber;  // no number: the stored value comes back
};

BEGIN_MESSAGE_MAP(CBasicOperationDlg, CDialog)
    ON_NOTIFY(TVN_SELCHANGEDA, IDC_BO_TREE, OnSelChangedTree)
    ON_BN_CLICKED(IDC_BO_CONST_VELOCITY, OnConstVelocity)
    ON_BN_CLICKED(IDC_BO_T_PROFILE, OnTProfile)
    ON_BN_CLICKED(IDC_BO_S_CURVE, OnSCurve)
    ON_BN_CLICKED(IDC_BO_SYM, OnSym)
    ON_BN_CLICKED(IDC_BO_ASYM, OnAsym)
    ON_BN_CLICKED(IDC_BO_POINT_TO_POINT, OnPointToPoint)
    ON_BN_CLICKED(IDC_BO_CONTI_OUTPUT, OnContiOutput)
    ON_BN_CLICKED(IDC_BO_MPG, OnMpg)
    ON_BN_CLICKED(IDC_BO_RECIPROCATION, OnReciprocation)
    ON_CBN_SELCHANGE(IDC_BO_NEAR_HOME_STEP, OnNearHomeStep)
    ON_CBN_SELCHANGE(IDC_BO_HOME_STEP, OnHomeStep)
    ON_CBN_SELCHANGE(IDC_BO_INDEX_STEP, OnIndexStep)
    ON_CBN_SELCHANGE(IDC_BO_OFFSET_STEP, OnOffsetStep)
    ON_BN_CLICKED(IDC_BO_FORWARD, OnForward)
    ON_BN_CLICKED(IDC_BO_REVERSE, OnReverse)
    ON_BN_CLICKED(IDC_BO_HOME, OnHome)
    ON_BN_CLICKED(IDC_BO_STOP, OnStop)
    ON_BN_CLICKED(IDC_BO_RESET, OnReset)
    ON_BN_CLICKED(IDC_BO_CLEAR, OnClear)
    ON_BN_CLICKED(IDC_BO_CHANGE_V, OnChangeV)
    ON_BN_CLICKED(IDC_BO_CHANGE_P, OnChangeP)
    ON_BN_CLICKED(IDC_BO_PROFILE, OnProfile)
    ON_EN_CHANGE(IDC_BO_SV, OnChangeSv)
    ON_EN_CHANGE(IDC_BO_DV, OnChangeDv)
    ON_EN_CHANGE(IDC_BO_ACC, OnChangeAcc)
    ON_EN_CHANGE(IDC_BO_DEC, OnChangeDec)
    ON_EN_CHANGE(IDC_BO_JERK, OnChangeJerk)
    ON_EN_CHANGE(IDC_BO_DEC_RATE, OnChangeDecRate)
    ON_EN_CHANGE(IDC_BO_OUTPUT_PULSE, OnChangeOutputPulse)
    ON_EN_CHANGE(IDC_BO_OFFSET_PULSE, OnChangeOffsetPulse)
    ON_EN_CHANGE(IDC_BO_HV, OnChangeHv)
    ON_EN_CHANGE(IDC_BO_HOME_OFFSET, OnChangeHomeOffset)
    ON_EN_CHANGE(IDC_BO_MAX_FREQUENCY, OnChangeMaxFrequency)
    ON_EN_CHANGE(IDC_BO_PULSE_RATIO, OnChangePulseRatio)
    ON_CONTROL_RANGE(EN_KILLFOCUS, 0, 0xFFFF, OnEditLostFocus)
    ON_MESSAGE(WM_KICKIDLE, OnKickIdle)
    ON_WM_TIMER()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CBasicOperationDlg::CBasicOperationDlg(int, int, int, CWnd* parent) : CDialog(IDD_BASIC_OPERATION, parent) {}

void CBasicOperationDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_BO_TREE, m_tree);
    for (int i = 0; i < 10; ++i) DDX_Control(dx, kLamps[i].id, m_lamps[i]);
    DDX_Control(dx, IDC_BO_SERVO_LAMP, m_lamps[10]);
    for (int i = 0; i < 11; ++i) DDX_Control(dx, kButtons[i].id, m_buttons[i]);
}

BOOL CBasicOperationDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    skeleton::CreateStatusPanes(*this, m_wndStatusBar);
    skeleton::KeepReturnOnThePage(*this);
    for (int i = 0; i < 11; ++i) {
        skeleton::PrepareProgramShade(m_buttons[i]);
        if (kButtons[i].icon) m_buttons[i].SetIcon(kButtons[i].icon, 0);
    }
    for (const auto& step : kHomeSteps) {
        auto* combo = static_cast<CComboBox*>(GetDlgItem(step.id));
        for (const char* item : step.items) combo->AddString(item);
    }
    FillCardTree();  // selects the first axis: OnSelChangedTree takes it over
    LoadAxisRecords();
    RefreshControls();
    FollowRunningMove();
    m_nTimer = static_cast<int32_t>(SetTimer(kPollTimer, kPollPeriodMs));
    m_pProfileDlg = nullptr;
    m_Motion.reciprocation[0] = 0;
    return TRUE;
}

void CBasicOperationDlg::LoadAxisRecords() {
    if (CSettingsStore* store = Store()) {
        store->GetAxisConfig(m_ActiveModel, m_ActiveCardID, m_ActiveAxis, &m_AxisConfig);
        store->GetAxisMotionParams(m_ActiveModel, m_ActiveCardID, m_ActiveAxis, &m_Motion);
    }
}

void CBasicOperationDlg::SaveAxisMotion() const {
    if (CSettingsStore* store = Store()) store->SetAxisMotionParams(m_ActiveModel, m_ActiveCardID, m_ActiveAxis, m_Motion);
}

void CBasicOperationDlg::OnSelChangedTree(NMHDR* header, LRESULT* result) {
    *result = 0;
    HTREEITEM item = reinterpret_cast<NMTREEVIEWA*>(header)->itemNew.hItem;
    if (!item) return;
    if (HTREEITEM firstAxis = m_tree.GetChildItem(item)) {
        m_tree.SelectItem(firstAxis);  // notifies again with the axis
        return;
    }
    const CardTreeSelection picked = skeleton::ReadCardTreeItem(m_tree, item);
    const int previousModel = m_ActiveModel, previousCard = m_ActiveCardID, previousAxis = m_ActiveAxis;
    m_ActiveModel = picked.model;
    m_ActiveCardID = picked.cardId;
    m_ActiveAxis = picked.axis;
    CSettingsStore* store = Store();
    if (store && picked.model >= 0 && picked.model < kModelCount)
        store->m_Settings[picked.model].isModelB = static_cast<uint8_t>(picked.model);
    const bool changed =
        previousModel != m_ActiveModel || previousCard != m_ActiveCardID || previousAxis != m_ActiveAxis;
    if (!changed || previousModel == -1 || previousCard == -1 || previousAxis == -1) return;
    SettleTypedValues();  // still under the previous axis's limits
    if (store) store->SetAxisMotionParams(previousModel, previousCard, previousAxis, m_Motion);
    LoadAxisRecords();
    RefreshControls();
    ClearStatusPanes();
    FollowRunningMove();
}

bool CBasicOperationDlg::Succeeded(ApiStatus status, LPCSTR exportName) {
    m_nLastStatus = status;
    if (status == SUCCESS_NO_ERROR) return true;
    ShowErrorCode(skeleton::ExportLabel(m_ActiveModel, exportName));
    return false;
}

void CBasicOperationDlg::ShowErrorCode(LPCSTR label) {
    // This page names the MPG speed refusal after its own rule.
    const LPCSTR name =
        m_nLastStatus == ERROR_INVALID_MPG_SPEED ? "ERROR_INVALID_MPG_SPEED (Speed >= 2*(MaxFrq.*PulseRatio)" : nullptr;
    skeleton::ShowErrorCode(m_wndStatusBar, m_nLastStatus, label, name);
}

void CBasicOperationDlg::FollowRunningMove() {
    uint8_t done = 0;
    int16_t state = 0;
    if (Succeeded(Library().motion_done(Card(), Axis(), &done, &state), "motion_done") && done != 1)
        m_Motion.moving = 1;
}

void CBasicOperationDlg::ShowServoLamp() {
    uint8_t servo = 0;
    if (!Succeeded(Library().get_out1_status(Card(), Axis(), &servo), "get_out1_status")) return;
    m_lamps[10].SetIcon(PageIcon(servo == 1 ? IDI_LAMP_ON : IDI_LAMP_OFF));
}

void CBasicOperationDlg::CheckRadios() {
    const struct {
        int32_t value;
        int first, count;
    } groups[3] = {
        {m_Motion.profile, IDC_BO_CONST_VELOCITY, 3},
        {m_Motion.asymmetric, IDC_BO_SYM, 2},
        {m_Motion.mode, IDC_BO_POINT_TO_POINT, 4},
    };
    for (const auto& group : groups)
        if (group.value >= 0 && group.value < group.count)
            CheckRadioButton(group.first, group.first + group.count - 1, group.first + group.value);
}

void CBasicOperationDlg::RefreshControls() {
    for (int step = 0; step < 4; ++step)
        static_cast<CComboBox*>(GetDlgItem(kHomeSteps[step].id))->SetCurSel(m_Motion.homeStep[step]);
    CheckRadios();
    AxisMotionParams& m = m_Motion;
    for (int32_t* speed : {&m.sv, &m.dv, &m.hv}) IntoRange(*speed, m.speedMin, m.speedMax);
    for (int32_t* rate : {&m.acc, &m.dec}) IntoRange(*rate, m.accMin, m.accMax);
    for (int32_t* jerk : {&m.jerk, &m.decRate}) IntoRange(*jerk, m.jerkMin, m.jerkMax);
    ExchangeValues(true);
    ShowServoLamp();
}

void CBasicOperationDlg::WriteEdit(int editId, int32_t value) {
    m_bWritingEdits = true;
    SetDlgItemInt(editId, static_cast<UINT>(value), TRUE);
    m_bWritingEdits = false;
}

void CBasicOperationDlg::ExchangeValues(bool toControls) {
    AxisMotionParams& m = m_Motion;
    int32_t offset = m.offsetPulses;
    int32_t& speedField = m.mode == kModeMpg ? m.mpgSpeed : m.dv;
    const struct {
        int id;
        int32_t& field;
    } values[] = {
        {IDC_BO_SV, m.sv},
        {IDC_BO_ACC, m.acc},
        {IDC_BO_DEC, m.dec},
        {IDC_BO_JERK, m.jerk},
        {IDC_BO_DEC_RATE, m.decRate},
        {IDC_BO_OUTPUT_PULSE, m.outputPulse},
        {IDC_BO_OFFSET_PULSE, offset},
        {IDC_BO_HOME_OFFSET, m.homeOffset},
        {IDC_BO_HV, m.hv},
        {IDC_BO_DV, speedField},
        {IDC_BO_MAX_FREQUENCY, m.maxFrequency},
        {IDC_BO_PULSE_RATIO, m.outputPulseRatio},
    };
    for (const auto& v : values) {
        if (toControls)
            WriteEdit(v.id, v.field);
        else
            v.field = static_cast<int32_t>(GetDlgItemInt(v.id, nullptr, TRUE));
    }
    m.offsetPulses = static_cast<int16_t>(offset);
}

void CBasicOperationDlg::StartStroke(bool forward) {
    SettleTypedValues();
    ExchangeValues(false);
    ClearStatusPanes();
    const MotionLibrary& lib = Library();
    const AxisMotionParams& m = m_Motion;
    const int32_t distance = forward ? m.outputPulse : -m.outputPulse;
    const auto u = [](int32_t value) { return static_cast<uint32_t>(value); };
    ApiStatus status = SUCCESS_NO_ERROR;
    const char* exportName = nullptr;
    if (m.mode == 0 || m.mode == 3) {
        if (m.profile == 0) {
            status = lib.const_move(Card(), Axis(), u(m.dv), distance);
            exportName = "const_move";
        } else if (m.profile == 1) {
            const int32_t dec = m.asymmetric == 1 ? m.dec : m.acc;
            status = lib.t_move(Card(), Axis(), u(m.sv), u(m.dv), u(m.acc), u(dec), distance, m.offsetPulses);
            exportName = "t_move";
        } else if (m.profile == 2) {
            const int32_t decRate = m.asymmetric == 1 ? m.decRate : m.jerk;
            status = lib.s_move(Card(), Axis(), u(m.sv), u(m.dv), u(m.jerk), u(decRate), distance, m.offsetPulses);
            exportName = "s_move";
        }
    } else if (m.mode == 1) {
        status = lib.velocity_move(Card(), Axis(), u(m.sv), u(m.dv), u(m.acc), forward ? 1 : 0);
        exportName = "velocity_move";
    }
    if (!exportName) return;  // MPG: the hand wheel drives the axis
    if (m.mode == 3) {
        m_Motion.reciprocation[0] = 1;
        m_Motion.reciprocation[1] = forward ? 1 : 0;
    }
    if (Succeeded(status, exportName)) m_Motion.moving = 1;
}

void CBasicOperationDlg::OnHome() {
    SettleTypedValues();
    ExchangeValues(false);
    ClearStatusPanes();
    AxisMotionParams& m = m_Motion;
    if (m.homeStep[3] == 0) m.homeOffset = 0;
    const MotionLibrary& lib = Library();
    Succeeded(lib.set_home_cfg(Card(), Axis(), m_AxisConfig.homeLevel == 1 ? 4 : 0,
                               m_AxisConfig.nearHomeLevel == 1 ? 1 : 0, m_AxisConfig.indexLevel == 1 ? 0x10 : 0,
                               HomeModeByte(m.homeStep), m.homeOffset),
              "set_home_cfg");
    const auto u = [](int32_t value) { return static_cast<uint32_t>(value); };
    if (Succeeded(lib.home_start(Card(), Axis(), u(m.sv), u(m.acc), u(m.dec), u(m.dv), u(m.hv), 0), "home_start"))
        m.moving = 1;
}

void CBasicOperationDlg::LeaveMpgFor(int mode) {
    if (m_Motion.mode == kModeMpg && Succeeded(Library().set_mpg(Card(), Axis(), 0, 0, 0, 0), "set_mpg")) {
        ClearStatusPanes();
        WriteEdit(IDC_BO_DV, m_Motion.dv);
    }
    m_Motion.mode = mode;
}

void CBasicOperationDlg::OnMpg() {
    SettleTypedValues();
    const auto speed = static_cast<int32_t>(GetDlgItemInt(IDC_BO_DV, nullptr, TRUE));
    const ApiStatus status = Library().set_mpg(Card(), Axis(), kMpgBothEdges, static_cast<uint32_t>(m_Motion.outputPulseRatio),
                                               static_cast<uint32_t>(speed), m_Motion.maxFrequency);
    m_nLastStatus = status;
    if (status == SUCCESS_NO_ERROR) {
        ClearStatusPanes();
        m_Motion.mode = kModeMpg;
        return;
    }
    CheckRadios();  // the mode in force stays
    if (m_Motion.mode == 1 || m_Motion.mode == kModeMpg) WriteEdit(IDC_BO_DV, m_Motion.dv);
    ShowErrorCode(skeleton::ExportLabel(m_ActiveModel, "set_mpg"));
}

void CBasicOperationDlg::StoreHomeStep(int comboId, int step) {
    const auto* combo = static_cast<CComboBox*>(GetDlgItem(comboId));
    const int selected = combo->GetCurSel();
    if (selected != CB_ERR && combo->GetCount() > 1) m_Motion.homeStep[step] = selected;
}

void CBasicOperationDlg::OnStop() {
    if (Succeeded(Library().stop_move(Card(), Axis(), kDeceleratingStop), "stop_move")) m_Motion.reciprocation[0] = 0;
}

void CBasicOperationDlg::OnReset() {
    if (!Succeeded(Library().reset(Card()), "reset")) return;
    if (CSettingsStore* store = Store()) store->ResetCardSettings(m_ActiveModel, m_ActiveCardID);
    ShowServoLamp();
}

void CBasicOperationDlg::OnClear() {
    Succeeded(Library().set_cmdcounter(Card(), Axis(), 0), "set_cmdcounter");
    Succeeded(Library().set_enccounter(Card(), Axis(), 0), "set_position");
}

void CBasicOperationDlg::OnChangeV() {
    SettleTypedValues();
    const auto speed = GetDlgItemInt(IDC_BO_DV, nullptr, TRUE);
    Succeeded(Library().t_change_v(Card(), Axis(), speed, 0, 0), "t_change_v");
}

void CBasicOperationDlg::OnChangeP() {
    SettleTypedValues();
    const auto pulses = GetDlgItemInt(IDC_BO_OUTPUT_PULSE, nullptr, TRUE);
    Succeeded(Library().change_p(Card(), Axis(), pulses), "change_p");
}

// ---- Typed values --------------------------------------------------------------

int32_t CBasicOperationDlg::CheckEdit(int editId, const EditRule& rule, int32_t stored) {
    if (m_bWritingEdits) return stored;
    m_deferredEdits.erase(editId);
    CString text;
    GetDlgItemText(editId, text);
    uint32_t raw = 0;
    const bool isNumber = ParseNumber(text, rule.readSigned, raw);
    const int64_t value = rule.compareSigned ? static_cast<int64_t>(static_cast<int32_t>(raw)) : static_cast<int64_t>(raw);
    int64_t accepted = value;
    const bool startsNumber = (isNumber && value < rule.min && rule.min > 0) || (rule.readSigned && text == "-");
    if (startsNumber && !m_bSettling) {
        m_deferredEdits.insert(editId);  // maybe the first keys of a larger or a negative number
        return stored;
    }
    if (!isNumber && rule.restoreNoNumber) {
        accepted = stored;
    } else if (value < rule.min || value > rule.max) {
        switch (rule.outOfRange) {
        case EditRule::Fix::Clamp: accepted = value > rule.max ? rule.max : rule.min; break;
        case EditRule::Fix::ToMinimum: accepted = rule.min; break;
        case EditRule::Fix::Restore: accepted = stored; break;
        }
    } else {
        return static_cast<int32_t>(value);
    }
    ::MessageBeep(0xFFFFFFFF);
    WriteEdit(editId, static_cast<int32_t>(accepted));
    if (auto* edit = static_cast<CEdit*>(GetDlgItem(editId))) {
        const int end = edit->GetWindowTextLength();
        edit->SetSel(end, end);
    }
    return static_cast<int32_t>(accepted);
}

// Limits of the axis, compared as unsigned 32-bit numbers: above the maximum
// gives the maximum, below the minimum the minimum.
CBasicOperationDlg::EditRule CBasicOperationDlg::LimitRule(int32_t min, int32_t max, bool readSigned) {
    return {readSigned, false, static_cast<uint32_t>(min), static_cast<uint32_t>(max), EditRule::Fix::Clamp,
            !readSigned};
}

void CBasicOperationDlg::OnChangeSv() {
    m_Motion.sv = CheckEdit(IDC_BO_SV, LimitRule(m_Motion.speedMin, m_Motion.speedMax, true), m_Motion.sv);
}

void CBasicOperationDlg::OnChangeDv() {
    if (m_bWritingEdits) return;
    if (m_Motion.mode == kModeMpg &&
        GetDlgItemInt(IDC_BO_DV, nullptr, TRUE) < static_cast<uint32_t>(m_Motion.mpgSpeed)) {
        // The hand wheel needs at least the MPG speed; fewer digits may still grow.
        if (!m_bSettling) {
            m_deferredEdits.insert(IDC_BO_DV);
            return;
        }
        m_deferredEdits.erase(IDC_BO_DV);
        ::MessageBeep(0xFFFFFFFF);
        WriteEdit(IDC_BO_DV, m_Motion.dv);
        return;
    }
    m_Motion.dv = CheckEdit(IDC_BO_DV, LimitRule(m_Motion.speedMin, m_Motion.speedMax, true), m_Motion.dv);
}

void CBasicOperationDlg::OnChangeHv() {
    m_Motion.hv = CheckEdit(IDC_BO_HV, LimitRule(m_Motion.speedMin, m_Motion.speedMax, true), m_Motion.hv);
}

void CBasicOperationDlg::OnChangeAcc() {
    m_Motion.acc = CheckEdit(IDC_BO_ACC, LimitRule(m_Motion.accMin, m_Motion.accMax, true), m_Motion.acc);
}

void CBasicOperationDlg::OnChangeDec() {
    m_Motion.dec = CheckEdit(IDC_BO_DEC, LimitRule(m_Motion.accMin, m_Motion.accMax, true), m_Motion.dec);
}

void CBasicOperationDlg::OnChangeJerk() {
    m_Motion.jerk = CheckEdit(IDC_BO_JERK, LimitRule(m_Motion.jerkMin, m_Motion.jerkMax, false), m_Motion.jerk);
}

void CBasicOperationDlg::OnChangeDecRate() {
    m_Motion.decRate =
        CheckEdit(IDC_BO_DEC_RATE, LimitRule(m_Motion.jerkMin, m_Motion.jerkMax, false), m_Motion.decRate);
}

void CBasicOperationDlg::OnChangeOutputPulse() {
    static constexpr EditRule kPulses{false, true, 1, INT32_MAX, EditRule::Fix::ToMinimum, true};
    m_Motion.outputPulse = CheckEdit(IDC_BO_OUTPUT_PULSE, kPulses, m_Motion.outputPulse);
}

void CBasicOperationDlg::OnChangeOffsetPulse() {
    static constexpr EditRule kOffset{true, true, INT16_MIN, INT16_MAX, EditRule::Fix::Clamp, true};
    m_Motion.offsetPulses = static_cast<int16_t>(CheckEdit(IDC_BO_OFFSET_PULSE, kOffset, m_Motion.offsetPulses));
}

void CBasicOperationDlg::OnChangeHomeOffset() {
    static constexpr EditRule kHomeOffset{true, true, -4000000, 4000000, EditRule::Fix::Clamp, true};
    m_Motion.homeOffset = CheckEdit(IDC_BO_HOME_OFFSET, kHomeOffset, m_Motion.homeOffset);
}

void CBasicOperationDlg::OnChangeMaxFrequency() {
    static constexpr EditRule kFrequency{false, false, 10, 5000, EditRule::Fix::Restore, true};
    m_Motion.maxFrequency = CheckEdit(IDC_BO_MAX_FREQUENCY, kFrequency, m_Motion.maxFrequency);
    RecomputeMpgSpeed();
}

void CBasicOperationDlg::OnChangePulseRatio() {
    static constexpr EditRule kRatio{false, false, 1, 10000, EditRule::Fix::Restore, true};
    m_Motion.outputPulseRatio = CheckEdit(IDC_BO_PULSE_RATIO, kRatio, m_Motion.outputPulseRatio);
    RecomputeMpgSpeed();
}

// A value below its minimum may be the first digits of a larger one, a lone
// minus sign the start of a negative one: they are corrected when an edit loses
// the focus or the value is used.
void CBasicOperationDlg::SettleTypedValues() {
    static constexpr struct {
        int id;
        void (CBasicOperationDlg::*check)();
    } kChecks[] = {
        {IDC_BO_SV, &CBasicOperationDlg::OnChangeSv},
        {IDC_BO_DV, &CBasicOperationDlg::OnChangeDv},
        {IDC_BO_HV, &CBasicOperationDlg::OnChangeHv},
        {IDC_BO_ACC, &CBasicOperationDlg::OnChangeAcc},
        {IDC_BO_DEC, &CBasicOperationDlg::OnChangeDec},
        {IDC_BO_JERK, &CBasicOperationDlg::OnChangeJerk},
        {IDC_BO_DEC_RATE, &CBasicOperationDlg::OnChangeDecRate},
        {IDC_BO_OUTPUT_PULSE, &CBasicOperationDlg::OnChangeOutputPulse},
        {IDC_BO_OFFSET_PULSE, &CBasicOperationDlg::OnChangeOffsetPulse},
        {IDC_BO_HOME_OFFSET, &CBasicOperationDlg::OnChangeHomeOffset},
        {IDC_BO_MAX_FREQUENCY, &CBasicOperationDlg::OnChangeMaxFrequency},
        {IDC_BO_PULSE_RATIO, &CBasicOperationDlg::OnChangePulseRatio},
    };
    if (m_bSettling || m_deferredEdits.empty()) return;
    m_bSettling = true;
    for (const auto& edit : kChecks)
        if (m_deferredEdits.count(edit.id)) (this->*edit.check)();
    m_deferredEdits.clear();
    m_bSettling = false;
}

void CBasicOperationDlg::RecomputeMpgSpeed() {
    m_Motion.mpgSpeed = 2 * m_Motion.maxFrequency * m_Motion.outputPulseRatio;
}

// ---- Idle, poll, profile and close ---------------------------------------------

LRESULT CBasicOperationDlg::OnKickIdle(WPARAM, LPARAM) {
    UpdateControlStates();
    return 0;
}

void CBasicOperationDlg::UpdateControlStates() {
    const AxisMotionParams& m = m_Motion;
    const bool running = m.moving == 1, asym = m.asymmetric == 1, notMpg = m.mode != kModeMpg;
    const auto* offsetStep = static_cast<CComboBox*>(GetDlgItem(IDC_BO_OFFSET_STEP));
    const bool symmetryApplies =
        (m.mode == 0 && m.profile != 0) || (m.mode == 1 && m.profile == 1) || (m.mode == 3 && m.profile == 1);
    const struct {
        int id;
        bool enabled;
    } states[] = {
        {IDC_BO_OFFSET_PULSE, m.mode == 0 || m.mode == 3},
        {IDC_BO_OUTPUT_PULSE, m.mode == 0 || m.mode == 3},
        {IDC_BO_HOME_OFFSET, offsetStep->GetCurSel() != 0},
        {IDC_BO_SV, notMpg && m.profile != 0},
        {IDC_BO_ACC, notMpg && m.profile == 1},
        {IDC_BO_DEC, notMpg && m.profile == 1 && asym},
        {IDC_BO_JERK, notMpg && m.profile == 2},
        {IDC_BO_DEC_RATE, notMpg && m.profile == 2 && asym},
        {IDC_BO_SYM, symmetryApplies},
        {IDC_BO_ASYM, symmetryApplies},
        {IDC_BO_CONST_VELOCITY, notMpg},
        {IDC_BO_T_PROFILE, notMpg},
        {IDC_BO_S_CURVE, notMpg},
        {IDC_BO_MAX_FREQUENCY, notMpg},
        {IDC_BO_PULSE_RATIO, notMpg},
        {IDC_BO_CHANGE_P, running && m.mode == 0},
        {IDC_BO_CHANGE_V, running && notMpg && m.profile != 2},
        {IDC_BO_FORWARD, !running && notMpg},
        {IDC_BO_REVERSE, !running && notMpg},
        {IDC_BO_HOME, !running && notMpg},
    };
    for (const auto& state : states)
        if (CWnd* control = GetDlgItem(state.id)) control->EnableWindow(state.enabled);
}

void CBasicOperationDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent != kPollTimer) {
        CDialog::OnTimer(nIDEvent);
        return;
    }
    if (m_Motion.moving == 1) ReadRunningMove();
    ReadCountersAndLamps();
}

void CBasicOperationDlg::ReadRunningMove() {
    const MotionLibrary& lib = Library();
    int32_t speed = 0, acc = 0;
    uint8_t done = 0;
    int16_t state = 0;
    Succeeded(lib.get_speed(Card(), Axis(), &speed), "get_speed");
    Succeeded(lib.get_acc(Card(), Axis(), &acc), "get_acc");
    if (Succeeded(lib.motion_done(Card(), Axis(), &done, &state), "motion_done") && done == 1) {
        ShowStopReason(static_cast<uint16_t>(state));
        m_Motion.moving = 0;
        if (m_Motion.reciprocation[0]) StartStroke(m_Motion.reciprocation[1] != 1);
    }
    WriteEdit(IDC_BO_CURRENT_SPEED, speed);
    WriteEdit(IDC_BO_CURRENT_ACC, acc);
}

void CBasicOperationDlg::ReadCountersAndLamps() {
    const MotionLibrary& lib = Library();
    int32_t enc = 0, cmd = 0;
    if (Succeeded(lib.get_enccounter(Card(), Axis(), &enc), "get_position")) WriteEdit(IDC_BO_ENCODER_POSITION, enc);
    if (Succeeded(lib.get_cmdcounter(Card(), Axis(), &cmd), "get_cmdcounter")) WriteEdit(IDC_BO_LOGIC_POSITION, cmd);
    int16_t words[2] = {};  // input status, error status
    const bool read[2] = {Succeeded(lib.get_mdi_status(Card(), Axis(), &words[0]), "get_di_status"),
                          Succeeded(lib.get_error_status(Card(), Axis(), &words[1]), "get_error_status")};
    // A lamp whose word could not be read keeps what it showed.
    for (int i = 0; i < 10; ++i) {
        const Lamp& lamp = kLamps[i];
        if (!read[lamp.errorWord]) continue;
        const bool lit = (static_cast<uint16_t>(words[lamp.errorWord]) & lamp.bit) != 0;
        m_lamps[i].SetIcon(PageIcon(lit ? lamp.litIcon : IDI_LAMP_DARK));
    }
}

void CBasicOperationDlg::OnProfile() {
    SettleTypedValues();
    const long double distance = std::abs(static_cast<long double>(m_Motion.outputPulse));
    const long double speed = static_cast<uint32_t>(m_Motion.dv);
    const double span = static_cast<double>(distance * 1.5L / speed);
    const double height = 1.2 * static_cast<double>(speed > distance ? speed : distance);
    OpenProfileWindow(span, height);
}

// Each click opens another window; the page owns them all and ends them with
// itself, so none outlives the page or leaks.
void CBasicOperationDlg::OpenProfileWindow(double span, double height) {
    std::unique_ptr<CProfileDlg> window(new (std::nothrow)
                                            CProfileDlg(m_ActiveCardID, m_ActiveAxis, span, height, nullptr, m_ActiveModel));
    if (!window) {
        MessageBox("Error Creating Dialog Object");
        return;
    }
    if (!window->Create(IDD_PROFILE, this)) {
        MessageBox("Error creating Dialog");
        return;
    }
    PlaceProfileWindow(*window);
    window->ShowWindow(SW_SHOW);
    m_pProfileDlg = window.get();
    m_profileWindows.push_back(std::move(window));
}

// A window at the page's own corner would cover the Profile button, and the next
// click meant for the button would land in the window: each window goes above
// the button row (below it when there is no room above), a little to the right of
// the one before, inside the work area.
void CBasicOperationDlg::PlaceProfileWindow(CWnd& window) const {
    constexpr int kGap = 4, kCascade = 24, kCascades = 8;
    RECT button{}, frame{}, work{};
    GetDlgItem(IDC_BO_PROFILE)->GetWindowRect(&button);
    window.GetWindowRect(&frame);
    if (!::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) ::GetWindowRect(::GetDesktopWindow(), &work);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int top = button.top - kGap - height;
    if (top < work.top) top = button.bottom + kGap;
    if (top + height > work.bottom) top = work.bottom - height;
    if (top < work.top) top = work.top;
    int left = frame.left + kCascade * static_cast<int>(m_profileWindows.size() % kCascades);
    if (left + width > work.right) left = work.right - width;
    if (left < work.left) left = work.left;
    ::SetWindowPos(window.m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CBasicOperationDlg::OnDestroy() {
    SettleTypedValues();
    SaveAxisMotion();
    for (auto& window : m_profileWindows)
        if (window->m_hWnd != nullptr) window->DestroyWindow();
    m_profileWindows.clear();
    m_pProfileDlg = nullptr;
    if (m_nTimer != -1) {
        KillTimer(static_cast<UINT_PTR>(m_nTimer));
        m_nTimer = -1;
    }
    CDialog::OnDestroy();
}
