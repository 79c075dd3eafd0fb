// A machine of 16 cards (eight of each model), every axis running T-curve
// moves back and forth, and the host polling each axis once every
// simulated millisecond, at time scales 1, 10 and 100. For each scale it
// prints how late the card clock's timers fired and how far the clock so fell
// behind the wall clock (the simulated machine falling behind its own time),
// how late the host's polling rounds ran, and the CPU used. Target: at time
// scale 10 the machine keeps up with no lag. Before the scales it prints the
// host's own floor under that lag: how late a bare thread's short sleeps
// end, which the clock's timer thread meets as well.
//
// Each scale runs in a process of its own (the machine boots at the first call
// of a library), started from this program with the machine file in
// $RM7X0_MACHINE and the scale in $RM7X0_TIME_SCALE.
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "machine_probe.h"
#include "rm720.h"
#include "rm730.h"

namespace {

constexpr int kCardsPerModel = 8;
constexpr int kHostThreads = 1;  // as the test program: one thread polls every card
constexpr double kWallSeconds = 2.0;
constexpr uint64_t kTickNs = 1000000;  // one simulated millisecond
constexpr int32_t kStroke = 20000;     // pulses each way

std::string machine_file() {
  std::string text = "[Machine]\nClock=scaled\n";
  for (int slot = 0; slot < 2 * kCardsPerModel; ++slot) {
    const bool model_a = slot < kCardsPerModel;
    text += "[Card" + std::to_string(slot) + "]\nModel=" + (model_a ? "A" : "B") +
            "\nDipSwitch=" + std::to_string(slot % kCardsPerModel) + "\n";
  }
  return text;
}

struct Axis {
  bool model_a;
  uint8_t card;
  uint16_t bit;
  int32_t next_stroke;
};

ApiStatus poll_done(const Axis &axis, uint8_t *done) {
  int16_t state = 0;
  return axis.model_a ? rm720_motion_done(axis.card, axis.bit, done, &state)
                      : rm730_motion_done(axis.card, axis.bit, done, &state);
}

ApiStatus start_stroke(Axis &axis) {
  const ApiStatus status =
      axis.model_a
          ? rm720_t_move(axis.card, axis.bit, 1000, 200000, 2000000, 2000000, axis.next_stroke, 0)
          : rm730_t_move(axis.card, axis.bit, 1000, 200000, 2000000, 2000000, axis.next_stroke, 0);
  axis.next_stroke = -axis.next_stroke;
  return status;
}

struct HostFigures {
  uint64_t planned = 0, rounds = 0, late_rounds = 0, worst_late_ns = 0, strokes = 0, failures = 0;
  double cpu_seconds = 0;
};

double thread_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One host thread: its axes polled once per simulated millisecond; an axis
// found done starts its next stroke. A round that starts more than a tick
// after its time is late.
HostFigures host_loop(std::vector<Axis> axes, double scale, uint64_t end_ns) {
  prctl(PR_SET_TIMERSLACK, 1UL);
  HostFigures figures;
  const auto wall_start = std::chrono::steady_clock::now();
  const uint64_t sim_start = machine_now_ns();
  for (Axis &axis : axes) figures.failures += start_stroke(axis) != SUCCESS_NO_ERROR;
  figures.planned = (end_ns - sim_start) / kTickNs;
  for (uint64_t round = 1;; ++round) {
    const uint64_t due = sim_start + round * kTickNs;
    if (due >= end_ns) break;
    std::this_thread::sleep_until(
        wall_start + std::chrono::nanoseconds(static_cast<int64_t>(
                         static_cast<double>(round * kTickNs) / scale)));
    const uint64_t now = machine_now_ns();
    if (now >= end_ns) break;  // a host that fell behind runs out of time
    const uint64_t late = now > due ? now - due : 0;
    ++figures.rounds;
    if (late > kTickNs) ++figures.late_rounds;
    figures.worst_late_ns = std::max(figures.worst_late_ns, late);
    for (Axis &axis : axes) {
      uint8_t done = 0;
      if (poll_done(axis, &done) != SUCCESS_NO_ERROR) ++figures.failures;
      if (done != 1) continue;
      figures.failures += start_stroke(axis) != SUCCESS_NO_ERROR;
      ++figures.strokes;
    }
  }
  figures.cpu_seconds = thread_cpu_seconds();
  return figures;
}

int run_one_scale() {
  const double scale = std::atof(std::getenv("RM7X0_TIME_SCALE"));
  if (rm720_open_all() != SUCCESS_NO_ERROR || rm730_open_all() != SUCCESS_NO_ERROR) {
    std::fprintf(stderr, "cannot open the cards\n");
    return 1;
  }
  std::vector<std::vector<Axis>> shares(kHostThreads);
  int n = 0;
  for (int model = 0; model < 2; ++model)
    for (int card = 0; card < kCardsPerModel; ++card)
      for (int axis = 0; axis < 4; ++axis)
        shares[n++ % kHostThreads].push_back(
            {model == 0, static_cast<uint8_t>(card), static_cast<uint16_t>(1u << axis), kStroke});

  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const auto wall_start = std::chrono::steady_clock::now();
  const uint64_t end_ns = machine_now_ns() + static_cast<uint64_t>(kWallSeconds * scale * 1e9);
  std::vector<HostFigures> results(kHostThreads);
  std::vector<std::thread> hosts;
  for (int i = 0; i < kHostThreads; ++i)
    hosts.emplace_back([&, i] { results[i] = host_loop(shares[i], scale, end_ns); });
  for (std::thread &host : hosts) host.join();
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  const MachineTimerLateness clock = machine_timer_lateness();
  rm720_close_all();
  rm730_close_all();

  HostFigures sum;
  for (const HostFigures &r : results) {
    sum.planned += r.planned;
    sum.rounds += r.rounds;
    sum.late_rounds += r.late_rounds;
    sum.worst_late_ns = std::max(sum.worst_late_ns, r.worst_late_ns);
    sum.strokes += r.strokes;
    sum.failures += r.failures;
    sum.cpu_seconds += r.cpu_seconds;
  }
  auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  const double cpu = seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
                     seconds(before.ru_stime);
  std::printf(
      "time scale %5.0f: clock timers %8llu, late by %7.1f us mean, %8.1f us worst (simulated); "
      "the clock fell %.2f ms behind\n"
      "                  host rounds %llu of %llu, %llu late by more than a tick, worst %.2f ms "
      "(simulated); %llu strokes, %llu failed calls\n"
      "                  %.2f s of real time for %.1f planned; CPU %.2f cores (host threads "
      "%.2f, machine %.2f)\n",
      scale, static_cast<unsigned long long>(clock.fired), clock.mean_ns / 1000.0,
      static_cast<double>(clock.worst_ns) / 1000.0, static_cast<double>(clock.behind_ns) / 1e6,
      static_cast<unsigned long long>(sum.rounds),
      static_cast<unsigned long long>(sum.planned),
      static_cast<unsigned long long>(sum.late_rounds),
      static_cast<double>(sum.worst_late_ns) / 1e6, static_cast<unsigned long long>(sum.strokes),
      static_cast<unsigned long long>(sum.failures), wall, kWallSeconds, cpu / wall,
      sum.cpu_seconds / wall, (cpu - sum.cpu_seconds) / wall);
  return sum.failures == 0 ? 0 : 1;
}

// A bare thread sleeping as the clock's timer thread does at time scale 10
// (a timer about every 100 us of real time): the sleeps that ended more than
// 100 us late, and how late they ended in all.
void print_host_floor() {
  using Clock = std::chrono::steady_clock;
  constexpr int kSleeps = 20000;
  constexpr auto kNap = std::chrono::microseconds(100);
  prctl(PR_SET_TIMERSLACK, 1UL);
  int held_up = 0;
  Clock::duration late_in_all{};
  for (int i = 0; i < kSleeps; ++i) {
    const auto wake = Clock::now() + kNap;
    std::this_thread::sleep_until(wake);
    const auto late = Clock::now() - wake;
    if (late <= kNap) continue;
    ++held_up;
    late_in_all += late;
  }
  std::printf("the host alone, %d sleeps of 100 us: %d ended more than 100 us late, %.2f ms late in all "
              "(%.1f ms of simulated time at time scale 10)\n",
              kSleeps, held_up, std::chrono::duration<double, std::milli>(late_in_all).count(),
              10 * std::chrono::duration<double, std::milli>(late_in_all).count());
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && std::string(argv[1]) == "--one-scale") return run_one_scale();
  const std::string path = "/tmp/machine_scale_" + std::to_string(getpid()) + ".ini";
  std::ofstream(path) << machine_file();
  print_host_floor();
  int worst = 0;
  for (const char *scale : {"1", "10", "100"}) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
      setenv("RM7X0_MACHINE", path.c_str(), 1);
      setenv("RM7X0_TIME_SCALE", scale, 1);
      execl("/proc/self/exe", argv[0], "--one-scale", static_cast<char *>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) worst = 1;
  }
  std::remove(path.c_str());
  return worst;
}
