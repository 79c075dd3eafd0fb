// The card model that this build of the library serves: the export prefix
// (rm720_ for model A, rm730_ for model B, chosen by RM7X0_MODEL_B) and the
// device-interface class its cards register.
#pragma once

#define RM7X0_BUILDING_LIBRARY
#ifdef RM7X0_MODEL_B
#include "rm730.h"
#define RM7X0_NAME(name) rm730_##name
#else
#include "rm720.h"
#define RM7X0_NAME(name) rm720_##name
#endif

// Defines an export: C linkage, visible outside the library.
#define RM7X0_EXPORT extern "C" __attribute__((visibility("default")))

struct _GUID;
const _GUID &model_interface_class();
