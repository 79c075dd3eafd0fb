// What a query export costs next to the kernel boundary it crosses, and how
// soon a thread waiting on an axis event wakes after the drive ended, on the
// embedded default machine at real time (a model-A card with ID 0 and a
// model-B card with ID 1).
//
// 1. Each query export of both libraries, against the raw round trip: a
//    DeviceIoControl of REQ_GET_DIPSW_ID on a handle of our own to the other
//    card (a card allows one handle at a time). Batches of raw round trips
//    and of export calls alternate, so that both see the same machine; each
//    export's median and 99th percentile are printed with the ratio of its
//    median to the raw median (target: at most 1.5), and the fastest batch of
//    each, which shows on a busy machine what a call costs when nothing else
//    ran.
// 3. Drive end to waiter: the drive-end factor of X signals the axis event;
//    a thread waiting on it wakes; the delay from the chip's end of the drive
//    to the wake-up (targets: median under 20 us, 99th percentile under
//    200 us on an idle machine), and beside it what the host alone takes to
//    wake a thread that slept as long on a bare condition variable.
#include <initguid.h>
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "machine_probe.h"
#include "rm720.h"
#include "rm730.h"
#include "first_interface.h"
#include "rm7x0_ioctl.h"

namespace {

constexpr int kWarmUp = 2000;
constexpr int kCalls = 20000;  // of each export, and as many raw round trips
constexpr int kDrives = 1000;
constexpr uint8_t kCardA = 0, kCardB = 1;
constexpr uint16_t kAxisX = 1;

constexpr int kBatch = 1000;

struct Figures {
  double median, p99, max;
  double best_batch;  // the mean of the fastest run of kBatch calls in a row
};

Figures figures_of(const std::vector<double> &samples) {
  double best_batch = 1e300;
  for (size_t start = 0; start + kBatch <= samples.size(); start += kBatch) {
    double sum = 0;
    for (size_t i = start; i < start + kBatch; ++i) sum += samples[i];
    best_batch = std::min(best_batch, sum / kBatch);
  }
  std::vector<double> sorted = samples;
  std::sort(sorted.begin(), sorted.end());
  auto at = [&](double fraction) {
    return sorted[static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1))];
  };
  return {at(0.5), at(0.99), sorted.back(), best_batch};
}

// Appends the microseconds of each of `count` calls of fn.
void time_calls(int count, const std::function<bool()> &fn, std::vector<double> &samples) {
  for (int i = 0; i < count; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = fn();
    const auto end = std::chrono::steady_clock::now();
    if (!ok) {
      std::fprintf(stderr, "call %d failed\n", i);
      std::exit(1);
    }
    samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
}

HANDLE open_raw(const GUID &guid) {
  const std::string path = first_interface_path(guid);
  HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open '%s' (error %u)\n", path.c_str(), GetLastError());
    std::exit(1);
  }
  return device;
}

bool raw_round_trip(HANDLE device) {
  DriverRequest block{};
  block.slot[SLOT_STATUS] = REQUEST_STATUS_PRESET;
  DWORD returned = 0;
  return DeviceIoControl(device, REQ_GET_DIPSW_ID, &block, sizeof block, &block, sizeof block,
                         &returned, nullptr) &&
         (block.slot[SLOT_STATUS] & 0xFFFF) == DRV_SUCCESS;
}

struct Query {
  const char *name;
  std::function<ApiStatus()> call;
};

