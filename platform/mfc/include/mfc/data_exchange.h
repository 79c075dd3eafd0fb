// Dialog data exchange: moves values between a dialog's members and its controls,
// and binds member controls to the dialog's items (DDX_Control).
#pragma once

#include <windows.h>

#include "mfc/wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;

    // The item's handle, remembered for the validation that follows.
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // Ends the exchange after a validation failure: the last prepared control gets
    // the focus (an edit its whole text selected) and UpdateData returns FALSE.
    [[noreturn]] void Fail();

private:
    HWND m_hWndLastControl = nullptr;
    bool m_bEditLastControl = false;
};

// Thrown by CDataExchange::Fail, caught by UpdateData.
struct CUserException {};

void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_Check(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, double& value);
void DDV_MinMaxDouble(CDataExchange* dx, double const& value, double minValue, double maxValue);
