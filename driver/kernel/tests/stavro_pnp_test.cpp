// Driver entry, add-device, Plug and Play and the process table, in this
// process over the kernel services (the host cannot be asked for these cases).
#include <gtest/gtest.h>

#include <cstring>
#include <span>

#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/StavroDriver.h"
#include "driver/kernel/YatBoard.h"
#include "driver/kernel/tests/stavro_fixture.h"
#include "platform/board/board.h"
#include "platform/kernel/io_manager.h"
#include "platform/kernel/client.h"
#include "platform/kernel/device_internal.h"
#include "platform/kernel/irp.h"
#include "platform/kernel/objects.h"

namespace {

using namespace plat::kernel;

constexpr char kControl[] = "\\\\.\\STAVRO";

TEST(StavroEntry, RefusesToLoadWithoutAnOutsideDriver) {
  struct Case {
    bool log;
    bool memory;
  } cases[] = {{false, true}, {true, false}, {false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("log ") + (c.log ? "present" : "absent") + ", memory " + (c.memory ? "present" : "absent"));
    InProcessStavro kernel;
    EXPECT_EQ(kernel.Start(c.log, c.memory), plat::kStatusInsufficientResources);
    EXPECT_EQ(find_device_by_user_name(kControl), nullptr);
  }
}

// A bus of physical devices that complete what is passed down to them.
class TestBus {
 public:
  TestBus() : driver_(create_driver_object(L"\\Driver\\StavroTestBus")) {
    driver_->major_function[kMajorPnp] = Succeed;
    driver_->major_function[kMajorPower] = Succeed;
  }
  ~TestBus() {
    for (DeviceObject* device : devices_) delete_device(device);
    free_driver_object(driver_);
  }
  DeviceObject* NewDevice() {
    DeviceObject* device = nullptr;
    create_device(driver_, 0, nullptr, kFileDeviceBus, 0, false, &device);
    device->flags &= ~kDeviceFlagInitializing;
    devices_.push_back(device);
    return device;
  }

 private:
  static plat::NtStatus Succeed(DeviceObject*, Irp* irp) {
    irp->io_status.status = plat::kStatusSuccess;
    complete_request(irp, kIoNoIncrement);
    return plat::kStatusSuccess;
  }
  DriverObject* driver_;
  std::vector<DeviceObject*> devices_;
};

class StavroPnp : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(kernel_.Start(), plat::kStatusSuccess); }

  void* Open(std::int32_t pid) {
    ClientInfo client = kernel_.Client(pid);
    void* file = nullptr;
    EXPECT_EQ(kernel_request_sink().create(client, kControl, &file), plat::kStatusSuccess);
    return file;
  }
  void Close(void* file, std::int32_t pid) {
    ClientInfo client = kernel_.Client(pid);
    kernel_request_sink().close(file, client);
  }
  plat::NtStatus Pnp(std::size_t board, std::uint8_t minor) {
    return send_pnp_request(bus_slot_physical_device(kernel_.slot(board)), minor, nullptr, nullptr);
  }

  InProcessStavro kernel_;
};

TEST_F(StavroPnp, QueryRemoveFailsWhileAProcessHoldsTheDevice) {
  kernel_.AddBoard("FolvantX4Full");
  ASSERT_EQ(bus_slot_start_status(kernel_.slot(0)), plat::kStatusSuccess);
  void* first = Open(4242);
  void* second = Open(4242);
  Close(first, 4242);
  EXPECT_EQ(Pnp(0, kMinorQueryRemoveDevice), plat::kStatusUnsuccessful);  // the slot is kept
  EXPECT_EQ(Pnp(0, kMinorStopDevice), plat::kStatusUnsuccessful);
  EXPECT_EQ(Pnp(0, kMinorCancelStopDevice), plat::kStatusSuccess);
  Close(second, 4242);
  EXPECT_EQ(FindProcessSlot(kernel_.manager(), 4242), kYatNoProcessSlot);
  EXPECT_EQ(Pnp(0, kMinorQueryRemoveDevice), plat::kStatusSuccess);
  EXPECT_EQ(Pnp(0, kMinorCancelRemoveDevice), plat::kStatusSuccess);
}

