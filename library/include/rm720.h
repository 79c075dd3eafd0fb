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
/* Compare trigger of X or Y: enable 0x4000 on, 0 off; source 0 or 32; mode
 * 16 (a pulse every `pitch` pulses) or 0 (a pulse at each position of
 * `table`, 1..2048 entries, strictly increasing with table_direction 1, else
 * decreasing); direction 0 or 4096; output 0x0800 + n x 0x2000. */
RM7X0_EXPORT ApiStatus rm720_cmptrig_config(uint8_t card, uint16_t axis, uint16_t enable,
                                            uint16_t source, uint16_t mode, uint16_t direction,
                                            uint16_t output, uint16_t table_direction,
                                            int32_t pitch, const int32_t *table, uint32_t count);
/* The comparators of an axis: source 0 or 32, COMP+ and COMP- in pulses. */
RM7X0_EXPORT ApiStatus rm720_set_cmp(uint8_t card, uint16_t axis, uint16_t source,
                                     uint32_t compare_plus, uint32_t compare_minus);
/* Compare-mask input: each flag 1 sets, 0 clears its mask bit. */
RM7X0_EXPORT ApiStatus rm720_set_cmp_mask_in3(uint8_t card, uint16_t word, uint8_t flag1,
                                              uint8_t flag2, uint8_t flag3, uint8_t flag4,
                                              uint8_t flag5);
/* Three speed steps of one axis: DV over d1, V2 over d2 (the card changes the
 * speed), then V3 over d3 at ACC3, started by a worker thread once the axis
 * stopped at the end of step 2. The eighth argument is ignored. 0 when the
 * worker started, -1 when it could not be. */
RM7X0_EXPORT ApiStatus rm720_t_move_batch_3steps(uint8_t card, uint16_t axis, uint32_t sv,
                                                 uint32_t dv, uint32_t v2, uint32_t v3,
                                                 uint32_t acc, uint32_t ignored, uint32_t acc3,
                                                 int32_t d1, int32_t d2, int32_t d3);
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
/* U-shaped move over an obstacle, chained by the card itself: the lift axis
 * rises to its up position, the travel axes run to their targets once the
 * lift is within its blend of the top, and the lift lowers to its final
 * position once the travel is within its blend of the target. axes: lift,
 * travel 1, travel 2 (axis bits; travel 2 may be 0); targets (absolute,
 * pulses): lift up, travel 1, travel 2, lift final; blends (pulses, the
 * absolute value; lift at least 10, travel at least 1): lift, travel 1,
 * travel 2; sv, dv (PPS), jerk, dec_rate (PPS/s^2): the S-curve profiles of
 * the lift [0], the travel [1] and the lowering [2]. A failure once the lift
 * started leaves the legs armed: stop the axes. */
RM7X0_EXPORT ApiStatus rm720_s_abs_u_shaped_move(uint8_t card, const int16_t axes[3],
                                                 const int32_t targets[4],
                                                 const int32_t blends[3], const uint32_t sv[3],
                                                 const uint32_t dv[3], const uint32_t jerk[3],
                                                 const uint32_t dec_rate[3]);
#ifdef __cplusplus
}
#endif
#undef RM7X0_NAME
#undef RM7X0_EXPORT

#endif
