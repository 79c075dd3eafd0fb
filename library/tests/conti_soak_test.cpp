// Soak of continuous interpolation: paths of 2,048 segments of 0.2 to 20 ms,
// two- and three-axis lines and arcs, fed by the driver's table and by the
// application, on the manual clock and on scaled clocks. Each run must end
// every axis exactly on the path's last point, never fall below the path's
// speed between segments, and end at its start speed. On a scaled clock the
// host may stall the process longer than a segment lasts (no card can be
// fed then); such a run must report its break, never end as if complete,
// and a run without a break ends exactly, however busy the host.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "card_options.h"
#include "conti_soak.h"
#include "open_cards.h"

namespace {

constexpr int SEGMENTS = 2048;

struct Grid {
  const char *name;
  std::string clock;  // the machine's [Machine] keys
  std::vector<SoakRun> runs;
};

std::vector<SoakRun> every_shape_and_feed(double shortest, double longest, unsigned seeds,
                                          bool manual) {
  std::vector<SoakRun> runs;
  for (unsigned seed = 1; seed <= seeds; ++seed) {
    for (SoakFeed feed : {SoakFeed::Table, SoakFeed::Application}) {
      for (SoakShape shape : {SoakShape::Lines3, SoakShape::Mixed2, SoakShape::Mixed3})
        runs.push_back({feed, shape, shortest, longest, seed, SEGMENTS, manual});
    }
  }
  return runs;
}

void PrintTo(const Grid &grid, std::ostream *out) { *out << grid.name; }

class ContiSoak : public ::testing::TestWithParam<Grid> {};

TEST_P(ContiSoak, EveryRunEndsExactlyWithoutAGap) {
  const Grid &grid = GetParam();
  OpenCardZero card(grid.clock + card_section(0, "A", 0));
  int broken = 0;
  for (const SoakRun &run : grid.runs) {
    SCOPED_TRACE(describe(run));
    const SoakResult result = run_soak(run);
    if (run.manual_clock) {
      EXPECT_TRUE(result.passed()) << result.failure;
      continue;
    }
    // A break the host forced is reported and leaves the path short; a run
    // with no break ends exactly. How evenly the path ran, and where it
    // ends its deceleration, depend on how promptly the host ran the driver:
    // only the manual clock judges them.
    if (result.break_reported || !result.gap_free) {
      ++broken;
      std::printf("%s: %s\n", describe(run).c_str(), result.failure.c_str());
    }
    EXPECT_NE(result.exact_end, result.break_reported) << result.failure;
  }
  if (broken) std::printf("%s: %d of %zu runs broken off or slowed by host stalls\n", grid.name, broken,
                          grid.runs.size());
}

INSTANTIATE_TEST_SUITE_P(
    Grid, ContiSoak,
    ::testing::Values(
        Grid{"manual_short", "[Machine]\nClock=manual\n", every_shape_and_feed(0.2, 0.2, 2, true)},
        Grid{"manual_long", "[Machine]\nClock=manual\n", every_shape_and_feed(20, 20, 1, true)},
        Grid{"manual_mixed_a", "[Machine]\nClock=manual\n",
             every_shape_and_feed(0.2, 20, 2, true)},
        Grid{"manual_mixed_b", "[Machine]\nClock=manual\n",
             every_shape_and_feed(0.2, 2, 2, true)},
        Grid{"real_time", "[Machine]\nClock=scaled\nTimeScale=1\n",
             every_shape_and_feed(0.2, 2, 1, false)},
        Grid{"scaled", "[Machine]\nClock=scaled\nTimeScale=20\n",
             every_shape_and_feed(2, 20, 1, false)}),
    [](const ::testing::TestParamInfo<Grid> &info) { return std::string(info.param.name); });

}  // namespace
