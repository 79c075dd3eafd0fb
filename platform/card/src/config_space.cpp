#include "config_space.h"

#include <cstdio>

namespace card {

namespace {

using ConfigSpace = std::array<std::uint8_t, kConfigSpaceLength>;

void put8(ConfigSpace& space, std::uint32_t offset, std::uint8_t value) { space[offset] = value; }

void put16(ConfigSpace& space, std::uint32_t offset, std::uint16_t value) {
  put8(space, offset, static_cast<std::uint8_t>(value));
  put8(space, offset + 1, static_cast<std::uint8_t>(value >> 8));
}

void put32(ConfigSpace& space, std::uint32_t offset, std::uint32_t value) {
  put16(space, offset, static_cast<std::uint16_t>(value));
  put16(space, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

// A BAR register: the base with the type bits (memory: 32-bit, not
// prefetchable, all zero; I/O: bit 0); 0 for an unused BAR.
std::uint32_t bar_register(const BarInfo& bar) {
  const auto base = static_cast<std::uint32_t>(bar.base);
  switch (bar.kind) {
    case BarKind::Memory: return base;
    case BarKind::Io: return base | config::kBarIo;
    case BarKind::None: break;
  }
  return 0;
}

}  // namespace

std::uint16_t device_id(CardModel model) { return model == CardModel::A ? 0x0720 : 0x0730; }

std::string hardware_id(CardModel model) {
  char text[32];
  std::snprintf(text, sizeof text, "PCI\\VEN_%04X&DEV_%04X", kVendorId, device_id(model));
  return text;
}

std::string instance_id(CardModel model, const SlotResources& slot) {
  char text[96];
  std::snprintf(text, sizeof text, "%s&SUBSYS_%04X%04X&REV_%02X\\3&7A72C0DE&0&%02X",
                hardware_id(model).c_str(), device_id(model), kVendorId, config::kRevision,
                slot.device_number << 3);
  return text;
}

std::array<std::uint8_t, kConfigSpaceLength> build_config_space(const CardDescription& card,
                                                                const SlotResources& slot) {
  ConfigSpace space{};
  put16(space, config::kVendorId, kVendorId);
  put16(space, config::kDeviceId, device_id(card.model));
  put16(space, config::kCommand, config::kCommandIoMemoryMaster);
  put16(space, config::kStatus, config::kStatusMediumDevsel);
  put32(space, config::kRevisionId, config::kClassOtherSignalProcessing << 8 | config::kRevision);
  put8(space, config::kHeaderType, 0);
  for (int i = 0; i < kBarCount; ++i) put32(space, config::kBar0 + 4 * i, bar_register(slot.decoded[i]));
  put16(space, config::kSubsystemVendorId, kVendorId);
  put16(space, config::kSubsystemId, device_id(card.model));
  const BarInfo& rom = slot.decoded[kRomIndex];
  if (rom.kind != BarKind::None)
    put32(space, config::kRomBase, static_cast<std::uint32_t>(rom.base) | config::kRomEnable);
  put8(space, config::kInterruptLine, slot.interrupt_line);
  put8(space, config::kInterruptPin, card.interrupt ? config::kPinIntA : 0);
  return space;
}

}  // namespace card
