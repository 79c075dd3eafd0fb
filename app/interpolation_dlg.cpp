#include "interpolation_dlg.h"

#include <afxpriv.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "settings_store.h"

namespace {

constexpr UINT_PTR kPollTimer = 2;
constexpr UINT kPollPeriodMs = 200;
constexpr uint16_t kDecelStop = 0x26;
constexpr uint16_t kArcCW = 0x32, kArcCCW = 0x33;
enum MoveType { kLinear2D = 0, kLinear3D = 1, kCircular = 2 };
enum Profile { kConst = 0, kTCurve = 1, kSCurve = 2 };

const char* const kAxisNames[4] = {"X-Axis", "Y-Axis", "Z-Axis", "U-Axis"};

// Indexes into the page's m_Ranges, as the library returns them.
enum RangeIndex { kJerkMax, kJerkMin, kAccMin, kAccMax, kSpeedMin, kSpeedMax };

// How an edit's text is checked.
enum class EditKind { Speed, Acc, Jerk, Offset, Point };

struct ParamEdit {
    UINT id;
    EditKind kind;
    int32_t& (*slot)(InterpParams&);
};

// In the order the page writes them.
const ParamEdit kParamEdits[] = {
    {IDC_INTERP_SV, EditKind::Speed, [](InterpParams& p) -> int32_t& { return p.sv; }},
    {IDC_INTERP_V, EditKind::Speed, [](InterpParams& p) -> int32_t& { return p.v; }},
    {IDC_INTERP_ACC, EditKind::Acc, [](InterpParams& p) -> int32_t& { return p.acc; }},
    {IDC_INTERP_DEC, EditKind::Acc, [](InterpParams& p) -> int32_t& { return p.dec; }},
    {IDC_INTERP_JERK, EditKind::Jerk, [](InterpParams& p) -> int32_t& { return p.jerk; }},
    {IDC_INTERP_DEC_RATE, EditKind::Jerk, [](InterpParams& p) -> int32_t& { return p.decRate; }},
    {IDC_INTERP_FP1, EditKind::Point, [](InterpParams& p) -> int32_t& { return p.finishPoint[0]; }},
    {IDC_INTERP_FP2, EditKind::Point, [](InterpParams& p) -> int32_t& { return p.finishPoint[1]; }},
    {IDC_INTERP_FP3, EditKind::Point, [](InterpParams& p) -> int32_t& { return p.finishPoint[2]; }},
    {IDC_INTERP_CP1, EditKind::Point, [](InterpParams& p) -> int32_t& { return p.centerPoint[0]; }},
    {IDC_INTERP_CP2, EditKind::Point, [](InterpParams& p) -> int32_t& { return p.centerPoint[1]; }},
    {IDC_INTERP_OFFSET, EditKind::Offset, [](InterpParams& p) -> int32_t& { return p.offsetPulses; }},
};

const ParamEdit* FindParamEdit(UINT id) {
    for (const ParamEdit& edit : kParamEdits)
        if (edit.id == id) return &edit;
    return nullptr;
}

// The accepted bounds of an edit's kind; points have none of their own.
void Bounds(EditKind kind, const uint32_t ranges[6], long long& low, long long& high) {
    switch (kind) {
    case EditKind::Speed: low = ranges[kSpeedMin], high = ranges[kSpeedMax]; break;
    case EditKind::Acc: low = ranges[kAccMin], high = ranges[kAccMax]; break;
    case EditKind::Jerk: low = ranges[kJerkMin], high = ranges[kJerkMax]; break;
    case EditKind::Offset: low = SHRT_MIN, high = SHRT_MAX; break;
    case EditKind::Point: low = INT_MIN + 1LL, high = INT_MAX; break;
    }
}

// The whole text as a number; FALSE when it is none (empty, stray characters).
BOOL ParseNumber(const CString& text, bool isSigned, long long& value) {
    LPCSTR begin = text;
    if (*begin == '\0' || (!isSigned && *begin == '-')) return FALSE;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(begin, &end, 10);
    if (*end != '\0') return FALSE;
    // Too long a number is outside any bound: keep its sign.
    if (errno == ERANGE) value = value < 0 ? LLONG_MIN : LLONG_MAX;
    return TRUE;
}

uint32_t Limited(int32_t value, uint32_t low, uint32_t high) {
    const uint32_t v = static_cast<uint32_t>(value);
    return v < low || v > high ? low : v;
}

int AxisBitFromName(const CString& text) {
    switch (text.IsEmpty() ? '\0' : static_cast<LPCSTR>(text)[0]) {
    case 'X': return 1;
    case 'Y': return 2;
    case 'Z': return 4;
    case 'U': return 8;
    default: return 0;
    }
}

}  // namespace

