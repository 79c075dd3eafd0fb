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
/* Diagnostic register access: operation 0 reads a card register, 1 writes
 * one, 2 reads a bridge register, 3 writes one; offset in bytes. */
RM7X0_EXPORT ApiStatus rm720_reg_rw_test(uint8_t card, uint8_t operation, uint8_t offset,
                                         int16_t *value, uint16_t data);
/* Watchdog: mode 0, 2, 4 or 6. This card's driver has no watchdog, so both
 * fail (-402, -403). */
RM7X0_EXPORT ApiStatus rm720_set_WDT(uint8_t card, uint8_t mode);
RM7X0_EXPORT ApiStatus rm720_get_WDT(uint8_t card, uint8_t *mode);
/* Robot kinematics (computed in the library; no request is sent). Types: 1
 * two-link planar arm (8 parameters), 2 rotary delta (5), 3 linear delta
 * (5), 5 three revolute joints (7); 0 forgets the card's robot, which must
 * be done before another type is set. *result: 0 once set, else -1.
 * Joints j0..j3 (pulses for types 1 and 5, degrees for 2, carriage heights
 * for 3); pose x, y, z, tool angle (degrees), elbow sign (+1/-1). Types 2,
 * 3 and 5 use j0..j2 and x, y, z only. flag must be 0. */
RM7X0_EXPORT ApiStatus rm720_robot_init(uint8_t card, uint8_t type, const float *parameters,
                                        int32_t *result);
RM7X0_EXPORT ApiStatus rm720_robot_fwd_kine(uint8_t card, int32_t flag, const float *joints,
                                            float *pose);
RM7X0_EXPORT ApiStatus rm720_robot_inv_kine(uint8_t card, int32_t flag, const float *pose,
                                            float *joints);
#ifdef __cplusplus
}
#endif
#undef RM7X0_NAME
#undef RM7X0_EXPORT

#endif
