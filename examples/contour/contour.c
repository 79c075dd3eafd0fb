/* Runs axes X and Y of the first model-A card once around a rounded
 * rectangle (four lines joined by quarter arcs) as one continuous contour at
 * a constant vector speed: each segment is handed over while the one before
 * it runs, so the axes never stop on the way. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <time.h>

#include <rm720.h>

enum { LINE, ARC };
enum { COUNTER_CLOCKWISE = 0x33, FIRST_SEGMENT = 0, NEXT_SEGMENT = 1, NO_THIRD_AXIS = 255 };
static const uint32_t SPEED = 10000; /* PPS along the path */

/* A segment relative to where it begins: a line to (ex, ey), or an arc
 * around (cx, cy) to (ex, ey). */
struct segment {
  int kind;
  int32_t cx, cy, ex, ey;
};

#define R 5000 /* radius of the corners, pulses */
static const struct segment path[] = {
  {LINE, 0, 0, 20000, 0}, {ARC, 0, R, R, R},    {LINE, 0, 0, 0, 10000}, {ARC, -R, 0, -R, R},
  {LINE, 0, 0, -20000, 0}, {ARC, 0, -R, -R, -R}, {LINE, 0, 0, 0, -10000}, {ARC, R, 0, R, -R},
};

static int failed(const char *call, ApiStatus status) {
  if (status != SUCCESS_NO_ERROR) fprintf(stderr, "%s failed (%d)\n", call, status);
  return status != SUCCESS_NO_ERROR;
}

static ApiStatus send_segment(uint8_t card, const struct segment *s, uint16_t mode) {
  return s->kind == LINE
             ? rm720_conti_line2_move(card, s->ex, s->ey, mode)
             : rm720_conti_arc2_move(card, COUNTER_CLOCKWISE, s->cx, s->cy, s->ex, s->ey, mode);
}

static void pause_ms(long ms) {
  const struct timespec t = {0, ms * 1000 * 1000};
  nanosleep(&t, NULL);
}

/* Hands each following segment over as soon as the card can take it. */
static int feed_path(uint8_t card) {
  const size_t count = sizeof path / sizeof path[0];
  if (failed("rm720_conti_line2_move", send_segment(card, &path[0], FIRST_SEGMENT))) return 1;
  printf("segment 1 of %zu started\n", count);
  for (size_t i = 1; i < count; ++i) {
    uint8_t ready = 0;
    while (!ready) {
      if (failed("rm720_conti_interp_next_ready", rm720_conti_interp_next_ready(card, &ready)))
        return 1;
      if (!ready) pause_ms(1);
    }
    if (failed("segment", send_segment(card, &path[i], NEXT_SEGMENT))) return 1;
    printf("segment %zu of %zu handed over\n", i + 1, count);
  }
  return 0;
}

/* Waits until the path's master axis stands; returns why it stopped. */
static int16_t wait_until_done(uint8_t card) {
  uint8_t done = 0;
  int16_t reason = 0;
  while (rm720_motion_done(card, AXIS_X, &done, &reason) == SUCCESS_NO_ERROR && !done) pause_ms(5);
  return reason;
}

int main(void) {
  int16_t count = 0;
  uint8_t card = 0;
  int32_t x0 = 0, y0 = 0, x = 0, y = 0;
  if (failed("rm720_scan", rm720_scan(&count, NULL)) ||
      failed("rm720_get_cardinfo", rm720_get_cardinfo(0, &card)) ||
      failed("rm720_open", rm720_open(card)))
    return 1;
  rm720_get_cmdcounter(card, AXIS_X, &x0);
  rm720_get_cmdcounter(card, AXIS_Y, &y0);

  int failures = failed("rm720_conti_interp_begin",
                        rm720_conti_interp_begin(card, AXIS_X, AXIS_Y, NO_THIRD_AXIS, SPEED));
  if (!failures) {
    failures = feed_path(card);
    const int16_t reason = wait_until_done(card);
    if (reason & DRIVE_FINISH_CONTI_BROKEN) {
      printf("the contour broke off: a segment came too late\n");
      ++failures;
    }
    failures += failed("rm720_conti_interp_end", rm720_conti_interp_end(card));
  }
  rm720_get_cmdcounter(card, AXIS_X, &x);
  rm720_get_cmdcounter(card, AXIS_Y, &y);
  printf("contour ended %d, %d pulses from where it began\n", x - x0, y - y0);
  rm720_close(card);
  return failures == 0 && x == x0 && y == y0 ? 0 : 1;
}
