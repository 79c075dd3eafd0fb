// The framework's common-control wrappers.
#pragma once

#include "afxwin.h"

#include <commctrl.h>

#include "mfc/image_list.h"
#include "mfc/progress_ctrl.h"
#include "mfc/tooltip.h"
#include "mfc/tree_ctrl.h"
