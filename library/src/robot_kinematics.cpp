#include "robot_kinematics.h"

#include <cmath>
#include <numbers>

namespace {

// Formed once at load; the conversions work in single precision except the
// inverse of type 5.
const double SQRT3 = std::sqrt(3.0);
const float SQRT3_F = static_cast<float>(SQRT3);
const float INV_SQRT3_F = 1.0f / SQRT3_F;
const float HALF_SQRT3_F = SQRT3_F / 2.0f;
constexpr float PI_F = 3.1415927f;
constexpr float TWO_PI_F = 6.2831855f;
constexpr float DEG_TO_RAD = 0.017453292f;
// The rotary delta's base-to-joint offset, tan 30 deg / 2.
constexpr float DELTA_JOINT_OFFSET = 0.288675f;

enum RobotType : uint8_t { TWO_LINK_ARM = 1, ROTARY_DELTA = 2, LINEAR_DELTA = 3, REVOLUTE_ARM = 5 };

struct Point2 {
  float x, y;
};
struct Point3 {
  float x, y, z;
};

Point2 rotated(Point2 p, float degrees) {
  const float a = degrees * DEG_TO_RAD;
  return {p.x * std::cos(a) - p.y * std::sin(a), p.x * std::sin(a) + p.y * std::cos(a)};
}

// Joint angle (radians) of a joint turned by `pulses` at `per_turn` pulses per revolution.
float joint_angle(float pulses, float per_turn) { return pulses * TWO_PI_F / per_turn; }
float joint_pulses(float angle, float per_turn) { return angle * per_turn / TWO_PI_F; }

// A result that a degenerate geometry (a zero length or pulse count) made
// infinite or not a number is no result.
template <int N>
bool all_finite(const float (&values)[N]) {
  for (float value : values)
    if (!std::isfinite(value)) return false;
  return true;
}

// ---- type 1: two-link planar arm ------------------------------------------------
// P0, P1 link lengths; P2, P3, P4 pulses per turn of joints 1, 2 and the tool
// (joint 4); P5 pulses per length unit of the vertical axis (joint 3); P6
// height offset; P7 base rotation in degrees.

void two_link_forward(const float *p, const float *j, float *pose) {
  const float a1 = joint_angle(j[0], p[2]), a2 = joint_angle(j[1], p[3]);
  const float a4 = joint_angle(j[3], p[4]);
  Point2 xy = {p[0] * std::cos(a1) + p[1] * std::cos(a1 + a2),
               p[0] * std::sin(a1) + p[1] * std::sin(a1 + a2)};
  float tool = 180.0f * (a1 + a2 + a4) / PI_F;
  if (p[7] != 0) {
    xy = rotated(xy, p[7]);
    tool += p[7];
  }
  pose[0] = xy.x;
  pose[1] = xy.y;
  pose[2] = j[2] / p[5] + p[6];
  pose[3] = tool;
  pose[4] = a2 < 0 ? -1.0f : 1.0f;
}

// Elbow sign -1 takes the mirrored solution (joint 2 negative). The pose is
// turned back by the base rotation in a copy: the caller's record stays as
// it was, so converting it again gives the same joints.
ApiStatus two_link_inverse(const float *p, const float *pose, float *j) {
  Point2 xy = {pose[0], pose[1]};
  float tool = pose[3];
  if (p[7] != 0) {
    xy = rotated(xy, -p[7]);
    tool -= p[7];
  }
  const float r2 = xy.x * xy.x + xy.y * xy.y;
  const float c = (r2 - p[0] * p[0] - p[1] * p[1]) / (2 * p[0] * p[1]);
  if (!(std::fabs(c) < 0.996f)) return ERROR_POSE_UNREACHABLE;
  const bool mirrored = pose[4] == -1.0f;
  const float a2 = mirrored ? -std::acos(c) : std::acos(c);
  const float phi = std::atan2(xy.y, xy.x);
  const float psi = std::acos((r2 + p[0] * p[0] - p[1] * p[1]) / (2 * p[0] * std::sqrt(r2)));
  const float a1 = mirrored ? phi + psi : phi - psi;
  j[0] = joint_pulses(a1, p[2]);
  j[1] = joint_pulses(a2, p[3]);
  j[2] = (pose[2] - p[6]) * p[5];
  j[3] = joint_pulses(tool * PI_F / 180.0f - a1 - a2, p[4]);
  return SUCCESS_NO_ERROR;
}

// ---- types 2 and 3: the delta robots ------------------------------------------------

// The lower of the two points at distance `radius` from three centres, the
// first of which lies on x = 0; false when the spheres do not meet.
bool lower_intersection(const Point3 (&c)[3], float radius, Point3 *point) {
  const float w1 = c[0].y * c[0].y + c[0].z * c[0].z;
  const float w2 = c[1].x * c[1].x + c[1].y * c[1].y + c[1].z * c[1].z;
  const float w3 = c[2].x * c[2].x + c[2].y * c[2].y + c[2].z * c[2].z;
  const float y1 = c[0].y, z1 = c[0].z;
  const float dnm = (c[1].y - y1) * c[2].x - (c[2].y - y1) * c[1].x;
  const float a1 = (c[1].z - z1) * (c[2].y - y1) - (c[2].z - z1) * (c[1].y - y1);
  const float b1 = -((w2 - w1) * (c[2].y - y1) - (w3 - w1) * (c[1].y - y1)) / 2;
  const float a2 = -(c[1].z - z1) * c[2].x + (c[2].z - z1) * c[1].x;
  const float b2 = ((w2 - w1) * c[2].x - (w3 - w1) * c[1].x) / 2;
  const float a = a1 * a1 + a2 * a2 + dnm * dnm;
  const float b = 2 * (a1 * b1 + a2 * (b2 - y1 * dnm) - z1 * dnm * dnm);
  const float cc = (b2 - y1 * dnm) * (b2 - y1 * dnm) + b1 * b1 + dnm * dnm * (z1 * z1 - radius * radius);
  const float discriminant = b * b - 4 * a * cc;
  if (discriminant < 0) return false;
  point->z = -(b + std::sqrt(discriminant)) / (2 * a);
  point->x = (a1 * point->z + b1) / dnm;
  point->y = (a2 * point->z + b2) / dnm;
  return true;
}

// Rotary delta: P0 side of the base triangle, P1 of the effector triangle,
// P2 upper-arm length, P3 rod length, P4 mounting angle in degrees; joints
// in degrees. Mounted at 270 (or -90) degrees the robot's frame is the
// formulas' frame.
bool delta_unrotated(float mounting) { return mounting == 270.0f || mounting == -90.0f; }

ApiStatus rotary_delta_forward(const float *p, const float *j, float *pose) {
  const float f = p[0], e = p[1], rf = p[2], re = p[3];
  const float t = (f - e) * INV_SQRT3_F / 2;
  const float t1 = j[0] * DEG_TO_RAD, t2 = j[1] * DEG_TO_RAD, t3 = j[2] * DEG_TO_RAD;
  const float y2 = (t + rf * std::cos(t2)) / 2, y3 = (t + rf * std::cos(t3)) / 2;
  const Point3 elbows[3] = {{0, -(t + rf * std::cos(t1)), -rf * std::sin(t1)},
                            {SQRT3_F * y2, y2, -rf * std::sin(t2)},
                            {-SQRT3_F * y3, y3, -rf * std::sin(t3)}};
  Point3 point{};
  if (!lower_intersection(elbows, re, &point)) return ERROR_FWD_KINE_NO_SOLUTION;
  Point2 xy = {point.x, point.y};
  if (!delta_unrotated(p[4])) xy = rotated(xy, -(90.0f + p[4]));
  pose[0] = xy.x;
  pose[1] = xy.y;
  pose[2] = point.z;
  return SUCCESS_NO_ERROR;
}

// The angle (degrees) of one arm of a rotary delta whose effector is at
// (x0, y0, z0) in that arm's frame; false when the arm cannot reach it (a
// point level with the base has no solution: the formula divides by z0).
bool rotary_arm_angle(const float *p, float x0, float y0, float z0, float *angle) {
  const float f = p[0], e = p[1], rf = p[2], re = p[3];
  if (z0 == 0) return false;
  const float y1 = -DELTA_JOINT_OFFSET * f;
  y0 -= DELTA_JOINT_OFFSET * e;
  const float a = (x0 * x0 + y0 * y0 + z0 * z0 + rf * rf - re * re - y1 * y1) / (2 * z0);
  const float b = (y1 - y0) / z0;
  const float d = -(a + b * y1) * (a + b * y1) + rf * (b * b * rf + rf);
  if (d < 0) return false;
  const float yj = (y1 - a * b - std::sqrt(d)) / (b * b + 1);
  const float zj = a + b * yj;
  *angle = 180.0f * std::atan(-zj / (y1 - yj)) / PI_F + (yj > y1 ? 180.0f : 0.0f);
  return true;
}

ApiStatus rotary_delta_inverse(const float *p, const float *pose, float *j) {
  Point2 xy = {pose[0], pose[1]};
  if (!delta_unrotated(p[4])) xy = rotated(xy, 90.0f + p[4]);
  const float x = xy.x, y = xy.y, z = pose[2];
  // Arms 2 and 3 see the effector turned by 120 and 240 degrees.
  const Point2 arm[3] = {{x, y},
                         {-x / 2 + y * HALF_SQRT3_F, -y / 2 - x * HALF_SQRT3_F},
                         {-x / 2 - y * HALF_SQRT3_F, -y / 2 + x * HALF_SQRT3_F}};
  for (int n = 0; n < 3; ++n)
    if (!rotary_arm_angle(p, arm[n].x, arm[n].y, z, &j[n])) return ERROR_POSE_UNREACHABLE;
  return SUCCESS_NO_ERROR;
}

// Linear delta: P2 - P1 - P0 is the distance from the centre to each tower's
// sphere centre, P3 the rod length, P4 the mounting angle in degrees; joints
// are carriage heights. Both directions turn by the mounting angle when it
// is not 0, so that they agree.
float linear_delta_radius(const float *p) { return p[2] - p[1] - p[0]; }

ApiStatus linear_delta_forward(const float *p, const float *j, float *pose) {
  const float r = linear_delta_radius(p);
  const Point3 towers[3] = {
      {0, r, j[0]}, {-r * HALF_SQRT3_F, -r / 2, j[1]}, {r * HALF_SQRT3_F, -r / 2, j[2]}};
  Point3 point{};
  if (!lower_intersection(towers, p[3], &point)) return ERROR_FWD_KINE_NO_SOLUTION;
  Point2 xy = {point.x, point.y};
  if (p[4] != 0) xy = rotated(xy, -(90.0f + p[4]));
  pose[0] = xy.x;
  pose[1] = xy.y;
  pose[2] = point.z;
  return SUCCESS_NO_ERROR;
}

// A pose farther from a tower than the rod reaches is unreachable.
ApiStatus linear_delta_inverse(const float *p, const float *pose, float *j) {
  Point2 xy = {pose[0], pose[1]};
  if (p[4] != 0) xy = rotated(xy, 90.0f + p[4]);
  const float r = linear_delta_radius(p), rod = p[3];
  const Point2 towers[3] = {{0, r}, {-r * HALF_SQRT3_F, -r / 2}, {r * HALF_SQRT3_F, -r / 2}};
  for (int n = 0; n < 3; ++n) {
    const float dx = towers[n].x - xy.x, dy = towers[n].y - xy.y;
    const float height2 = rod * rod - dx * dx - dy * dy;
    if (height2 < 0) return ERROR_POSE_UNREACHABLE;
    j[n] = pose[2] + std::sqrt(height2);
  }
  return SUCCESS_NO_ERROR;
}

// ---- type 5: three revolute joints -------------------------------------------------
// P0 base height, P1 radial offset, P2 upper-arm and P3 forearm lengths, P4,
// P5, P6 pulses per turn of joints 1, 2, 3.

void revolute_arm_forward(const float *p, const float *j, float *pose) {
  const float a1 = joint_angle(j[0], p[4]), a2 = joint_angle(j[1], p[5]);
  const float a3 = joint_angle(j[2], p[6]);
  const float r = p[1] - p[2] * std::cos(a2) + p[3] * std::cos(a3);
  pose[0] = r * std::cos(a1);
  pose[1] = r * std::sin(a1);
  pose[2] = p[0] + p[2] * std::sin(a2) - p[3] * std::sin(a3);
}

// In double precision. On the y axis the radial distance is |y|, so that
// the forward conversion of the result lies at y and not at -y.
ApiStatus revolute_arm_inverse(const float *p, const float *pose, float *j) {
  constexpr double PI = std::numbers::pi;
  const double x = pose[0], y = pose[1], dz = double{pose[2]} - p[0];
  const double upper = p[2], fore = p[3];
  double a1, h;
  if (std::fabs(x) < 0.001) {
    a1 = y > 0 ? PI / 2 : -PI / 2;
    h = p[1] - std::fabs(y);
  } else {
    a1 = std::atan(y / x);
    if (x < 0 && y > 0) a1 += PI;
    if (x < 0 && y < 0) a1 -= PI;
    h = p[1] - x / std::cos(a1);
  }
  const double c = -(h * h + dz * dz - upper * upper - fore * fore) / (2 * upper * fore);
  if (!(c >= -1 && c <= 1)) return ERROR_POSE_UNREACHABLE;
  const double o = std::acos(c);
  const double reach = std::sqrt(dz * dz + h * h);
  // The direction of (h, dz) in all four quadrants: atan(h / dz) would take
  // a reach below the shoulder (dz < 0) for one above it.
  const double t = std::atan2(h, dz);
  const double u = std::asin((upper - fore * std::cos(o)) / reach);
  j[0] = static_cast<float>(a1 * p[4] / (2 * PI));
  j[1] = static_cast<float>((u - t) * p[5] / (2 * PI));
  j[2] = static_cast<float>(-(o - (u - t)) * p[6] / (2 * PI));
  return SUCCESS_NO_ERROR;
}

}  // namespace

