// The card's PCI identity and its 256-byte type-0 configuration header.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "card/machine_description.h"
#include "pci_bus.h"

namespace card {

constexpr std::uint16_t kVendorId = 0x7A72;
constexpr std::uint32_t kConfigSpaceLength = 256;

// Offsets into the configuration header.
namespace config {
constexpr std::uint32_t kVendorId = 0x00;
constexpr std::uint32_t kDeviceId = 0x02;
constexpr std::uint32_t kCommand = 0x04;
constexpr std::uint32_t kStatus = 0x06;
constexpr std::uint32_t kRevisionId = 0x08;
constexpr std::uint32_t kClassCode = 0x09;  // 3 bytes: programming interface, subclass, class
constexpr std::uint32_t kHeaderType = 0x0E;
constexpr std::uint32_t kBar0 = 0x10;  // + 4 per BAR
constexpr std::uint32_t kSubsystemVendorId = 0x2C;
constexpr std::uint32_t kSubsystemId = 0x2E;
constexpr std::uint32_t kRomBase = 0x30;
constexpr std::uint32_t kInterruptLine = 0x3C;
constexpr std::uint32_t kInterruptPin = 0x3D;

// Values the card reports.
constexpr std::uint16_t kCommandIoMemoryMaster = 0x0007;
constexpr std::uint16_t kStatusMediumDevsel = 0x0200;
constexpr std::uint8_t kRevision = 0x01;
constexpr std::uint32_t kClassOtherSignalProcessing = 0x118000;
constexpr std::uint8_t kPinIntA = 1;
constexpr std::uint32_t kBarIo = 0x1;  // type bit of an I/O BAR
constexpr std::uint32_t kRomEnable = 0x1;
}  // namespace config

std::uint16_t device_id(CardModel model);
std::string hardware_id(CardModel model);
std::string instance_id(CardModel model, const SlotResources& slot);

std::array<std::uint8_t, kConfigSpaceLength> build_config_space(const CardDescription& card,
                                                                const SlotResources& slot);

}  // namespace card