BEGIN_MESSAGE_MAP(CInterpolationDlg, CDialog)
    ON_MESSAGE(WM_KICKIDLE, OnKickIdle)
    ON_WM_TIMER()
    ON_WM_DESTROY()
    ON_NOTIFY(TVN_SELCHANGEDA, IDC_INTERP_CARD_TREE, OnSelChangedCardTree)
    ON_BN_CLICKED(IDC_INTERP_MOVE, OnInterpolationMove)
    ON_BN_CLICKED(IDC_INTERP_STOP, OnStop)
    ON_BN_CLICKED(IDC_INTERP_RESET, OnReset)
    ON_BN_CLICKED(IDC_INTERP_CLEAR, OnClear)
    ON_BN_CLICKED(IDC_INTERP_LINEAR2D, OnLinear2D)
    ON_BN_CLICKED(IDC_INTERP_LINEAR3D, OnLinear3D)
    ON_BN_CLICKED(IDC_INTERP_CIRCULAR, OnCircular)
    ON_BN_CLICKED(IDC_INTERP_CONST, OnConst)
    ON_BN_CLICKED(IDC_INTERP_TCURVE, OnTCurve)
    ON_BN_CLICKED(IDC_INTERP_SCURVE, OnSCurve)
    ON_BN_CLICKED(IDC_INTERP_SYM, OnSym)
    ON_BN_CLICKED(IDC_INTERP_ASYM, OnAsym)
    ON_BN_CLICKED(IDC_INTERP_CW, OnCW)
    ON_BN_CLICKED(IDC_INTERP_CCW, OnCCW)
    ON_CONTROL_RANGE(EN_CHANGE, IDC_INTERP_JERK, IDC_INTERP_CP2, OnChangeParam)
    ON_CONTROL_RANGE(EN_KILLFOCUS, IDC_INTERP_JERK, IDC_INTERP_CP2, OnParamLostFocus)
    ON_CBN_SELCHANGE(IDC_INTERP_MAIN_AXIS, OnSelChangeMainAxis)
    ON_CBN_SELCHANGE(IDC_INTERP_2ND_AXIS, OnSelChange2ndAxis)
    ON_CBN_SELCHANGE(IDC_INTERP_3RD_AXIS, OnSelChange3rdAxis)
    ON_UPDATE_COMMAND_UI_RANGE(IDC_INTERP_JERK, IDC_INTERP_2ND_AXIS, OnUpdateControl)
END_MESSAGE_MAP()

CInterpolationDlg::CInterpolationDlg(int32_t, int32_t, CWnd* parent) : CDialog(IDD_INTERPOLATION, parent) {}

void CInterpolationDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_INTERP_LAMP_3RD, m_lamp3rd);
    DDX_Control(dx, IDC_INTERP_LAMP_2ND, m_lamp2nd);
    DDX_Control(dx, IDC_INTERP_LAMP_MAIN, m_lampMain);
    DDX_Control(dx, IDC_INTERP_STOP, m_btnStop);
    DDX_Control(dx, IDC_INTERP_RESET, m_btnReset);
    DDX_Control(dx, IDC_INTERP_CLEAR, m_btnClear);
    DDX_Control(dx, IDCANCEL, m_btnReturn);
    DDX_Control(dx, IDC_INTERP_MOVE, m_btnMove);
    DDX_Control(dx, IDC_INTERP_2D_PROFILE, m_btn2DProfile);
    DDX_Control(dx, IDOK, m_btnToConfig);
    DDX_Control(dx, IDC_INTERP_CARD_TREE, m_tree);
    DDX_Control(dx, IDC_INTERP_MAIN_AXIS, m_mainAxis);
    DDX_Control(dx, IDC_INTERP_2ND_AXIS, m_2ndAxis);
    DDX_Control(dx, IDC_INTERP_3RD_AXIS, m_3rdAxis);
}

CSettingsStore* CInterpolationDlg::Store() const { return dynamic_cast<CSettingsStore*>(AfxGetMainWnd()); }

