#include "mfc/data_exchange.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "mfc/app.h"

namespace {

// The framework's own prompts for rejected values.
constexpr const char* kEnterNumber = "Please enter a number.";
constexpr const char* kEnterNumberBetween = "Please enter a number between %s and %s.";

bool ParseDouble(const char* text, double& value) {
    while (*text == ' ' || *text == '\t') ++text;
    if (!*text) return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text, &end);
    while (*end == ' ' || *end == '\t') ++end;
    if (*end || errno == ERANGE) return false;
    value = parsed;
    return true;
}

}  // namespace

HWND CDataExchange::PrepareCtrl(int id) {
    m_hWndLastControl = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    m_bEditLastControl = false;
    return m_hWndLastControl;
}

HWND CDataExchange::PrepareEditCtrl(int id) {
    HWND control = PrepareCtrl(id);
    m_bEditLastControl = true;
    return control;
}

void CDataExchange::Fail() {
    if (m_bSaveAndValidate && m_hWndLastControl) {
        ::SetFocus(m_hWndLastControl);
        if (m_bEditLastControl) ::SendMessageA(m_hWndLastControl, EM_SETSEL, 0, -1);
    }
    throw CUserException{};
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd) return;  // bound by an earlier exchange
    HWND item = dx->PrepareCtrl(id);
    if (!item || !control.SubclassWindow(item)) dx->Fail();
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    HWND item = dx->PrepareCtrl(id);
    if (dx->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageA(item, BM_GETCHECK, 0, 0));
    else
        ::SendMessageA(item, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Text(CDataExchange* dx, int id, double& value) {
    HWND item = dx->PrepareEditCtrl(id);
    if (dx->m_bSaveAndValidate) {
        char text[64] = "";
        ::GetWindowTextA(item, text, sizeof text);
        if (!ParseDouble(text, value)) {
            AfxMessageBox(kEnterNumber, MB_ICONEXCLAMATION);
            dx->Fail();
        }
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "%.15g", value);
        ::SetWindowTextA(item, text);
    }
}

void DDV_MinMaxDouble(CDataExchange* dx, double const& value, double minValue, double maxValue) {
    if (!dx->m_bSaveAndValidate || (value >= minValue && value <= maxValue)) return;
    char low[32], high[32], prompt[128];
    std::snprintf(low, sizeof low, "%.15g", minValue);
    std::snprintf(high, sizeof high, "%.15g", maxValue);
    std::snprintf(prompt, sizeof prompt, kEnterNumberBetween, low, high);
    AfxMessageBox(prompt, MB_ICONEXCLAMATION);
    dx->Fail();
}
