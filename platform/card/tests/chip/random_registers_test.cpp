// Whatever a program writes to the chip's registers, in whatever order, the
// model keeps running: seeded random sequences of data, commands, mode,
// output and interpolation words, reads, sensor changes and clock steps, with
// an interrupt service that acknowledges the factors as the driver does. Each
// sequence is bounded; afterwards a reset chip runs a plain drive exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "chip_bench.h"

namespace card::chip::test {
namespace {

constexpr unsigned kSequences = 200;
constexpr unsigned kOperationsPerSequence = 4000;
constexpr SimTime kMaxStepNs = 2 * kNsPerMs;

constexpr std::uint8_t kCodes[] = {
    kCmdRange, kCmdJerk, kCmdAcc, kCmdDec, kCmdStartSpeed, kCmdDriveSpeed, kCmdPulses,
    kCmdDecPoint, kCmdArcCenter, kCmdSetCmdCounter, kCmdSetEncCounter, kCmdCompPlus,
    kCmdCompMinus, kCmdAccOffset, kCmdDecJerk, kCmdSelect, kCmdReadCmdCounter,
    kCmdReadEncCounter, kCmdReadSpeed, kCmdReadAcc, kCmdReadLatch, kCmdDrivePlus,
    kCmdDriveMinus, kCmdContPlus, kCmdContMinus, kCmdDriveHold, kCmdDriveRelease,
    kCmdDecStop, kCmdSuddenStop, kCmdLine2, kCmdLine3, kCmdArcCw, kCmdArcCcw,
    kCmdInterpDecOn, kCmdInterpDecOff, kCmdExtMode, kCmdHomeSpeed, kCmdHomeStart,
    kCmdSyncMode};
constexpr std::uint32_t kRegisters[] = {kRegCommand, kRegMode1,       kRegMode2,    kRegMode3,
                                        kRegOutput,  kRegInterpMode, kRegDataLow, kRegDataHigh};

// Raw engine output only, so that a seed gives the same sequence everywhere.
class Dice {
 public:
  explicit Dice(unsigned seed) : engine_(seed) {}
  std::uint32_t below(std::uint32_t n) { return engine_() % n; }
  std::uint16_t word() { return static_cast<std::uint16_t>(engine_()); }
  // Mostly small values (speeds, counts, positions that a drive reaches),
  // sometimes any 16 bits.
  std::uint16_t data_word() { return below(4) ? static_cast<std::uint16_t>(below(2000)) : word(); }
  bool chance(std::uint32_t in) { return below(in) == 0; }

 private:
  std::mt19937 engine_;
};

class RandomSequence {
 public:
  explicit RandomSequence(unsigned seed) : dice_(seed) {
    bench_.chip.on_interrupt_change([this] { serve_interrupt(); });
  }

  void run() {
    for (unsigned i = 0; i < kOperationsPerSequence; ++i) operate();
  }
  ChipBench& bench() { return bench_; }

 private:
  // As the driver's interrupt service: read every axis's factors.
  void serve_interrupt() {
    if (serving_ || !bench_.chip.interrupt_pending()) return;
    serving_ = true;
    for (unsigned axis = 0; axis < 4; ++axis) bench_.status(1u << axis, kRegMode3);
    serving_ = false;
  }

  void operate() {
    ChipBench& b = bench_;
    switch (dice_.below(10)) {
      case 0:
      case 1:
      case 2:
        b.chip.write(dice_.chance(2) ? kRegDataLow : kRegDataHigh, dice_.data_word());
        break;
      case 3:
      case 4:
      case 5:
        b.chip.write(kRegCommand, dice_.chance(400) ? kCommandReset : command());
        break;
      case 6:
        b.chip.write(kRegisters[dice_.below(std::size(kRegisters))], dice_.word());
        break;
      case 7:
        b.chip.read(kRegisters[dice_.below(std::size(kRegisters))]);
        break;
      case 8:
        b.clock.advance(dice_.below(static_cast<std::uint32_t>(kMaxStepNs)));
        break;
      default:
        change_sensors();
        break;
    }
  }

  std::uint16_t command() {
    const std::uint8_t code =
        dice_.chance(20) ? static_cast<std::uint8_t>(dice_.word()) : kCodes[dice_.below(std::size(kCodes))];
    return command_word(dice_.below(16), code);
  }

  void change_sensors() {
    const int axis = static_cast<int>(dice_.below(4));
    AxisMechanics m = bench_.chip.mechanics(axis);
    switch (dice_.below(6)) {
      case 0: m.in3 = !m.in3; break;
      case 1: m.in_position = !m.in_position; break;
      case 2: m.alarm = !m.alarm; break;
      case 3: m.emergency_stop = !m.emergency_stop; break;
      case 4: m.hand_wheel += static_cast<std::int64_t>(dice_.below(41)) - 20; break;
      default:
        bench_.chip.compare_output(axis);
        bench_.chip.set_trigger_mask(dice_.below(16));
        return;
    }
    bench_.chip.set_mechanics(axis, m);
  }

  Dice dice_;
  ChipBench bench_;
  bool serving_ = false;
};

TEST(RandomRegisterSequences, NeverCrashOrHangAndLeaveAWorkingChip) {
  for (unsigned seed = 1; seed <= kSequences; ++seed) {
    SCOPED_TRACE(seed);
    RandomSequence sequence(seed);
    sequence.run();
    ChipBench& b = sequence.bench();
    b.chip.write(kRegCommand, kCommandReset);
    for (int axis = 0; axis < 4; ++axis) b.chip.set_mechanics(axis, AxisMechanics{});
    const std::int32_t start = b.command_counter(kX);  // a reset keeps the travel, not the counter
    b.set32(kX, kCmdRange, kRangeM1);
    b.load_speeds(kX, 1000, 1000, 1);
    b.set32(kX, kCmdPulses, 250);
    b.command(kX, kCmdDrivePlus);
    b.clock.advance(kNsPerSecond);
    EXPECT_FALSE(b.busy(kX));
    EXPECT_EQ(b.command_counter(kX) - start, 250);
  }
}

}  // namespace
}  // namespace card::chip::test
