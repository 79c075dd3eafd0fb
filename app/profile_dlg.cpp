#include "profile_dlg.h"

#include <cmath>
#include <cstdio>

#include "rm730.h"

namespace {

constexpr UINT_PTR kSampleTimer = 1;
constexpr UINT kSamplePeriodMs = 10;
// A read is used only when it took less than 50 us (1/20000 s), so that the time
// stamp of each point is the time of its value.
constexpr LONGLONG kReadsPerSecondAtLimit = 20000;
constexpr int kReadAttempts = 4;  // of one read in one tick, while they are too slow

enum TrackMode : long { kTrackNone = 0, kTrackTrack = 1, kTrackZoom = 2, kTrackPan = 3 };
enum Series : short { kCmdPos = 0, kEncPos = 1, kCmdSpeed = 2, kEncSpeed = 3 };
constexpr double kWidthLimits[2] = {0.0, 100.0};        // s, also those of Xmin
constexpr double kHeightLimits[2] = {1.0, 10000000.0};
constexpr int kRangeEdits[4] = {IDC_PROFILE_XMIN, IDC_PROFILE_WIDTH, IDC_PROFILE_YMIN, IDC_PROFILE_HEIGHT};

}  // namespace

const CProfileDlg::SeriesLook CProfileDlg::s_series[4] = {
    {"CMD Pos.", 0x00FF00, &CProfileDlg::m_bLogicPos, IDC_PROFILE_LOGIC_POS},
    {"ENC Pos.", 0x0000FF, &CProfileDlg::m_bEncoderPos, IDC_PROFILE_ENCODER_POS},
    {"CMD Speed", 0xFFFF00, &CProfileDlg::m_bSpeed, IDC_PROFILE_SPEED},
    {"ENC Speed", 0x00FFFF, &CProfileDlg::m_bEncoderSpeed, IDC_PROFILE_ENCODER_SPEED},
};

CProfileDlg::QueryCounterFn CProfileDlg::s_pfnQueryCounter = ::QueryPerformanceCounter;
CProfileDlg::QueryCounterFn CProfileDlg::s_pfnQueryFrequency = ::QueryPerformanceFrequency;

BEGIN_MESSAGE_MAP(CProfileDlg, CDialog)
    ON_WM_SHOWWINDOW()
    ON_WM_TIMER()
    ON_WM_DESTROY()
    ON_WM_CLOSE()
    ON_BN_CLICKED(IDC_PROFILE_PAUSE, OnPause)
    ON_BN_CLICKED(IDC_PROFILE_CLEAR, OnClear)
    ON_BN_CLICKED(IDC_PROFILE_SET, OnSet)
    ON_BN_CLICKED(IDC_PROFILE_PAN, OnPan)
    ON_BN_CLICKED(IDC_PROFILE_ZOOM, OnZoom)
    ON_BN_CLICKED(IDC_PROFILE_TRACK, OnTrack)
    ON_BN_CLICKED(IDC_PROFILE_NONE, OnNone)
    ON_BN_CLICKED(IDC_PROFILE_LOGIC_POS, OnLogicPos)
    ON_BN_CLICKED(IDC_PROFILE_ENCODER_POS, OnEncoderPos)
    ON_BN_CLICKED(IDC_PROFILE_SPEED, OnSpeed)
    ON_BN_CLICKED(IDC_PROFILE_ENCODER_SPEED, OnEncoderSpeed)
END_MESSAGE_MAP()

// The window's range edits must accept what it opens with: a move longer than
// the Width edit allows, or a height beyond its limits, opens on the limit passed
// (a span that is no number on the longest).
double CProfileDlg::IntoLimits(double value, double low, double high) {
    if (std::isnan(value)) return high;
    return value < low ? low : value > high ? high : value;
}

