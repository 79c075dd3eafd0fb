// A tiny PCI function for the kernel's own tests: a 256-byte register window
// at BAR 0, an I/O range at BAR 1, and an interrupt line the test raises and
// the driver acknowledges by writing the ACK register.
#pragma once

#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>

#include "card/pci.h"

namespace fake {

constexpr std::uint64_t kBar0 = 0xFEB00000;
constexpr std::uint32_t kBar0Length = 0x100;
constexpr std::uint64_t kBar1 = 0xE000;
constexpr std::uint32_t kRegAck = 0x00;   // write: lowers the interrupt line
constexpr std::uint32_t kRegData = 0x04;  // plain read/write register
constexpr std::uint32_t kLine = 11;

class Function final : public card::PciFunction {
 public:
  explicit Function(int slot = 0) : slot_(slot) {
    config_.fill(0);
    const std::uint16_t vendor = 0x7A72, device = 0x07F0;
    std::memcpy(&config_[0], &vendor, 2);
    std::memcpy(&config_[2], &device, 2);
    const std::uint32_t bar0 = static_cast<std::uint32_t>(kBar0), bar1 = static_cast<std::uint32_t>(kBar1) | 1;
    std::memcpy(&config_[0x10], &bar0, 4);
    std::memcpy(&config_[0x14], &bar1, 4);
    config_[0x3C] = kLine;
    config_[0x3D] = 1;
  }

  std::string hardware_id() const override { return "PCI\\VEN_7A72&DEV_07F0"; }
  std::string instance_id() const override { return "4&FA4E&0&0" + std::to_string(slot_); }
  void read_config(std::uint32_t offset, void* buffer, std::uint32_t length) const override {
    auto* out = static_cast<std::uint8_t*>(buffer);
    for (std::uint32_t i = 0; i < length; ++i) out[i] = offset + i < config_.size() ? config_[offset + i] : 0xFF;
  }
  card::BarInfo bar(int index) const override {
    if (index == 0) return {card::BarKind::Memory, kBar0, kBar0Length};
    if (index == 1) return {card::BarKind::Io, kBar1, 0x20};
    return {};
  }
  bool has_interrupt() const override { return true; }
  std::uint32_t interrupt_vector() const override { return kLine; }

  bool mmio_read(std::uint64_t address, unsigned size, std::uint32_t* value) override {
    if (address < kBar0 || address + size > kBar0 + kBar0Length) return false;
    std::lock_guard<std::mutex> lock(lock_);
    *value = 0;
    std::memcpy(value, &registers_[address - kBar0], size);
    ++accesses;
    return true;
  }
  bool mmio_write(std::uint64_t address, unsigned size, std::uint32_t value) override {
    if (address < kBar0 || address + size > kBar0 + kBar0Length) return false;
    {
      std::lock_guard<std::mutex> lock(lock_);
      std::memcpy(&registers_[address - kBar0], &value, size);
      ++accesses;
    }
    if (address == kBar0 + kRegAck) set_line(false);
    return true;
  }

  bool interrupt_asserted() const override { return line_; }
  void on_interrupt_change(std::function<void()> fn) override {
    std::lock_guard<std::mutex> lock(lock_);
    notify_ = std::move(fn);
  }
  bool present() const override { return true; }

  void set_line(bool asserted) {
    line_ = asserted;
    std::function<void()> notify;
    {
      std::lock_guard<std::mutex> lock(lock_);
      notify = notify_;
    }
    if (notify) notify();
  }
  std::uint32_t reg(std::uint32_t offset) {
    std::lock_guard<std::mutex> lock(lock_);
    std::uint32_t value;
    std::memcpy(&value, &registers_[offset], 4);
    return value;
  }

  std::atomic<int> accesses{0};

 private:
  int slot_;
  std::array<std::uint8_t, 256> config_{};
  std::array<std::uint8_t, kBar0Length> registers_{};
  std::atomic<bool> line_{false};
  mutable std::mutex lock_;
  std::function<void()> notify_;
};

}  // namespace fake
