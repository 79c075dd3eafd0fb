// A small function driver compiled into the kernel's tests: it follows the
// WDM patterns a real driver uses (remove lock, forward-and-wait start,
// pending requests with a cancel routine, an ISR that queues a DPC) on the
// fake card of fake_card.h.
#pragma once

#include <wdm.h>

#include <atomic>
#include <thread>

namespace fake_driver {

// {5B1D0E7A-3C44-4F1B-9E2D-6A7C11F0B803}
constexpr GUID kInterface = {0x5b1d0e7a, 0x3c44, 0x4f1b, {0x9e, 0x2d, 0x6a, 0x7c, 0x11, 0xf0, 0xb8, 0x03}};

constexpr ULONG kEcho = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kWaitInterrupt = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kBlock = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kReadData = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG kOversized = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x804, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Breaks the rule: raises a kernel exception that no guard takes.
constexpr ULONG kRaise = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x805, METHOD_BUFFERED, FILE_ANY_ACCESS);

constexpr ULONG kCardIdValue = 7;  // the "CardID" the driver writes at start

// What the tests look at.
struct Observed {
  std::atomic<int> isr_calls{0};
  std::atomic<int> dpc_calls{0};
  std::atomic<int> starts{0};
  std::atomic<int> removes{0};
  std::atomic<int> relation_queries{0};
  std::atomic<int> isr_irql{-1};
  std::atomic<std::thread::id> isr_thread{}, dpc_thread{};  // of the latest call
  std::atomic<bool> isr_claims{true};
  std::atomic<bool> isr_acknowledges{true};  // false: claims and leaves the line asserted
  std::atomic<int> blocked{0};  // requests waiting in kBlock
  std::atomic<int> power_irql{-1};  // of the latest power request
  std::atomic<bool> disables_interface_at_surprise_removal{false};
  std::atomic<bool> start_waits{false};  // the start waits, once it has the hardware, until cleared
  std::atomic<bool> starting{false};     // a start has the hardware
};
extern Observed observed;
void reset_observed();
// Lets every request waiting in kBlock finish.
void unblock(PDEVICE_OBJECT fdo);
PKINTERRUPT interrupt_of(PDEVICE_OBJECT fdo);
// The vector and level the start connected its interrupt with.
struct Connection {
  ULONG vector;
  KIRQL level;
};
Connection connection_of(PDEVICE_OBJECT fdo);

DRIVER_INITIALIZE entry;

}  // namespace fake_driver
