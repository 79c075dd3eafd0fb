// The framework's OLE start-up (AfxOleInit, AfxEnableControlContainer).
#pragma once

#include "mfc/app.h"
