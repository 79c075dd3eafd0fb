// A function on the simulated PCI bus, as the kernel's PCI bus driver sees it:
// configuration space, base-address registers, memory-mapped registers by
// physical address, and an interrupt line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace card {

enum class BarKind { None, Memory, Io };

struct BarInfo {
  BarKind kind = BarKind::None;
  std::uint64_t base = 0;    // physical (bus) address
  std::uint32_t length = 0;  // bytes
};

constexpr int kBarCount = 6;
constexpr int kRomIndex = 6;  // bar(kRomIndex) describes the expansion ROM

class PciFunction {
 public:
  virtual ~PciFunction() = default;

  // Plug and Play identity: "PCI\VEN_xxxx&DEV_yyyy" and a unique instance path.
  virtual std::string hardware_id() const = 0;
  virtual std::string instance_id() const = 0;

  // Configuration space (256 bytes, little-endian); reads past it return 0xFF.
  virtual void read_config(std::uint32_t offset, void* buffer, std::uint32_t length) const = 0;

  // Resources the bus assigns: BARs 0-5 and the expansion ROM (index 6). They
  // match the configuration space's BARs (type bits masked) unless the machine
  // description injects a mismatch.
  virtual BarInfo bar(int index) const = 0;
  virtual bool has_interrupt() const = 0;
  virtual std::uint32_t interrupt_vector() const = 0;

  // Register access by physical address; size is 1, 2 or 4 bytes. Returns
  // false when the access does not lie wholly inside one of the function's
  // memory BARs (the caller reports the stray access). A pulled card reads
  // all ones and drops writes.
  virtual bool mmio_read(std::uint64_t address, unsigned size, std::uint32_t* value) = 0;
  virtual bool mmio_write(std::uint64_t address, unsigned size, std::uint32_t value) = 0;

  // Level of the function's PCI interrupt line (INTA#).
  virtual bool interrupt_asserted() const = 0;
  // Called, with no card lock held and possibly from the clock's thread,
  // whenever interrupt_asserted() may have changed. One function at a time: a
  // new one replaces the old, an empty one disconnects. Once this returns, the
  // old function is not running and will not run (unless it is the caller).
  virtual void on_interrupt_change(std::function<void()> fn) = 0;

  // False once the card has been pulled from the slot (surprise removal).
  virtual bool present() const = 0;

  // The slot's power as the bus driver switches it for the function's device
  // power state: D0 on, D3 off. A function without power management of its
  // own loses its state when its power goes (a power-on reset); unpowered,
  // its registers read all ones, drop writes and its line stays low.
  virtual void set_powered(bool powered) { (void)powered; }
};

}  // namespace card
