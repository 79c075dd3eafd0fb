#include "config_file_buttons.h"

#include <afxdlgs.h>
#include <afxwin.h>

#include <cstdio>

#include "motion_library.h"

namespace {

constexpr DWORD kExplorerStyle = 0x80000;  // OFN_EXPLORER alone
constexpr UINT kYesNoInformation = 0x44;   // MB_YESNO | MB_ICONINFORMATION

const char* FileFilter(int model) {
    return model == kModelA ? "VEXA-RM720 Configuration File (*.ini)|*.ini||"
                            : "VEXA-RM730 Configuration File (*.ini)|*.ini||";
}

bool WindowsDirectory(char (&folder)[MAX_PATH]) {
    const UINT length = ::GetWindowsDirectoryA(folder, sizeof folder);
    return length != 0 && length < sizeof folder;
}

// A path in the system folder under the Windows folder; false when too long.
bool SystemFolderPath(const char* windows, const char* rest, char (&path)[MAX_PATH]) {
    const int length = std::snprintf(path, sizeof path, "%s\\system32%s", windows, rest);
    return length > 0 && length < static_cast<int>(sizeof path);
}

bool HasCards(int model) {
    int16_t count = 0;
    return MotionLibraryOf(model).scan(&count, nullptr) == SUCCESS_NO_ERROR && count > 0;
}

// The model-A file: the default one for the next start, or one the user names.
// False when the user cancels the naming.
bool ModelAFileAsked(const char* windows, char (&path)[MAX_PATH]) {
    const int answer = ::MessageBoxA(::GetActiveWindow(),
                                     "Save the current settings as the default RM720_Config.ini file for Kavrel?\n\n"
                                     " Y : Save for Auto-load\n N : Type a New Name for Manual-load",
                                     "Save Configuration Type", kYesNoInformation);
    if (answer == IDYES) return CSettingsStore::DefaultConfigPath(kModelA, path);
    // The dialog opens in the folder of the default file (a file path given as
    // the initial folder would leave it in the working folder).
    char folder[MAX_PATH];
    if (!SystemFolderPath(windows, "", folder)) return false;
    CFileDialog dialog(FALSE, ".ini", "RM720_Config_V", kExplorerStyle, FileFilter(kModelA));
    dialog.m_ofn.lpstrInitialDir = folder;
    if (dialog.DoModal() != IDOK) return false;
    return std::snprintf(path, sizeof path, "%s", static_cast<LPCSTR>(dialog.GetPathName())) < MAX_PATH;
}

// A file that could not be written is reported: the user must not believe it saved.
BOOL Saved(BOOL written, const char* path) {
    if (!written) {
        CString text;
        text.Format("The configuration could not be saved to\n%s", path);
        AfxMessageBox(text, MB_ICONEXCLAMATION);
    }
    return written;
}

}  // namespace

void LoadConfigAsked(CSettingsStore& store, int model) {
    char windows[MAX_PATH], folder[MAX_PATH];
    if (!WindowsDirectory(windows) || !SystemFolderPath(windows, "", folder)) return;
    CFileDialog dialog(TRUE, ".ini", nullptr, kExplorerStyle, FileFilter(model));
    dialog.m_ofn.lpstrInitialDir = folder;
    dialog.m_ofn.lpstrTitle = model == kModelA ? "Open VEXA-RM720 ConfigurationFile" : "Open VEXA-RM730 ConfigurationFile";
    if (dialog.DoModal() != IDOK) return;
    const CString path = dialog.GetPathName();
    if (model == kModelA)
        store.LoadRM720Config(path);
    else
        store.LoadRM730Config(path);
}

BOOL SaveConfigAsked(CSettingsStore& store, int model, int cardId, int axisBit, const AxisConfigRecord& shown) {
    char windows[MAX_PATH];
    if (!WindowsDirectory(windows)) {
        AfxMessageBox("Cannot recognize the SystemRoot");
        return FALSE;
    }
    if (!HasCards(model)) return FALSE;
    char path[MAX_PATH];
    if (model == kModelB) {
        if (!CSettingsStore::DefaultConfigPath(kModelB, path)) return FALSE;
        store.SetAxisConfig(model, cardId, axisBit, shown);
        return Saved(store.SaveRM730Config(path), path);
    }
    if (!ModelAFileAsked(windows, path)) return FALSE;
    store.SetAxisConfig(model, cardId, axisBit, shown);
    return Saved(store.SaveRM720Config(path), path);
}