// Board devices have no link of their own: they are opened by their device name.
TEST_F(StavroPnp, BoardDeviceServesRequestsLikeTheControlDevice) {
  kernel_.AddBoard("FolvantX4Full");
  kernel_.AddBoard("FolvantX4Dual");
  DeviceObject* boardDevice = detail::namespace_find_device(L"\\Device\\STAVRO2");
  ASSERT_NE(boardDevice, nullptr);
  for (std::uint32_t is32bit : {0u, 1u}) {
    ClientInfo client = kernel_.Client(777);
    client.is_32bit = is32bit;
    FileObject* file = nullptr;
    {
      ScopedClient scope(&client);
      ASSERT_EQ(detail::open_file_object(boardDevice, &client, false, &file), plat::kStatusSuccess);
    }
    EXPECT_EQ(FindProcessSlot(kernel_.manager(), 777), 0u);
    std::uint8_t out[8] = {};
    std::uint64_t information = 0;
    EXPECT_EQ(kernel_device_control(file, client, YAT_IOCTRL_GET_ABI_VERSION, {},
                                    std::span<std::byte>(reinterpret_cast<std::byte*>(out), 8), &information),
              plat::kStatusSuccess);
    EXPECT_EQ(information, 8u);
    std::uint32_t words[2];
    std::memcpy(words, out, 8);
    EXPECT_EQ(words[0], 0u);
    EXPECT_EQ(words[1], YAT_DRIVER_ABI_VERSION);
    kernel_request_sink().close(file, client);
    EXPECT_EQ(FindProcessSlot(kernel_.manager(), 777), kYatNoProcessSlot);
  }
}

TEST_F(StavroPnp, RemovalDeletesTheBoardDeviceAfterItsClientLeft) {
  kernel_.AddBoard("FolvantX4Full");
  kernel_.AddBoard("FolvantX4Dual");
  Close(Open(31), 31);
  EXPECT_EQ(Pnp(1, kMinorQueryRemoveDevice), plat::kStatusSuccess);
  EXPECT_EQ(Pnp(1, kMinorRemoveDevice), plat::kStatusSuccess);
  EXPECT_EQ(detail::namespace_find_device(L"\\Device\\STAVRO2"), nullptr);
  EXPECT_NE(detail::namespace_find_device(L"\\Device\\STAVRO1"), nullptr);
  EXPECT_EQ(kernel_.manager()->boardCount, 1u);
  EXPECT_NE(find_device_by_user_name(kControl), nullptr);
}

TEST_F(StavroPnp, PciLocationAndConfigurationSpaceComeFromTheBus) {
  kernel_.AddBoard("FolvantX4Dual");
  YatBoardExtension* board = BoardOf(detail::namespace_find_device(L"\\Device\\STAVRO1"));
  ASSERT_NE(board, nullptr);
  const plat::board::PciLocation where = plat::board::board_location(bus_slot_board(kernel_.slot(0)));
  std::uint32_t location = 0;
  ASSERT_EQ(GDrv_GetDeviceBusInformation(board, &location), QELHW_OK);
  EXPECT_EQ(location, static_cast<std::uint32_t>(where.bus << 8 | where.device << 3 | where.function));
  EXPECT_EQ(GDrv_GetDeviceBusInformation(nullptr, &location), QELHW_ERROR_INVALID_HANDLE);

  std::uint16_t vendor = 0;
  ASSERT_EQ(GDrv_ReadPciConfigurationSpace(board, &vendor, 0, sizeof vendor), QELHW_OK);
  EXPECT_EQ(vendor, 0x11EC);
  EXPECT_EQ(GDrv_ReadPciConfigurationSpace(board, nullptr, 0, 2), plat::kStatusInsufficientResources);
}

