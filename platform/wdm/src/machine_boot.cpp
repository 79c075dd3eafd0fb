// Booting and shutting down the simulated machine: its clock becomes the
// kernel's time, the kernel's threads start, and the Plug and Play manager
// enumerates the cards. One machine per process; it boots at the first use
// of a native service and is shut down at exit.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "kernel.h"
#include "sim_kernel.h"
#include "sim_native.h"

namespace {

std::recursive_mutex boot_lock;
bool booted = false;
bool exiting = false;
std::unique_ptr<card::Machine> the_machine;

void shutdown_at_exit() {
  SimMachineShutdown();
  exiting = true;
}

std::function<void(card::SimTime)> advance_of(card::Clock& clock) {
  if (auto* manual = dynamic_cast<card::ManualClock*>(&clock))
    return [manual](card::SimTime delta) { manual->advance(delta); };
  return {};
}

NTSTATUS start_kernel(const std::vector<card::PciFunction*>& functions, card::Clock* clock,
                      std::function<void(card::SimTime)> advance, const card::PlatformTraits& traits,
                      const std::vector<sim::BuiltinDriver>& builtins) {
  static bool exit_hook = false;
  if (!exit_hook) {
    std::atexit(shutdown_at_exit);  // runs before this library's statics are destroyed
    exit_hook = true;
  }
  kernel::log_reset();
  kernel::set_clock(clock, std::move(advance));
  kernel::set_timer_resolution(static_cast<card::SimTime>(traits.timer_resolution_ns));
  kernel::memory_start(traits.contiguous_memory_bytes, traits.user_mapping_fails);
  kernel::mmio_set_functions(functions);
  kernel::interrupts_start(traits.interrupt_connect_fails);
  kernel::dpc_start(traits.processors);
  kernel::worker_start();
  booted = true;
  kernel::pnp_enumerate(functions, builtins);
  return STATUS_SUCCESS;
}

NTSTATUS boot_machine(std::unique_ptr<card::Machine> machine) {
  the_machine = std::move(machine);
  card::Clock& clock = the_machine->clock();
  return start_kernel(the_machine->functions(), &clock, advance_of(clock), the_machine->traits(), {});
}

template <typename Make>
NTSTATUS boot_with(Make make) {
  std::lock_guard<std::recursive_mutex> lock(boot_lock);
  if (booted) return STATUS_DEVICE_ALREADY_ATTACHED;
  try {
    return boot_machine(make());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "wdm: the machine cannot boot: %s\n", error.what());
    return STATUS_INVALID_PARAMETER;
  }
}

bool idle_once() { return kernel::interrupts_idle() && kernel::dpc_idle() && kernel::worker_idle(); }

}  // namespace

namespace kernel {

bool ensure_booted() {
  std::lock_guard<std::recursive_mutex> lock(boot_lock);
  if (!booted && !exiting) SimMachineBoot(nullptr);
  return booted;
}

}  // namespace kernel

/* simulated firmware: power on */
SIM_STATUS SimMachineBoot(const char* description) {
  if (description) return boot_with([&] { return card::Machine::from_description(description); });
  return boot_with([] { return card::Machine::from_environment(); });
}

/* simulated firmware: power off */
void SimMachineShutdown(void) {
  std::lock_guard<std::recursive_mutex> lock(boot_lock);
  if (!booted) return;
  // The process's requests end and its files close, as when a process exits.
  kernel::files_cancel_all_requests();
  kernel::files_close_all();
  kernel::worker_drain();
  kernel::pnp_remove_all();
  kernel::interfaces_clear();
  kernel::dpc_stop();
  kernel::worker_stop();
  kernel::mmio_set_functions({});
  kernel::memory_stop();
  the_machine.reset();
  kernel::set_clock(nullptr, {});
  booted = false;
}

namespace sim {

NTSTATUS boot(const std::string& description) {
  return boot_with([&] { return card::Machine::from_description(description); });
}

NTSTATUS boot(const Parts& parts) {
  std::lock_guard<std::recursive_mutex> lock(boot_lock);
  if (booted) return STATUS_DEVICE_ALREADY_ATTACHED;
  if (!parts.clock) return STATUS_INVALID_PARAMETER;
  return start_kernel(parts.functions, parts.clock, parts.advance, parts.traits, parts.drivers);
}

void shutdown() { SimMachineShutdown(); }

card::Machine* machine() {
  std::lock_guard<std::recursive_mutex> lock(boot_lock);
  return the_machine.get();
}

void wait_idle() {
  // Two idle looks in a row: work of one part (an ISR) may start another's (a DPC).
  int idle_looks = 0;
  while (idle_looks < 2) {
    idle_looks = idle_once() ? idle_looks + 1 : 0;
    if (idle_looks < 2) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

std::size_t pending_irps(PDEVICE_OBJECT device) { return kernel::irps_pending_at(device); }

}  // namespace sim
