// The framework's control bars (CStatusBar).
#pragma once

#include "afxwin.h"
#include "mfc/status_bar.h"