void CInterpolationDlg::FillCardTree() {
    skeleton::FillCardTree(m_tree, m_images, CardTreeForm::CardsOnly, m_wndStatusBar, m_nLastStatus);
}
void CInterpolationDlg::ShowErrorCode(LPCSTR label) { skeleton::ShowErrorCode(m_wndStatusBar, m_nLastStatus, label); }
void CInterpolationDlg::ClearStatusPanes() { skeleton::ClearStatusPanes(m_wndStatusBar); }
void CInterpolationDlg::ShowStopReason(uint16_t state) { skeleton::ShowStopReason(m_wndStatusBar, state); }

void CInterpolationDlg::Check(int16_t status, LPCSTR exportName) {
    m_nLastStatus = status;
    if (status != 0) ShowErrorCode(skeleton::ExportLabel(m_ActiveModel, exportName));
}

BOOL CInterpolationDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    skeleton::CreateStatusPanes(*this, m_wndStatusBar);
    skeleton::KeepReturnOnThePage(*this);

    const struct {
        CShadeButton& button;
        UINT icon;
        bool flatFocus;
    } buttons[] = {
        {m_btnReturn, IDI_RETURN, true}, {m_btnMove, IDI_INTERP_MOVE, false}, {m_btnStop, IDI_STOP, false},
        {m_btnReset, IDI_RESET, true},   {m_btnClear, IDI_CLEAR, true},       {m_btnToConfig, IDI_CONFIGURATION, true},
    };
    for (const auto& b : buttons) {
        skeleton::PrepareProgramShade(b.button);
        b.button.SetIcon(b.icon, 0);
        if (b.flatFocus) b.button.SetFlatFocus(TRUE, TRUE);
    }

    FillAxisList(m_mainAxis, 0);
    m_2ndAxis.AddString("None");
    m_3rdAxis.AddString("None");
    FillCardTree();
    if (CSettingsStore* store = Store()) {
        store->GetInterpParams(m_ActiveModel, m_ActiveCardID, &m_Interp);
        m_ActiveAxis = m_Interp.axes[0];
    }
    if (m_ActiveAxis != 0) {
        ReadRanges();
        if (m_nLastStatus != 0) return TRUE;
    }
    UpdateControls();
    if (!ReadServoStates()) return TRUE;
    ClearMovingUnlessDone();
    RestoreAxisLists();
    m_nTimer = static_cast<int32_t>(SetTimer(kPollTimer, kPollPeriodMs));
    return TRUE;
}

void CInterpolationDlg::ReadRanges() {
    Check(Library().get_range_settings(Card(), static_cast<uint16_t>(m_ActiveAxis),
                                       reinterpret_cast<int32_t*>(m_Ranges)),
          "get_range_settings");
}

BOOL CInterpolationDlg::ReadServoStates() {
    for (int axis = 0; axis < 4; ++axis)
        m_nLastStatus = Library().get_out1_status(Card(), static_cast<uint16_t>(1 << axis), &m_ServoState[axis]);
    Check(m_nLastStatus, "get_out1_status");
    return m_nLastStatus == 0;
}

// An axis still running keeps the flag; a finished one keeps what was stored,
// so that the poll shows its stop reason.
void CInterpolationDlg::ClearMovingUnlessDone() {
    if (m_ActiveAxis == 0) return;
    uint8_t done = 0;
    int16_t state = 0;
    Check(Library().motion_done(Card(), static_cast<uint16_t>(m_ActiveAxis), &done, &state), "motion_done");
    if (m_nLastStatus == 0 && done != 1) m_Interp.moving = 0;
}

LRESULT CInterpolationDlg::OnKickIdle(WPARAM, LPARAM) {
    UpdateDialogControls(this, FALSE);
    RefreshLamps();
    return 0;
}

