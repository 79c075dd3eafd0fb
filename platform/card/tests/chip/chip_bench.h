// A motion chip on a manual clock, driven through its registers the way the
// driver does: data high, data low, command; select, then mode or status.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

#include "card/chip_registers.h"
#include "card/clock.h"
#include "card/motion_chip.h"

namespace card::chip::test {

constexpr unsigned kX = 1, kY = 2, kZ = 4, kU = 8;

class ChipBench {
 public:
  explicit ChipBench(const std::array<AxisMechanics, 4>& mechanics = {}) : chip(clock, mechanics) {
    chip.on_interrupt_change([this] {
      if (chip.interrupt_pending() && !interrupt_at) interrupt_at = clock.now();
    });
  }

  void command(unsigned mask, std::uint8_t code) { chip.write(kRegCommand, command_word(mask, code)); }
  void set16(unsigned mask, std::uint8_t code, std::uint16_t value) {
    chip.write(kRegDataLow, value);
    command(mask, code);
  }
  void set32(unsigned mask, std::uint8_t code, std::uint32_t value) {
    chip.write(kRegDataHigh, static_cast<std::uint16_t>(value >> 16));
    chip.write(kRegDataLow, static_cast<std::uint16_t>(value));
    command(mask, code);
  }
  std::uint32_t read32(unsigned mask, std::uint8_t code) {
    command(mask, code);
    const std::uint32_t low = chip.read(kRegDataLow);
    return low | (static_cast<std::uint32_t>(chip.read(kRegDataHigh)) << 16);
  }
  std::int32_t command_counter(unsigned mask) {
    return static_cast<std::int32_t>(read32(mask, kCmdReadCmdCounter));
  }
  std::uint16_t speed_word(unsigned mask) { return static_cast<std::uint16_t>(read32(mask, kCmdReadSpeed)); }
  void write_mode(unsigned mask, std::uint32_t reg, std::uint16_t value) {
    command(mask, kCmdSelect);
    chip.write(reg, value);
  }
  std::uint16_t status(unsigned mask, std::uint32_t reg) {
    command(mask, kCmdSelect);
    return chip.read(reg);
  }
  std::uint16_t main_status() { return chip.read(kRegCommand); }
  bool busy(unsigned mask) { return (main_status() & mask) != 0; }
  void ext_mode(unsigned mask, std::uint16_t word1, std::uint16_t word2) {
    set32(mask, kCmdExtMode, (static_cast<std::uint32_t>(word2) << 16) | word1);
  }

  // Profile registers of a drive, as the driver loads them.
  void load_speeds(unsigned mask, std::uint16_t start, std::uint16_t drive, std::uint16_t acc) {
    set16(mask, kCmdStartSpeed, start);
    set16(mask, kCmdDriveSpeed, drive);
    set16(mask, kCmdAcc, acc);
  }
  void enable_drive_end(unsigned mask) { write_mode(mask, kRegMode1, 0x8000); }
  void interp_mode(std::uint16_t mode) { chip.write(kRegInterpMode, mode); }
  void sync_mode(unsigned mask, std::uint16_t word1, std::uint16_t word2) {
    set32(mask, kCmdSyncMode, (static_cast<std::uint32_t>(word2) << 16) | word1);
  }
  // Where each axis is now (command counters X, Y, Z, U).
  std::array<std::int32_t, 4> counters() {
    return {command_counter(kX), command_counter(kY), command_counter(kZ), command_counter(kU)};
  }

  // Starts a drive and returns how long it ran until its drive-end factor.
  double drive_seconds(unsigned mask, std::uint8_t code, SimTime limit = 100 * kNsPerSecond) {
    enable_drive_end(mask);
    interrupt_at.reset();
    const SimTime start = clock.now();
    command(mask, code);
    clock.advance(limit);
    if (!interrupt_at) return -1;
    return static_cast<double>(*interrupt_at - start) / kNsPerSecond;
  }

  ManualClock clock;
  MotionChip chip;
  std::optional<SimTime> interrupt_at;  // first time the output rose
};

// Chip units at range 8,000,000 (M = 1): speed PPS = word, acceleration
// PPS/s = 125 x word, jerk PPS/s^2 = 62,500,000 / word.
constexpr std::uint32_t kRangeM1 = 8'000'000;

}  // namespace card::chip::test
