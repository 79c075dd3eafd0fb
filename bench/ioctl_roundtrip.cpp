// Round trip of one query request block (REQ_GET_DIPSW_ID) from
// DeviceIoControl through the simulated I/O manager and the driver's
// dispatcher to the card and back, on the first model-A card of the machine
// ($RM7X0_MACHINE, else the embedded default). Prints the median and the 99th
// percentile of single round trips; the target is a median under 2 us.
#include <initguid.h>
#include <windows.h>
#include <winioctl.h>
#include <setupapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "first_interface.h"
#include "rm7x0_ioctl.h"

namespace {

constexpr int WARM_UP = 10000;
constexpr int ROUND_TRIPS = 200000;

bool round_trip(HANDLE device) {
  DriverRequest block{};
  block.slot[SLOT_STATUS] = REQUEST_STATUS_PRESET;
  DWORD returned = 0;
  return DeviceIoControl(device, REQ_GET_DIPSW_ID, &block, sizeof block, &block, sizeof block,
                         &returned, nullptr) &&
         returned == sizeof block && (block.slot[SLOT_STATUS] & 0xFFFF) == DRV_SUCCESS;
}

double percentile(const std::vector<double> &sorted, double fraction) {
  return sorted[static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1))];
}

}  // namespace

int main() {
  const std::string path = first_interface_path(RM720_INTERFACE_GUID);
  if (path.empty()) {
    std::fprintf(stderr, "no model-A card on the machine\n");
    return 1;
  }
  HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open %s (error %u)\n", path.c_str(), GetLastError());
    return 1;
  }
  for (int i = 0; i < WARM_UP; ++i) round_trip(device);

  std::vector<double> microseconds;
  microseconds.reserve(ROUND_TRIPS);
  for (int i = 0; i < ROUND_TRIPS; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const bool answered = round_trip(device);
    const auto end = std::chrono::steady_clock::now();
    if (!answered) {
      std::fprintf(stderr, "request %d failed (error %u)\n", i, GetLastError());
      return 1;
    }
    microseconds.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  CloseHandle(device);

  std::sort(microseconds.begin(), microseconds.end());
  const double median = percentile(microseconds, 0.5);
  std::printf("REQ_GET_DIPSW_ID round trip over %d requests: median %.3f us, 99th percentile %.3f us"
              " (target: median < 2 us: %s)\n",
              ROUND_TRIPS, median, percentile(microseconds, 0.99), median < 2.0 ? "met" : "missed");
  return 0;
}