void CInterpolationDlg::OnSelChangedCardTree(NMHDR* header, LRESULT* result) {
    *result = 0;
    const HTREEITEM item = reinterpret_cast<NMTREEVIEWA*>(header)->itemNew.hItem;
    const CardTreeSelection chosen = skeleton::ReadCardTreeItem(m_tree, item);
    const int32_t previousModel = m_ActiveModel, previousCard = m_ActiveCardID;
    m_ActiveModel = chosen.model;
    m_ActiveCardID = chosen.cardId;
    CSettingsStore* store = Store();
    if (store && (m_ActiveModel == kModelA || m_ActiveModel == kModelB))
        store->m_Settings[m_ActiveModel].isModelB = static_cast<uint8_t>(m_ActiveModel);
    if ((previousModel == m_ActiveModel && previousCard == m_ActiveCardID) || previousModel == -1 ||
        previousCard == -1)
        return;
    SettleParams();  // under the previous card's limits
    if (store) {
        store->SetInterpParams(previousModel, previousCard, m_Interp);
        store->GetInterpParams(m_ActiveModel, m_ActiveCardID, &m_Interp);
        m_ActiveAxis = m_Interp.axes[0];
        if (m_ActiveAxis != 0) ReadRanges();
    }
    ReadServoStates();
    UpdateControls();
    RestoreAxisLists();
    ClearStatusPanes();
    ClearMovingUnlessDone();
}

void CInterpolationDlg::UpdateControls() {
    const auto check = [this](const std::initializer_list<UINT> ids, int on) {
        int index = 0;
        for (UINT id : ids) ::CheckDlgButton(m_hWnd, static_cast<int>(id), index++ == on ? BST_CHECKED : BST_UNCHECKED);
    };
    check({IDC_INTERP_LINEAR2D, IDC_INTERP_LINEAR3D, IDC_INTERP_CIRCULAR}, m_Interp.interpType);
    check({IDC_INTERP_CONST, IDC_INTERP_TCURVE, IDC_INTERP_SCURVE}, m_Interp.profile);
    check({IDC_INTERP_SYM, IDC_INTERP_ASYM}, m_Interp.asymmetric);
    check({IDC_INTERP_CW, IDC_INTERP_CCW}, m_Interp.arcDirection);
    if (m_ActiveAxis == 0) return;
    for (const ParamEdit& edit : kParamEdits) {
        if (edit.kind != EditKind::Speed && edit.kind != EditKind::Acc && edit.kind != EditKind::Jerk) continue;
        long long low = 0, high = 0;
        Bounds(edit.kind, m_Ranges, low, high);
        int32_t& value = edit.slot(m_Interp);
        value = static_cast<int32_t>(Limited(value, static_cast<uint32_t>(low), static_cast<uint32_t>(high)));
    }
    TransferParams(TRUE);
}

void CInterpolationDlg::TransferParams(BOOL toEdits) {
    // Each edit's own check runs on the write; it accepts what the record holds.
    InterpParams values = m_Interp;
    for (const ParamEdit& edit : kParamEdits) {
        if (toEdits) {
            CString text;
            text.Format("%d", edit.slot(values));
            SetDlgItemText(static_cast<int>(edit.id), text);
        } else {
            edit.slot(m_Interp) = static_cast<int32_t>(GetDlgItemInt(static_cast<int>(edit.id), nullptr, TRUE));
        }
    }
}

void CInterpolationDlg::OnChangeParam(UINT id) {
    const ParamEdit* edit = FindParamEdit(id);
    if (!edit) return;
    CString text;
    GetDlgItemText(static_cast<int>(id), text);
    long long value = 0, low = 0, high = 0;
    Bounds(edit->kind, m_Ranges, low, high);
    int32_t& slot = edit->slot(m_Interp);
    m_deferredParams.erase(id);
    const bool isSigned = edit->kind == EditKind::Offset || edit->kind == EditKind::Point;
    if (ParseNumber(text, isSigned, value) && low <= value && value <= high) {
        slot = static_cast<int32_t>(value);
        return;
    }
    // Maybe the first keys of a larger or a negative number: corrected when the
    // edit is left or the value used.
    if (!m_bSettling && ((ParseNumber(text, isSigned, value) && value < low && low > 0) || (isSigned && text == "-"))) {
        m_deferredParams.insert(id);
        return;
    }
    ::MessageBeep(static_cast<UINT>(-1));
    // A number out of bounds is replaced by the bound it passed; points and
    // text that is no number get the record's value back.
    if (ParseNumber(text, isSigned, value) && edit->kind != EditKind::Point)
        slot = static_cast<int32_t>(value < low ? low : high);
    CString written;
    written.Format("%d", slot);
    SetDlgItemText(static_cast<int>(id), written);
    if (CEdit* control = static_cast<CEdit*>(GetDlgItem(static_cast<int>(id))))
        control->SetSel(written.GetLength(), written.GetLength());
}

