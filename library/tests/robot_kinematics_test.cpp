// Robot kinematics through the model-A exports on an open card: the record
// of each card, the argument checks, and round trips joints -> pose ->
// joints for each robot type.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "open_cards.h"

namespace {

using Joints = std::array<float, 4>;
using Pose = std::array<float, 5>;

constexpr uint8_t TWO_LINK_ARM = 1, ROTARY_DELTA = 2, LINEAR_DELTA = 3, REVOLUTE_ARM = 5;
constexpr float PULSES_PER_TURN = 10000;

class Robot : public testing::Test {
 protected:
  OpenCardZero card_{card_section(0, "A", 0)};

  static void set_robot(uint8_t type, std::initializer_list<float> parameters) {
    ASSERT_EQ(rm720_robot_init(0, 0, nullptr, &result_), SUCCESS_NO_ERROR);
    ASSERT_EQ(rm720_robot_init(0, type, std::data(parameters), &result_), SUCCESS_NO_ERROR);
    ASSERT_EQ(result_, 0);
  }
  static Pose forward(const Joints &joints) {
    Pose pose{};
    EXPECT_EQ(rm720_robot_fwd_kine(0, 0, joints.data(), pose.data()), SUCCESS_NO_ERROR);
    return pose;
  }
  static ApiStatus inverse(const Pose &pose, Joints *joints) {
    return rm720_robot_inv_kine(0, 0, pose.data(), joints->data());
  }
  // joints -> pose -> joints gives the joints back within `tolerance`.
  static void expect_round_trip(const Joints &joints, int used, float tolerance) {
    const Pose pose = forward(joints);
    Joints back{};
    ASSERT_EQ(inverse(pose, &back), SUCCESS_NO_ERROR)
        << "pose " << pose[0] << ", " << pose[1] << ", " << pose[2];
    for (int n = 0; n < used; ++n) EXPECT_NEAR(back[n], joints[n], tolerance) << "joint " << n;
  }

