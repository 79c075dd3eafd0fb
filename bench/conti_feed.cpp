// Continuous interpolation at real time (time scale 1): the shortest segment
// time at which a path of 2,048 two-axis lines and arcs runs without a gap in
// every one of 100 runs, fed by the driver's segment table and by the
// application (next-ready, then the next segment), side by side.
//
//   conti_feed [runs] [segments] [time scale]
//
// Segment times are tried from the shortest up; a time fails at its first
// broken run. A virtual machine's host may hold every thread of the process
// up for longer than a segment lasts (hundreds of milliseconds have been
// seen); no feed can be in time then, so a run that broke, and said so, while
// the host stalled that long is run again, and counted apart. Prints one line
// per time tried and the two answers; with CONTI_FEED_VERBOSE set, also how
// each run ended and the host's longest stall in it.
#include <sys/prctl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "card_options.h"
#include "conti_soak.h"
#include "dll_main.h"
#include "model.h"
#include "sim_native.h"

namespace {

const double SEGMENT_MS[] = {0.05, 0.1, 0.2, 0.3, 0.5, 0.8, 1.2, 2, 3, 5, 8, 12, 20};

// A thread of its own naps 200 us at a time and keeps the longest the host
// held it up past a nap's end: a stall of the host, seen from a thread that
// nothing in the machine holds up (it sees only the processor it runs on, so
// it may miss a stall of another).
class HostStallWatch {
 public:
  HostStallWatch() : thread_([this] { watch(); }) {}
  ~HostStallWatch() {
    stop_ = true;
    thread_.join();
  }
  void reset() { longest_ns_ = 0; }
  double longest_ms() const { return static_cast<double>(longest_ns_.load()) / 1e6; }

 private:
  void watch() {
    using Clock = std::chrono::steady_clock;
    prctl(PR_SET_TIMERSLACK, 1UL);
    while (!stop_) {
      const auto wake = Clock::now() + std::chrono::microseconds(200);
      std::this_thread::sleep_until(wake);
      const int64_t late = std::chrono::nanoseconds(Clock::now() - wake).count();
      int64_t longest = longest_ns_.load();
      while (late > longest && !longest_ns_.compare_exchange_weak(longest, late)) {
      }
    }
  }
  std::atomic<bool> stop_{false};
  std::atomic<int64_t> longest_ns_{0};
  std::thread thread_;  // last: it starts on the members above
};

struct Tally {
  int gap_free = 0;
  int stalled = 0;  // runs broken off by a stall of the host, run again
};

// Runs of one feed at one segment time until the first break; a run that
// broke off, reported it and met a host stall longer than a segment is run
// again (at most `runs` times in all).
Tally gap_free_runs(SoakFeed feed, double ms, int runs, int segments, HostStallWatch &host) {
  Tally tally;
  while (tally.gap_free < runs) {
    const SoakRun run{feed, SoakShape::Mixed2, ms, ms, static_cast<unsigned>(tally.gap_free + 1),
                      segments, false};
    host.reset();
    const SoakResult result = run_soak(run);
    if (std::getenv("CONTI_FEED_VERBOSE"))
      std::fprintf(stderr, "%s: %s; the host stalled up to %.1f ms\n", describe(run).c_str(),
                   result.failure.c_str(), host.longest_ms());
    if (result.passed()) {
      ++tally.gap_free;
      continue;
    }
    const bool reported_break = result.break_reported && !result.exact_end;
    if (!reported_break || host.longest_ms() < ms || tally.stalled == runs) break;
    ++tally.stalled;
  }
  return tally;
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
  std::printf("%12s %24s %24s\n", "segment ms", "table gap-free", "app gap-free");
  HostStallWatch host;
  double shortest[2] = {0, 0};
  for (double ms : SEGMENT_MS) {
    std::string cells[2];
    for (int f = 0; f < 2; ++f) {
      if (shortest[f] != 0) continue;  // found at a shorter time
      const Tally tally = gap_free_runs(f == 0 ? SoakFeed::Table : SoakFeed::Application, ms,
                                        runs, segments, host);
      if (tally.gap_free == runs) shortest[f] = ms;
      cells[f] = std::to_string(tally.gap_free) + "/" + std::to_string(runs);
      if (tally.stalled) cells[f] += " (" + std::to_string(tally.stalled) + " stalled)";
    }
    std::printf("%12.2f %24s %24s\n", ms, cells[0].c_str(), cells[1].c_str());
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
