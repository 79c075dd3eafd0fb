// The Profile window: plots one axis of one card in real time (command and encoder
// positions, command speed and an encoder speed) against the seconds since sampling
// began. Modeless; the Basic Operation page opens it for its selected axis.
#pragma once

#include <afxwin.h>

#include <cstdint>

#include "plot/trend_graph.h"
#include "resource.h"
#include "rm720.h"

class CProfileDlg : public CDialog {
public:
    // The high-resolution performance counter the window times its reads with;
    // tests put scripted ones in their place before constructing a window.
    using QueryCounterFn = BOOL(WINAPI*)(LARGE_INTEGER*);
    static QueryCounterFn s_pfnQueryCounter;
    static QueryCounterFn s_pfnQueryFrequency;

    // model: 0 reads through the model-A library, 1 through the model-B library.
    CProfileDlg(int32_t cardID, int32_t axis, double span, double height, CWnd* parent = nullptr,
                int32_t model = 0);
    ~CProfileDlg() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    // Enter does not end the window; Escape closes it as its close box does.
    void OnOK() override;
    void OnCancel() override;

    void OnShowWindow(BOOL show, UINT status);
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();
    void OnClose();
    void OnPause();
    void OnClear();
    void OnSet();
    void OnPan();
    void OnZoom();
    void OnTrack();
    void OnNone();
    void OnLogicPos();
    void OnEncoderPos();
    void OnSpeed();
    void OnEncoderSpeed();

    DECLARE_MESSAGE_MAP()

private:
    using AxisRead = ApiStatus (*)(uint8_t card, uint16_t axis, int32_t* value);
    // Element i of the plot: its name, colour and the check box that shows it.
    struct SeriesLook {
        const char* name;
        COLORREF colour;
        int32_t CProfileDlg::*shown;
        int checkBox;
    };
    static const SeriesLook s_series[4];
    struct AxisReads {
        AxisRead command, encoder, speed;
    };

    static double IntoLimits(double value, double low, double high);
    void SetUpSeries();
    void ShowSeries(int element);
    bool ReadControls();
    void ReadControlsForTick();
    bool RangeEditHasFocus() const;
    CString RangeTexts() const;
    void Sample();
    void StartTimeBase();
    bool TimedRead(AxisRead read, int32_t& value);
    void PlotEncoderSpeed(int32_t encoder);
    LONGLONG CounterNow() const;
    void StartSampling();

    int32_t m_nCardID;
    int32_t m_nAxis;
    double m_dSpan;    // visible time span, s
    double m_dHeight;  // visible value span
    CButton m_btnPause;
    CTrendGraph m_Graph;
    double m_dHeightEdit = 0;  // limits 1..10000000
    double m_dWidthEdit = 0;   // s, limits 0..100
    double m_dXmin = 0;        // s, limits 0..100
    double m_dYmin = 0;
    int32_t m_bLogicPos = 1;
    int32_t m_bEncoderPos = 0;
    int32_t m_bSpeed = 1;
    int32_t m_bEncoderSpeed = 0;
    int32_t m_nTimer = -1;  // the sampling timer, -1 when stopped
    double m_dTime = -1.0;  // s, of the last plotted sample; -1.0 before the first tick
    LONGLONG m_liFreq = 0;  // counter ticks per second
    LONGLONG m_liStart = 0;    // the counter at the first tick
    LONGLONG m_liNow = 0;      // the counter right after the last read
    LONGLONG m_liLastEnc = 0;  // the counter of the last encoder-speed sample
    int32_t m_nLastEnc = 0;    // the encoder position of the last encoder-speed sample

    AxisReads m_reads;
    bool m_bSeriesSetUp = false;     // the first show set the plot up
    bool m_bReadingControls = false;  // the controls are being read (a refusal may be on show)
    CString m_sRefusedRanges;         // the range texts last refused, empty when none
};