  static inline int32_t result_ = 0;
};

// A two-link arm of links 300 and 200 with the given base rotation.
void set_two_link_arm(float base_rotation) {
  const float p[] = {300, 200, PULSES_PER_TURN, PULSES_PER_TURN, PULSES_PER_TURN, 100, 50,
                     base_rotation};
  int32_t result = -1;
  ASSERT_EQ(rm720_robot_init(0, 0, nullptr, &result), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_robot_init(0, TWO_LINK_ARM, p, &result), SUCCESS_NO_ERROR);
}

// ---- the record and the checks ------------------------------------------------------

TEST_F(Robot, ATypeIsSetOnceUntilItIsCleared) {
  const float p[8] = {300, 200, 1, 1, 1, 1, 0, 0};
  int32_t result = 5;
  EXPECT_EQ(rm720_robot_init(0, TWO_LINK_ARM, p, &result), SUCCESS_NO_ERROR);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(rm720_robot_init(0, TWO_LINK_ARM, p, &result), ERROR_ROBOT_ALREADY_SET);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(rm720_robot_init(0, 0, nullptr, &result), SUCCESS_NO_ERROR);
  EXPECT_EQ(result, -1) << "clearing leaves the result at -1";
  EXPECT_EQ(rm720_robot_init(0, TWO_LINK_ARM, p, &result), SUCCESS_NO_ERROR);
}

TEST_F(Robot, AnUnknownTypeLeavesTheRecordEmpty) {
  const float p[8] = {};
  int32_t result = 0;
  EXPECT_EQ(rm720_robot_init(0, 4, p, &result), ERROR_INVALID_ROBOT_TYPE);
  EXPECT_EQ(result, -1);
  const Joints joints{};
  Pose pose{};
  EXPECT_EQ(rm720_robot_fwd_kine(0, 0, joints.data(), pose.data()), ERROR_ROBOT_NOT_SET);
  EXPECT_EQ(rm720_robot_inv_kine(0, 0, pose.data(), pose.data()), ERROR_ROBOT_NOT_SET);
  EXPECT_EQ(rm720_robot_init(16, 0, p, &result), ERROR_INVALID_CARD_ID);
}

// The flag is checked after the card and before the robot type.
TEST_F(Robot, ConversionsCheckCardThenFlag) {
  Joints joints{};
  Pose pose{};
  EXPECT_EQ(rm720_robot_fwd_kine(16, 1, joints.data(), pose.data()), ERROR_INVALID_CARD_ID);
  EXPECT_EQ(rm720_robot_fwd_kine(0, 1, joints.data(), pose.data()), ERROR_INVALID_KINE_FLAG);
  EXPECT_EQ(rm720_robot_inv_kine(0, -1, pose.data(), joints.data()), ERROR_INVALID_KINE_FLAG);
  set_two_link_arm(0);
  EXPECT_EQ(rm720_robot_fwd_kine(0, 0, joints.data(), nullptr), ERROR_ACCESS_VIOLATION_DATA_COPY);
  EXPECT_EQ(rm720_robot_inv_kine(0, 0, nullptr, joints.data()), ERROR_ACCESS_VIOLATION_DATA_COPY);
}

// The record belongs to the library, not to the open card.
TEST_F(Robot, CloseAndOpenKeepTheRobot) {
  set_two_link_arm(0);
  ASSERT_EQ(rm720_close(0), SUCCESS_NO_ERROR);
  ASSERT_EQ(rm720_open(0), SUCCESS_NO_ERROR);
  EXPECT_NEAR(forward(Joints{})[0], 500, 1e-3);
}

// ---- type 1: two-link arm -------------------------------------------------------------

TEST_F(Robot, TwoLinkArmStretchedAlongXAtZeroJoints) {
  set_two_link_arm(0);
  const Pose pose = forward(Joints{0, 0, 2000, 0});
  EXPECT_NEAR(pose[0], 500, 1e-3);
  EXPECT_NEAR(pose[1], 0, 1e-3);
  EXPECT_NEAR(pose[2], 2000 / 100.0f + 50, 1e-3);
  EXPECT_NEAR(pose[3], 0, 1e-3);
  EXPECT_EQ(pose[4], 1.0f);
}

// Round trips for several base rotations and both elbows; the caller's pose
// stays as given, so a second conversion of it gives the same joints.
TEST_F(Robot, TwoLinkArmInverseUndoesForward) {
  for (float base_rotation : {0.0f, 30.0f, -135.0f}) {
    set_two_link_arm(base_rotation);
    for (const Joints &joints : {Joints{1000, 1500, 2000, 500}, Joints{-800, -2200, -300, 1200}}) {
      SCOPED_TRACE(testing::Message() << "base rotation " << base_rotation);
      expect_round_trip(joints, 4, 0.5f);
      const Pose pose = forward(joints);
      EXPECT_EQ(pose[4], joints[1] < 0 ? -1.0f : 1.0f);
      const Pose given = pose;
      Joints first{}, second{};
      ASSERT_EQ(inverse(pose, &first), SUCCESS_NO_ERROR);
      ASSERT_EQ(inverse(pose, &second), SUCCESS_NO_ERROR);
      EXPECT_EQ(pose, given);
      EXPECT_EQ(first, second);
    }
  }
}

TEST_F(Robot, TwoLinkArmNearFullReachIsUnreachable) {
  set_two_link_arm(0);
  Joints joints{};
  EXPECT_EQ(inverse(Pose{499.9f, 0, 70, 0, 1}, &joints), ERROR_POSE_UNREACHABLE);
  EXPECT_EQ(inverse(Pose{0, 0, 70, 0, 1}, &joints), ERROR_POSE_UNREACHABLE);
  EXPECT_EQ(inverse(Pose{490, 0, 70, 0, 1}, &joints), SUCCESS_NO_ERROR);
}

// ---- types 2 and 3: delta robots -----------------------------------------------------------

TEST_F(Robot, RotaryDeltaInverseUndoesForward) {
  for (float mounting : {-90.0f, 270.0f, 30.0f}) {
    SCOPED_TRACE(testing::Message() << "mounting " << mounting);
    set_robot(ROTARY_DELTA, {457.3f, 115, 112, 232, mounting});
    expect_round_trip(Joints{10, 20, 30, 0}, 3, 0.01f);
    expect_round_trip(Joints{-15, 5, 40, 0}, 3, 0.01f);
  }
}

TEST_F(Robot, RotaryDeltaOutOfReach) {
  set_robot(ROTARY_DELTA, {457.3f, 115, 112, 232, -90});
  Pose pose{};
  const Joints apart{0, 0, 0, 0};
  EXPECT_EQ(rm720_robot_fwd_kine(0, 0, apart.data(), pose.data()), SUCCESS_NO_ERROR);
  set_robot(ROTARY_DELTA, {457.3f, 115, 112, 10, -90});  // rods too short to meet
  EXPECT_EQ(rm720_robot_fwd_kine(0, 0, apart.data(), pose.data()), ERROR_FWD_KINE_NO_SOLUTION);
  set_robot(ROTARY_DELTA, {457.3f, 115, 112, 232, -90});
  Joints joints{};
  EXPECT_EQ(inverse(Pose{0, 0, -1000, 0, 0}, &joints), ERROR_POSE_UNREACHABLE);
  EXPECT_EQ(inverse(Pose{0, 0, 0, 0, 0}, &joints), ERROR_POSE_UNREACHABLE)
      << "a pose level with the base";
}

// Mounted at an angle, forward and inverse turn by it alike.
TEST_F(Robot, LinearDeltaInverseUndoesForward) {
  for (float mounting : {0.0f, 30.0f}) {
    SCOPED_TRACE(testing::Message() << "mounting " << mounting);
    set_robot(LINEAR_DELTA, {20, 30, 200, 250, mounting});
    expect_round_trip(Joints{300, 320, 310, 0}, 3, 0.01f);
  }
}

TEST_F(Robot, LinearDeltaOutOfReach) {
  set_robot(LINEAR_DELTA, {20, 30, 200, 250, 0});
  Joints joints{};
  EXPECT_EQ(inverse(Pose{0, -300, 0, 0, 0}, &joints), ERROR_POSE_UNREACHABLE);
  Pose pose{};
  const Joints spread{0, 1000, 0, 0};
  EXPECT_EQ(rm720_robot_fwd_kine(0, 0, spread.data(), pose.data()), ERROR_FWD_KINE_NO_SOLUTION);
}

// ---- type 5: three revolute joints -----------------------------------------------------------

float pulses_of_degrees(float degrees) { return degrees / 360 * PULSES_PER_TURN; }

TEST_F(Robot, RevoluteArmInverseUndoesForward) {
  set_robot(REVOLUTE_ARM, {100, 20, 200, 150, PULSES_PER_TURN, PULSES_PER_TURN, PULSES_PER_TURN});
  for (const float a1 : {30.0f, 135.0f, -120.0f, 90.0f, -90.0f}) {
    SCOPED_TRACE(testing::Message() << "base " << a1);
    expect_round_trip(Joints{pulses_of_degrees(a1), pulses_of_degrees(60), pulses_of_degrees(10), 0},
                      3, 0.5f);
  }
  // Reaching out below the shoulder.
  expect_round_trip(Joints{pulses_of_degrees(30), pulses_of_degrees(150), pulses_of_degrees(80), 0},
                    3, 0.5f);
}

TEST_F(Robot, RevoluteArmOutOfReach) {
  set_robot(REVOLUTE_ARM, {100, 20, 200, 150, PULSES_PER_TURN, PULSES_PER_TURN, PULSES_PER_TURN});
  Joints joints{};
  EXPECT_EQ(inverse(Pose{600, 0, 100, 0, 0}, &joints), ERROR_POSE_UNREACHABLE);
}

}  // namespace
