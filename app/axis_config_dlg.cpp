#include "axis_config_dlg.h"

#include <afxpriv.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <type_traits>

#include "config_file_buttons.h"
#include "main_dlg.h"
#include "motion_library.h"
#include "page_skeleton.h"

namespace {

constexpr int32_t kRangeMin = 16000, kRangeMax = 8000000;  // PPS
// The compare-register interrupt factors, which exclude the software limits.
constexpr uint16_t kCompareInterrupts = 0x02 | 0x04 | 0x08 | 0x10;

// A field of the record as an int, whatever its width.
using FieldGetter = int (*)(const AxisConfigRecord&);
using FieldSetter = void (*)(AxisConfigRecord&, int);

template <auto Field>
int Get(const AxisConfigRecord& r) {
    return r.*Field;
}
template <auto Field>
void Set(AxisConfigRecord& r, int value) {
    r.*Field = static_cast<std::remove_reference_t<decltype(r.*Field)>>(value);
}

void SetBit(uint16_t& mask, unsigned bit, int on) {
    mask = static_cast<uint16_t>(on ? mask | bit : mask & ~bit);
}
// Filter group K and its bit in filterMode move together, as do interrupt
// factor K and its bit in intFactor.
template <int K>
int GetFilter(const AxisConfigRecord& r) {
    return r.filterFlag[K];
}
template <int K>
void SetFilter(AxisConfigRecord& r, int on) {
    r.filterFlag[K] = on;
    SetBit(r.filterMode, 1u << K, on);
}
template <int K>
int GetInterrupt(const AxisConfigRecord& r) {
    return r.intFlag[K];
}
template <int K>
void SetInterrupt(AxisConfigRecord& r, int on) {
    r.intFlag[K] = on;
    SetBit(r.intFactor, 1u << K, on);
}

const char* const kPulseModes[] = {
    "0:CW/CCW Active High",
    "1:CW/CCW Active Low",
    "2:Pulse Active High / Forward Active Low",
    "3:Pulse Active Low / Forward  Active Low",
    "4:Pulse Active High / Forward  Active High",
    "5:Pulse  Active Low / Forward  Active High",
};
const char* const kEncoderModes[] = {"1/1 AB Phase", "1/2 AB Phase", "1/4 AB Phase", "CW/CCW"};
const char* const kLevels[] = {"Low", "High"};
const char* const kCompareSources[] = {"Logic Position", "Encoder Position"};
const char* const kDelayTimes[] = {"No Selected", "2 us",    "256 us",    "512 us",  "1024 us",
                                   "2048 us",     "4096 us", "  8192 us", "16384 us"};

// A drop-down list whose item index is the field's value.
struct ListBinding {
    UINT id;
    std::span<const char* const> items;
    FieldGetter get;
    FieldSetter set;
};
const ListBinding kLists[] = {
    {IDC_CFG_PULSE_MODE, kPulseModes, Get<&AxisConfigRecord::pulseMode>, Set<&AxisConfigRecord::pulseMode>},
    {IDC_CFG_ENC_MODE, kEncoderModes, Get<&AxisConfigRecord::encMode>, Set<&AxisConfigRecord::encMode>},
    {IDC_CFG_LIMIT_LOGIC, kLevels, Get<&AxisConfigRecord::limitLevel>, Set<&AxisConfigRecord::limitLevel>},
    {IDC_CFG_HOME_LOGIC, kLevels, Get<&AxisConfigRecord::homeLevel>, Set<&AxisConfigRecord::homeLevel>},
    {IDC_CFG_NEAR_HOME_LOGIC, kLevels, Get<&AxisConfigRecord::nearHomeLevel>,
     Set<&AxisConfigRecord::nearHomeLevel>},
    {IDC_CFG_INDEX_LOGIC, kLevels, Get<&AxisConfigRecord::indexLevel>, Set<&AxisConfigRecord::indexLevel>},
    {IDC_CFG_COMPARE_SOURCE, kCompareSources, Get<&AxisConfigRecord::softLimitSource>,
     Set<&AxisConfigRecord::softLimitSource>},
    {IDC_CFG_ALARM_LOGIC, kLevels, Get<&AxisConfigRecord::almLevel>, Set<&AxisConfigRecord::almLevel>},
    {IDC_CFG_INP_LOGIC, kLevels, Get<&AxisConfigRecord::inpLevel>, Set<&AxisConfigRecord::inpLevel>},
    {IDC_CFG_DELAY_TIME, kDelayTimes, Get<&AxisConfigRecord::delayTime>, Set<&AxisConfigRecord::delayTime>},
};

// A check box: checked is flag 1.
struct CheckBinding {
    UINT id;
    FieldGetter get;
    FieldSetter set;
};
const CheckBinding kChecks[] = {
    {IDC_CFG_SOFT_LIMIT_ENABLE, Get<&AxisConfigRecord::softLimitEnable>, Set<&AxisConfigRecord::softLimitEnable>},
    {IDC_CFG_ALARM_ENABLE, Get<&AxisConfigRecord::almEnable>, Set<&AxisConfigRecord::almEnable>},
    {IDC_CFG_INP_ENABLE, Get<&AxisConfigRecord::inpEnable>, Set<&AxisConfigRecord::inpEnable>},
    {IDC_CFG_FILTER_EMG, GetFilter<0>, SetFilter<0>},
    {IDC_CFG_FILTER_INDEX, GetFilter<1>, SetFilter<1>},
    {IDC_CFG_FILTER_INP, GetFilter<2>, SetFilter<2>},
    {IDC_CFG_FILTER_EXP, GetFilter<3>, SetFilter<3>},
    {IDC_CFG_FILTER_IN3, GetFilter<4>, SetFilter<4>},
    {IDC_CFG_INT_COMP_MINUS_GE, GetInterrupt<1>, SetInterrupt<1>},
    {IDC_CFG_INT_COMP_MINUS_LT, GetInterrupt<2>, SetInterrupt<2>},
    {IDC_CFG_INT_COMP_PLUS_LT, GetInterrupt<3>, SetInterrupt<3>},
    {IDC_CFG_INT_COMP_PLUS_GE, GetInterrupt<4>, SetInterrupt<4>},
    {IDC_CFG_INT_CONST_END, GetInterrupt<5>, SetInterrupt<5>},
    {IDC_CFG_INT_CONST_START, GetInterrupt<6>, SetInterrupt<6>},
    {IDC_CFG_INT_DRIVE_END, GetInterrupt<7>, SetInterrupt<7>},
};

template <typename Binding, size_t N>
const Binding* FindBinding(const Binding (&table)[N], UINT id) {
    for (const Binding& binding : table)
        if (binding.id == id) return &binding;
    return nullptr;
}

// The whole text as a signed decimal number of 32 bits.
bool ParseNumber(const CString& text, int32_t* value) {
    const char* begin = text;
    const char* digits = *begin == '-' ? begin + 1 : begin;
    if (!std::isdigit(static_cast<unsigned char>(*digits))) return false;
    char* end = nullptr;
    const long long parsed = std::strtoll(begin, &end, 10);
    if (*end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

}  // namespace

BEGIN_MESSAGE_MAP(CAxisConfigDlg, CDialog)
    ON_NOTIFY(TVN_SELCHANGEDA, IDC_CFG_TREE, OnSelChangedTree)
    ON_EN_CHANGE(IDC_CFG_SOFT_LIMIT_PLUS, OnChangeSoftLimitPlus)
    ON_EN_CHANGE(IDC_CFG_SOFT_LIMIT_MINUS, OnChangeSoftLimitMinus)
    ON_EN_CHANGE(IDC_CFG_RANGE, OnChangeRange)
    ON_EN_KILLFOCUS(IDC_CFG_RANGE, SettleRange)
    ON_BN_CLICKED(IDC_CFG_SERVO, OnServo)
    ON_BN_CLICKED(IDC_CFG_ALARM_RESET, OnAlarmReset)
    ON_BN_CLICKED(IDC_CFG_GDO, OnGdo)
    ON_BN_CLICKED(IDC_CFG_ERC, OnErc)
    ON_BN_CLICKED(IDC_CFG_LOAD_CONFIG, OnLoadConfig)
    ON_BN_CLICKED(IDC_CFG_SAVE_CONFIG, OnSaveConfig)
    ON_BN_CLICKED(IDC_TO_INTERPOLATION, OnToInterpolation)
    ON_WM_DESTROY()
    ON_MESSAGE(WM_KICKIDLE, OnKickIdle)
    ON_UPDATE_COMMAND_UI(IDC_CFG_SOFT_LIMIT_PLUS, OnUpdateSoftLimitFields)
    ON_UPDATE_COMMAND_UI(IDC_CFG_SOFT_LIMIT_MINUS, OnUpdateSoftLimitFields)
    ON_UPDATE_COMMAND_UI(IDC_CFG_COMPARE_SOURCE, OnUpdateSoftLimitFields)
    ON_UPDATE_COMMAND_UI(IDC_CFG_SOFT_LIMIT_ENABLE, OnUpdateSoftLimitEnable)
    ON_UPDATE_COMMAND_UI(IDC_CFG_INT_COMP_MINUS_GE, OnUpdateCompareInterrupts)
    ON_UPDATE_COMMAND_UI(IDC_CFG_INT_COMP_MINUS_LT, OnUpdateCompareInterrupts)
    ON_UPDATE_COMMAND_UI(IDC_CFG_INT_COMP_PLUS_LT, OnUpdateCompareInterrupts)
    ON_UPDATE_COMMAND_UI(IDC_CFG_INT_COMP_PLUS_GE, OnUpdateCompareInterrupts)
    ON_UPDATE_COMMAND_UI(IDC_CFG_DELAY_TIME, OnUpdateDelayTime)
    ON_UPDATE_COMMAND_UI(IDC_CFG_ALARM_LOGIC, OnUpdateAlarmLogic)
    ON_UPDATE_COMMAND_UI(IDC_CFG_INP_LOGIC, OnUpdateInpLogic)
END_MESSAGE_MAP()

CAxisConfigDlg::CAxisConfigDlg(int32_t, int32_t, int32_t, CWnd* parent) : CDialog(IDD_AXIS_CONFIG, parent) {}

void CAxisConfigDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_CFG_TREE, m_tree);
    DDX_Control(dx, IDC_CFG_ALARM_RESET, m_btnAlarmReset);
    DDX_Control(dx, IDC_CFG_ERC, m_btnErc);
    DDX_Control(dx, IDC_CFG_GDO, m_btnGdo);
    DDX_Control(dx, IDC_CFG_SAVE_CONFIG, m_btnSaveConfig);
    DDX_Control(dx, IDC_CFG_LOAD_CONFIG, m_btnLoadConfig);
    DDX_Control(dx, IDC_CFG_SERVO, m_btnServo);
    DDX_Control(dx, IDOK, m_btnToBasic);
    DDX_Control(dx, IDC_TO_INTERPOLATION, m_btnToInterp);
    DDX_Control(dx, IDCANCEL, m_btnReturn);
}

