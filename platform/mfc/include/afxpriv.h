// The framework's private messages (WM_KICKIDLE).
#pragma once

#include "mfc/dialog.h"
