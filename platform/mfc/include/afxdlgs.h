// The framework's common dialogs (CFileDialog).
#pragma once

#include "afxwin.h"
#include "mfc/file_dialog.h"
