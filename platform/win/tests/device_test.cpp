// What a device client does on its own, with no kernel host to talk to.
#include "platform/win/device.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/testing/machine_fixture.h"
#include "platform/win/errors.h"

namespace plat {
namespace {

TEST(DeviceTest, OpenWithoutHostOrWithABadNameFindsNoFile) {
  plat::testing::ScopedMachine machine;
  std::string too_long = "\\\\.\\" + std::string(300, 'A');
  const char* names[] = {"\\\\.\\STAVRO", "STAVRO", "\\\\.\\", nullptr, too_long.c_str()};
  for (const char* name : names) {
    set_last_error(kErrorSuccess);
    EXPECT_EQ(open_device(name), kNullHandle);
    EXPECT_EQ(last_error(), kErrorFileNotFound);
  }
}

TEST(DeviceTest, UnknownDeviceHandleIsInvalid) {
  plat::testing::ScopedMachine machine;
  Handle never_opened = kDeviceHandleBit | 12345;
  std::uint32_t out = 0, returned = 7;
  EXPECT_FALSE(device_io_control(never_opened, 0x222020, nullptr, 0, &out, sizeof out, &returned));
  EXPECT_EQ(last_error(), kErrorInvalidHandle);
  EXPECT_EQ(returned, 0u);
  EXPECT_FALSE(close_handle(never_opened));
  EXPECT_FALSE(close_device(never_opened));
  EXPECT_EQ(last_error(), kErrorInvalidHandle);
}

}  // namespace
}  // namespace plat
