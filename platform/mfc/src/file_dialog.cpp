#include "mfc/file_dialog.h"

#include "mfc/app.h"

CFileDialog::CFileDialog(BOOL openFileDialog, LPCSTR defaultExtension, LPCSTR fileName, DWORD flags,
                         LPCSTR filter, CWnd* parent)
    : m_bOpenFileDialog(openFileDialog) {
    if (fileName) ::lstrcpynA(m_fileName, fileName, sizeof m_fileName);
    if (filter) {
        m_filter = filter;
        for (char& c : m_filter)
            if (c == '|') c = '\0';
        m_filter.push_back('\0');
    }
    if (defaultExtension) m_defaultExtension = defaultExtension;
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.hwndOwner = parent ? parent->m_hWnd : nullptr;
    m_ofn.hInstance = AfxGetResourceHandle();
    m_ofn.lpstrFilter = filter ? m_filter.c_str() : nullptr;
    m_ofn.lpstrFile = m_fileName;
    m_ofn.nMaxFile = sizeof m_fileName;
    m_ofn.lpstrDefExt = defaultExtension ? m_defaultExtension.c_str() : nullptr;
    m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING;
}

INT_PTR CFileDialog::DoModal() {
    if (!m_ofn.hwndOwner) {
        CWnd* main = AfxGetMainWnd();
        m_ofn.hwndOwner = main ? main->m_hWnd : nullptr;
    }
    // The structure's size is ours to know, whatever a caller wrote into it.
    m_ofn.lStructSize = sizeof m_ofn;
    const BOOL chosen = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
    return chosen ? IDOK : IDCANCEL;
}
