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

#ifdef __cplusplus
extern "C" {
#endif
/* ---- Model A only ------------------------------------------------------- */
/* Speed range from the highest speed wanted, PPS (8,000 .. 4,000,000):
 * range = 64,000,000,000 / max_speed. */
RM7X0_EXPORT ApiStatus rm720_set_max_v(uint8_t card, uint16_t axis, uint32_t max_speed);
/* Continuous interpolation from the driver's table of 2,048 segments: the
 * first segment starts the run, the driver feeds the rest, and the master's
 * drive end closes it. conti_interp_start: count records of 28 bytes (byte 0
 * type: 0 line of two axes, 1 arc, 2 line of three axes, +16 absolute; bytes
 * 4-15 x, y, z; byte 16 arc direction; bytes 20-27 arc centre cx, cy; i32
 * little-endian), at a constant vector speed (PPS). */
RM7X0_EXPORT ApiStatus rm720_conti_interp_start(uint8_t card, uint16_t axis1, uint16_t axis2,
                                                uint16_t axis3, uint32_t speed,
                                                const void *segments, uint8_t count);
/* A T-curve table run of absolute three-axis lines: config (SV, DV in PPS,
 * ACC, DEC in PPS/s; percentage 0..100 shortens the deceleration distance),
 * then one load per point (the first is kept), then start_all. */
RM7X0_EXPORT ApiStatus rm720_conti_interp_config(uint8_t card, uint16_t axis1, uint16_t axis2,
                                                 uint16_t axis3, uint32_t sv, uint32_t dv,
                                                 uint32_t acc, uint32_t dec, uint8_t percentage);
RM7X0_EXPORT ApiStatus rm720_conti_abs_line3_move_load(uint8_t card, int32_t x, int32_t y,
                                                       int32_t z);
RM7X0_EXPORT ApiStatus rm720_conti_interp_start_all(uint8_t card);
/* Index (low byte) of the next table segment the driver hands to the chip. */
RM7X0_EXPORT ApiStatus rm720_conti_interp_running_segment(uint8_t card, uint8_t *index);
/* Start speed (PPS) and rates (PPS/s, 0: kept) of the next interpolation. */
RM7X0_EXPORT ApiStatus rm720_set_sv_acc(uint8_t card, uint16_t axis, uint32_t sv, uint32_t acc,
                                        uint32_t dec);
/* Diagnostic register access: operation 0 reads a card register, 1 writes
 * one, 2 reads a bridge register, 3 writes one; offset in bytes. */
RM7X0_EXPORT ApiStatus rm720_reg_rw_test(uint8_t card, uint8_t operation, uint8_t offset,
                                         int16_t *value, uint16_t data);
/* Watchdog: mode 0, 2, 4 or 6. This card's driver has no watchdog, so both
 * fail (-402, -403). */
RM7X0_EXPORT ApiStatus rm720_set_WDT(uint8_t card, uint8_t mode);
RM7X0_EXPORT ApiStatus rm720_get_WDT(uint8_t card, uint8_t *mode);
#ifdef __cplusplus
}
#endif
#undef RM7X0_NAME
#undef RM7X0_EXPORT

#endif
