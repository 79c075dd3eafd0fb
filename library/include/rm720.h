/* The motion library of the model-A card (librm720.so): exports rm720_*.
 * Usable from C and C++ and from Winelib programs; no platform header needed.
 * Both model headers can be included together. */
#ifndef RM720_H
#define RM720_H

#include "rm7x0_status.h"

#ifdef RM7X0_BUILDING_LIBRARY
#define RM7X0_EXPORT __attribute__((visibility("default")))
#else
#define RM7X0_EXPORT
#endif
#define RM7X0_NAME(name) rm720_##name
#include "rm7x0_exports.h"
#undef RM7X0_NAME
#undef RM7X0_EXPORT

#endif