CProfileDlg::CProfileDlg(int32_t cardID, int32_t axis, double span, double height, CWnd* parent, int32_t model)
    : CDialog(IDD_PROFILE, parent),
      m_nCardID(cardID),
      m_nAxis(axis),
      m_dSpan(IntoLimits(span, kWidthLimits[0], kWidthLimits[1])),
      m_dHeight(IntoLimits(height, kHeightLimits[0], kHeightLimits[1])) {
    LARGE_INTEGER frequency{};
    if (s_pfnQueryFrequency(&frequency)) m_liFreq = frequency.QuadPart;
    if (model == 1)
        m_reads = {rm730_get_cmdcounter, rm730_get_enccounter, rm730_get_speed};
    else
        m_reads = {rm720_get_cmdcounter, rm720_get_enccounter, rm720_get_speed};
}

CProfileDlg::~CProfileDlg() {
    // A window still open goes while its object is whole, so OnDestroy stops the timer.
    if (m_hWnd) DestroyWindow();
}

void CProfileDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_PROFILE_PAUSE, m_btnPause);
    DDX_Control(dx, IDC_PROFILE_GRAPH, m_Graph);
    // The check boxes first: a refused range value ends the exchange.
    DDX_Check(dx, IDC_PROFILE_LOGIC_POS, m_bLogicPos);
    DDX_Check(dx, IDC_PROFILE_ENCODER_POS, m_bEncoderPos);
    DDX_Check(dx, IDC_PROFILE_SPEED, m_bSpeed);
    DDX_Check(dx, IDC_PROFILE_ENCODER_SPEED, m_bEncoderSpeed);
    DDX_Text(dx, IDC_PROFILE_XMIN, m_dXmin);
    DDV_MinMaxDouble(dx, m_dXmin, kWidthLimits[0], kWidthLimits[1]);
    DDX_Text(dx, IDC_PROFILE_WIDTH, m_dWidthEdit);
    DDV_MinMaxDouble(dx, m_dWidthEdit, kWidthLimits[0], kWidthLimits[1]);
    DDX_Text(dx, IDC_PROFILE_YMIN, m_dYmin);
    DDX_Text(dx, IDC_PROFILE_HEIGHT, m_dHeightEdit);
    DDV_MinMaxDouble(dx, m_dHeightEdit, kHeightLimits[0], kHeightLimits[1]);
}

void CProfileDlg::OnOK() {}

void CProfileDlg::OnCancel() { DestroyWindow(); }

// ---- Set-up -------------------------------------------------------------------------

void CProfileDlg::OnShowWindow(BOOL show, UINT status) {
    CDialog::OnShowWindow(show, status);
    // Once: a later show (the owner restored) must not add elements again, nor
    // restart a paused plot.
    if (!show || m_bSeriesSetUp) return;
    m_bSeriesSetUp = true;

    m_dWidthEdit = m_dSpan;
    m_dHeightEdit = m_dHeight;
    UpdateData(FALSE);
    m_Graph.SetElement(kCmdPos);
    m_Graph.SetRange(0, m_dSpan, 0, m_dHeight);
    SetUpSeries();
    m_Graph.SetRange(0, m_dSpan, 0, m_dHeight);
    m_Graph.SetLegendMode(1);

    const char* axisName = m_nAxis == 1 ? "X" : m_nAxis == 2 ? "Y" : m_nAxis == 4 ? "Z" : "U";
    char title[64];
    std::snprintf(title, sizeof title, "VEXA-RM520 ID:%d AXIS-%s", static_cast<int>(m_nCardID), axisName);
    SetWindowText(title);
    StartSampling();
}

// The four series, on a plot that holds one element.
void CProfileDlg::SetUpSeries() {
    for (short element = kCmdPos; element <= kEncSpeed; ++element) {
        const SeriesLook& look = s_series[element];
        m_Graph.SetElementColor(look.colour);
        m_Graph.SetElementName(look.name);
        m_Graph.SetElementInLegend(TRUE);
        m_Graph.SetElementShow(this->*look.shown);
        if (element < kEncSpeed) {
            m_Graph.AddElement();
            m_Graph.SetElement(static_cast<short>(element + 1));
        }
    }
}