BOOL CAxisConfigDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    skeleton::CreateStatusPanes(*this, m_wndStatusBar);
    skeleton::KeepReturnOnThePage(*this);

    for (const ListBinding& list : kLists)
        for (const char* item : list.items) SendDlgItemMessage(list.id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));

    const struct {
        CShadeButton& button;
        UINT icon;
        bool flatFocus;
    } looks[] = {
        {m_btnToBasic, IDI_BASIC_OPERATION, false}, {m_btnToInterp, IDI_INTERPOLATION, false},
        {m_btnReturn, IDI_RETURN, false},           {m_btnLoadConfig, IDI_LOAD, false},
        {m_btnSaveConfig, IDI_SAVE, false},         {m_btnServo, IDI_LAMP_OFF, true},
        {m_btnAlarmReset, IDI_LAMP_OFF, true},      {m_btnGdo, IDI_LAMP_OFF, true},
        {m_btnErc, IDI_LAMP_OFF, true},
    };
    for (const auto& look : looks) {
        skeleton::PrepareProgramShade(look.button);
        look.button.SetIcon(look.icon, 0);
        if (look.flatFocus) look.button.SetFlatFocus(TRUE, TRUE);
    }

    FillCardTree();  // its selection-change handler takes the first axis over
    if (CMainDlg* main = MainWindow()) main->GetAxisConfig(m_ActiveModel, m_ActiveCardID, m_ActiveAxis, &m_AxisConfig);
    ReadServoState();
    RefreshControls();
    return TRUE;
}

