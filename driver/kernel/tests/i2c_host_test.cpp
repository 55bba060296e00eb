// Section 4 through the real path: this process is a client of a kernel host
// that runs the driver over two simulated boards.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>

#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "driver/kernel/YatI2cRecords.h"
#include "driver/kernel/tests/stavro_host_fixture.h"
#include "driver/user/QelHwStatus.h"
#include "platform/support/machine_log.h"
#include "platform/testing/board_control.h"
#include "platform/testing/child_process.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/device.h"

namespace {

using namespace std::chrono_literals;
using plat::testing::ChildProcess;

class StavroI2cHost : public StavroHostTest {
 protected:
  static YatI2cRequestIn Record(std::uint32_t board, std::uint8_t device, std::uint8_t sub, void* data,
                                std::uint32_t count) {
    YatI2cRequestIn record{};
    record.header = {YAT_IOC_TARGET_BOARD, board};
    record.deviceAddress = device;
    record.subAddress = sub;
    record.buffer = reinterpret_cast<std::uintptr_t>(data);
    record.count = count;
    record.subAddressFlag = 1;
    return record;
  }

  // The driver's status word, or a marker value when the request itself failed.
  std::int32_t Send(std::uint32_t code, const void* record, std::uint32_t size) {
    std::int32_t status = 0x7777;
    std::uint32_t returned = 0;
    if (!plat::device_io_control(device_, code, record, size, &status, sizeof status, &returned) || returned != 4)
      return 0x7777;
    return status;
  }

  std::int32_t Read(std::uint32_t board, std::uint8_t device, std::uint8_t sub, void* data, std::uint32_t count) {
    const YatI2cRequestIn record = Record(board, device, sub, data, count);
    return Send(YAT_IOCTRL_I2C_READ, &record, sizeof record);
  }

  std::int32_t Write(std::uint32_t board, std::uint8_t device, std::uint8_t sub, void* data, std::uint32_t count) {
    const YatI2cRequestIn record = Record(board, device, sub, data, count);
    return Send(YAT_IOCTRL_I2C_WRITE, &record, sizeof record);
  }

  // A device busy with its write cycle answers nothing: ask until it does.
  std::int32_t ReadWhenReady(std::uint32_t board, std::uint8_t device, std::uint8_t sub, void* data,
                             std::uint32_t count) {
    const auto limit = std::chrono::steady_clock::now() + 20s;
    std::int32_t status = 0;
    do {
      status = Read(board, device, sub, data, count);
      if (status != QELHW_ERROR_I2C_READ) return status;
      std::this_thread::sleep_for(2ms);
    } while (std::chrono::steady_clock::now() < limit);
    return status;
  }

