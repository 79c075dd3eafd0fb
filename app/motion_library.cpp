#include "motion_library.h"

namespace {

// The exports both libraries have, in the order of MotionLibrary.
#define SHARED_EXPORTS(prefix)                                                                                 \
    prefix##_scan, prefix##_get_cardinfo, prefix##_set_range, prefix##_get_range_settings, prefix##_set_pls_cfg, \
        prefix##_set_enc_cfg, prefix##_set_limit, prefix##_set_home_cfg, prefix##_set_softlimit, prefix##_set_inp, \
        prefix##_set_alarm, prefix##_set_filter, prefix##_set_int_factor, prefix##_get_out1_status, \
        prefix##_scan_Torix_DI, prefix##_servo_on,                                                             \
        prefix##_get_Torix_DI, prefix##_set_Torix_DO, prefix##_reset_Torix, INTERP_EXPORTS(prefix)

// Interpolation Move page.
#define INTERP_EXPORTS(prefix)                                                                                  \
    prefix##_t_line2_move, prefix##_s_line2_move, prefix##_t_line3_move, prefix##_s_line3_move,               \
        prefix##_t_arc2_move, prefix##_stop_move_all

// The exports of the Basic Operation page, in their order in MotionLibrary.
#define AXIS_MOTION_EXPORTS(prefix)                                                                            \
    prefix##_reset, prefix##_motion_done, prefix##_get_speed, prefix##_get_acc, prefix##_get_cmdcounter,        \
        prefix##_get_enccounter, prefix##_get_mdi_status, prefix##_get_error_status, prefix##_set_cmdcounter,  \
        prefix##_set_enccounter, prefix##_const_move, prefix##_t_move, prefix##_s_move, prefix##_velocity_move, \
        prefix##_t_change_v, prefix##_home_start, prefix##_stop_move, prefix##_set_mpg, prefix##_change_p

const MotionLibrary kModelALibrary = {SHARED_EXPORTS(rm720), nullptr, nullptr, nullptr,
                                       AXIS_MOTION_EXPORTS(rm720)};
const MotionLibrary kModelBLibrary = {SHARED_EXPORTS(rm730), rm730_set_alarm_reset, rm730_set_gdo, rm730_set_erc,
                                       AXIS_MOTION_EXPORTS(rm730)};

#undef SHARED_EXPORTS
#undef INTERP_EXPORTS
#undef AXIS_MOTION_EXPORTS

}  // namespace

const MotionLibrary& MotionLibraryOf(int model) { return model == kModelA ? kModelALibrary : kModelBLibrary; }
