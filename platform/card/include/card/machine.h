// The simulated machine: the PCI bus with its cards and what the machine
// description says of the platform around them. One machine per process; the
// kernel stand-in boots it, tests may boot their own.
//
// The description is an INI text (the format is documented in
// docs/machine-file.md). Without one, the embedded default is used: a model-A
// card with DIP-switch ID 0 and a model-B card with ID 1.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "card/clock.h"
#include "card/pci.h"

namespace card {

// Limits and faults of the platform that the kernel stand-in applies.
struct PlatformTraits {
  // Largest physically contiguous allocation below 128 MB that succeeds, in bytes.
  std::uint32_t contiguous_memory_bytes = 64 * 1024;
  // IoConnectInterrupt fails for every card (a bench fault).
  bool interrupt_connect_fails = false;
  // Period of the system clock's tick, in ns: a kernel timer expires at the
  // first tick at or after its due time.
  std::uint64_t timer_resolution_ns = 100 * 1000;
  // Every user-mode mapping of locked pages fails (and so raises).
  bool user_mapping_fails = false;
  // Processors that run DPCs (and so one device's DPCs) at the same time.
  unsigned processors = 2;
};

class Card;  // the model of one card (bridge, CPLD, motion chip, remote-I/O bus)
struct MachineDescription;

class Machine {
 public:
  // Builds the machine from a description text; an empty text gives the
  // embedded default. Throws std::invalid_argument naming the bad line.
  static std::unique_ptr<Machine> from_description(const std::string& text);
  // The description named by $RM7X0_MACHINE (a file path), else the default.
  // Throws std::invalid_argument (naming the file and line) for a bad text
  // and std::runtime_error for a file that cannot be read.
  static std::unique_ptr<Machine> from_environment();
  // Builds the machine from a description already read.
  static std::unique_ptr<Machine> build(const MachineDescription& description);

  // Tears the cards down in reverse slot order, then the clock.
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // A manual clock when the description asks for one ([Machine] Clock=manual),
  // else a scaled clock running at TimeScale (default $RM7X0_TIME_SCALE, else
  // 1) times real time.
  Clock& clock();
  const PlatformTraits& traits() const;

  // Cards in slot order, as the bus enumerates them.
  std::vector<PciFunction*> functions();
  std::vector<Card*> cards();

 private:
  Machine();
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace card
