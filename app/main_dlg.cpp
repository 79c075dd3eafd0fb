#include "main_dlg.h"

#include <cstring>

#include "about_dlg.h"
#include "axis_config_dlg.h"
#include "interpolation_dlg.h"
#include "basic_operation_dlg.h"
#include "motion_library.h"
#include "page_skeleton.h"
#include "torix_io_dlg.h"

namespace {

constexpr UINT_PTR kChainTimer = 1;
constexpr UINT kChainPeriodMs = 200;

bool ExistingFile(const char* path) {
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    ::FindClose(search);
    return true;
}

}  // namespace

BEGIN_MESSAGE_MAP(CMainDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_DESTROY()
    ON_WM_TIMER()
    ON_BN_CLICKED(IDC_CONFIGURATION, OnConfiguration)
    ON_BN_CLICKED(IDC_TORIX, OnTorix)
    ON_BN_CLICKED(IDC_INTERPOLATION, OnInterpolation)
    ON_BN_CLICKED(IDC_BASIC_OPERATION, OnBasicOperation)
END_MESSAGE_MAP()

CMainDlg::CMainDlg(int32_t cardCount, const uint8_t cardIdTable[16], CWnd* parent)
    : CDialog(IDD_MAIN, parent), m_nCardCount(cardCount), m_hIcon(AfxGetApp()->LoadIcon(IDR_MAINFRAME)) {
    std::memcpy(m_CardIdTable, cardIdTable, sizeof m_CardIdTable);
}

void CMainDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_INTERPOLATION, m_btnInterpolation);
    DDX_Control(dx, IDC_TORIX, m_btnTorix);
    DDX_Control(dx, IDC_BASIC_OPERATION, m_btnBasicOperation);
    DDX_Control(dx, IDC_CONFIGURATION, m_btnConfiguration);
}

BOOL CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    CString aboutText;
    aboutText.LoadString(IDS_ABOUTBOX);
    if (CMenu* systemMenu = GetSystemMenu(FALSE); systemMenu && !aboutText.IsEmpty()) {
        systemMenu->AppendMenu(MF_SEPARATOR);
        systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, aboutText);
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    const struct {
        CShadeButton& button;
        UINT icon;
    } pageButtons[] = {
        {m_btnInterpolation, IDI_INTERPOLATION},
        {m_btnTorix, IDI_TORIX},
        {m_btnBasicOperation, IDI_BASIC_OPERATION},
        {m_btnConfiguration, IDI_CONFIGURATION},
    };
    for (const auto& page : pageButtons) {
        page.button.SetFlatFocus(TRUE, TRUE);
        skeleton::PrepareProgramShade(page.button);
        page.button.SetIcon(page.icon, 0);
    }

    // Each model's saved configuration, when it has cards and the file is there.
    char path[MAX_PATH];
    if (m_nRM720Cards != 0 && DefaultConfigPath(kModelA, path) && ExistingFile(path)) LoadRM720Config(path);
    if (m_nRM730Cards != 0 && DefaultConfigPath(kModelB, path) && ExistingFile(path)) LoadRM730Config(path);

    m_nTimer = static_cast<int32_t>(SetTimer(kChainTimer, kChainPeriodMs));
    return TRUE;
}

void CMainDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

void CMainDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    CRect client;
    GetClientRect(&client);
    const int x = (client.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CMainDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CMainDlg::OnDestroy() {
    CDialog::OnDestroy();
    if (m_nTimer != -1) {
        KillTimer(static_cast<UINT_PTR>(m_nTimer));
        m_nTimer = -1;
    }
}

void CMainDlg::OnTimer(UINT_PTR nIDEvent) {
    // Each request opens exactly one page: the page's button clears its flag.
    if (m_bGoBasic == 1)
        m_btnBasicOperation.SendMessage(BM_CLICK);
    else if (m_bGoInterp == 1)
        m_btnInterpolation.SendMessage(BM_CLICK);
    else if (m_bGoConfig == 1)
        m_btnConfiguration.SendMessage(BM_CLICK);
    CDialog::OnTimer(nIDEvent);
}

void CMainDlg::OnConfiguration() {
    m_bGoConfig = 0;
    CAxisConfigDlg page(m_ActiveModel, m_ActiveCardID, m_ActiveAxis);
    const INT_PTR result = page.DoModal();
    m_ActiveModel = page.m_ActiveModel;
    m_ActiveCardID = page.m_ActiveCardID;
    m_ActiveAxis = page.m_ActiveAxis;
    if (result == IDOK)
        m_bGoBasic = 1;
    else if (result == CAxisConfigDlg::kToInterpolation)
        m_bGoInterp = 1;
}

void CMainDlg::OnBasicOperation() {
    m_bGoBasic = 0;
    CBasicOperationDlg page(m_ActiveModel, m_ActiveCardID, m_ActiveAxis, this);
    const INT_PTR result = page.DoModal();
    m_ActiveModel = page.m_ActiveModel;
    m_ActiveCardID = page.m_ActiveCardID;
    m_ActiveAxis = page.m_ActiveAxis;
    if (result == IDOK) m_bGoConfig = 1;  // "To Config"
}

void CMainDlg::OnTorix() {
    CTorixIoDlg page(m_ActiveModel, m_ActiveCardID, m_ActiveSA, m_ActiveRA, this);
    page.DoModal();
    m_ActiveModel = page.m_ActiveModel;
    m_ActiveCardID = page.m_ActiveCardID;
    m_ActiveSA = page.m_ActiveSA;
    m_ActiveRA = page.m_ActiveRA;
}

void CMainDlg::OnInterpolation() {
    m_bGoInterp = 0;
    CInterpolationDlg page(m_ActiveModel, m_ActiveCardID, this);
    const INT_PTR result = page.DoModal();
    m_ActiveModel = page.m_ActiveModel;
    m_ActiveCardID = page.m_ActiveCardID;
    if (result == IDOK) m_bGoConfig = 1;
}