void CAxisConfigDlg::FillCardTree() {
    skeleton::FillCardTree(m_tree, m_images, CardTreeForm::Axes, m_wndStatusBar, m_nLastStatus);
}

void CAxisConfigDlg::ShowErrorCode(LPCSTR label) { skeleton::ShowErrorCode(m_wndStatusBar, m_nLastStatus, label); }

CMainDlg* CAxisConfigDlg::MainWindow() const { return dynamic_cast<CMainDlg*>(AfxGetMainWnd()); }

bool CAxisConfigDlg::Succeeded(ApiStatus status, LPCSTR exportName) {
    if (status == SUCCESS_NO_ERROR) return true;
    m_nLastStatus = status;
    ShowErrorCode(skeleton::ExportLabel(m_ActiveModel, exportName));
    return false;
}

void CAxisConfigDlg::ReadServoState() {
    uint8_t state = 0;
    const bool read = Succeeded(MotionLibraryOf(m_ActiveModel).get_out1_status(Card(), Axis(), &state), "get_out1_status");
    m_AxisConfig.servoOn = read && state == 1 ? 1 : 0;
}

void CAxisConfigDlg::RefreshControls() {
    for (const ListBinding& list : kLists) SendDlgItemMessage(list.id, CB_SETCURSEL, list.get(m_AxisConfig));
    for (const CheckBinding& check : kChecks) CheckDlgButton(check.id, check.get(m_AxisConfig) == 1);
    SetDlgItemInt(IDC_CFG_SOFT_LIMIT_PLUS, static_cast<UINT>(m_AxisConfig.softLimitPlus));
    SetDlgItemInt(IDC_CFG_SOFT_LIMIT_MINUS, static_cast<UINT>(m_AxisConfig.softLimitMinus));
    SetDlgItemInt(IDC_CFG_RANGE, static_cast<UINT>(m_AxisConfig.rangeValue));
    ShowOutputButton(m_btnServo, m_AxisConfig.servoOn == 1, "Servo ON", "Servo OFF");

    // Only model-B cards have these outputs.
    const bool modelB = m_ActiveModel == kModelB;
    for (CShadeButton* button : {&m_btnAlarmReset, &m_btnGdo, &m_btnErc}) button->EnableWindow(modelB);
    ShowOutputButton(m_btnAlarmReset, modelB && m_AxisConfig.almRstEnable == 1, "AlmRst ON", "AlmRst OFF");
    ShowOutputButton(m_btnGdo, modelB && m_AxisConfig.gdoEnable == 1, "Gdo ON", "Gdo OFF");
    ShowOutputButton(m_btnErc, modelB && m_AxisConfig.ercEnable == 1, "ERC ON", "ERC OFF");
}

