// The kernel on the real simulated machine: the PCI bus driver's PDOs, the
// card's configuration space and resources, and driver lookup through INF
// files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "card/machine.h"
#include "sim_kernel.h"

namespace {

class RealMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("wdm_bus_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
    setenv("RM7X0_DRIVER_PATH", folder_.c_str(), 1);
  }
  void TearDown() override {
    sim::shutdown();
    unsetenv("RM7X0_DRIVER_PATH");
    std::filesystem::remove_all(folder_);
  }
  void write_inf(const std::string& text) { std::ofstream(folder_ / "test.inf") << text; }

  std::filesystem::path folder_;
};

NTSTATUS read_config(PDEVICE_OBJECT pdo, PCI_COMMON_CONFIG* config) {
  KEVENT event;
  KeInitializeEvent(&event, NotificationEvent, FALSE);
  IO_STATUS_BLOCK iosb{};
  PIRP irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, pdo, nullptr, 0, nullptr, &event, &iosb);
  irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
  PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
  next->MinorFunction = IRP_MN_READ_CONFIG;
  next->Parameters.ReadWriteConfig.WhichSpace = PCI_WHICHSPACE_CONFIG;
  next->Parameters.ReadWriteConfig.Buffer = config;
  next->Parameters.ReadWriteConfig.Length = sizeof *config;
  if (IoCallDriver(pdo, irp) == STATUS_PENDING) KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
  return iosb.Status;
}

TEST_F(RealMachine, BusDriverServesEachCardsConfigurationSpace) {
  ASSERT_EQ(sim::boot("[Machine]\nClock=manual\n[Card0]\n[Card1]\nModel=B\n"), STATUS_SUCCESS);
  const auto devices = sim::devices();
  ASSERT_EQ(devices.size(), 2u);
  const USHORT device_ids[] = {0x0720, 0x0730};
  for (std::size_t i = 0; i < devices.size(); ++i) {
    EXPECT_EQ(devices[i].fdo, nullptr);  // no INF names a driver
    PCI_COMMON_CONFIG config{};
    ASSERT_EQ(read_config(devices[i].pdo, &config), STATUS_SUCCESS);
    EXPECT_EQ(config.VendorID, 0x7A72);
    EXPECT_EQ(config.DeviceID, device_ids[i]);
    const card::BarInfo bar0 = devices[i].function->bar(0);
    EXPECT_EQ(config.u.type0.BaseAddresses[0] & PCI_ADDRESS_MEMORY_ADDRESS_MASK, bar0.base);
  }
}

TEST_F(RealMachine, MemoryBarsOfACardAreMappable) {
  ASSERT_EQ(sim::boot("[Machine]\nClock=manual\n[Card0]\n"), STATUS_SUCCESS);
  card::PciFunction* function = sim::devices().at(0).function;
  const card::BarInfo bar2 = function->bar(2);
  PHYSICAL_ADDRESS start;
  start.QuadPart = static_cast<LONGLONG>(bar2.base);
  auto* window = static_cast<PUCHAR>(MmMapIoSpace(start, bar2.length, MmNonCached));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(READ_REGISTER_USHORT(reinterpret_cast<PUSHORT>(window + 0x40)) & 0xF, 0);  // DIP switch 0
  MmUnmapIoSpace(window, bar2.length);
}

TEST_F(RealMachine, ModuleNamedByAnInfThatCannotLoadLeavesTheCardWithoutDriver) {
  write_inf("; test\n[Version]\nSignature=x\n[Models]\n  pci\\ven_7a72&dev_0720 = missing_module ; model A\n");
  testing::internal::CaptureStderr();
  ASSERT_EQ(sim::boot("[Machine]\nClock=manual\n[Card0]\n"), STATUS_SUCCESS);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("missing_module.so"), std::string::npos);
  EXPECT_EQ(sim::devices().at(0).fdo, nullptr);
  EXPECT_EQ(sim::send_pnp(0, sim::Pnp::Start), STATUS_NO_SUCH_DEVICE);
}

TEST_F(RealMachine, BadDescriptionDoesNotBoot) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(sim::boot("[Machine]\nClock=sundial\n"), STATUS_INVALID_PARAMETER);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(sim::machine(), nullptr);
}

}  // namespace
