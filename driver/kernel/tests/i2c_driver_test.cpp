// The driver's I2C master against the board model's bus and EEPROMs, in this
// process over the kernel services: whole transfers, the start-up read of the
// board EEPROM, and what a silent device or a held clock does to them.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <thread>

#include "driver/kernel/I2cDevice.h"
#include "driver/kernel/tests/stavro_fixture.h"
#include "platform/board/board.h"
#include "platform/board/board_i2c.h"
#include "platform/kernel/bus.h"
#include "platform/kernel/device_internal.h"
#include "platform/kernel/objects.h"

namespace {

using namespace plat::kernel;
using namespace std::chrono_literals;

class StavroI2c : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kernel_.Start(), plat::kStatusSuccess);
    kernel_.AddBoard("FolvantX4Dual");
    ASSERT_EQ(bus_slot_start_status(kernel_.slot(0)), plat::kStatusSuccess);
    board_ = BoardOf(detail::namespace_find_device(L"\\Device\\STAVRO1"));
    ASSERT_NE(board_, nullptr);
    model_ = bus_slot_board(kernel_.slot(0));
  }

  // A device busy with its write cycle does not answer: ask again until it does.
  bool ReadWhenReady(std::uint8_t device, std::uint8_t sub, std::uint8_t* data, std::uint32_t count) {
    const auto limit = std::chrono::steady_clock::now() + 20s;
    do {
      if (I2C_Device_ReadEx(board_, 0, device, sub, data, count, 1)) return true;
      std::this_thread::sleep_for(1ms);
    } while (std::chrono::steady_clock::now() < limit);
    return false;
  }

  bool LogHas(const char* text) const { return kernel_.Log().find(text) != std::string::npos; }

  InProcessStavro kernel_;
  YatBoardExtension* board_ = nullptr;
  plat::board::Board* model_ = nullptr;
};

TEST_F(StavroI2c, StartUpReadsTheBoardEepromImage) {
  plat::board::EepromImage image{};
  ASSERT_TRUE(plat::board::board_eeprom_peek(model_, kYatEepromDevice, &image));
  EXPECT_EQ(0, std::memcmp(board_->eepromImage, image.data(), image.size()));
  EXPECT_EQ(board_->eepromImage[0], kYatEepromMarker);
  EXPECT_EQ(board_->eepromImage[38] | board_->eepromImage[39] << 8, 0x1002);
  EXPECT_EQ(board_->modelWord, image[4] * 16u + image[5]);
  EXPECT_FALSE(LogHas("Unable to read Eeprom"));
}

TEST_F(StavroI2c, WrittenBytesReachTheDeviceAndReadBack) {
  const std::array<std::uint8_t, 8> bytes{0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87};
  ASSERT_TRUE(I2C_Device_WriteEx(board_, 0, 0xA2, 0x20, bytes.data(), bytes.size(), 1));
  std::array<std::uint8_t, 8> back{};
  ASSERT_TRUE(ReadWhenReady(0xA2, 0x20, back.data(), back.size()));
  EXPECT_EQ(back, bytes);
  plat::board::EepromImage image{};
  ASSERT_TRUE(plat::board::board_eeprom_peek(model_, 0xA2, &image));
  EXPECT_EQ(image[0x27], 0x87);
}

TEST_F(StavroI2c, ReadWithoutSubAddressGoesOnWhereTheLastOneStopped) {
  std::uint8_t first = 0, second = 0;
  ASSERT_TRUE(I2C_Device_ReadEx(board_, 0, kYatEepromDevice, 38, &first, 1, 1));
  ASSERT_TRUE(I2C_Device_ReadEx(board_, 0, kYatEepromDevice, 0xEE, &second, 1, 0));
  EXPECT_EQ(first, 0x02);
  EXPECT_EQ(second, 0x10);
}

TEST_F(StavroI2c, SilentDeviceFailsAndLeavesBothLinesReleased) {
  struct Case {
    const char* what;
    std::uint8_t device;
  } cases[] = {{"daughter board not fitted", 0xAA}, {"no device at all", 0xA8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::uint8_t byte = 0x5A;
    EXPECT_FALSE(I2C_Device_WriteEx(board_, 0, c.device, 0, &byte, 1, 1));
    EXPECT_FALSE(I2C_Device_ReadEx(board_, 0, c.device, 0, &byte, 1, 1));
    EXPECT_EQ(plat::board::bar_read32(model_, 0, 0x10000) & 0xF, 0xFu);
  }
  ASSERT_TRUE(plat::board::board_eeprom_set_no_acknowledge(model_, kYatEepromDevice, true));
  EXPECT_EQ(Yat_EepromInit(board_), static_cast<QelHwStatus>(0xC0000000u));
}

TEST_F(StavroI2c, ClockHeldLowFailsTheTransferWithItsLogLines) {
  plat::board::board_i2c_hold_clock(model_, true);
  std::uint8_t byte = 0;
  EXPECT_FALSE(I2C_Device_ReadEx(board_, 0, kYatEepromDevice, 0, &byte, 1, 1));
  EXPECT_TRUE(LogHas("Stavro.SYS: I2C_Out: Clk is held low by a device."));
  EXPECT_FALSE(Yat_Eeprom_ResetK(board_));
  EXPECT_TRUE(LogHas("Stavro.SYS: I2C_ResetService: Clk is held low by a device."));
  EXPECT_TRUE(LogHas("Stavro.SYS: Yat_Eeprom_ResetK: Eeprom Not Reset"));
  plat::board::board_i2c_hold_clock(model_, false);
  EXPECT_TRUE(Yat_Eeprom_ResetK(board_));
  EXPECT_TRUE(I2C_Device_ReadEx(board_, 0, kYatEepromDevice, 0, &byte, 1, 1));
  EXPECT_EQ(byte, kYatEepromMarker);
}

TEST_F(StavroI2c, EepromWithoutItsMarkerStillLoads) {
  const std::array<std::uint8_t, 4> blank{0x00, 0x01, 0x02, 0x03};
  ASSERT_TRUE(plat::board::board_eeprom_program(model_, kYatEepromDevice, blank));
  EXPECT_EQ(Yat_EepromInit(board_), QELHW_OK);
  EXPECT_EQ(board_->eepromImage[0], 0x00);
  EXPECT_EQ(board_->eepromImage[3], 0x03);
  EXPECT_EQ(board_->eepromImage[4], 0xFF);
  EXPECT_TRUE(LogHas("Stavro.SYS: Yat_EepromInit: Eeprom Not Initialized"));
}

}  // namespace
