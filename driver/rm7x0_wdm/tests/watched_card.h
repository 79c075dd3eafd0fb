// A model card seen through a test's eyes: every access goes to the card as
// it is, and a test's hook sees each register write first (to record it, or
// to let the card's time pass just before it).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "card/card.h"

namespace driver_test {

class WatchedCard : public card::PciFunction {
 public:
  explicit WatchedCard(card::Card& card) : card_(card) {}
  card::Card& card() { return card_; }

  std::string hardware_id() const override { return card_.hardware_id(); }
  std::string instance_id() const override { return card_.instance_id(); }
  void read_config(std::uint32_t offset, void* buffer, std::uint32_t length) const override {
    card_.read_config(offset, buffer, length);
  }
  card::BarInfo bar(int index) const override { return card_.bar(index); }
  bool has_interrupt() const override { return card_.has_interrupt(); }
  std::uint32_t interrupt_vector() const override { return card_.interrupt_vector(); }
  bool mmio_read(std::uint64_t address, unsigned size, std::uint32_t* value) override {
    return card_.mmio_read(address, size, value);
  }
  bool mmio_write(std::uint64_t address, unsigned size, std::uint32_t value) override {
    before_write(address, size, value);
    return card_.mmio_write(address, size, value);
  }
  bool interrupt_asserted() const override { return card_.interrupt_asserted(); }
  void on_interrupt_change(std::function<void()> fn) override { card_.on_interrupt_change(std::move(fn)); }
  bool present() const override { return card_.present(); }
  void set_powered(bool powered) override { card_.set_powered(powered); }

 protected:
  virtual void before_write(std::uint64_t address, unsigned size, std::uint32_t value) = 0;

 private:
  card::Card& card_;
};

}  // namespace driver_test