void CProfileDlg::StartSampling() { m_nTimer = static_cast<int32_t>(SetTimer(kSampleTimer, kSamplePeriodMs)); }

// ---- Reading the controls -----------------------------------------------------------

// The data exchange leaves a refused value in its member; it must not reach the plot.
// While its refusal message is open no other read may run: the ticks that the
// message's loop dispatches would raise one message over another.
bool CProfileDlg::ReadControls() {
    if (m_bReadingControls) return false;
    m_bReadingControls = true;
    const double kept[4] = {m_dXmin, m_dWidthEdit, m_dYmin, m_dHeightEdit};
    const bool accepted = UpdateData(TRUE) != FALSE;
    if (accepted) {
        m_sRefusedRanges.Empty();
    } else {
        m_dXmin = kept[0];
        m_dWidthEdit = kept[1];
        m_dYmin = kept[2];
        m_dHeightEdit = kept[3];
        m_sRefusedRanges = RangeTexts();
    }
    m_bReadingControls = false;
    return accepted;
}

CString CProfileDlg::RangeTexts() const {
    CString texts;
    for (int id : kRangeEdits) {
        CString text;
        GetDlgItemText(id, text);
        texts += text + "\n";
    }
    return texts;
}

bool CProfileDlg::RangeEditHasFocus() const {
    HWND focus = ::GetFocus();
    for (int id : kRangeEdits)
        if (focus && focus == ::GetDlgItem(m_hWnd, id)) return true;
    return false;
}

// Not while the user types into a range edit (a half-typed value would be refused
// every 10 ms), and a refused value is reported once: until its text changes the
// ticks take only the source check boxes.
void CProfileDlg::ReadControlsForTick() {
    if (m_bReadingControls || RangeEditHasFocus()) return;
    if (!m_sRefusedRanges.IsEmpty() && RangeTexts() == m_sRefusedRanges) {
        for (const SeriesLook& look : s_series) this->*look.shown = IsDlgButtonChecked(look.checkBox) == BST_CHECKED;
        return;
    }
    ReadControls();
}

// ---- Sampling -----------------------------------------------------------------------

LONGLONG CProfileDlg::CounterNow() const {
    LARGE_INTEGER now{};
    s_pfnQueryCounter(&now);
    return now.QuadPart;
}

void CProfileDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent != kSampleTimer) {
        CDialog::OnTimer(nIDEvent);
        return;
    }
    ReadControlsForTick();
    Sample();
}

void CProfileDlg::StartTimeBase() {
    m_liStart = CounterNow();
    m_liLastEnc = m_liStart;
    m_dTime = 0.0;
    m_reads.encoder(static_cast<uint8_t>(m_nCardID), static_cast<uint16_t>(m_nAxis), &m_nLastEnc);
}

// A read that failed or took 50 us or more is dropped with its time stamp. On a
// busy machine a read is often held up once (the thread preempted): it is made
// again, each attempt timed on its own, so that the plot keeps its points.
bool CProfileDlg::TimedRead(AxisRead read, int32_t& value) {
    const LONGLONG limit = (m_liFreq + kReadsPerSecondAtLimit - 1) / kReadsPerSecondAtLimit;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        const LONGLONG before = CounterNow();
        const ApiStatus status = read(static_cast<uint8_t>(m_nCardID), static_cast<uint16_t>(m_nAxis), &value);
        m_liNow = CounterNow();
        const LONGLONG elapsed = m_liNow - before;
        if (status != SUCCESS_NO_ERROR) return false;
        if (elapsed < 0 || elapsed >= limit) continue;
        m_dTime = static_cast<double>(m_liNow - m_liStart) / static_cast<double>(m_liFreq);
        return true;
    }
    return false;
}

