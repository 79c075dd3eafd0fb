// The robot of a card: its geometry, kept in the card's record from load to
// unload, and the conversions between joint values and a Cartesian pose.
// They compute only; no motion request is sent.
#include "card_table.h"
#include "checks.h"
#include "model.h"
#include "robot_kinematics.h"

namespace {

constexpr uint8_t NO_ROBOT = 0;

RobotParams &robot_of(uint8_t card) { return card_table.cards[card].robot; }

ApiStatus load_values(float *values, const float *caller, int count) {
  return seh::try_copy_from(values, caller, count * sizeof(float))
             ? SUCCESS_NO_ERROR
             : ERROR_ACCESS_VIOLATION_DATA_COPY;
}

ApiStatus store_values(float *caller, const float *values, int count) {
  return seh::try_copy_to(caller, values, count * sizeof(float)) ? SUCCESS_NO_ERROR
                                                                 : ERROR_ACCESS_VIOLATION_DATA_COPY;
}

// The checks both conversions make: card, flag, a robot set on the card.
ApiStatus check_conversion(uint8_t card, int32_t flag) {
  if (const ApiStatus status = check_card(card)) return status;
  if (flag != 0) return ERROR_INVALID_KINE_FLAG;
  return robot_of(card).type == NO_ROBOT ? ERROR_ROBOT_NOT_SET : SUCCESS_NO_ERROR;
}

}  // namespace

// parameters: 8 values for type 1, 5 for types 2 and 3, 7 for type 5.
// Type 0 forgets the card's robot; another type needs it forgotten first.
RM7X0_EXPORT ApiStatus rm720_robot_init(uint8_t card, uint8_t type, const float *parameters,
                                        int32_t *result) {
  if (!seh::try_store(result, int32_t{-1})) return ERROR_ACCESS_VIOLATION_DATA_COPY;
  if (const ApiStatus status = check_card(card)) return status;
  int16_t version = 0;
  int32_t date_code = 0;
  if (const ApiStatus status = rm720_cpld_ver_get(card, &version, &date_code)) return status;
  RobotParams &robot = robot_of(card);
  if (type == NO_ROBOT) {
    robot = RobotParams{};
    return SUCCESS_NO_ERROR;
  }
  if (robot.type != NO_ROBOT) return ERROR_ROBOT_ALREADY_SET;
  const int count = robot_parameter_count(type);
  if (count == 0) return ERROR_INVALID_ROBOT_TYPE;
  RobotParams loaded{};
  if (const ApiStatus status = load_values(loaded.parameters, parameters, count)) return status;
  loaded.type = type;
  robot = loaded;
  return seh::try_store(result, int32_t{0}) ? SUCCESS_NO_ERROR : ERROR_ACCESS_VIOLATION_DATA_COPY;
}

// flag must be 0.
RM7X0_EXPORT ApiStatus rm720_robot_fwd_kine(uint8_t card, int32_t flag, const float *joints,
                                            float *pose) {
  if (const ApiStatus status = check_conversion(card, flag)) return status;
  const RobotParams &robot = robot_of(card);
  float in[ROBOT_JOINTS] = {}, out[ROBOT_POSE_VALUES] = {};
  if (const ApiStatus status = load_values(in, joints, robot_values_used(robot.type, ROBOT_JOINTS)))
    return status;
  if (const ApiStatus status = robot_forward(robot, in, out)) return status;
  return store_values(pose, out, robot_values_used(robot.type, ROBOT_POSE_VALUES));
}

RM7X0_EXPORT ApiStatus rm720_robot_inv_kine(uint8_t card, int32_t flag, const float *pose,
                                            float *joints) {
  if (const ApiStatus status = check_conversion(card, flag)) return status;
  const RobotParams &robot = robot_of(card);
  float in[ROBOT_POSE_VALUES] = {}, out[ROBOT_JOINTS] = {};
  if (const ApiStatus status =
          load_values(in, pose, robot_values_used(robot.type, ROBOT_POSE_VALUES)))
    return status;
  if (const ApiStatus status = robot_inverse(robot, in, out)) return status;
  return store_values(joints, out, robot_values_used(robot.type, ROBOT_JOINTS));
}
