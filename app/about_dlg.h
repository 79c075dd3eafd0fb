// The About box, shown from the main window's system menu.
#pragma once

#include <afxwin.h>

#include "resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