void CProfileDlg::PlotEncoderSpeed(int32_t encoder) {
    const LONGLONG elapsed = m_liNow - m_liLastEnc;
    if (elapsed <= 0) return;  // no time since the last sample: no speed to tell
    const double dt = static_cast<double>(elapsed) / static_cast<double>(m_liFreq);
    m_liLastEnc = m_liNow;
    const double distance = std::fabs(static_cast<double>(encoder) - static_cast<double>(m_nLastEnc));
    m_nLastEnc = encoder;
    m_Graph.PlotXY(m_dTime, std::trunc(distance / dt), kEncSpeed);
}

void CProfileDlg::Sample() {
    if (m_dTime == -1.0) {
        StartTimeBase();
        return;
    }
    int32_t value = 0;
    if (m_bLogicPos && TimedRead(m_reads.command, value)) m_Graph.PlotXY(m_dTime, value, kCmdPos);
    if ((m_bEncoderPos || m_bEncoderSpeed) && TimedRead(m_reads.encoder, value)) {
        if (m_bEncoderPos) m_Graph.PlotXY(m_dTime, value, kEncPos);
        if (m_bEncoderSpeed) PlotEncoderSpeed(value);
    }
    if (m_bSpeed && TimedRead(m_reads.speed, value))
        m_Graph.PlotXY(m_dTime, static_cast<uint32_t>(value), kCmdSpeed);
    // Once past the set window the plot scrolls, showing the last span seconds.
    if (m_dXmin + m_dSpan < m_dTime) m_Graph.SetRange(m_dTime - m_dSpan, m_dTime, m_dYmin, m_dYmin + m_dHeight);
}

// ---- Commands -----------------------------------------------------------------------

void CProfileDlg::OnPause() {
    if (m_nTimer == -1) {
        StartSampling();
        m_btnPause.SetWindowText("Pause");
    } else {
        m_btnPause.SetWindowText("Restart");
        KillTimer(static_cast<UINT_PTR>(m_nTimer));
        m_nTimer = -1;
    }
}

void CProfileDlg::OnClear() {
    m_dTime = -1.0;
    m_Graph.ClearGraph();
    m_Graph.SetElement(kCmdPos);
    m_Graph.SetRange(m_dXmin, m_dXmin + m_dSpan, m_dYmin, m_dYmin + m_dHeight);
    SetUpSeries();
}

void CProfileDlg::OnSet() {
    if (!ReadControls()) return;
    m_dSpan = m_dWidthEdit;
    m_dHeight = m_dHeightEdit;
    m_Graph.SetRange(m_dXmin, m_dXmin + m_dSpan, m_dYmin, m_dYmin + m_dHeight);
}

void CProfileDlg::OnPan() { m_Graph.SetTrackMode(kTrackPan); }

void CProfileDlg::OnZoom() { m_Graph.SetTrackMode(kTrackZoom); }

void CProfileDlg::OnTrack() { m_Graph.SetTrackMode(kTrackTrack); }

void CProfileDlg::OnNone() {
    m_Graph.SetTrackMode(kTrackNone);
    m_Graph.SetRange(0, m_dSpan, 0, m_dHeight);
}

void CProfileDlg::ShowSeries(int element) {
    ReadControls();
    m_Graph.SetElement(static_cast<short>(element));
    m_Graph.SetElementShow(this->*s_series[element].shown);
}

void CProfileDlg::OnLogicPos() { ShowSeries(kCmdPos); }

void CProfileDlg::OnEncoderPos() { ShowSeries(kEncPos); }

void CProfileDlg::OnSpeed() { ShowSeries(kCmdSpeed); }

void CProfileDlg::OnEncoderSpeed() { ShowSeries(kEncSpeed); }

// ---- Closing ------------------------------------------------------------------------

void CProfileDlg::OnClose() { DestroyWindow(); }

void CProfileDlg::OnDestroy() {
    CDialog::OnDestroy();
    if (m_nTimer != -1) {
        KillTimer(static_cast<UINT_PTR>(m_nTimer));
        m_nTimer = -1;
    }
}
