// How many simulated seconds one card's motion chip runs per wall-clock
// second with all four axes driving at the chip's highest output rate
// (range 16,000, drive speed word 8,000: 4,000,000 PPS). Each axis runs
// T-curve moves of 4,000,000 pulses back and forth; the host polls the main
// status and every command counter once per simulated millisecond, as a
// driver's wait loop would, and starts the next move of an idle axis.
// Target: at least 100 simulated seconds per second.
#include <benchmark/benchmark.h>

#include <array>

#include "card/chip_registers.h"
#include "card/clock.h"
#include "card/motion_chip.h"

namespace {

using namespace card;
using namespace card::chip;

constexpr unsigned kAllAxes = 0xF;
constexpr std::uint32_t kMovePulses = 4'000'000;
constexpr std::uint16_t kHighestSpeedWord = 8000;
constexpr std::uint16_t kAccelerationWord = 100;  // 6,250,000 PPS/s at M = 500
constexpr SimTime kPollPeriod = kNsPerMs;

void write_command(MotionChip& chip, unsigned mask, std::uint8_t code) {
  chip.write(kRegCommand, command_word(mask, code));
}

void write_data(MotionChip& chip, unsigned mask, std::uint8_t code, std::uint32_t value) {
  chip.write(kRegDataHigh, static_cast<std::uint16_t>(value >> 16));
  chip.write(kRegDataLow, static_cast<std::uint16_t>(value));
  write_command(chip, mask, code);
}

std::uint32_t read_counter(MotionChip& chip, int axis) {
  write_command(chip, 1u << axis, kCmdReadCmdCounter);
  const std::uint32_t low = chip.read(kRegDataLow);
  return low | (static_cast<std::uint32_t>(chip.read(kRegDataHigh)) << 16);
}

void BM_FourAxesAtHighestRate(benchmark::State& state) {
  ManualClock clock;
  MotionChip chip(clock, std::array<AxisMechanics, 4>{});
  write_data(chip, kAllAxes, kCmdRange, kMinRange);
  write_data(chip, kAllAxes, kCmdStartSpeed, kHighestSpeedWord / 8);
  write_data(chip, kAllAxes, kCmdDriveSpeed, kHighestSpeedWord);
  write_data(chip, kAllAxes, kCmdAcc, kAccelerationWord);
  write_data(chip, kAllAxes, kCmdPulses, kMovePulses);
  std::array<bool, 4> plus{true, true, true, true};
  std::uint64_t checksum = 0;
  for (auto _ : state) {
    const std::uint16_t main = chip.read(kRegCommand);
    for (int axis = 0; axis < 4; ++axis) {
      checksum += read_counter(chip, axis);
      if (main & (1u << axis)) continue;
      write_command(chip, 1u << axis, plus[axis] ? kCmdDrivePlus : kCmdDriveMinus);
      plus[axis] = !plus[axis];
    }
    clock.advance(kPollPeriod);
  }
  benchmark::DoNotOptimize(checksum);
  state.counters["simulated_seconds_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kPollPeriod / kNsPerSecond, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FourAxesAtHighestRate)->UseRealTime()->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