TEST_F(StavroPnp, ProcessesTakeTheLowestFreeSlots) {
  std::vector<void*> files;
  for (std::int32_t pid = 100; pid < 117; ++pid) files.push_back(Open(pid));
  YatManagerExtension* manager = kernel_.manager();
  EXPECT_EQ(FindProcessSlot(manager, 100), 0u);
  EXPECT_EQ(FindProcessSlot(manager, 115), 15u);
  EXPECT_EQ(FindProcessSlot(manager, 116), kYatNoProcessSlot);
  EXPECT_NE(kernel_.Log().find("Stavro.SYS: >AddProcessID< No free process ID"), std::string::npos);
  Close(files[3], 103);
  void* late = Open(200);
  EXPECT_EQ(FindProcessSlot(manager, 200), 3u);
  Close(late, 200);
  for (std::size_t i = 0; i < files.size(); ++i)
    if (i != 3) Close(files[i], static_cast<std::int32_t>(100 + i));
}

TEST_F(StavroPnp, TwoInterruptResourcesConnectOnlyTheFirst) {
  kernel_.AddBoard("FolvantX4Full");  // its register space is what the second device maps
  TestBus bus;
  DeviceObject* physical = bus.NewDevice();
  ASSERT_EQ(kernel_.driver()->add_device(kernel_.driver(), physical), plat::kStatusSuccess);
  ASSERT_NE(physical->attached_device, nullptr);
  const plat::board::BarRange bar0 = plat::board::board_bars(bus_slot_board(kernel_.slot(0))).front();

  ResourceList resources{};
  resources.count = 1;
  PartialResourceList& partial = resources.list[0].partial;
  partial.count = 3;
  partial.descriptors[0].type = ResourceType::kInterrupt;
  partial.descriptors[0].u.interrupt = {9, 0x70, 1};
  partial.descriptors[1].type = ResourceType::kInterrupt;
  partial.descriptors[1].u.interrupt = {12, 0x71, 1};
  partial.descriptors[2].type = ResourceType::kMemory;
  partial.descriptors[2].u.memory = {bar0.bus_address, static_cast<std::uint32_t>(bar0.length)};
  EXPECT_EQ(send_pnp_request(physical, kMinorStartDevice, &resources, &resources), plat::kStatusSuccess);

  YatBoardExtension* board = BoardOf(physical->attached_device);
  EXPECT_EQ(board->interruptVector, 0x70u);
  EXPECT_EQ(board->interruptLevel, 9);
  EXPECT_NE(board->interrupt, nullptr);
  EXPECT_EQ(board->state, kYatBoardStarted);
  EXPECT_EQ(board->rangeCount, 1u);
  EXPECT_NE(kernel_.Log().find("Stavro.SYS: MAPDEVICE => Too many interrupts (2)"), std::string::npos);
  EXPECT_EQ(send_pnp_request(physical, kMinorRemoveDevice, nullptr, nullptr), plat::kStatusSuccess);
  EXPECT_EQ(physical->attached_device, nullptr);
}

TEST_F(StavroPnp, SeventeenthBoardGetsNoDeviceAndLastRemovalDeletesTheControlDevice) {
  TestBus bus;
  std::vector<DeviceObject*> physicals;
  for (int i = 0; i < 17; ++i) {
    physicals.push_back(bus.NewDevice());
    EXPECT_EQ(kernel_.driver()->add_device(kernel_.driver(), physicals.back()), plat::kStatusSuccess);
  }
  EXPECT_EQ(kernel_.manager()->boardCount, 16u);
  EXPECT_EQ(physicals.back()->attached_device, nullptr);
  EXPECT_NE(detail::namespace_find_device(L"\\Device\\STAVRO16"), nullptr);  // names are slot + 1
  EXPECT_EQ(detail::namespace_find_device(L"\\Device\\STAVRO17"), nullptr);

  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(send_pnp_request(physicals[i], kMinorRemoveDevice, nullptr, nullptr), plat::kStatusSuccess);
  }
  EXPECT_EQ(find_device_by_user_name(kControl), nullptr);
  EXPECT_EQ(detail::namespace_find_device(L"\\Device\\STAVRO1"), nullptr);
  EXPECT_EQ(kernel_.driver()->add_device(kernel_.driver(), physicals.back()), plat::kStatusInsufficientResources);
}

}  // namespace