// The query exports of one library, on one card's X axis.
#define RM7X0_QUERIES(prefix, card)                                                         \
  std::vector<Query> {                                                                      \
    {#prefix "_get_cmdcounter", [] { int32_t v; return prefix##_get_cmdcounter(card, kAxisX, &v); }}, \
    {#prefix "_get_enccounter", [] { int32_t v; return prefix##_get_enccounter(card, kAxisX, &v); }}, \
    {#prefix "_get_position", [] { int32_t v; return prefix##_get_position(card, kAxisX, &v); }},     \
    {#prefix "_get_latch", [] { int32_t v; return prefix##_get_latch(card, kAxisX, &v); }},           \
    {#prefix "_motion_done", [] { uint8_t d; int16_t s; return prefix##_motion_done(card, kAxisX, &d, &s); }}, \
    {#prefix "_get_speed", [] { int32_t v; return prefix##_get_speed(card, kAxisX, &v); }},           \
    {#prefix "_get_acc", [] { int32_t v; return prefix##_get_acc(card, kAxisX, &v); }},               \
    {#prefix "_get_error_status", [] { int16_t v; return prefix##_get_error_status(card, kAxisX, &v); }}, \
    {#prefix "_get_int_status", [] { int16_t v; return prefix##_get_int_status(card, kAxisX, &v); }}, \
    {#prefix "_get_mdi_status", [] { int16_t v; return prefix##_get_mdi_status(card, kAxisX, &v); }}, \
    {#prefix "_get_di_status", [] { int16_t v; return prefix##_get_di_status(card, kAxisX, &v); }},   \
    {#prefix "_get_in3", [] { uint8_t v; return prefix##_get_in3(card, kAxisX, &v); }},               \
    {#prefix "_get_out1_status", [] { uint8_t v; return prefix##_get_out1_status(card, kAxisX, &v); }}, \
    {#prefix "_get_dipsw_id", [] { uint8_t v; return prefix##_get_dipsw_id(card, &v); }},             \
    {#prefix "_get_Torix_DI", [] { int16_t v; return prefix##_get_Torix_DI(card, 8, &v, 1); }},       \
  }

// Each export in alternating batches with the raw round trip on `raw_device`.
void print_queries(const std::vector<Query> &queries, HANDLE raw_device) {
  auto raw = [raw_device] { return raw_round_trip(raw_device); };
  for (const Query &query : queries) {
    auto call = [&query] { return query.call() == SUCCESS_NO_ERROR; };
    std::vector<double> raw_samples, export_samples, warm_up;
    time_calls(kWarmUp, raw, warm_up);
    time_calls(kWarmUp, call, warm_up);
    for (int batch = 0; batch < kCalls / kBatch; ++batch) {
      time_calls(kBatch, raw, raw_samples);
      time_calls(kBatch, call, export_samples);
    }
    const Figures r = figures_of(raw_samples), e = figures_of(export_samples);
    std::printf("  %-24s median %5.2f us  p99 %5.2f us  raw %5.2f us  ratio %4.2f  "
                "(best batch %4.2f / raw %4.2f us)\n",
                query.name, e.median, e.p99, r.median, e.median / r.median, e.best_batch,
                r.best_batch);
  }
}

// Drives of 200 pulses on X at 200,000 PPS (1 ms), each waited for on X's event.
std::vector<double> drive_end_to_waiter() {
  void *events[4] = {};
  if (rm720_set_int_factor(kCardA, kAxisX, 0x8000) != SUCCESS_NO_ERROR ||
      rm720_int_event_config(kCardA, 1, events) != SUCCESS_NO_ERROR) {
    std::fprintf(stderr, "cannot arm the drive-end event\n");
    std::exit(1);
  }
  std::vector<double> samples;
  for (int i = 0; i < kDrives; ++i) {
    const int32_t pulses = i % 2 ? -200 : 200;
    if (rm720_const_move(kCardA, kAxisX, 200000, pulses) != SUCCESS_NO_ERROR) {
      std::fprintf(stderr, "drive %d refused\n", i);
      std::exit(1);
    }
    if (WaitForSingleObject(events[0], 10000) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "drive %d: no event\n", i);
      std::exit(1);
    }
    const uint64_t woken = machine_now_ns();
    const uint64_t ended = machine_last_drive_end_ns(0, 0);
    samples.push_back(static_cast<double>(woken - ended) / 1000.0);
  }
  rm720_int_event_config(kCardA, 0, events);
  rm720_set_int_factor(kCardA, kAxisX, 0);
  return samples;
}

// The host's own floor under the figure above: a thread asleep on a bare
// condition variable for about a millisecond (as the waiter sleeps through
// a drive), woken by a thread that spun meanwhile.
std::vector<double> host_wake_up() {
  using Clock = std::chrono::steady_clock;
  std::mutex lock;
  std::condition_variable wake;
  bool woken = false;
  Clock::time_point sent;
  std::vector<double> samples;
  for (int i = 0; i < kDrives; ++i) {
    std::thread waiter([&] {
      std::unique_lock<std::mutex> hold(lock);
      wake.wait(hold, [&] { return woken; });
      samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    });
    const auto until = Clock::now() + std::chrono::milliseconds(1);
    while (Clock::now() < until) {
    }
    {
      std::lock_guard<std::mutex> hold(lock);
      woken = true;
      sent = Clock::now();
    }
    wake.notify_one();
    waiter.join();
    woken = false;
  }
  return samples;
}

}  // namespace

int main() {
  // The model-A library's card against raw round trips on the model-B card,
  // then the other way round.
  std::printf("query exports (median / raw median = ratio, target at most 1.5):\n");
  HANDLE raw_b = open_raw(RM730_INTERFACE_GUID);
  if (rm720_open(kCardA) != SUCCESS_NO_ERROR) {
    std::fprintf(stderr, "cannot open the model-A card\n");
    return 1;
  }
  print_queries(RM7X0_QUERIES(rm720, kCardA), raw_b);
  CloseHandle(raw_b);

  const MachineTimerLateness before = machine_timer_lateness();
  const Figures wake = figures_of(drive_end_to_waiter());
  const MachineTimerLateness after = machine_timer_lateness();
  rm720_close(kCardA);

  HANDLE raw_a = open_raw(RM720_INTERFACE_GUID);
  if (rm730_open(kCardB) != SUCCESS_NO_ERROR) {
    std::fprintf(stderr, "cannot open the model-B card\n");
    return 1;
  }
  print_queries(RM7X0_QUERIES(rm730, kCardB), raw_a);
  CloseHandle(raw_a);
  rm730_close(kCardB);

  std::printf("drive end to waiter over %d drives: median %.1f us  p99 %.1f us  max %.1f us\n",
              kDrives, wake.median, wake.p99, wake.max);
  const uint64_t fired = after.fired - before.fired;
  std::printf("  the card clock's timers meanwhile: %llu fired, %.1f us late on average\n",
              static_cast<unsigned long long>(fired),
              fired ? (after.mean_ns * static_cast<double>(after.fired) -
                       before.mean_ns * static_cast<double>(before.fired)) /
                          static_cast<double>(fired) / 1000.0
                    : 0.0);
  const Figures host = figures_of(host_wake_up());
  std::printf("  the host alone, a bare condition variable: median %.1f us  p99 %.1f us\n",
              host.median, host.p99);
  return 0;
}
