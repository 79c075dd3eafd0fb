// A minimal function driver for the tests of the user-mode stand-in: it
// serves the model-A cards of the default machine under its own interface
// class, writes "CardID" = 9 into each device's hardware key, and answers one
// request code as the request itself asks (status, byte count, fill byte, or
// pending until the test completes it). No Windows types cross this header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fake_driver {

// The interface class, as the 16 bytes of a GUID.
extern const std::uint8_t interface_class[16];
constexpr std::uint32_t card_id_value = 9;

// CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS).
constexpr std::uint32_t request_code = (0x22u << 16) | (0x800u << 2);
// What a request asks of the driver (the input buffer).
struct Request {
  std::int32_t status;       // completes with this status ...
  std::uint32_t information; // ... and this byte count,
  std::uint8_t fill;         // after filling the whole output buffer with this byte
  std::uint8_t pend;         // 1: left pending until complete_pending
};

// Boots the machine with the fake driver; shutdown tears it down.
void boot();
void shutdown();

// Completes the request left pending (as its Request said); false when none is.
bool complete_pending();
// Whether a request is pending in the driver.
bool has_pending();

}  // namespace fake_driver
