// Many threads on one card at once: each of four threads moves its own axis
// and polls it while two more query every axis. Every move must end exactly
// where it was sent and every query must succeed. Run it under
// ThreadSanitizer with -DRM7X0_TSAN=ON.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "open_cards.h"

namespace {

constexpr uint8_t CARD = 0;
constexpr int MOVES_PER_AXIS = 40;
constexpr int32_t STEP = 400;

uint16_t bit(int axis) { return static_cast<uint16_t>(1u << axis); }

// Moves an axis back and forth, waiting for each move by polling; counts
// every failed call.
void move_axis(int axis, std::atomic<int> &failures) {
  for (int n = 0; n < MOVES_PER_AXIS; ++n) {
    const int32_t pulses = (n % 2 == 0) ? STEP * (axis + 1) : -STEP;
    if (rm720_t_move(CARD, bit(axis), 1000, 200000, 4000000, 4000000, pulses, 0) != 0) ++failures;
    uint8_t done = 0;
    int16_t state = 0;
    while (!done) {
      if (rm720_motion_done(CARD, bit(axis), &done, &state) != 0) {
        ++failures;
        return;
      }
      std::this_thread::yield();
    }
  }
}

void query_all_axes(const std::atomic<bool> &stop, std::atomic<int> &failures) {
  while (!stop) {
    for (int axis = 0; axis < 4; ++axis) {
      int32_t value = 0;
      int16_t status = 0;
      uint8_t done = 0;
      if (rm720_get_cmdcounter(CARD, bit(axis), &value) != 0) ++failures;
      if (rm720_get_speed(CARD, bit(axis), &value) != 0) ++failures;
      if (rm720_get_mdi_status(CARD, bit(axis), &status) != 0) ++failures;
      if (rm720_get_error_status(CARD, bit(axis), &status) != 0) ++failures;
      if (rm720_get_int_status(CARD, bit(axis), &status) != 0) ++failures;
      if (rm720_motion_done(CARD, bit(axis), &done, &status) != 0) ++failures;
    }
  }
}

TEST(Stress, QueriesAndMovesOfManyThreadsOnOneCard) {
  AttachedLibrary library("[Machine]\nTimeScale=1000\n" + card_section(0, "A", CARD));
  ASSERT_EQ(rm720_open(CARD), 0);
  HANDLE events[4] = {};
  ASSERT_EQ(rm720_int_event_config(CARD, 1, events), 0);
  for (int axis = 0; axis < 4; ++axis) ASSERT_EQ(rm720_set_int_factor(CARD, bit(axis), 0x8000), 0);

  std::atomic<int> failures{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> queries;
  for (int i = 0; i < 2; ++i) queries.emplace_back(query_all_axes, std::cref(stop), std::ref(failures));
  std::vector<std::thread> movers;
  for (int axis = 0; axis < 4; ++axis)
    movers.emplace_back(move_axis, axis, std::ref(failures));
  for (auto &thread : movers) thread.join();
  stop = true;
  for (auto &thread : queries) thread.join();

  EXPECT_EQ(failures, 0);
  for (int axis = 0; axis < 4; ++axis) {
    int32_t counter = 0;
    ASSERT_EQ(rm720_get_cmdcounter(CARD, bit(axis), &counter), 0);
    const int32_t expected = (MOVES_PER_AXIS / 2) * (STEP * (axis + 1) - STEP);
    EXPECT_EQ(counter, expected) << "axis " << axis;
  }
}

}  // namespace