void CAxisConfigDlg::ShowOutputButton(CShadeButton& button, bool on, LPCSTR onText, LPCSTR offText) {
    button.SetIcon(on ? IDI_LAMP_ON : IDI_LAMP_OFF, 0);
    button.SetWindowText(on ? onText : offText);
}

void CAxisConfigDlg::OnSelChangedTree(NMHDR* header, LRESULT*) {
    HTREEITEM item = reinterpret_cast<NMTREEVIEWA*>(header)->itemNew.hItem;
    if (!item) return;
    // A card item stands for its first axis.
    if (HTREEITEM firstAxis = m_tree.GetChildItem(item)) {
        m_tree.SelectItem(firstAxis);
        return;
    }
    const CardTreeSelection selected = skeleton::ReadCardTreeItem(m_tree, item);
    const int32_t previousModel = m_ActiveModel, previousCard = m_ActiveCardID, previousAxis = m_ActiveAxis;
    CMainDlg* main = MainWindow();
    m_ActiveModel = selected.model;
    if (main) main->m_Settings[m_ActiveModel].isModelB = static_cast<uint8_t>(m_ActiveModel);
    m_ActiveCardID = selected.cardId;
    m_ActiveAxis = selected.axis > 0 ? selected.axis : 1;
    if (m_ActiveModel == previousModel && m_ActiveCardID == previousCard && m_ActiveAxis == previousAxis) return;
    // The first selection, while the page opens, has no record to store yet.
    if (previousModel == -1 || previousCard == -1 || previousAxis == -1) return;
    SettleRange();
    if (main) {
        main->SetAxisConfig(previousModel, previousCard, previousAxis, m_AxisConfig);
        main->GetAxisConfig(m_ActiveModel, m_ActiveCardID, m_ActiveAxis, &m_AxisConfig);
    }
    ReadServoState();
    RefreshControls();
}

