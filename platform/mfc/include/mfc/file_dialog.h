// CFileDialog: the system's dialog that asks for a file to open or save.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "mfc/cstring.h"
#include "mfc/wnd.h"

class CFileDialog {
public:
    // filter: pairs "description|patterns|" as the framework writes them.
    explicit CFileDialog(BOOL openFileDialog, LPCSTR defaultExtension = nullptr, LPCSTR fileName = nullptr,
                         DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR filter = nullptr,
                         CWnd* parent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // Callers may set the initial folder and the title here before DoModal.
    OPENFILENAMEA m_ofn{};

    // IDOK when the user chose a file, else IDCANCEL.
    INT_PTR DoModal();
    CString GetPathName() const { return CString(m_fileName); }

private:
    BOOL m_bOpenFileDialog;
    std::string m_filter;  // the filter with NUL separators
    std::string m_defaultExtension;
    char m_fileName[MAX_PATH] = "";
};
