// The framework's core: application, windows, dialogs, drawing, standard controls.
#pragma once

#include <windows.h>

#include "mfc/app.h"
#include "mfc/bitmap.h"
#include "mfc/brush.h"
#include "mfc/cmd_ui.h"
#include "mfc/controls.h"
#include "mfc/cstring.h"
#include "mfc/data_exchange.h"
#include "mfc/dc.h"
#include "mfc/dialog.h"
#include "mfc/font.h"
#include "mfc/geometry.h"
#include "mfc/menu.h"
#include "mfc/message_map.h"
#include "mfc/pen.h"
#include "mfc/rgn.h"
#include "mfc/wnd.h"
