/* Homes axis X of the first model-A card, then runs it 20,000 pulses out
 * with a T-curve (trapezoidal) profile and back with an S-curve profile,
 * printing its position and speed while it moves. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <time.h>

#include <rm720.h>

enum {
  HOME_ACTIVE_HIGH = 4,
  /* Search steps, a 2-bit field each: only step 2, the search of the home
   * sensor at the search speed, towards minus (3). */
  STEP2_MINUS = 3 << 2,
  WAIT = 1,
};
/* PPS, PPS/s and PPS/s^2 */
static const uint32_t SV = 1000, DV = 50000, ACC = 200000, JERK = 2000000, SEARCH_SPEED = 5000;
static const int32_t DISTANCE = 20000; /* pulses */

static int failed(const char *call, ApiStatus status) {
  if (status != SUCCESS_NO_ERROR) fprintf(stderr, "%s failed (%d)\n", call, status);
  return status != SUCCESS_NO_ERROR;
}

/* Prints the axis's position and speed every 50 ms until it stands; returns
 * why its drive ended (DRIVE_FINISH_*), or -1 when a query failed. */
static int watch_until_done(uint8_t card, uint16_t axis) {
  const struct timespec period = {0, 50 * 1000 * 1000};
  for (;;) {
    uint8_t done = 0;
    int16_t reason = 0;
    int32_t position = 0, speed = 0;
    if (rm720_motion_done(card, axis, &done, &reason) != SUCCESS_NO_ERROR ||
        rm720_get_abs_position(card, axis, &position) != SUCCESS_NO_ERROR ||
        rm720_get_speed(card, axis, &speed) != SUCCESS_NO_ERROR)
      return -1;
    if (done) return reason;
    printf("  position %7d  speed %6d PPS\n", position, speed);
    nanosleep(&period, NULL);
  }
}

/* Waits for the move's end and prints where the axis stopped; 0 when it
 * reached its target. */
static int report_move(const char *name, uint8_t card, uint16_t axis, int32_t target) {
  const int reason = watch_until_done(card, axis);
  int32_t position = 0;
  if (reason < 0 || failed("rm720_get_abs_position", rm720_get_abs_position(card, axis, &position)))
    return 1;
  printf("%s move ended at absolute position %d (end reason 0x%04X)\n", name, position, reason);
  return position != target;
}

int main(void) {
  const uint8_t card_index = 0;
  const uint16_t axis = AXIS_X;
  int16_t count = 0;
  uint8_t card = 0;
  if (failed("rm720_scan", rm720_scan(&count, NULL)) ||
      failed("rm720_get_cardinfo", rm720_get_cardinfo(card_index, &card)) ||
      failed("rm720_open", rm720_open(card)))
    return 1;
  printf("card %u open\n", card);

  /* The search waits (WAIT) and makes the home absolute position 0. */
  int32_t home = -1;
  if (failed("rm720_set_home_cfg",
             rm720_set_home_cfg(card, axis, HOME_ACTIVE_HIGH, 0, 0, STEP2_MINUS, 0)) ||
      failed("rm720_home_start",
             rm720_home_start(card, axis, SV, ACC, ACC, DV, SEARCH_SPEED, WAIT)) ||
      failed("rm720_get_abs_position", rm720_get_abs_position(card, axis, &home))) {
    rm720_close(card);
    return 1;
  }
  printf("X homed: absolute position %d\n", home);

  int failures = 0;
  if (failed("rm720_t_move", rm720_t_move(card, axis, SV, DV, ACC, ACC, DISTANCE, 0)))
    ++failures;
  else
    failures += report_move("T-curve", card, axis, DISTANCE);
  if (failed("rm720_s_move", rm720_s_move(card, axis, SV, DV, JERK, JERK, -DISTANCE, 0)))
    ++failures;
  else
    failures += report_move("S-curve", card, axis, 0);

  rm720_close(card);
  return failures == 0 ? 0 : 1;
}
