// What the driver tests share: a simulated machine booted from a description
// text, and the road a library takes to a card (its device interface, a file
// on it, request blocks through buffered device control).
#pragma once

#include <gtest/gtest.h>
#include <sim_kernel.h>
#include <sim_native.h>

#include <cstdint>
#include <string>
#include <vector>

#include "card/card.h"
#include "rm7x0_ioctl.h"

namespace driver_test {

// A machine file: [Machine] keys, then one card section per entry.
std::string machine_text(const std::string& machine_keys, const std::vector<std::string>& cards);
// A model-A card section body with extra keys.
std::string card_a(const std::string& keys = "");
std::string card_b(const std::string& keys = "");

// Boots a machine per test and shuts it down after.
class MachineTest : public ::testing::Test {
 protected:
  void boot(const std::string& description);
  void TearDown() override;
  card::Card* card(std::size_t index);
};

// Interface paths of a class's enabled interfaces.
std::vector<std::string> interface_paths(const GUID& guid);

// One request exchange: the reply block and the request's status.
struct Reply {
  SIM_STATUS status = 0;
  std::size_t bytes = 0;
  DriverRequest block{};
};

// A file on a card, opened as the library opens it.
class CardFile {
 public:
  CardFile() = default;
  ~CardFile();
  CardFile(const CardFile&) = delete;
  CardFile& operator=(const CardFile&) = delete;

  SIM_STATUS open(const std::string& interface_path);
  SIM_STATUS close();
  SIM_HANDLE handle() const { return file_; }

  // A request block of the given slots (slot 0 preset as the libraries do).
  Reply request(std::uint32_t code, std::initializer_list<std::uint64_t> slots = {});
  Reply request(std::uint32_t code, const DriverRequest& block);
  // REQ_ATTACH_INT_EVENTS of one event handle per axis: the request's status.
  SIM_STATUS attach_events(const SIM_HANDLE (&events)[4]);

 private:
  SIM_HANDLE file_ = nullptr;
};

// A booted machine with the first card of an interface class open.
class OpenCardTest : public MachineTest {
 protected:
  void boot_and_open(const std::string& description, const GUID& guid);
  void TearDown() override;

  CardFile file_;
};

}  // namespace driver_test
