/* Runs axes X and Y of the first model-A card once around a rounded
 * rectangle (four lines joined by quarter arcs) as one continuous contour at
 * a constant vector speed. The whole path goes to the driver's segment table
 * in one call: the driver hands each segment to the card while the one before
 * it runs, so the axes never stop on the way, however busy the computer. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <rm720.h>

enum { LINE = 0, ARC = 1 };
enum { COUNTER_CLOCKWISE = 0x33, NO_THIRD_AXIS = 255, RECORD_SIZE = 28 };
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
#define SEGMENTS (sizeof path / sizeof path[0])

static int failed(const char *call, ApiStatus status) {
  if (status != SUCCESS_NO_ERROR) fprintf(stderr, "%s failed (%d)\n", call, status);
  return status != SUCCESS_NO_ERROR;
}

static void put_i32(unsigned char *at, int32_t value) {
  const uint32_t bits = (uint32_t)value;
  for (int i = 0; i < 4; ++i) at[i] = (unsigned char)(bits >> (8 * i));
}

/* The table's record of a segment: type, end point, arc direction and centre,
 * little-endian. */
static void encode(const struct segment *s, unsigned char record[RECORD_SIZE]) {
  memset(record, 0, RECORD_SIZE);
  record[0] = (unsigned char)s->kind;
  put_i32(record + 4, s->ex);
  put_i32(record + 8, s->ey);
  if (s->kind == ARC) {
    record[16] = COUNTER_CLOCKWISE;
    put_i32(record + 20, s->cx);
    put_i32(record + 24, s->cy);
  }
}

/* Waits until the path's master axis stands; returns why it stopped. */
static int16_t wait_until_done(uint8_t card) {
  uint8_t done = 0;
  int16_t reason = 0;
  const struct timespec pause = {0, 5 * 1000 * 1000};
  while (rm720_motion_done(card, AXIS_X, &done, &reason) == SUCCESS_NO_ERROR && !done)
    nanosleep(&pause, NULL);
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

  unsigned char table[SEGMENTS][RECORD_SIZE];
  for (size_t i = 0; i < SEGMENTS; ++i) encode(&path[i], table[i]);
  int failures = failed("rm720_conti_interp_start",
                        rm720_conti_interp_start(card, AXIS_X, AXIS_Y, NO_THIRD_AXIS, SPEED,
                                                 table, (uint8_t)SEGMENTS));
  if (!failures) {
    printf("contour of %zu segments started\n", SEGMENTS);
    const int16_t reason = wait_until_done(card);
    if (reason & DRIVE_FINISH_CONTI_BROKEN) {
      printf("the contour broke off\n");
      ++failures;
    }
  }
  rm720_get_cmdcounter(card, AXIS_X, &x);
  rm720_get_cmdcounter(card, AXIS_Y, &y);
  printf("contour ended %d, %d pulses from where it began\n", x - x0, y - y0);
  rm720_close(card);
  return failures == 0 && x == x0 && y == y0 ? 0 : 1;
}
