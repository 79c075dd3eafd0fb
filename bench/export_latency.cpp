// What a query export costs next to the kernel boundary it crosses, and how
// soon a thread waiting on an axis event wakes after the drive ended, on the
// embedded default machine at real time (a model-A card with ID 0 and a
// model-B card with ID 1).
//
// 1. The raw round trip: DeviceIoControl of REQ_GET_DIPSW_ID on a handle of
//    our own, measured before and after the exports (the card allows one
//    handle at a time, so the library's handle is closed meanwhile).
// 2. Each query export of both libraries: median and 99th percentile, and the
//    median as a ratio to the raw round trip (target: at most 1.5). The
//    fastest batch of 1,000 calls in a row is printed too: on a busy machine
//    it shows what the calls cost when nothing else ran.
// 3. Drive end to waiter: the drive-end factor of X signals the axis event;
//    a thread waiting on it wakes; the delay from the chip's end of the drive
//    to the wake-up (targets: median under 20 us, 99th percentile under
//    200 us on an idle machine).
#include <initguid.h>
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "machine_probe.h"
#include "rm720.h"
#include "rm730.h"
#include "rm7x0_ioctl.h"

namespace {

constexpr int kWarmUp = 2000;
constexpr int kCalls = 20000;
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

// Microseconds of each of `count` calls of fn, after a warm-up.
std::vector<double> time_calls(int count, const std::function<bool()> &fn) {
  for (int i = 0; i < kWarmUp; ++i) fn();
  std::vector<double> samples;
  samples.reserve(count);
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
  return samples;
}

std::string interface_path(const GUID &guid) {
  HDEVINFO devices =
      SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (devices == INVALID_HANDLE_VALUE) return {};
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  std::string path;
  char buffer[1024];
  auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer);
  detail->cbSize = sizeof *detail;
  if (SetupDiEnumDeviceInterfaces(devices, nullptr, &guid, 0, &data) &&
      SetupDiGetDeviceInterfaceDetailA(devices, &data, detail, sizeof buffer, nullptr, nullptr))
    path = detail->DevicePath;
  SetupDiDestroyDeviceInfoList(devices);
  return path;
}

std::vector<double> raw_round_trips(const std::string &path) {
  HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open %s (error %u)\n", path.c_str(), GetLastError());
    std::exit(1);
  }
  auto samples = time_calls(kCalls, [device] {
    DriverRequest block{};
    block.slot[0] = REQUEST_STATUS_PRESET;
    DWORD returned = 0;
    return DeviceIoControl(device, REQ_GET_DIPSW_ID, &block, sizeof block, &block, sizeof block,
                           &returned, nullptr) &&
           (block.slot[0] & 0xFFFF) == DRV_SUCCESS;
  });
  CloseHandle(device);
  return samples;
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

void print_queries(const std::vector<Query> &queries, const Figures &raw) {
  for (const Query &query : queries) {
    const Figures f =
        figures_of(time_calls(kCalls, [&] { return query.call() == SUCCESS_NO_ERROR; }));
    std::printf("  %-24s median %6.2f us  p99 %6.2f us  ratio %4.2f  (best batch %5.2f us)\n",
                query.name, f.median, f.p99, f.median / raw.median, f.best_batch);
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

}  // namespace

int main() {
  const std::string path = interface_path(RM720_INTERFACE_GUID);
  if (path.empty() || rm730_open(kCardB) != SUCCESS_NO_ERROR) {
    std::fprintf(stderr, "the default machine's cards are not there\n");
    return 1;
  }
  std::vector<double> raw = raw_round_trips(path);
  if (rm720_open(kCardA) != SUCCESS_NO_ERROR) {
    std::fprintf(stderr, "cannot open the model-A card\n");
    return 1;
  }
  const Figures raw_before = figures_of(raw);
  std::printf("raw DeviceIoControl round trip: median %.2f us  p99 %.2f us  (best batch %.2f us)\n",
              raw_before.median, raw_before.p99, raw_before.best_batch);
  std::printf("query exports (median / raw median = ratio, target at most 1.5):\n");
  print_queries(RM7X0_QUERIES(rm730, kCardB), raw_before);
  print_queries(RM7X0_QUERIES(rm720, kCardA), raw_before);

  const MachineTimerLateness before = machine_timer_lateness();
  const Figures wake = figures_of(drive_end_to_waiter());
  const MachineTimerLateness after = machine_timer_lateness();
  std::printf("drive end to waiter over %d drives: median %.1f us  p99 %.1f us  max %.1f us\n",
              kDrives, wake.median, wake.p99, wake.max);
  const uint64_t fired = after.fired - before.fired;
  std::printf("  the card clock's timers meanwhile: %llu fired, %.1f us late on average\n",
              static_cast<unsigned long long>(fired),
              fired ? (after.mean_ns * static_cast<double>(after.fired) -
                       before.mean_ns * static_cast<double>(before.fired)) /
                          static_cast<double>(fired) / 1000.0
                    : 0.0);

  rm720_close(kCardA);
  const std::vector<double> again = raw_round_trips(path);
  const Figures raw_after = figures_of(again);
  std::printf("raw round trip again after the exports: median %.2f us  p99 %.2f us  (best batch "
              "%.2f us)\n",
              raw_after.median, raw_after.p99, raw_after.best_batch);
  rm730_close(kCardB);
  return 0;
}
