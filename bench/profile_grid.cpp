// The profile grid of the physics test as a bench: every profile kind over
// four speed ranges, the jerk words 1 to 65,535, accelerations of no whole
// chip unit and short and long distances, end to end on the manual clock of
// a simulated model-A card. Prints the worst final-speed error (in chip
// speed steps, at the last pulse), the worst duration error against the
// ideal profile of the words the chip runs, and the wall-clock time.
#include <chrono>
#include <cmath>
#include <cstdio>

#include "card_options.h"
#include "dll_main.h"
#include "profile_grid.h"
#include "rm720.h"
#include "sim_native.h"

namespace {

constexpr const char *MACHINE = "[Machine]\nClock=manual\n[Card0]\nModel=A\nDipSwitch=0\n";

bool open_card() {
  if (SimMachineBoot(MACHINE) < 0) return false;
  if (!DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr)) return false;
  int16_t count = 0;
  return rm720_scan(&count, nullptr) == 0 && rm720_open(0) == 0;
}

void close_card() {
  rm720_close(0);
  DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
  SimMachineShutdown();
}

}  // namespace

int main() {
  SimMachineShutdown();  // a machine booted on a service's first call
  if (!open_card()) {
    std::fprintf(stderr, "the simulated card did not open\n");
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  const std::vector<GridOutcome> grid = run_profile_grid();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  close_card();

  const GridOutcome *worst_speed = nullptr, *worst_duration = nullptr, *worst_raw = nullptr;
  auto raw_error = [](const GridOutcome &o) {
    return o.ideal_seconds > 0 ? std::fabs(o.seconds - o.ideal_seconds) / o.ideal_seconds : 0.0;
  };
  int failed = 0;
  for (const GridOutcome &o : grid) {
    if (o.status != 0 || !o.ended || o.pulses != o.pulses_expected) ++failed;
    if (!worst_speed || final_speed_error_steps(o) > final_speed_error_steps(*worst_speed)) worst_speed = &o;
    if (!worst_duration || duration_error(o) > duration_error(*worst_duration)) worst_duration = &o;
    if (!worst_raw || raw_error(o) > raw_error(*worst_raw)) worst_raw = &o;
  }
  std::printf("profile grid: %zu moves, %d not ended on their last pulse, %.3f s wall clock\n",
              grid.size(), failed, wall);
  if (worst_speed)
    std::printf("worst final speed: %.3f speed steps (%.1f PPS at the last pulse, start speed %.1f): %s\n",
                final_speed_error_steps(*worst_speed), worst_speed->final_speed,
                worst_speed->end_speed, worst_speed->name.c_str());
  if (worst_duration)
    std::printf("worst duration: %.4f %% beyond the whole-pulse allowance (%.6f s, ideal %.6f s): %s\n",
                100 * duration_error(*worst_duration), worst_duration->seconds,
                worst_duration->ideal_seconds, worst_duration->name.c_str());
  if (worst_raw)
    std::printf("worst duration with the creep of a whole-pulse deceleration point: %.4f %% "
                "(%.6f s, ideal %.6f s): %s\n",
                100 * raw_error(*worst_raw), worst_raw->seconds, worst_raw->ideal_seconds,
                worst_raw->name.c_str());
  return failed == 0 ? 0 : 2;
}
