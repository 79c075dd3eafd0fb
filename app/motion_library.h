// The exports of each model's motion library, for code that serves cards of
// both models: model 0 calls the rm720_ export, model 1 the rm730_ export of
// the same name.
#pragma once

#include "rm720.h"
#include "rm730.h"

struct MotionLibrary {
    decltype(&rm720_scan) scan;
    decltype(&rm720_get_cardinfo) get_cardinfo;
    decltype(&rm720_set_range) set_range;
    decltype(&rm720_get_range_settings) get_range_settings;
    decltype(&rm720_set_pls_cfg) set_pls_cfg;
    decltype(&rm720_set_enc_cfg) set_enc_cfg;
    decltype(&rm720_set_limit) set_limit;
    decltype(&rm720_set_home_cfg) set_home_cfg;
    decltype(&rm720_set_softlimit) set_softlimit;
    decltype(&rm720_set_inp) set_inp;
    decltype(&rm720_set_alarm) set_alarm;
    decltype(&rm720_set_filter) set_filter;
    decltype(&rm720_set_int_factor) set_int_factor;
    decltype(&rm720_get_out1_status) get_out1_status;
    decltype(&rm720_scan_Torix_DI) scan_Torix_DI;
    decltype(&rm720_servo_on) servo_on;
    // Torix DI/DO page.
    decltype(&rm720_get_Torix_DI) get_Torix_DI;
    decltype(&rm720_set_Torix_DO) set_Torix_DO;
    decltype(&rm720_reset_Torix) reset_Torix;
    // Interpolated moves (Interpolation Move page); the axis queries are below.
    decltype(&rm720_t_line2_move) t_line2_move;
    decltype(&rm720_s_line2_move) s_line2_move;
    decltype(&rm720_t_line3_move) t_line3_move;
    decltype(&rm720_s_line3_move) s_line3_move;
    decltype(&rm720_t_arc2_move) t_arc2_move;
    decltype(&rm720_stop_move_all) stop_move_all;
    // The model-B card's own outputs; null for model A.
    decltype(&rm730_set_alarm_reset) set_alarm_reset;
    decltype(&rm730_set_gdo) set_gdo;
    decltype(&rm730_set_erc) set_erc;
    // Moves, stops and queries of one axis (Basic Operation and Interpolation
    // Move pages).
    decltype(&rm720_reset) reset;
    decltype(&rm720_motion_done) motion_done;
    decltype(&rm720_get_speed) get_speed;
    decltype(&rm720_get_acc) get_acc;
    decltype(&rm720_get_cmdcounter) get_cmdcounter;
    decltype(&rm720_get_enccounter) get_enccounter;
    decltype(&rm720_get_mdi_status) get_mdi_status;
    decltype(&rm720_get_error_status) get_error_status;
    decltype(&rm720_set_cmdcounter) set_cmdcounter;
    decltype(&rm720_set_enccounter) set_enccounter;
    decltype(&rm720_const_move) const_move;
    decltype(&rm720_t_move) t_move;
    decltype(&rm720_s_move) s_move;
    decltype(&rm720_velocity_move) velocity_move;
    decltype(&rm720_t_change_v) t_change_v;
    decltype(&rm720_home_start) home_start;
    decltype(&rm720_stop_move) stop_move;
    decltype(&rm720_set_mpg) set_mpg;
    decltype(&rm720_change_p) change_p;
};

constexpr int kModelA = 0;
constexpr int kModelB = 1;

// The library of model 0 or 1; any other value gives the model-B library.
const MotionLibrary& MotionLibraryOf(int model);
