// Conversions between the joint values of a card's robot and its Cartesian
// pose, for the robot types of RobotParams (card_table.h):
//   1 two-link planar arm with a vertical axis and a tool rotation,
//   2 rotary delta, 3 linear delta, 5 arm of three revolute joints.
// Joints: j0..j3 (pulses for types 1 and 5, degrees for type 2, carriage
// heights for type 3; types 2, 3, 5 use j0..j2). Pose: x, y, z, the tool
// angle in degrees and the elbow sign (+1 or -1), the last two of type 1.
#pragma once

#include "card_table.h"
#include "rm7x0_status.h"

constexpr int ROBOT_JOINTS = 4;
constexpr int ROBOT_POSE_VALUES = 5;

// The number of parameters a robot type takes, 0 for an unknown type.
int robot_parameter_count(uint8_t type);
// How many of the joint or pose values a type uses: of_type_1 for type 1
// (which uses them all), x, y, z or j0..j2 (3) for the others.
int robot_values_used(uint8_t type, int of_type_1);
// ERROR_FWD_KINE_NO_SOLUTION when the arms cannot meet (or the geometry gives
// no finite pose); ERROR_INVALID_ROBOT_TYPE.
ApiStatus robot_forward(const RobotParams &robot, const float (&joints)[ROBOT_JOINTS],
                        float (&pose)[ROBOT_POSE_VALUES]);
// ERROR_POSE_UNREACHABLE when no joint values reach the pose (or the geometry
// gives no finite joints); ERROR_INVALID_ROBOT_TYPE. The pose is not changed.
ApiStatus robot_inverse(const RobotParams &robot, const float (&pose)[ROBOT_POSE_VALUES],
                        float (&joints)[ROBOT_JOINTS]);