int robot_parameter_count(uint8_t type) {
  switch (type) {
    case TWO_LINK_ARM: return 8;
    case ROTARY_DELTA:
    case LINEAR_DELTA: return 5;
    case REVOLUTE_ARM: return 7;
    default: return 0;
  }
}

int robot_values_used(uint8_t type, int of_type_1) { return type == TWO_LINK_ARM ? of_type_1 : 3; }

ApiStatus robot_forward(const RobotParams &robot, const float (&joints)[ROBOT_JOINTS],
                        float (&pose)[ROBOT_POSE_VALUES]) {
  const float *p = robot.parameters;
  ApiStatus status = SUCCESS_NO_ERROR;
  switch (robot.type) {
    case TWO_LINK_ARM: two_link_forward(p, joints, pose); break;
    case ROTARY_DELTA: status = rotary_delta_forward(p, joints, pose); break;
    case LINEAR_DELTA: status = linear_delta_forward(p, joints, pose); break;
    case REVOLUTE_ARM: revolute_arm_forward(p, joints, pose); break;
    default: return ERROR_INVALID_ROBOT_TYPE;
  }
  if (status == SUCCESS_NO_ERROR && !all_finite(pose)) return ERROR_FWD_KINE_NO_SOLUTION;
  return status;
}

ApiStatus robot_inverse(const RobotParams &robot, const float (&pose)[ROBOT_POSE_VALUES],
                        float (&joints)[ROBOT_JOINTS]) {
  const float *p = robot.parameters;
  ApiStatus status = SUCCESS_NO_ERROR;
  switch (robot.type) {
    case TWO_LINK_ARM: status = two_link_inverse(p, pose, joints); break;
    case ROTARY_DELTA: status = rotary_delta_inverse(p, pose, joints); break;
    case LINEAR_DELTA: status = linear_delta_inverse(p, pose, joints); break;
    case REVOLUTE_ARM: status = revolute_arm_inverse(p, pose, joints); break;
    default: return ERROR_INVALID_ROBOT_TYPE;
  }
  if (status == SUCCESS_NO_ERROR && !all_finite(joints)) return ERROR_POSE_UNREACHABLE;
  return status;
}
