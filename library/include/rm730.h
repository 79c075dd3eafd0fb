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
/* ---- Model B only ------------------------------------------------------- */
/* Outputs per axis. axis: one axis bit; on: 1 switches the output on, 0 off.
 * The ERC (deviation counter clear) output. */
RM7X0_EXPORT ApiStatus rm730_set_erc(uint8_t card, uint16_t axis, uint8_t on);
/* The servo alarm-reset output. */
RM7X0_EXPORT ApiStatus rm730_set_alarm_reset(uint8_t card, uint16_t axis, uint8_t on);
/* The general-purpose output. */
RM7X0_EXPORT ApiStatus rm730_set_gdo(uint8_t card, uint16_t axis, uint8_t on);
/* Compare trigger of X or Y at a constant pitch (pulses) from a start
 * position: enable 0x4000 on, 0 off; source 0 or 32; mode 16; direction 0
 * or 4096; output 1..15; travel 1 plus, 0 minus. */
RM7X0_EXPORT ApiStatus rm730_cmptrig_config(uint8_t card, uint16_t axis, uint16_t enable,
                                            uint16_t source, uint16_t mode, uint16_t direction,
                                            uint16_t output, uint16_t travel, int32_t pitch,
                                            uint32_t start);
/* The compare registers of X or Y: the watched counter, the position of the
 * next trigger, the pitch. */
RM7X0_EXPORT ApiStatus rm730_get_cmpcounter(uint8_t card, uint16_t axis, int32_t *counter);
RM7X0_EXPORT ApiStatus rm730_get_cmptrigcounter(uint8_t card, uint16_t axis, int32_t *counter);
RM7X0_EXPORT ApiStatus rm730_get_cmp_pitch(uint8_t card, uint16_t axis, int32_t *pitch);
#ifdef __cplusplus
}
#endif
#undef RM7X0_NAME
#undef RM7X0_EXPORT

#endif