BOOL CAxisConfigDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    const UINT id = LOWORD(wParam), code = HIWORD(wParam);
    if (lParam && code == CBN_SELCHANGE) {
        if (const ListBinding* list = FindBinding(kLists, id)) {
            const int index = static_cast<int>(SendDlgItemMessage(id, CB_GETCURSEL));
            const int count = static_cast<int>(SendDlgItemMessage(id, CB_GETCOUNT));
            if (index != CB_ERR && count > 1) list->set(m_AxisConfig, index);
            return TRUE;
        }
    }
    // Check boxes change the page's copy only; the card gets it when it is stored.
    if (lParam && code == BN_CLICKED) {
        if (const CheckBinding* check = FindBinding(kChecks, id)) {
            check->set(m_AxisConfig, IsDlgButtonChecked(id) == BST_CHECKED ? 1 : 0);
            return TRUE;
        }
    }
    return CDialog::OnCommand(wParam, lParam);
}

CString CAxisConfigDlg::EditText(UINT id) const {
    CString text;
    GetDlgItemText(id, text);
    return text;
}

void CAxisConfigDlg::RewriteEdit(UINT id, int32_t value) {
    ::MessageBeep(0xFFFFFFFF);
    SetDlgItemInt(id, static_cast<UINT>(value));
    const int end = static_cast<int>(SendDlgItemMessage(id, WM_GETTEXTLENGTH));
    SendDlgItemMessage(id, EM_SETSEL, end, end);
}

void CAxisConfigDlg::OnChangeSoftLimitPlus() {
    int32_t value = 0;
    if (!ParseNumber(EditText(IDC_CFG_SOFT_LIMIT_PLUS), &value)) {
        RewriteEdit(IDC_CFG_SOFT_LIMIT_PLUS, m_AxisConfig.softLimitPlus);
    } else if (value < 0) {
        m_AxisConfig.softLimitPlus = 0;
        RewriteEdit(IDC_CFG_SOFT_LIMIT_PLUS, 0);
    } else {
        m_AxisConfig.softLimitPlus = value;
    }
}

void CAxisConfigDlg::OnChangeSoftLimitMinus() {
    const CString text = EditText(IDC_CFG_SOFT_LIMIT_MINUS);
    int32_t value = 0;
    if (text == "-") return;  // the start of a negative number
    if (!ParseNumber(text, &value)) {
        RewriteEdit(IDC_CFG_SOFT_LIMIT_MINUS, m_AxisConfig.softLimitMinus);
    } else if (value > 0) {
        m_AxisConfig.softLimitMinus = 0;
        RewriteEdit(IDC_CFG_SOFT_LIMIT_MINUS, 0);
    } else if (value == INT32_MIN) {
        // Kept within the range whose negation is a number too.
        m_AxisConfig.softLimitMinus = -INT32_MAX;
        RewriteEdit(IDC_CFG_SOFT_LIMIT_MINUS, -INT32_MAX);
    } else {
        m_AxisConfig.softLimitMinus = value;
    }
}

void CAxisConfigDlg::OnChangeRange() {
    m_bRangeDeferred = false;
    int32_t value = 0;
    if (!ParseNumber(EditText(IDC_CFG_RANGE), &value)) {
        RewriteEdit(IDC_CFG_RANGE, m_AxisConfig.rangeValue);
    } else if (value < kRangeMin && !m_bSettling) {
        m_bRangeDeferred = true;  // maybe the first digits of a larger number
    } else if (value < kRangeMin || value > kRangeMax) {
        m_AxisConfig.rangeValue = value < kRangeMin ? kRangeMin : kRangeMax;
        RewriteEdit(IDC_CFG_RANGE, m_AxisConfig.rangeValue);
    } else {
        m_AxisConfig.rangeValue = value;
    }
}

LRESULT CAxisConfigDlg::OnKickIdle(WPARAM, LPARAM) {
    UpdateDialogControls(this, FALSE);
    return 0;
}

void CAxisConfigDlg::OnUpdateSoftLimitFields(CCmdUI* ui) { ui->Enable(m_AxisConfig.softLimitEnable == 1); }

void CAxisConfigDlg::OnUpdateSoftLimitEnable(CCmdUI* ui) { ui->Enable((m_AxisConfig.intFactor & kCompareInterrupts) == 0); }

void CAxisConfigDlg::OnUpdateCompareInterrupts(CCmdUI* ui) { ui->Enable(m_AxisConfig.softLimitEnable == 0); }

