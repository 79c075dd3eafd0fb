// The simulated kernel as tests and tools see it: boot a machine, look at the
// device stacks the Plug and Play manager built, send Plug and Play and power
// requests to a card, read what drivers printed, logged and stored, and wait
// until the machine has nothing left to do. Nothing here is a Windows API.
#pragma once

#include <wdm.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "card/clock.h"
#include "card/machine.h"
#include "card/pci.h"

namespace sim {

// ---------------------------------------------------------------- booting

// Boots the machine of a description text (empty: the embedded default;
// [Machine] Clock=manual gives a manual clock) and loads the drivers of its
// cards. STATUS_DEVICE_ALREADY_ATTACHED when a machine runs,
// STATUS_INVALID_PARAMETER for a bad description (the reason on stderr).
NTSTATUS boot(const std::string& description);
// Removes every card (drivers see their remove requests), unloads the drivers
// and destroys the machine. Open files are closed first, after their pending
// requests were cancelled as at the end of a process.
void shutdown();
// The booted machine, or nullptr.
card::Machine* machine();

// A driver compiled into a test program, in place of a module found by the
// INF files: serves the cards whose hardware ID matches.
struct BuiltinDriver {
  std::string hardware_id;  // "PCI\VEN_7A72&DEV_0720"
  std::string name;         // module name, e.g. "fake"
  PDRIVER_INITIALIZE entry;
};

// A kernel on parts a test provides: its own PCI functions, clock and traits,
// and built-in drivers (no INF lookup when the list is not empty). The parts
// must outlive the shutdown.
struct Parts {
  std::vector<card::PciFunction*> functions;
  card::Clock* clock = nullptr;
  // Moves a clock that does not run by itself (KeDelayExecutionThread uses it).
  std::function<void(card::SimTime)> advance;
  card::PlatformTraits traits;
  std::vector<BuiltinDriver> drivers;
};
NTSTATUS boot(const Parts& parts);

// --------------------------------------------------------- devices of cards

struct CardDevices {
  card::PciFunction* function = nullptr;
  PDEVICE_OBJECT pdo = nullptr;  // the bus driver's device object
  PDEVICE_OBJECT fdo = nullptr;  // top of the stack above it; nullptr when none
  std::string instance_path;     // "PCI\VEN_7A72&DEV_0720\<instance>"
  bool started = false;          // the last start request succeeded
};
// One entry per card, in slot order.
std::vector<CardDevices> devices();

enum class Pnp {
  Start,            // AddDevice again first when the card has no stack
  QueryStop,
  CancelStop,
  Stop,             // only after a successful QueryStop (else a verifier failure)
  QueryRemove,      // vetoed (STATUS_DEVICE_BUSY, nothing sent) while a file on the card is open
  CancelRemove,
  SurpriseRemoval,  // the card's interfaces are no longer enumerated
  Remove,           // the stack is torn down; on a present card only after a successful
                    // QueryRemove; after a surprise removal with files open: STATUS_PENDING,
                    // and the remove follows the last file's close
  QueryRemovalRelations,
};
// Sends one Plug and Play request to the top of a card's stack, in the System
// process as the Plug and Play manager does, and answers its final status
// (STATUS_NO_SUCH_DEVICE for an unknown card or a card without a stack).
NTSTATUS send_pnp(std::size_t card, Pnp request);

// Power requests to a card's stack: set or query of a device or system state.
// The bus driver switches the card's power with its device state: in D3 the
// card loses its state.
NTSTATUS set_device_power(std::size_t card, DEVICE_POWER_STATE state);
NTSTATUS query_device_power(std::size_t card, DEVICE_POWER_STATE state);
NTSTATUS set_system_power(std::size_t card, SYSTEM_POWER_STATE state);
NTSTATUS query_system_power(std::size_t card, SYSTEM_POWER_STATE state);
// The device power state the card's function driver last reported with
// PoSetPowerState (PowerDeviceUnspecified when none).
DEVICE_POWER_STATE reported_power_state(std::size_t card);

// ------------------------------------------------ what drivers left behind

// Text printed with DbgPrint since boot or the last clear.
std::string debug_text();
void clear_debug_text();
// Error codes of the entries written with IoWriteErrorLogEntry, in order.
std::vector<NTSTATUS> error_log();
void clear_error_log();
// A value of a card's device (hardware) key. False when there is none.
bool device_value(std::size_t card, const std::string& name, ULONG* type,
                  std::vector<std::uint8_t>* data);

// -------------------------------------------------------------- processes

// While one lives, the calling thread runs in a second user process, as a
// program that inherited the first one's handles (same values, same
// objects) or was given duplicates of them.
class InSecondProcess {
 public:
  InSecondProcess();
  ~InSecondProcess();
  InSecondProcess(const InSecondProcess&) = delete;
  InSecondProcess& operator=(const InSecondProcess&) = delete;

 private:
  PEPROCESS previous_;
};

// ------------------------------------------------------------------ timing

// Returns once no interrupt waits for service, the DPC queue is empty, no DPC
// runs and the kernel's worker is idle.
void wait_idle();
// Requests sent to the device and not yet completed.
std::size_t pending_irps(PDEVICE_OBJECT device);
// Threads blocked in a kernel wait (KeWaitFor..., a delay on a running clock).
std::size_t waiting_threads();
// While held, the kernel's worker starts no queued item (power requests that
// drivers ask for, relation queries...): an injected stall. Release it before
// wait_idle.
void hold_worker(bool held);

}  // namespace sim