void CInterpolationDlg::OnCircular() {
    m_Interp.interpType = kCircular;
    // An arc has neither an S-curve nor an asymmetric profile.
    if (m_Interp.profile == kSCurve) m_Interp.profile = kConst;
    if (m_Interp.asymmetric == 1) m_Interp.asymmetric = 0;
    UpdateControls();
}

void CInterpolationDlg::OnInterpolationMove() {
    SettleParams();
    TransferParams(FALSE);
    ClearStatusPanes();
    const InterpParams& p = m_Interp;
    const bool constant = p.profile == kConst;
    const uint32_t sv = static_cast<uint32_t>(constant ? p.v : p.sv), v = static_cast<uint32_t>(p.v);
    const uint32_t acc = static_cast<uint32_t>(p.acc), jerk = static_cast<uint32_t>(p.jerk);
    const uint32_t dec = static_cast<uint32_t>(p.profile == kTCurve && p.asymmetric ? p.dec : p.acc);
    const uint32_t decRate = static_cast<uint32_t>(p.asymmetric ? p.decRate : p.jerk);
    const uint16_t main = static_cast<uint16_t>(p.axes[0]), second = static_cast<uint16_t>(p.axes[1]),
                   third = static_cast<uint16_t>(p.axes[2]);
    const int16_t ao = static_cast<int16_t>(p.offsetPulses);
    const MotionLibrary& lib = Library();
    const bool sCurve = p.profile == kSCurve;
    switch (p.interpType) {
    case kLinear2D:
        if (sCurve)
            Check(lib.s_line2_move(Card(), main, second, sv, v, jerk, decRate, p.finishPoint[0], p.finishPoint[1], ao, 0),
                  "s_line2_move");
        else
            Check(lib.t_line2_move(Card(), main, second, sv, v, acc, dec, p.finishPoint[0], p.finishPoint[1], ao, 0),
                  "t_line2_move");
        break;
    case kLinear3D:
        if (sCurve)
            Check(lib.s_line3_move(Card(), main, second, third, sv, v, jerk, decRate, p.finishPoint[0],
                                   p.finishPoint[1], p.finishPoint[2], ao, 0),
                  "s_line3_move");
        else
            Check(lib.t_line3_move(Card(), main, second, third, sv, v, acc, dec, p.finishPoint[0], p.finishPoint[1],
                                   p.finishPoint[2], ao, 0),
                  "t_line3_move");
        break;
    case kCircular:
        if (sCurve) return;
        Check(lib.t_arc2_move(Card(), main, second, sv, v, acc, p.arcDirection == 1 ? kArcCCW : kArcCW,
                              p.centerPoint[0], p.centerPoint[1], p.finishPoint[0], p.finishPoint[1], ao, 0),
              "t_arc2_move");
        break;
    default: return;
    }
    if (m_nLastStatus == 0) m_Interp.moving = 1;
}

void CInterpolationDlg::ShowAxisColumn(int axisBit, const UINT ids[3]) {
    if (axisBit == 0) return;
    const uint16_t axis = static_cast<uint16_t>(axisBit);
    int32_t values[3] = {};
    const int16_t statuses[3] = {Library().get_cmdcounter(Card(), axis, &values[0]),
                                 Library().get_enccounter(Card(), axis, &values[1]),
                                 Library().get_speed(Card(), axis, &values[2])};
    const char* const labels[3] = {"get_cmdcounter", "get_position", "get_speed"};
    for (int i = 0; i < 3; ++i) {
        Check(statuses[i], labels[i]);
        // A value that could not be read is left blank.
        CString text;
        if (statuses[i] == 0) text.Format("%d", values[i]);
        SetDlgItemText(static_cast<int>(ids[i]), text);
    }
}

void CInterpolationDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent != kPollTimer) return;
    static const UINT columns[3][3] = {
        {IDC_INTERP_AXIS1_LOGIC, IDC_INTERP_AXIS1_ENCODER, IDC_INTERP_AXIS1_SPEED},
        {IDC_INTERP_AXIS2_LOGIC, IDC_INTERP_AXIS2_ENCODER, IDC_INTERP_AXIS2_SPEED},
        {IDC_INTERP_AXIS3_LOGIC, IDC_INTERP_AXIS3_ENCODER, IDC_INTERP_AXIS3_SPEED},
    };
    ShowAxisColumn(m_ActiveAxis, columns[0]);
    ShowAxisColumn(m_Interp.axes[1], columns[1]);
    ShowAxisColumn(m_Interp.axes[2], columns[2]);
    if (m_Interp.moving != 1) return;
    uint8_t done = 0;
    int16_t state = 0;
    Check(Library().motion_done(Card(), static_cast<uint16_t>(m_ActiveAxis), &done, &state), "motion_done");
    if (m_nLastStatus == 0 && done == 1) {
        ShowStopReason(static_cast<uint16_t>(state));
        m_Interp.moving = 0;
    }
}

