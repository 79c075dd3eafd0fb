/* The motion library of the model-B card (librm730.so): exports rm730_*.
 * Usable from C and C++ and from Winelib programs; no platform header needed.
 * Both model headers can be included together. */
#ifndef RM730_H
#define RM730_H

#include "rm7x0_status.h"

#ifdef RM7X0_BUILDING_LIBRARY
#define RM7X0_EXPORT __attribute__((visibility("default")))
#else
#define RM7X0_EXPORT
#endif
#define RM7X0_NAME(name) rm730_##name
#include "rm7x0_exports.h"

#ifdef __cplusplus
extern "C" {
#endif
/* ---- Model B only: per-axis outputs ----------------------------------------
 * on: 0 or 1. Alarm-reset and general-purpose outputs, and the ERC output. */
RM7X0_EXPORT ApiStatus rm730_set_alarm_reset(uint8_t card, uint16_t axis, uint8_t on);
RM7X0_EXPORT ApiStatus rm730_set_gdo(uint8_t card, uint16_t axis, uint8_t on);
RM7X0_EXPORT ApiStatus rm730_set_erc(uint8_t card, uint16_t axis, uint8_t on);
#ifdef __cplusplus
}
#endif
#undef RM7X0_NAME
#undef RM7X0_EXPORT

#endif
