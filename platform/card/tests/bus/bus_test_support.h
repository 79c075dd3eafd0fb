// Helpers of the board tests: a machine on a manual clock and register access
// by window offset, the way the driver reaches a card through its BARs.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "card/card.h"
#include "card/machine.h"

namespace card::test {

// A machine on a manual clock with the given [CardN] sections.
inline std::unique_ptr<Machine> manual_machine(const std::string& cards) {
  return Machine::from_description("[Machine]\nClock=manual\n" + cards);
}

inline std::unique_ptr<Machine> one_card(const std::string& keys = "") {
  return manual_machine("[Card0]\n" + keys);
}

inline std::uint32_t read(Card& card, int bar, std::uint32_t offset, unsigned size) {
  std::uint32_t value = 0xDEADBEEF;
  EXPECT_TRUE(card.mmio_read(card.bar(bar).base + offset, size, &value))
      << "BAR" << bar << " + 0x" << std::hex << offset;
  return value;
}

inline void write(Card& card, int bar, std::uint32_t offset, unsigned size, std::uint32_t value) {
  EXPECT_TRUE(card.mmio_write(card.bar(bar).base + offset, size, value))
      << "BAR" << bar << " + 0x" << std::hex << offset;
}

// The two windows the driver uses.
inline std::uint32_t intcsr(Card& card) { return read(card, 0, 0x4C, 4); }
inline void set_intcsr(Card& card, std::uint32_t value) { write(card, 0, 0x4C, 4, value); }
inline std::uint16_t reg16(Card& card, std::uint32_t offset) {
  return static_cast<std::uint16_t>(read(card, 2, offset, 2));
}
inline void set_reg16(Card& card, std::uint32_t offset, std::uint16_t value) {
  write(card, 2, offset, 2, value);
}

}  // namespace card::test
