// The simulated kernel's own interfaces between its subsystems. Each block
// names the file that implements it.
#pragma once

#include <wdm.h>

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "card/brief_lock.h"
#include "card/clock.h"
#include "card/machine.h"
#include "card/pci.h"

namespace kernel {

// The kernel's own bookkeeping (IRPs, handles) is held for a few lookups at a
// time on every request.
using card::BriefLock;

// ------------------------------------------------------------ verifier.cpp
// Ends the process with "wdm verifier: <rule>: <details>" on stderr.
[[noreturn]] void verifier_fail(const char* rule, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// A raised kernel exception that reached the kernel: a bugcheck on Windows.
[[noreturn]] void fail_unhandled_raise(const KERNEL_EXCEPTION& raised, const char* where);
void require_irql_at_most(KIRQL highest, const char* routine);
void require_irql_at_least(KIRQL lowest, const char* routine);

// --------------------------------------------------------------- irql.cpp
// Raise or lower without the checks KeRaiseIrql/KeLowerIrql make, for the
// kernel's own threads (interrupt, DPC).
void set_irql(KIRQL irql);
// Marks that the calling thread raised an interrupt it could not take at its
// IRQL: interrupts_take_pending runs once its IRQL falls to PASSIVE_LEVEL.
void set_interrupt_pending(bool pending);
int& spin_locks_held();
// Process context: threads of the program run in the user process, the
// kernel's own threads (DPC, interrupt, worker) in the System process.
PEPROCESS the_system_process();
const char* process_name(PEPROCESS process);
// For a kernel thread, at its start.
void become_system_thread();
// The calling thread runs in the System process while the guard lives, as
// the Plug and Play and power managers' requests do.
class SystemContext {
 public:
  SystemContext();
  ~SystemContext();
  SystemContext(const SystemContext&) = delete;
  SystemContext& operator=(const SystemContext&) = delete;

 private:
  PEPROCESS previous_;
};

// ----------------------------------------------------------- spin_lock.cpp
void spin_acquire(PKSPIN_LOCK lock);
void spin_release(PKSPIN_LOCK lock);
bool spin_held_by_caller(PKSPIN_LOCK lock);

// -------------------------------------------------------- kernel_time.cpp
// The machine's clock as the kernel's time base, set at boot.
void set_clock(card::Clock* clock, std::function<void(card::SimTime)> advance);
card::Clock* clock();
// Interrupt time in 100-ns units.
ULONGLONG interrupt_time();
// Converts a kernel due time (negative relative, positive absolute system
// time, 100-ns units) to the clock's time.
card::SimTime due_to_clock(LONGLONG due);
// The system clock's tick (ns, set at boot); a kernel timer due at `at`
// expires at the first tick at or after it.
void set_timer_resolution(card::SimTime tick);
card::SimTime timer_expiry(card::SimTime at);
// Advances a manual clock; false for a clock that runs by itself.
bool advance_manual_clock(card::SimTime delta);

// -------------------------------------------------------- dispatcher.cpp
// Waits on dispatcher objects with the machine's clock for timeouts.
NTSTATUS wait_for_objects(ULONG count, PVOID objects[], WAIT_TYPE type, PLARGE_INTEGER timeout);
// Marks a dispatcher object signalled and wakes its waiters.
void signal_object(DISPATCHER_HEADER* header);
void set_signal_state(DISPATCHER_HEADER* header, LONG state);

// -------------------------------------------------------------- dpc.cpp
// One DPC thread per simulated processor.
void dpc_start(unsigned processor_count);
// While one lives, DPCs queued on this thread wait for it rather than wake a
// processor; its end runs the queue here at DISPATCH_LEVEL (as a processor
// does when its IRQL falls below it), as long as fewer DPCs run than the
// machine has processors, and wakes the processors for what is left.
class DpcsRunHere {
 public:
  DpcsRunHere();
  ~DpcsRunHere();
  DpcsRunHere(const DpcsRunHere&) = delete;
  DpcsRunHere& operator=(const DpcsRunHere&) = delete;
};
void dpc_stop();
bool dpc_idle();
// Fatal when a queued DPC lies inside [begin, end) (memory being freed).
// Neither queued nor running.
void dpc_check_none_queued_in(const void* begin, std::size_t length, const char* what);

// ------------------------------------------------------------ timer.cpp
void timer_check_none_set_in(const void* begin, std::size_t length, const char* what);
void timers_cancel_all();

// -------------------------------------------------------- interrupt.cpp
// Registers a PCI function's interrupt line under its translated vector.
void interrupt_register_source(ULONG vector, card::PciFunction* function);
void interrupts_start(bool connect_fails);
void interrupts_stop();
bool interrupts_idle();
// Called as the thread's IRQL falls to PASSIVE_LEVEL with an interrupt it
// raised still to take (see interrupt_pending).
void interrupts_take_pending();
// No connected interrupt object has its service context in the span.
void interrupts_check_none_connected_for(const void* begin, std::size_t length, const char* what);
ULONG translated_vector(card::PciFunction& function);
KIRQL translated_level(card::PciFunction& function);

// ------------------------------------------------------------- pool.cpp
void* pool_allocate(SIZE_T bytes, ULONG tag);
void pool_free(void* p);

// -------------------------------------------------- driver_resources.cpp
enum class Resource { Pool, ContiguousMemory, Mdl, RegisterWindow, Timer };
// caller: the address the exported routine returns to, in the driver's code.
void resource_acquired(Resource kind, const void* resource, const void* caller);
void resource_released(Resource kind, const void* resource);
// At a driver's unload: a verifier failure when its module still holds any.
void check_driver_released_all(PDRIVER_OBJECT driver, const char* name);

// ----------------------------------------------------------- memory.cpp
void memory_start(std::uint32_t contiguous_limit, bool user_mapping_fails);
void memory_stop();
// Physical address of a contiguous-memory or register-window address; false
// for other memory.
bool physical_address_of(const void* va, std::uint64_t* pa);

// ------------------------------------------------------------- mmio.cpp
void mmio_set_functions(std::vector<card::PciFunction*> functions);
bool mmio_window_physical(const void* va, std::uint64_t* pa);

// --------------------------------------------------- object_manager.cpp
struct ObjectType {
  const char* name;
  // Runs when the last reference goes; must end with free_object(body).
  void (*last_reference)(void* body);
  // Runs when a handle to the object is closed (before its reference goes).
  void (*handle_closed)(void* body);
};
}  // namespace kernel
struct _OBJECT_TYPE : kernel::ObjectType {};
namespace kernel {
void* create_object(POBJECT_TYPE type, std::size_t body_size);
void free_object(void* body);
POBJECT_TYPE object_type(const void* body);  // nullptr when body is no object
HANDLE insert_handle(void* body);             // the handle takes the caller's reference
HANDLE insert_kernel_handle(void* body);      // a handle of the kernel's own table
// A referenced object of the handle, or nullptr with *status set: the
// handle's access is checked in user mode; kernel handles are for kernel
// mode, and the user process's handles are not the System process's.
void* reference_handle(HANDLE handle, POBJECT_TYPE type, ACCESS_MASK desired, KPROCESSOR_MODE mode,
                       NTSTATUS* status, ACCESS_MASK* granted = nullptr);
bool is_user_handle(HANDLE handle);
NTSTATUS close_handle(HANDLE handle);
std::vector<HANDLE> handles_of_type(POBJECT_TYPE type);
extern POBJECT_TYPE event_type, file_type, key_type, device_type, driver_type;

// ----------------------------------------------------------- irp.cpp
// What happens when an IRP of the kernel's own completes past its top
// location; the callback frees the IRP (free_irp) or keeps it.
using IrpFinish = std::function<void(PIRP)>;
PIRP allocate_irp(CCHAR stack_size, IrpFinish finish);
void free_irp(PIRP irp);
// Sends an IRP of the kernel's own and waits (at PASSIVE_LEVEL) until it
// completes; answers the final status and frees the IRP.
NTSTATUS send_and_wait(PDEVICE_OBJECT device, PIRP irp);
// Verifies the dispatch routine's answer against the IRP's pending state.
void note_dispatch_status(PIRP irp, NTSTATUS status);
std::size_t irps_pending_at(PDEVICE_OBJECT device);
void set_irp_finish(PIRP irp, IrpFinish finish);
void add_irp_reference(PIRP irp);
void release_irp_reference(PIRP irp);

// ---------------------------------------------------- io_manager.cpp
struct DeviceNode;
}  // namespace kernel

// The kernel's record of a device object.
struct _DEVOBJ_EXTENSION {
  PDEVICE_OBJECT device;
  PDEVICE_OBJECT attached_to;  // the device below, for an attached device
  bool deleted;
  PIO_DPC_ROUTINE dpc_routine;
  kernel::DeviceNode* node;  // for a bus driver's PDO
  POWER_STATE device_power;  // reported with PoSetPowerState
  POWER_STATE system_power;
  std::size_t extension_size;
};

namespace kernel {
PDEVICE_OBJECT top_of_stack(PDEVICE_OBJECT device);

PDRIVER_OBJECT create_driver_object(const std::string& name);
void delete_driver_object(PDRIVER_OBJECT driver);

// ---------------------------------------------------------- file_io.cpp
void files_cancel_all_requests();
void files_close_all();
// Files opened on the stack of the PDO and not yet closed.
std::size_t files_open_on(PDEVICE_OBJECT pdo);

// ---------------------------------------------------------- worker.cpp
void worker_start();
void worker_stop();
void worker_queue(std::function<void()> work);
bool worker_idle();
void worker_drain();

// --------------------------------------------------------- pnp_manager.cpp
struct RegistryValue {
  ULONG type;
  std::vector<std::uint8_t> data;
};
struct DeviceNode {
  card::PciFunction* function;
  PDEVICE_OBJECT pdo;
  std::string instance_path;
  bool present = true;
  bool started = false;
  // The first start after AddDevice completed: the I/O manager fails opens
  // of the device until then.
  std::atomic<bool> start_completed{false};
  bool stop_queried = false;            // a query-stop succeeded; a stop may follow
  bool remove_queried = false;          // a query-remove succeeded; a remove may follow
  bool remove_waits_for_close = false;  // removed while files were open: sent at the last close
  std::map<std::string, RegistryValue> values;  // lower-case names
};
// Boots on first use; false when no machine can run.
bool ensure_booted();
DeviceNode* node_of(PDEVICE_OBJECT pdo);  // nullptr for a device that is no PDO
// The last file on the PDO's stack has closed: a remove waiting for it follows
// (from the worker).
void pnp_file_closed(PDEVICE_OBJECT pdo);
std::vector<DeviceNode*> nodes();

// ---------------------------------------------------------- pci_bus.cpp
PDRIVER_OBJECT pci_bus_create_driver();
PDEVICE_OBJECT pci_bus_create_pdo(PDRIVER_OBJECT bus, DeviceNode* node);
// The raw and translated resources of a card, in pool memory.
void pci_bus_build_resources(card::PciFunction& function, PCM_RESOURCE_LIST* raw,
                             PCM_RESOURCE_LIST* translated);

// ---------------------------------------------------- device_interface.cpp
void interfaces_disable_for(DeviceNode* node);
void interfaces_clear();
// The node whose (enabled or not) interface has this link, user or kernel form.
DeviceNode* interface_node(const std::string& link, bool* enabled);

// -------------------------------------------------------------- rtl.cpp
std::string narrow(const UNICODE_STRING* s);
std::wstring widen(const std::string& s);
std::string lower(std::string s);
bool equal_nocase(const std::string& a, const std::string& b);
// Fills a UNICODE_STRING with a pool copy of text.
bool make_unicode_string(const std::string& text, PUNICODE_STRING out);

// ------------------------------------------------------------ debug_log.cpp
void log_reset();
// A message of the kernel itself on its "wdm" channel.
void kernel_message(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kernel

namespace kernel {
// ------------------------------------------------------- dispatcher.cpp
constexpr UCHAR kEventNotification = 0;
constexpr UCHAR kEventSynchronization = 1;
constexpr UCHAR kTimerNotification = 8;
constexpr UCHAR kTimerSynchronization = 9;
}  // namespace kernel

namespace kernel {
// irp.cpp
PDRIVER_DISPATCH default_dispatch();
void mark_power_irp_started(PIRP irp);
}  // namespace kernel

namespace kernel {
// ---------------------------------------------------------- driver_loader.cpp
// The module name that the [Models] section of an INF file in the driver
// folder gives for a hardware ID; empty when none does.
std::string module_for(const std::string& hardware_id);
// Loads <folder>/<name>.so and finds its DriverEntry; nullptr entry when it
// cannot (the reason goes to stderr).
struct DriverModule {
  void* handle = nullptr;
  PDRIVER_INITIALIZE entry = nullptr;
};
DriverModule load_module(const std::string& name);
void unload_module(void* handle);
}  // namespace kernel

namespace sim {
struct BuiltinDriver;
}
namespace kernel {
// ------------------------------------------------------------ pnp_manager.cpp
// Creates the bus driver and a PDO per function, loads the drivers and starts
// the cards.
void pnp_enumerate(const std::vector<card::PciFunction*>& functions,
                   const std::vector<sim::BuiltinDriver>& builtins);
// Removes every card's stack, unloads the drivers and deletes the PDOs.
void pnp_remove_all();
}  // namespace kernel