void CAxisConfigDlg::OnUpdateDelayTime(CCmdUI* ui) { ui->Enable(m_AxisConfig.filterMode != 0); }

void CAxisConfigDlg::OnUpdateAlarmLogic(CCmdUI* ui) { ui->Enable(m_AxisConfig.almEnable != 0); }

void CAxisConfigDlg::OnUpdateInpLogic(CCmdUI* ui) { ui->Enable(m_AxisConfig.inpEnable != 0); }

void CAxisConfigDlg::OnServo() {
    const int32_t before = m_AxisConfig.servoOn;
    m_AxisConfig.servoOn = before == 1 ? 0 : 1;
    const MotionLibrary& library = MotionLibraryOf(m_ActiveModel);
    if (!Succeeded(library.servo_on(Card(), Axis(), static_cast<uint8_t>(m_AxisConfig.servoOn), 1), "servo_on")) {
        m_AxisConfig.servoOn = before;  // the output did not switch
        return;
    }
    uint8_t state = 0;
    if (!Succeeded(library.get_out1_status(Card(), Axis(), &state), "get_out1_status")) return;
    ShowOutputButton(m_btnServo, state == 1, "Servo ON", "Servo OFF");
}

void CAxisConfigDlg::ToggleModelBOutput(int32_t AxisConfigRecord::*flag, OutputExport MotionLibrary::*send,
                                        CShadeButton& button, LPCSTR exportName, LPCSTR onText, LPCSTR offText) {
    int32_t& on = m_AxisConfig.*flag;
    const int32_t before = on;
    on = before == 1 ? 0 : 1;
    if (m_ActiveModel == kModelB &&
        !Succeeded((MotionLibraryOf(kModelB).*send)(Card(), Axis(), static_cast<uint8_t>(on)), exportName)) {
        // The output did not switch: the record, which goes to the card when
        // it is stored, keeps what the button shows.
        on = before;
        return;
    }
    ShowOutputButton(button, on == 1, onText, offText);
}

void CAxisConfigDlg::OnAlarmReset() {
    ToggleModelBOutput(&AxisConfigRecord::almRstEnable, &MotionLibrary::set_alarm_reset, m_btnAlarmReset,
                       "set_alarm_reset", "AlmRst ON", "AlmRst OFF");
}

void CAxisConfigDlg::OnGdo() {
    ToggleModelBOutput(&AxisConfigRecord::gdoEnable, &MotionLibrary::set_gdo, m_btnGdo, "set_gdo", "GDO ON",
                       "GDO OFF");
}

void CAxisConfigDlg::OnErc() {
    ToggleModelBOutput(&AxisConfigRecord::ercEnable, &MotionLibrary::set_erc, m_btnErc, "set_erc", "ERC ON",
                       "ERC OFF");
}

void CAxisConfigDlg::OnLoadConfig() {
    CMainDlg* main = MainWindow();
    if (!main) return;
    LoadConfigAsked(*main, m_ActiveModel);
    // The servo output is the card's, as last read, whatever the file holds.
    const int32_t servoOn = m_AxisConfig.servoOn;
    main->GetAxisConfig(m_ActiveModel, m_ActiveCardID, m_ActiveAxis, &m_AxisConfig);
    m_AxisConfig.servoOn = servoOn;
    // Show what will be stored: the controls would otherwise show the record
    // from before the load until another axis is selected.
    RefreshControls();
}

void CAxisConfigDlg::SettleRange() {
    if (!m_bRangeDeferred) return;
    m_bSettling = true;
    OnChangeRange();
    m_bSettling = false;
}

void CAxisConfigDlg::OnSaveConfig() {
    SettleRange();
    if (CMainDlg* main = MainWindow()) SaveConfigAsked(*main, m_ActiveModel, m_ActiveCardID, m_ActiveAxis, m_AxisConfig);
}

void CAxisConfigDlg::OnToInterpolation() { EndDialog(static_cast<int>(kToInterpolation)); }

void CAxisConfigDlg::OnDestroy() {
    SettleRange();
    CDialog::OnDestroy();
    // Whichever way the page ends, the shown record is stored and applied.
    if (CMainDlg* main = MainWindow()) main->SetAxisConfig(m_ActiveModel, m_ActiveCardID, m_ActiveAxis, m_AxisConfig);
}