  static bool LogShows(const std::string& text) { return plat::testing::machine_log_shows({text}); }
};

TEST_F(StavroI2cHost, BytesWrittenToOneBoardReadBackAndStayOffTheOther) {
  std::array<std::uint8_t, 6> bytes{1, 2, 3, 4, 5, 6};
  ASSERT_EQ(Write(1, 0xA4, 0x30, bytes.data(), bytes.size()), QELHW_OK);
  std::array<std::uint8_t, 6> back{};
  ASSERT_EQ(ReadWhenReady(1, 0xA4, 0x30, back.data(), back.size()), QELHW_OK);
  EXPECT_EQ(back, bytes);
  ASSERT_EQ(ReadWhenReady(0, 0xA4, 0x30, back.data(), back.size()), QELHW_OK);
  EXPECT_EQ(back, (std::array<std::uint8_t, 6>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(StavroI2cHost, ThirtyTwoBitCallerNamesItsDataInFourBytes) {
  void* page = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  YatI2cRequestIn32 record{};
  record.header = {YAT_IOC_TARGET_BOARD, 0};
  record.deviceAddress = 0xA0;
  record.subAddress = 38;
  record.buffer = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(page));
  record.count = 2;
  record.subAddressFlag = 1;
  plat::set_device_caller_width(true);
  EXPECT_EQ(Send(YAT_IOCTRL_I2C_READ, &record, sizeof record), QELHW_OK);
  EXPECT_EQ(Send(YAT_IOCTRL_I2C_READ, &record, sizeof record - 1), QELHW_ERROR_IOC_BUFFER);
  plat::set_device_caller_width(false);
  const auto* model = static_cast<const std::uint8_t*>(page);
  EXPECT_EQ(model[0] | model[1] << 8, 0x1001);
  ::munmap(page, 4096);
}

TEST_F(StavroI2cHost, DeviceThatDoesNotAcknowledgeFailsTheRequest) {
  ASSERT_EQ(plat::testing::board_control_eeprom_set_no_acknowledge(0, 0xA2, true), plat::board::kControlOk);
  std::uint8_t byte = 0;
  EXPECT_EQ(Read(0, 0xA2, 0, &byte, 1), QELHW_ERROR_I2C_READ);
  EXPECT_EQ(Write(0, 0xA2, 0, &byte, 1), QELHW_ERROR_I2C_WRITE);
  EXPECT_EQ(Read(1, 0xA2, 0, &byte, 1), QELHW_OK) << "the other board's device answers";
  EXPECT_EQ(Read(0, 0xAA, 0, &byte, 1), QELHW_ERROR_I2C_READ) << "no daughter board fitted";
}

TEST_F(StavroI2cHost, ClockHeldLowFailsWithItsLogLine) {
  ASSERT_EQ(plat::testing::board_control_i2c_hold_clock(1, true), plat::board::kControlOk);
  std::uint8_t byte = 0;
  EXPECT_EQ(Read(1, 0xA0, 0, &byte, 1), QELHW_ERROR_I2C_READ);
  EXPECT_TRUE(LogShows("Stavro.SYS: I2C_Out: Clk is held low by a device."));
  ASSERT_EQ(plat::testing::board_control_i2c_hold_clock(1, false), plat::board::kControlOk);
  EXPECT_EQ(Read(1, 0xA0, 0, &byte, 1), QELHW_OK);
  EXPECT_EQ(byte, 0xA5);
}

TEST_F(StavroI2cHost, CountsAndAddressesAreCheckedBeforeTheBus) {
  std::array<std::uint8_t, 300> data{};
  struct Case {
    const char* what;
    std::uint32_t code;
    void* buffer;
    std::uint32_t count;
    std::int32_t status;
  } cases[] = {
      {"read of nothing", YAT_IOCTRL_I2C_READ, data.data(), 0, QELHW_ERROR_ARG_INVALID},
      {"read past the largest device", YAT_IOCTRL_I2C_READ, data.data(), 257, QELHW_ERROR_ARG_INVALID},
      {"write past the largest device", YAT_IOCTRL_I2C_WRITE, data.data(), 0x10000000, QELHW_ERROR_ARG_INVALID},
      {"write from an address nobody owns", YAT_IOCTRL_I2C_WRITE, reinterpret_cast<void*>(8), 4,
       QELHW_ERROR_PARAMETER_INVALID},
      {"read into an address nobody owns", YAT_IOCTRL_I2C_READ, reinterpret_cast<void*>(8), 4,
       QELHW_ERROR_PARAMETER_INVALID},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const YatI2cRequestIn record = Record(0, 0xA4, 0, c.buffer, c.count);
    EXPECT_EQ(Send(c.code, &record, sizeof record), c.status);
  }
  const YatI2cRequestIn record = Record(0, 0xA4, 0, data.data(), 1);
  EXPECT_EQ(Send(YAT_IOCTRL_I2C_READ, &record, sizeof record - 1), QELHW_ERROR_IOC_BUFFER);
  plat::board::EepromImage image{};
  ASSERT_EQ(plat::testing::board_control_eeprom_peek(0, 0xA4, &image), plat::board::kControlOk);
  EXPECT_EQ(image[0], 0xFF) << "nothing was written";
}

}  // namespace
