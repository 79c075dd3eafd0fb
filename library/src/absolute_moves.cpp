// The moves to absolute targets (pulses in each axis's absolute coordinate):
// each target becomes the distance from the axis's absolute position now,
// and the relative move of the same name runs with the distances and the
// remaining arguments as given.
#include "absolute_position.h"
#include "card_table.h"
#include "model.h"
#include "move_all.h"

namespace {

// Distances of the targets, each on its own axis, in the order given; the
// first conversion that fails gives its status.
template <int N>
ApiStatus distances_to(uint8_t card, const uint16_t (&axes)[N], const int32_t (&targets)[N],
                       int32_t (&distances)[N]) {
  for (int i = 0; i < N; ++i)
    if (ApiStatus status = abs_to_relative(card, axes[i], targets[i], &distances[i], FROM_COUNTER))
      return status;
  return SUCCESS_NO_ERROR;
}

// The "all" forms: the targets of the masked axes, X to U, as distances.
ApiStatus mask_distances(uint8_t card, uint16_t axes, const int32_t *targets,
                         int32_t (&distances)[AXES_PER_CARD]) {
  if (!valid_move_mask(axes)) return ERROR_NO_VALID_AXIS_ASSIGNED;
  for (int axis = 0; axis < AXES_PER_CARD; ++axis) {
    distances[axis] = 0;
    if (!((axes >> axis) & 1)) continue;
    int32_t target = 0;
    if (!load_entry(targets, axis, &target)) return ERROR_ACCESS_VIOLATION_DATA_COPY;
    const uint16_t bit = static_cast<uint16_t>(1u << axis);
    if (ApiStatus status = abs_to_relative(card, bit, target, &distances[axis], FROM_COUNTER))
      return status;
  }
  return SUCCESS_NO_ERROR;
}

}  // namespace

// Exported as rm720_t_abs_move and rm730_t_abs_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_abs_move)(uint8_t card, uint16_t axis, uint32_t sv,
                                              uint32_t dv, uint32_t acc, uint32_t dec,
                                              int32_t target, int16_t ao) {
  int32_t distance[1] = {};
  if (ApiStatus status = distances_to(card, {axis}, {target}, distance)) return status;
  return RM7X0_NAME(t_move)(card, axis, sv, dv, acc, dec, distance[0], ao);
}

// Exported as rm720_t_abs_moveall and rm730_t_abs_moveall.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_abs_moveall)(uint8_t card, uint16_t axes, const uint32_t *sv,
                                                 const uint32_t *dv, const uint32_t *acc,
                                                 const uint32_t *dec, const int32_t *targets,
                                                 const int16_t *ao) {
  int32_t distances[AXES_PER_CARD];
  if (ApiStatus status = mask_distances(card, axes, targets, distances)) return status;
  return RM7X0_NAME(t_moveall)(card, axes, sv, dv, acc, dec, distances, ao);
}

// Exported as rm720_s_abs_move and rm730_s_abs_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_abs_move)(uint8_t card, uint16_t axis, uint32_t sv,
                                              uint32_t dv, uint32_t jerk, uint32_t dec_rate,
                                              int32_t target, int16_t ao) {
  int32_t distance[1] = {};
  if (ApiStatus status = distances_to(card, {axis}, {target}, distance)) return status;
  return RM7X0_NAME(s_move)(card, axis, sv, dv, jerk, dec_rate, distance[0], ao);
}

// Exported as rm720_s_abs_moveall and rm730_s_abs_moveall.
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_abs_moveall)(uint8_t card, uint16_t axes, const uint32_t *sv,
                                                 uint32_t *dv, const uint32_t *jerk,
                                                 const uint32_t *dec_rate, const int32_t *targets,
                                                 const int16_t *ao) {
  int32_t distances[AXES_PER_CARD];
  if (ApiStatus status = mask_distances(card, axes, targets, distances)) return status;
  return RM7X0_NAME(s_moveall)(card, axes, sv, dv, jerk, dec_rate, distances, ao);
}

// Exported as rm720_t_abs_line2_move and rm730_t_abs_line2_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_abs_line2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                                    uint32_t sv, uint32_t dv, uint32_t acc,
                                                    uint32_t dec, int32_t p1, int32_t p2,
                                                    int16_t ao, uint16_t wait) {
  int32_t d[2] = {};
  if (ApiStatus status = distances_to(card, {master, slave}, {p1, p2}, d)) return status;
  return RM7X0_NAME(t_line2_move)(card, master, slave, sv, dv, acc, dec, d[0], d[1], ao, wait);
}

// Exported as rm720_t_abs_line3_move and rm730_t_abs_line3_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_abs_line3_move)(uint8_t card, uint16_t master,
                                                    uint16_t slave1, uint16_t slave2, uint32_t sv,
                                                    uint32_t dv, uint32_t acc, uint32_t dec,
                                                    int32_t p1, int32_t p2, int32_t p3,
                                                    int16_t ao, uint16_t wait) {
  int32_t d[3] = {};
  if (ApiStatus status = distances_to(card, {master, slave1, slave2}, {p1, p2, p3}, d))
    return status;
  return RM7X0_NAME(t_line3_move)(card, master, slave1, slave2, sv, dv, acc, dec, d[0], d[1],
                                  d[2], ao, wait);
}

// Exported as rm720_s_abs_line2_move and rm730_s_abs_line2_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_abs_line2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                                    uint32_t sv, uint32_t dv, uint32_t jerk,
                                                    uint32_t dec_rate, int32_t p1, int32_t p2,
                                                    int16_t ao, uint16_t wait) {
  int32_t d[2] = {};
  if (ApiStatus status = distances_to(card, {master, slave}, {p1, p2}, d)) return status;
  return RM7X0_NAME(s_line2_move)(card, master, slave, sv, dv, jerk, dec_rate, d[0], d[1], ao,
                                  wait);
}

// Exported as rm720_s_abs_line3_move and rm730_s_abs_line3_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(s_abs_line3_move)(uint8_t card, uint16_t master,
                                                    uint16_t slave1, uint16_t slave2, uint32_t sv,
                                                    uint32_t dv, uint32_t jerk, uint32_t dec_rate,
                                                    int32_t p1, int32_t p2, int32_t p3,
                                                    int16_t ao, uint16_t wait) {
  int32_t d[3] = {};
  if (ApiStatus status = distances_to(card, {master, slave1, slave2}, {p1, p2, p3}, d))
    return status;
  return RM7X0_NAME(s_line3_move)(card, master, slave1, slave2, sv, dv, jerk, dec_rate, d[0],
                                  d[1], d[2], ao, wait);
}

// Centre and end point both count from the arc's start, the axes' positions now.
// Exported as rm720_t_abs_arc2_move and rm730_t_abs_arc2_move.
RM7X0_EXPORT ApiStatus RM7X0_NAME(t_abs_arc2_move)(uint8_t card, uint16_t master, uint16_t slave,
                                                   uint32_t sv, uint32_t dv, uint32_t acc,
                                                   uint16_t direction, int32_t cx, int32_t cy,
                                                   int32_t ex, int32_t ey, int16_t ao,
                                                   uint16_t wait) {
  int32_t d[4] = {};
  if (ApiStatus status = distances_to(card, {master, slave, master, slave}, {cx, cy, ex, ey}, d))
    return status;
  return RM7X0_NAME(t_arc2_move)(card, master, slave, sv, dv, acc, direction, d[0], d[1], d[2],
                                 d[3], ao, wait);
}