void CInterpolationDlg::OnStop() {
    int mask = m_Interp.axes[0] | m_Interp.axes[1];
    if (m_Interp.interpType == kLinear3D) mask |= m_Interp.axes[2];
    Check(Library().stop_move_all(Card(), static_cast<uint16_t>(mask), kDecelStop), "stop_move");
}

void CInterpolationDlg::OnReset() {
    Check(Library().reset(Card()), "reset");
    if (m_nLastStatus != 0) return;
    if (CSettingsStore* store = Store()) store->ResetCardSettings(m_ActiveModel, m_ActiveCardID);
    ReadServoStates();
    RefreshLamps();
}

void CInterpolationDlg::OnClear() {
    for (int axis : m_Interp.axes) {
        if (axis == 0) continue;
        Check(Library().set_cmdcounter(Card(), static_cast<uint16_t>(axis), 0), "set_cmdcounter");
        Check(Library().set_enccounter(Card(), static_cast<uint16_t>(axis), 0), "set_position");
    }
}

void CInterpolationDlg::FillAxisList(CComboBox& list, int excludedBit) {
    list.ResetContent();
    list.AddString("None");
    for (int axis = 0; axis < 4; ++axis)
        if ((1 << axis) != excludedBit) list.AddString(kAxisNames[axis]);
}

void CInterpolationDlg::OnSelChangeMainAxis() {
    const int selected = m_mainAxis.GetCurSel();
    if (selected < 0 || m_mainAxis.GetCount() < 2) return;
    if (selected == 0) {
        m_Interp.axes[0] = m_Interp.axes[1] = m_Interp.axes[2] = 0;
    } else if (const int bit = 1 << (selected - 1); bit != m_Interp.axes[0]) {
        m_Interp.axes[0] = bit;
        FillAxisList(m_2ndAxis, bit);
        m_2ndAxis.SetCurSel(0);
        m_3rdAxis.SetCurSel(0);
    }
    if (m_ActiveAxis == m_Interp.axes[0]) return;
    m_ActiveAxis = m_Interp.axes[0];
    if (m_ActiveAxis == 0) return;
    ReadRanges();
    UpdateControls();
}

void CInterpolationDlg::OnSelChange2ndAxis() {
    const int selected = m_2ndAxis.GetCurSel();
    if (selected < 0 || m_2ndAxis.GetCount() < 2) return;
    if (selected == 0) {
        m_Interp.axes[1] = m_Interp.axes[2] = 0;
        return;
    }
    CString text;
    m_2ndAxis.GetLBText(selected, text);
    const int bit = AxisBitFromName(text);
    if (bit == m_Interp.axes[1]) return;
    m_Interp.axes[1] = bit;
    // The 3rd list offers the 2nd list's axes but the one chosen there.
    m_3rdAxis.ResetContent();
    m_3rdAxis.AddString("None");
    for (int i = 1; i < m_2ndAxis.GetCount(); ++i) {
        if (i == selected) continue;
        CString name;
        m_2ndAxis.GetLBText(i, name);
        m_3rdAxis.AddString(name);
    }
    m_3rdAxis.SetCurSel(0);
}

void CInterpolationDlg::OnSelChange3rdAxis() {
    const int selected = m_3rdAxis.GetCurSel();
    if (selected < 0 || m_3rdAxis.GetCount() < 2) return;
    CString text;
    if (selected != 0) m_3rdAxis.GetLBText(selected, text);
    m_Interp.axes[2] = selected == 0 ? 0 : AxisBitFromName(text);
}

