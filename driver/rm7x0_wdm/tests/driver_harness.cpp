#include <initguid.h>

#include "driver_harness.h"

#include <cstring>

namespace driver_test {

namespace {

std::string axes_keys() {
  std::string text;
  for (const char* axis : {"X", "Y", "Z", "U"}) {
    const std::string a = axis;
    text += a + ".LimitPlus=200000\n" + a + ".LimitMinus=-200000\n";
  }
  return text;
}

}  // namespace

std::string machine_text(const std::string& machine_keys, const std::vector<std::string>& cards) {
  std::string text = "[Machine]\n" + machine_keys + "\n";
  for (std::size_t i = 0; i < cards.size(); ++i) {
    text += "[Card" + std::to_string(i) + "]\n" + cards[i] + "\n";
  }
  return text;
}

std::string card_a(const std::string& keys) { return "Model=A\n" + keys + "\n" + axes_keys(); }
std::string card_b(const std::string& keys) { return "Model=B\n" + keys + "\n" + axes_keys(); }

void MachineTest::boot(const std::string& description) {
  ASSERT_EQ(sim::boot(description), STATUS_SUCCESS);
  sim::clear_debug_text();
}

void MachineTest::TearDown() { sim::shutdown(); }

card::Card* MachineTest::card(std::size_t index) { return sim::machine()->cards().at(index); }

std::vector<std::string> interface_paths(const GUID& guid) {
  std::vector<std::string> paths;
  for (std::uint32_t index = 0;; ++index) {
    char path[512];
    std::size_t required = 0;
    if (SimEnumDeviceInterface(&guid, index, path, sizeof path, &required) != STATUS_SUCCESS) break;
    paths.emplace_back(path);
  }
  return paths;
}

CardFile::~CardFile() { close(); }

SIM_STATUS CardFile::open(const std::string& interface_path) {
  return SimCreateFile(interface_path.c_str(), &file_);
}

SIM_STATUS CardFile::close() {
  if (file_ == nullptr) return STATUS_SUCCESS;
  const SIM_STATUS status = SimCloseHandle(file_);
  file_ = nullptr;
  return status;
}

Reply CardFile::request(std::uint32_t code, std::initializer_list<std::uint64_t> slots) {
  DriverRequest block{};
  block.slot[SLOT_STATUS] = REQUEST_STATUS_PRESET;
  int n = SLOT_STATUS + 1;  // the values follow the status word
  for (std::uint64_t value : slots) block.slot[n++] = value;
  return request(code, block);
}

Reply CardFile::request(std::uint32_t code, const DriverRequest& block) {
  Reply reply;
  reply.block = block;
  SIM_IO_STATUS iosb{};
  reply.status = SimDeviceIoControl(file_, code, &reply.block, sizeof reply.block, &reply.block,
                                    sizeof reply.block, nullptr, &iosb);
  reply.bytes = iosb.Information;
  return reply;
}

SIM_STATUS CardFile::attach_events(const SIM_HANDLE (&events)[4]) {
  DriverRequest block{};
  std::memcpy(&block.slot[ATTACH_INT_EVENTS_FIRST], events, sizeof events);
  return request(REQ_ATTACH_INT_EVENTS, block).status;
}

void OpenCardTest::boot_and_open(const std::string& description, const GUID& guid) {
  boot(description);
  ASSERT_EQ(file_.open(interface_paths(guid).at(0)), STATUS_SUCCESS);
}

void OpenCardTest::TearDown() {
  file_.close();
  MachineTest::TearDown();
}

}  // namespace driver_test
