// The model-B build of the line, arc and absolute exports: both libraries
// export them, and the model-B one runs them on a model-B card.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "manual_clock_card.h"
#include "move_probe.h"

namespace {

constexpr const char *EXPORTS[] = {
    "t_line2_move",     "t_line3_move",     "s_line2_move",         "s_line3_move",
    "t_arc2_move",      "set_abs_position", "get_abs_position",     "set_abs_feedback_src",
    "t_abs_move",       "t_abs_moveall",    "s_abs_move",           "s_abs_moveall",
    "t_abs_line2_move", "t_abs_line3_move", "s_abs_line2_move",     "s_abs_line3_move",
    "t_abs_arc2_move"};

TEST(InterpolationExports, BothLibrariesExportThem) {
  for (const auto &[path, prefix] : {std::pair{RM720_LIBRARY, "rm720_"}, {RM730_LIBRARY, "rm730_"}}) {
    void *library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char *name : EXPORTS)
      EXPECT_NE(dlsym(library, (std::string(prefix) + name).c_str()), nullptr) << prefix << name;
    dlclose(library);
  }
}

TEST(ModelBInterpolation, LinesArcsAndAbsoluteTargetsOnAModelBCard) {
  OpenCard card(card_section(0, "B", 0));
  auto run_to_end = [] {
    uint64_t end_ns[4] = {};
    probe_run_until_idle(AXIS_X | AXIS_Y, 100000, 10000000000ull, end_ns);
    probe_advance_ns(0);
  };
  ASSERT_EQ(rm730_set_abs_position(0, AXIS_X, 500), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm730_t_abs_line2_move(0, AXIS_X, AXIS_Y, 1000, 100000, 1000000, 1000000, 1500, -300,
                                   0, 0),
            SUCCESS_NO_ERROR);
  run_to_end();
  EXPECT_EQ(probe_command_counter(0), 1000);
  EXPECT_EQ(probe_command_counter(1), -300);
  ASSERT_EQ(rm730_t_arc2_move(0, AXIS_X, AXIS_Y, 1000, 100000, 1000000, 0x32, 0, 300, 0, 600, 0,
                              0),
            SUCCESS_NO_ERROR);
  run_to_end();
  int32_t position = 0;
  ASSERT_EQ(rm730_get_abs_position(0, AXIS_Y, &position), SUCCESS_NO_ERROR);
  EXPECT_EQ(position, 300);
  EXPECT_EQ(rm730_s_line2_move(0, AXIS_X, AXIS_X, 1000, 2000, 1, 1, 0, 0, 0, 0),
            ERROR_INVALID_INTERPOLATION_SLAVE_AXES);
}

}  // namespace
