// Continuous interpolation at real time (time scale 1): the shortest segment
// time at which a path of 2,048 two-axis lines and arcs runs without a gap in
// every one of 100 runs, fed by the driver's segment table and by the
// application (next-ready, then the next segment), side by side.
//
//   conti_feed [runs] [segments] [time scale]
//
// Segment times are tried from the shortest up; a time fails at its first
// broken run. Prints one line per time tried and the two answers; with
// CONTI_FEED_VERBOSE set, also how each run ended.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "card_options.h"
#include "conti_soak.h"
#include "dll_main.h"
#include "model.h"
#include "sim_native.h"

namespace {

const double SEGMENT_MS[] = {0.05, 0.1, 0.2, 0.3, 0.5, 0.8, 1.2, 2, 3, 5, 8, 12, 20};

// Runs of one feed at one segment time until the first break; the count of
// gap-free runs.
int gap_free_runs(SoakFeed feed, double ms, int runs, int segments) {
  for (int k = 0; k < runs; ++k) {
    const SoakRun run{feed, SoakShape::Mixed2, ms, ms, static_cast<unsigned>(k + 1), segments,
                      false};
    const SoakResult result = run_soak(run);
    if (std::getenv("CONTI_FEED_VERBOSE"))
      std::fprintf(stderr, "%s: %s\n", describe(run).c_str(), result.failure.c_str());
    if (!result.passed()) return k;
  }
  return runs;
}

bool open_card(double scale) {
  const std::string machine = "[Machine]\nClock=scaled\nTimeScale=" + std::to_string(scale) +
                              "\n[Card0]\nModel=A\nDipSwitch=0\n";
  if (SimMachineBoot(machine.c_str()) < 0) return false;
  int16_t count = 0;
  return DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr) &&
         rm720_scan(&count, nullptr) == SUCCESS_NO_ERROR && rm720_open(0) == SUCCESS_NO_ERROR;
}

}  // namespace

int main(int argc, char **argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 100;
  const int segments = argc > 2 ? std::atoi(argv[2]) : 2048;
  const double scale = argc > 3 ? std::atof(argv[3]) : 1.0;
  if (runs < 1 || segments < 2 || scale <= 0 || !open_card(scale)) {
    std::fprintf(stderr, "usage: conti_feed [runs >= 1] [segments >= 2] [time scale > 0]\n");
    return 1;
  }
  std::printf("%d runs of %d segments at time scale %g\n", runs, segments, scale);
  std::printf("%12s %16s %16s\n", "segment ms", "table gap-free", "app gap-free");
  double shortest[2] = {0, 0};
  for (double ms : SEGMENT_MS) {
    std::string cells[2];
    for (int f = 0; f < 2; ++f) {
      if (shortest[f] != 0) continue;  // found at a shorter time
      const int passed = gap_free_runs(f == 0 ? SoakFeed::Table : SoakFeed::Application, ms,
                                       runs, segments);
      if (passed == runs) shortest[f] = ms;
      cells[f] = std::to_string(passed) + "/" + std::to_string(runs);
    }
    std::printf("%12.2f %16s %16s\n", ms, cells[0].c_str(), cells[1].c_str());
    std::fflush(stdout);
    if (shortest[0] != 0 && shortest[1] != 0) break;
  }
  std::printf("shortest gap-free segment time (ms): table %.2f   application %.2f\n",
              shortest[0], shortest[1]);
  rm720_close(0);
  card_options = CardOptions{};
  DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
  SimMachineShutdown();
  return 0;
}
