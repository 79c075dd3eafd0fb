// Finding the cards of this model: every present interface of the model's
// class whose device carries a readable "CardID" value fills the slot of
// that ID. Once cards were found, the result stands for the life of the process.
#include <windows.h>
#include <winioctl.h>  // the system's own interface classes stay declarations
#include <initguid.h>  // defines the interface classes of rm7x0_ioctl.h here

#include <cstring>

#include "card_table.h"
#include "checks.h"
#include "model.h"
#include "win32.h"

const GUID &model_interface_class() {
#ifdef RM7X0_MODEL_B
  return RM730_INTERFACE_GUID;
#else
  return RM720_INTERFACE_GUID;
#endif
}

namespace {

struct FoundDevice {
  uint16_t card_id = NO_CARD_ID;
  char interface_path[MAX_PATH] = {};
};

enum class Lookup { found, skipped, end_of_enumeration };

// Reads the "CardID" value (0..15) of the device behind an interface.
bool read_card_id(HDEVINFO devices, SP_DEVINFO_DATA &device_info, uint16_t &card_id) {
  HKEY key = SetupDiOpenDevRegKey(devices, &device_info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == static_cast<HKEY>(INVALID_HANDLE_VALUE)) return false;
  DWORD value = 0, size = sizeof value, type = REG_NONE;
  const LSTATUS status =
      RegQueryValueExA(key, "CardID", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
  RegCloseKey(key);
  // The driver writes the DIP switch masked to 4 bits; any other value names no slot.
  if (status != ERROR_SUCCESS || size != sizeof value || value >= CARD_SLOTS) return false;
  card_id = static_cast<uint16_t>(value);
  return true;
}

// Reads the path and card ID of one interface. A device whose ID cannot be
// read, or whose path does not fit a slot with its terminator, is skipped.
Lookup look_up_interface(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA &interface_data,
                         FoundDevice &device) {
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailA(devices, &interface_data, nullptr, 0, &required, nullptr);
  if (required == 0) return Lookup::end_of_enumeration;
  auto *detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(LocalAlloc(LPTR, required));
  if (!detail) return Lookup::end_of_enumeration;
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  SP_DEVINFO_DATA device_info{};
  device_info.cbSize = sizeof device_info;
  Lookup result = Lookup::end_of_enumeration;
  if (SetupDiGetDeviceInterfaceDetailA(devices, &interface_data, detail, required, nullptr,
                                       &device_info)) {
    result = copy_interface_path(device.interface_path, detail->DevicePath) &&
                     read_card_id(devices, device_info, device.card_id)
                 ? Lookup::found
                 : Lookup::skipped;
  }
  LocalFree(detail);
  return result;
}

void take_card(const FoundDevice &device) {
  CardRecord &slot = card_table.cards[device.card_id];
  slot.card_id = device.card_id;
  std::memcpy(slot.interface_path, device.interface_path, sizeof slot.interface_path);
  card_table.present[device.card_id] = 1;
  ++card_table.card_count;
}

// Enumerates the model's interfaces into the card table.
ApiStatus enumerate_cards() {
  const GUID &interface_class = model_interface_class();
  HDEVINFO devices = SetupDiGetClassDevsA(&interface_class, nullptr, nullptr,
                                          DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (devices == INVALID_HANDLE_VALUE) return ERROR_NO_CARD_FOUND;

  bool taken_now[CARD_SLOTS] = {};
  ApiStatus status = SUCCESS_NO_ERROR;
  for (DWORD member = 0; member < CARD_SLOTS && status == SUCCESS_NO_ERROR; ++member) {
    SP_DEVICE_INTERFACE_DATA interface_data{};
    interface_data.cbSize = sizeof interface_data;
    if (!SetupDiEnumDeviceInterfaces(devices, nullptr, &interface_class, member, &interface_data))
      break;
    FoundDevice device;
    const Lookup lookup = look_up_interface(devices, interface_data, device);
    if (lookup == Lookup::end_of_enumeration) break;
    if (lookup == Lookup::skipped) continue;
    if (card_table.cards[device.card_id].card_id != NO_CARD_ID) {
      status = ERROR_CARD_ID_DUPLICATED;
      continue;
    }
    take_card(device);
    taken_now[device.card_id] = true;
  }
  SetupDiDestroyDeviceInfoList(devices);

  if (status == ERROR_CARD_ID_DUPLICATED) {
    // Nothing of this scan stays, so that the next one starts afresh.
    for (int id = 0; id < CARD_SLOTS; ++id)
      if (taken_now[id]) forget_found_card(card_table.cards[id]);
    card_table.card_count = 0;
    return status;
  }
  return card_table.card_count == 0 ? ERROR_NO_CARD_FOUND : SUCCESS_NO_ERROR;
}

}  // namespace

// Exported as rm720_scan and rm730_scan.
RM7X0_EXPORT ApiStatus RM7X0_NAME(scan)(int16_t *count, uint8_t *present) {
  if (const ApiStatus status = check_library()) return status;
  if (card_table.card_count == 0) {
    if (const ApiStatus status = enumerate_cards()) return status;
  }
  if (present && !seh::try_copy_to(present, card_table.present, sizeof card_table.present))
    return ERROR_ACCESS_VIOLATION_DATA_COPY;
  if (!seh::try_store(count, static_cast<int16_t>(card_table.card_count)))
    return ERROR_ACCESS_VIOLATION_DATA_COPY;
  return SUCCESS_NO_ERROR;
}

// Exported as rm720_get_cardinfo and rm730_get_cardinfo.
RM7X0_EXPORT ApiStatus RM7X0_NAME(get_cardinfo)(int32_t index, uint8_t *card_id) {
  if (const ApiStatus status = check_library()) return status;
  if (card_table.card_count == 0) return ERROR_NO_CARD_FOUND;
  if (index >= card_table.card_count) return ERROR_INVALID_SCANNED_INDEX;
  int32_t position = 0;
  for (int id = 0; id < CARD_SLOTS; ++id) {
    if (!card_table.present[id]) continue;
    if (position++ != index) continue;
    const uint8_t found = static_cast<uint8_t>(card_table.cards[id].card_id & 0xF);
    return seh::try_store(card_id, found) ? SUCCESS_NO_ERROR : ERROR_ACCESS_VIOLATION_DATA_COPY;
  }
  return ERROR_SCANNED_CARD_NOT_FOUND;
}
