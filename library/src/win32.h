// The platform the library is written against, and the request protocol on top of it.
#pragma once

#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>
#include "caller_memory.h"

#include "rm7x0_ioctl.h"
