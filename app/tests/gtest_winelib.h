// GoogleTest inside a Winelib program: Wine's headers define the Windows target
// macros, which would make GoogleTest use the Windows C library's interfaces.
#pragma once

#include <windows.h>

#pragma push_macro("_WIN32")
#pragma push_macro("WIN32")
#pragma push_macro("__WIN32__")
#pragma push_macro("_WIN64")
#undef _WIN32
#undef WIN32
#undef __WIN32__
#undef _WIN64
#include <gtest/gtest.h>
#pragma pop_macro("_WIN32")
#pragma pop_macro("WIN32")
#pragma pop_macro("__WIN32__")
#pragma pop_macro("_WIN64")
