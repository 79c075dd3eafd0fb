#include "torix_io_dlg.h"

#include "page_skeleton.h"
#include "settings_store.h"

namespace {

constexpr int kOutputGroups = 8;  // RA groups 0..7
// Get_Torix_DI reads the bus itself rather than the last periodic scan.
constexpr uint16_t kReadBus = 1;

// The lamp of each input bit.
constexpr int kLampIds[CTorixIoDlg::kPoints] = {
    IDC_DI_LAMP0, IDC_DI_LAMP1, IDC_DI_LAMP2,  IDC_DI_LAMP3,  IDC_DI_LAMP4,  IDC_DI_LAMP5,  IDC_DI_LAMP6,  IDC_DI_LAMP7,
    IDC_DI_LAMP8, IDC_DI_LAMP9, IDC_DI_LAMP10, IDC_DI_LAMP11, IDC_DI_LAMP12, IDC_DI_LAMP13, IDC_DI_LAMP14, IDC_DI_LAMP15,
};

// The main window keeps the output words; none while it does not exist.
CSettingsStore* Store() { return dynamic_cast<CSettingsStore*>(AfxGetMainWnd()); }

HICON LoadLamp(UINT icon) {
    return static_cast<HICON>(
        ::LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(icon), IMAGE_ICON, 16, 16, LR_SHARED));
}

}  // namespace

BEGIN_MESSAGE_MAP(CTorixIoDlg, CDialog)
    ON_NOTIFY(TVN_SELCHANGEDA, IDC_TORIX_TREE, OnSelChangedTree)
    ON_CONTROL_RANGE(BN_CLICKED, IDC_DO_BIT0, IDC_DO_BIT15, OnDoCheck)
    ON_CBN_SELCHANGE(IDC_RA_GROUP, OnSelChangeRA)
    ON_BN_CLICKED(IDC_DO_OUTPUT, OnDoOutput)
    ON_BN_CLICKED(IDC_RESET_TORIX, OnResetTorix)
    ON_WM_TIMER()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CTorixIoDlg::CTorixIoDlg(int32_t, int32_t, int32_t sa, int32_t ra, CWnd* parent)
    : CDialog(IDD_TORIX_IO, parent), m_ActiveSA(sa), m_ActiveRA(ra) {}

void CTorixIoDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_TORIX_TREE, m_tree);
    DDX_Control(dx, IDC_RA_GROUP, m_cbRaGroup);
    DDX_Control(dx, IDC_RESET_TORIX, m_btnReset);
    DDX_Control(dx, IDCANCEL, m_btnReturn);
    for (int bit = 0; bit < kPoints; ++bit) {
        DDX_Control(dx, kLampIds[bit], m_lamps[bit]);
        DDX_Check(dx, IDC_DO_BIT0 + bit, m_bDoCheck[bit]);
    }
}

BOOL CTorixIoDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    skeleton::CreateStatusPanes(*this, m_wndStatusBar, skeleton::kTorixLabelPaneWidth);
    skeleton::KeepReturnOnThePage(*this);

    const struct {
        CShadeButton& button;
        UINT icon;
    } shaded[] = {{m_btnReset, IDI_RESET}, {m_btnReturn, IDI_RETURN}};
    for (const auto& entry : shaded) {
        skeleton::PrepareProgramShade(entry.button);
        entry.button.SetIcon(entry.icon, 0);
    }
    // Our resource compiler keeps no list items in a dialog template: the
    // groups are listed here unless the template brought them.
    if (m_cbRaGroup.GetCount() == 0) {
        for (int group = 0; group < kOutputGroups; ++group) {
            CString name;
            name.Format("TORIX_RA%d", group);
            m_cbRaGroup.AddString(name);
        }
    }
    m_hLampOn = LoadLamp(IDI_LAMP_RED);
    m_hLampOff = LoadLamp(IDI_LAMP_DARK);
    ShowInputs(0);

    FillTorixTree();
    if (CSettingsStore* store = Store()) store->GetTorixDoShadow(m_ActiveRA, &m_wDoWord);
    m_bWordLoaded = true;
    RefreshDoChecks();
    SetTimer(kPollTimer, kPollPeriodMs);
    return TRUE;
}

void CTorixIoDlg::FillTorixTree() {
    m_hLastCard = skeleton::FillCardTree(m_tree, m_images, CardTreeForm::TorixModules, m_wndStatusBar, m_nLastStatus);
    if (m_ActiveRA == -1) m_ActiveRA = 0;
}

