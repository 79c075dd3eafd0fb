// Each library build checks options by the rules of its own card model: the
// model-B synchronous condition and compare-trigger output differ from model A's.
#include <gtest/gtest.h>

#include "argument_checks.h"

namespace {

#ifdef RM7X0_MODEL_B
TEST(ModelBLibrary, AppliesTheModelBRules) {
  EXPECT_EQ(validate_api_args(API_SET_SYNCH, 1, 3, 0, 0, 0, 0), ERROR_INVALID_WDT_MODE);
  EXPECT_EQ(validate_api_args(API_CMPTRIG_CONFIG, 0x4000, 0, 16, 0, 1, 0), 0);
}
#else
TEST(ModelALibrary, AppliesTheModelARules) {
  EXPECT_EQ(validate_api_args(API_SET_SYNCH, 1, 3, 0, 0, 0, 0), 0);
  EXPECT_EQ(validate_api_args(API_CMPTRIG_CONFIG, 0x4000, 0, 16, 0, 1, 0),
            ERROR_INVALID_CMPTRIG_OUTPUT);
}
#endif

}  // namespace
