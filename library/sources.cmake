# Every source of the motion libraries, in one place, for the Linux build
# (library/CMakeLists.txt) and the Windows one (windows/CMakeLists.txt): those
# both models build, then each model's own. The Linux loader entry
# (dll_entry.cpp) and the Windows caller-memory guard (caller_memory_win32.cpp)
# are added by the build that needs them.
set(RM7X0_LIBRARY_SOURCES
  src/absolute_moves.cpp
  src/absolute_position.cpp
  src/arc_move.cpp
  src/argument_checks.cpp
  src/axes_move.cpp
  src/axis_configuration.cpp
  src/axis_limits.cpp
  src/axis_position.cpp
  src/card_management.cpp
  src/card_options.cpp
  src/card_scan.cpp
  src/card_table.cpp
  src/checks.cpp
  src/compare_trigger.cpp
  src/config_loader.cpp
  src/conti_interp.cpp
  src/counters_and_status.cpp
  src/dll_main.cpp
  src/drive_settings.cpp
  src/driver_status.cpp
  src/held_drives.cpp
  src/home_config.cpp
  src/home_search.cpp
  src/int_events.cpp
  src/interpolation.cpp
  src/line_moves.cpp
  src/move_all.cpp
  src/options.cpp
  src/request.cpp
  src/s_curve_moves.cpp
  src/s_curve_plan.cpp
  src/s_curve_profile.cpp
  src/single_axis_moves.cpp
  src/stop_and_hold.cpp
  src/synchronous_action.cpp
  src/torix_io.cpp
  src/unit_conversion.cpp
  src/waited_request.cpp)
set(RM720_ONLY_SOURCES
  src/batch_move.cpp
  src/conti_table.cpp
  src/robot_exports.cpp
  src/robot_kinematics.cpp
  src/u_shaped_move.cpp)
set(RM730_ONLY_SOURCES
  src/model_b_outputs.cpp)