void CTorixIoDlg::OnSelChangedTree(NMHDR* header, LRESULT* result) {
    *result = 0;
    HTREEITEM item = reinterpret_cast<NMTREEVIEWA*>(header)->itemNew.hItem;
    if (!item) return;
    // A card stands for its first module.
    if (HTREEITEM firstModule = m_tree.GetChildItem(item)) {
        m_tree.SelectItem(firstModule);
        return;
    }
    const CardTreeSelection selected = skeleton::ReadCardTreeItem(m_tree, item);
    // The word is exchanged only when both the model and the card ID change.
    const bool cardChanged = selected.model != m_ActiveModel && selected.cardId != m_ActiveCardID;
    m_ActiveModel = selected.model;
    m_ActiveCardID = selected.cardId;
    CSettingsStore* store = Store();
    if (store) store->m_Settings[m_ActiveModel].isModelB = m_ActiveModel == kModelB;
    // A card without modules leaves the module polled as it was.
    if (selected.sa != -1) m_ActiveSA = selected.sa;

    // The first selection comes while the page opens: its word is not loaded
    // yet, and the failures shown while the tree was filled stay.
    if (!cardChanged || !m_bWordLoaded) return;
    if (store) {
        store->SetTorixDoShadow(m_ActiveRA, m_wDoWord);
        store->GetTorixDoShadow(m_ActiveRA, &m_wDoWord);
    }
    RefreshDoChecks();
    skeleton::ClearStatusPanes(m_wndStatusBar);
}

void CTorixIoDlg::RefreshDoChecks() {
    m_cbRaGroup.SetCurSel(m_ActiveRA);
    for (int bit = 0; bit < kPoints; ++bit) m_bDoCheck[bit] = (m_wDoWord >> bit) & 1;
    UpdateData(FALSE);
}

void CTorixIoDlg::OnDoCheck(UINT id) {
    UpdateData(TRUE);
    const int bit = static_cast<int>(id) - IDC_DO_BIT0;
    const uint16_t mask = static_cast<uint16_t>(1u << bit);
    m_wDoWord = m_bDoCheck[bit] ? (m_wDoWord | mask) : (m_wDoWord & ~mask);
}

void CTorixIoDlg::OnSelChangeRA() {
    const int index = m_cbRaGroup.GetCurSel();
    if (index == CB_ERR || m_cbRaGroup.GetCount() < 2) return;
    const int group = index >= 1 && index < kOutputGroups ? index : 0;
    if (group == m_ActiveRA) return;
    if (CSettingsStore* store = Store()) {
        store->SetTorixDoShadow(m_ActiveRA, m_wDoWord);
        store->GetTorixDoShadow(group, &m_wDoWord);
    }
    m_ActiveRA = group;
    RefreshDoChecks();
}

void CTorixIoDlg::OnDoOutput() {
    const MotionLibrary& library = MotionLibraryOf(m_ActiveModel);
    Failed(library.set_Torix_DO(static_cast<uint8_t>(m_ActiveCardID), static_cast<uint16_t>(m_ActiveRA), m_wDoWord),
           "set_Torix_DO");
}

void CTorixIoDlg::OnResetTorix() {
    Failed(MotionLibraryOf(m_ActiveModel).reset_Torix(static_cast<uint8_t>(m_ActiveCardID)), "reset_Torix");
    // The saved words go even when the bus could not be reset.
    if (CSettingsStore* store = Store()) store->ClearTorixDoShadow();
    m_wDoWord = 0;
    for (int32_t& check : m_bDoCheck) check = 0;
    UpdateData(FALSE);
}

void CTorixIoDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent != kPollTimer) {
        CDialog::OnTimer(nIDEvent);
        return;
    }
    if (m_ActiveSA == -1 || m_ActiveCardID == -1) return;
    int16_t word = 0;
    const ApiStatus status = MotionLibraryOf(m_ActiveModel)
                                 .get_Torix_DI(static_cast<uint8_t>(m_ActiveCardID),
                                               static_cast<uint16_t>(m_ActiveSA), &word, kReadBus);
    // What a failed read leaves in the word means nothing: the lamps go dark.
    ShowInputs(Failed(status, "get_Torix_DI") ? 0 : static_cast<uint16_t>(word));
}

void CTorixIoDlg::OnDestroy() {
    CDialog::OnDestroy();
    if (CSettingsStore* store = Store()) store->SetTorixDoShadow(m_ActiveRA, m_wDoWord);
}

void CTorixIoDlg::ShowErrorCode(LPCSTR label) { skeleton::ShowErrorCode(m_wndStatusBar, m_nLastStatus, label); }

bool CTorixIoDlg::Failed(ApiStatus status, LPCSTR exportName) {
    if (status == SUCCESS_NO_ERROR) return false;
    m_nLastStatus = static_cast<int16_t>(status);
    ShowErrorCode(skeleton::ExportLabel(m_ActiveModel, exportName));
    return true;
}

void CTorixIoDlg::ShowInputs(uint16_t word) {
    for (int bit = 0; bit < kPoints; ++bit) m_lamps[bit].SetIcon((word >> bit) & 1 ? m_hLampOn : m_hLampOff);
}
