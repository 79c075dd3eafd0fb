// The framework's control bars (CStatusBar, CToolBar).
#pragma once

#include "afxwin.h"
#include "mfc/status_bar.h"
#include "mfc/sys_color_bitmap.h"
#include "mfc/toolbar.h"