void CInterpolationDlg::RestoreAxisLists() {
    const int main = m_Interp.axes[0], second = m_Interp.axes[1], third = m_Interp.axes[2];
    const int mainIndex = CSettingsStore::AxisIndexFromBit(main);
    if (main == 0) {
        m_mainAxis.SetCurSel(0);
    } else {
        m_mainAxis.SetCurSel(mainIndex + 1);
        FillAxisList(m_2ndAxis, main);
    }
    const auto select = [](CComboBox& list, int bit) {
        for (int i = 1; i < list.GetCount(); ++i) {
            CString name;
            list.GetLBText(i, name);
            if (AxisBitFromName(name) == bit) {
                list.SetCurSel(i);
                return;
            }
        }
        list.SetCurSel(0);
    };
    if (second != 0) {
        m_3rdAxis.ResetContent();
        m_3rdAxis.AddString("None");
        for (int i = 1; i < m_2ndAxis.GetCount(); ++i) {
            CString name;
            m_2ndAxis.GetLBText(i, name);
            if (AxisBitFromName(name) != second) m_3rdAxis.AddString(name);
        }
        select(m_2ndAxis, second);
    } else {
        m_2ndAxis.SetCurSel(0);
        m_3rdAxis.EnableWindow(FALSE);
    }
    if (third != 0)
        select(m_3rdAxis, third);
    else
        m_3rdAxis.SetCurSel(0);
}

int CInterpolationDlg::EnableRule(UINT id) const {
    const InterpParams& p = m_Interp;
    const bool axis = m_ActiveAxis != 0, circular = p.interpType == kCircular, linear3 = p.interpType == kLinear3D;
    switch (id) {
    case IDC_INTERP_MAIN_AXIS: return 1;
    case IDC_INTERP_2ND_AXIS: return p.axes[0] != 0;
    case IDC_INTERP_3RD_AXIS: return p.axes[0] != 0 && p.axes[1] != 0 && linear3;
    case IDC_INTERP_SCURVE: return !circular;
    case IDC_INTERP_CW:
    case IDC_INTERP_CCW: return circular;
    case IDC_INTERP_SYM:
    case IDC_INTERP_ASYM: return !circular && p.profile != kConst;
    case IDC_INTERP_FP1:
    case IDC_INTERP_FP2:
    case IDC_INTERP_V:
    case IDC_INTERP_OFFSET: return axis;
    case IDC_INTERP_FP3: return axis && linear3;
    case IDC_INTERP_CP1:
    case IDC_INTERP_CP2: return axis && circular;
    case IDC_INTERP_SV: return axis && p.profile != kConst;
    case IDC_INTERP_ACC: return axis && p.profile == kTCurve;
    case IDC_INTERP_DEC: return axis && p.profile == kTCurve && p.asymmetric;
    case IDC_INTERP_JERK: return axis && p.profile == kSCurve;
    case IDC_INTERP_DEC_RATE: return axis && p.profile == kSCurve && p.asymmetric;
    case IDC_INTERP_MOVE:
        return p.moving == 0 && m_ActiveAxis != 0 && p.axes[1] != 0 && (!linear3 || p.axes[2] != 0);
    default: return -1;
    }
}

void CInterpolationDlg::OnUpdateControl(CCmdUI* cmdUI) {
    const int enabled = EnableRule(cmdUI->m_nID);
    if (enabled != -1) cmdUI->Enable(enabled);
}

void CInterpolationDlg::RefreshLamps() {
    const struct {
        CStatic& lamp;
        int axisBit;
    } lamps[] = {{m_lampMain, m_ActiveAxis}, {m_lamp2nd, m_Interp.axes[1]}, {m_lamp3rd, m_Interp.axes[2]}};
    for (const auto& l : lamps) {
        const int index = CSettingsStore::AxisIndexFromBit(l.axisBit);
        const UINT icon = index < 0 ? IDI_NO_AXIS : m_ServoState[index] == 1 ? IDI_LAMP_ON : IDI_LAMP_OFF;
        const HICON handle = ::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(icon));
        if (l.lamp.GetIcon() != handle) l.lamp.SetIcon(handle);
    }
}

void CInterpolationDlg::SettleParams() {
    const std::set<UINT> deferred = m_deferredParams;
    m_bSettling = true;
    for (UINT id : deferred) OnChangeParam(id);
    m_bSettling = false;
}

void CInterpolationDlg::OnDestroy() {
    SettleParams();
    if (CSettingsStore* store = Store()) store->SetInterpParams(m_ActiveModel, m_ActiveCardID, m_Interp);
    if (m_nTimer != -1) {
        KillTimer(static_cast<UINT_PTR>(m_nTimer));
        m_nTimer = -1;
    }
    CDialog::OnDestroy();
}
