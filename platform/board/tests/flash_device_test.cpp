// The flash device at bus-cycle level, its factory image and its store.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "driver/user/CbhRecords.h"
#include "platform/board/flash_device.h"
#include "platform/board/flash_factory.h"
#include "platform/board/flash_store.h"
#include "platform/testing/machine_fixture.h"

namespace {

using namespace plat::board;

class FlashDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    memory_.assign(kFlashWords, 0xFFFF);
    device_.words = memory_.data();
    device_.timing = FlashTiming{0, 0};
  }
  void Cycles(std::initializer_list<std::pair<std::uint32_t, std::uint16_t>> cycles) {
    for (const auto& [address, data] : cycles) flash_write_cycle(device_, address, data);
  }
  void Unlocked(std::uint16_t command) { Cycles({{0x555, 0xAA}, {0x2AA, 0x55}, {0x555, command}}); }
  std::vector<std::uint16_t> memory_;
  FlashDevice device_;
};

TEST_F(FlashDeviceTest, ProgramClearsBitsAndEraseSetsTheBlockBack) {
  Unlocked(0xA0);
  flash_write_cycle(device_, 0x8001, 0x1234);
  EXPECT_EQ(flash_read_cycle(device_, 0x8001), 0x1234);
  Unlocked(0x20);  // bypass: one extra cycle per word
  Cycles({{0x555, 0xA0}, {0x8001, 0xFF00}, {0x8000, 0x90}, {0x8000, 0}});
  EXPECT_EQ(flash_read_cycle(device_, 0x8001), 0x1200) << "programming only clears bits";
  Unlocked(0x80);
  Cycles({{0x555, 0xAA}, {0x2AA, 0x55}, {0x8123, 0x30}});
  EXPECT_EQ(flash_read_cycle(device_, 0x8001), 0xFFFF);
}

TEST_F(FlashDeviceTest, BusyDeviceAnswersTheDataPollUntilDone) {
  device_.timing.erase_us = 200000;
  Unlocked(0x80);
  Cycles({{0x555, 0xAA}, {0x2AA, 0x55}, {0, 0x30}});
  EXPECT_FALSE(flash_ready(device_));
  EXPECT_EQ(flash_read_cycle(device_, 0) & 0x80, 0);
  device_.busy_until = FlashClock::now();
  EXPECT_TRUE(flash_ready(device_));
  EXPECT_EQ(flash_read_cycle(device_, 0), 0xFFFF);
}

TEST_F(FlashDeviceTest, PersistentBitsProtectBlocksAndEraseAllFreesThem) {
  Unlocked(0xC0);
  Cycles({{0, 0xA0}, {3 * kFlashBlockWords, 0}});
  EXPECT_EQ(flash_read_cycle(device_, 3 * kFlashBlockWords), 0) << "0 reads as protected";
  EXPECT_EQ(flash_read_cycle(device_, 4 * kFlashBlockWords), 1);
  Cycles({{0, 0x90}, {0, 0}});
  Unlocked(0xA0);
  flash_write_cycle(device_, 3 * kFlashBlockWords, 0);
  EXPECT_EQ(memory_[3 * kFlashBlockWords], 0xFFFF) << "a protected block keeps its contents";
  Unlocked(0x90);
  EXPECT_EQ(flash_read_cycle(device_, 3 * kFlashBlockWords + 2), 1);
  EXPECT_EQ(flash_read_cycle(device_, 3), kFlashSchemeWordPersistent);
  flash_write_cycle(device_, 0, 0xF0);
  Unlocked(0xC0);
  Cycles({{0, 0x80}, {0, 0x30}});
  EXPECT_EQ(flash_read_cycle(device_, 0), 1);
  EXPECT_EQ(device_.protected_blocks[3], 0);
}

TEST_F(FlashDeviceTest, LegacyGroupsChangeOnlyUnderTheProgrammingVoltage) {
  device_.scheme = FlashProtectionScheme::kLegacyGroups;
  const std::uint32_t g = (0x80000 | 4) / 2;  // group of blocks 8..11
  Cycles({{0, 0x60}, {g, 0x60}});
  EXPECT_EQ(device_.protected_blocks[8], 0) << "no voltage, no change";
  device_.programming_voltage = true;
  Cycles({{0, 0x60}, {g, 0x60}, {g, 0x40}});
  EXPECT_EQ(flash_read_cycle(device_, g), 1);
  for (std::uint32_t b = 8; b <= 11; ++b) EXPECT_EQ(device_.protected_blocks[b], 1) << b;
  EXPECT_EQ(device_.protected_blocks[12], 0);
  const std::uint32_t u = (0x80000 | 0x84) / 2;
  Cycles({{u, 0x60}, {u, 0x40}});
  EXPECT_EQ(flash_read_cycle(device_, u), 0);
  std::uint32_t first = 0, last = 0;
  flash_group_of(62, &first, &last);
  EXPECT_EQ(first, 62u);
  EXPECT_EQ(last, 62u);
}

TEST_F(FlashDeviceTest, AWeakWordReadsRightOnceThenFails) {
  device_.verify_failures = 1;
  Unlocked(0xA0);
  flash_write_cycle(device_, 10, 0x00F0);
  EXPECT_EQ(flash_read_cycle(device_, 10), 0x00F0);
  EXPECT_EQ(flash_read_cycle(device_, 10), 0x00F1);
  Unlocked(0xA0);
  flash_write_cycle(device_, 12, 0x00F0);
  EXPECT_EQ(flash_read_cycle(device_, 12), 0x00F0);
  EXPECT_EQ(flash_read_cycle(device_, 12), 0x00F0) << "one failure was asked for";
}

TEST(FlashStoreTest, FactoryImageHoldsValidSectionsAndSurvivesReopening) {
  plat::testing::ScopedMachine machine;
  const std::string dir = machine.path("boards/0");
  const BoardPreset& preset = *find_preset("FolvantX4Dual");
  FlashStore store;
  FlashDevice device;
  ASSERT_TRUE(flash_store_open(store, device, preset, dir));
  EXPECT_EQ(device.scheme, FlashProtectionScheme::kLegacyGroups);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(device.words);
  for (std::uint32_t offset : {kFlashMainOffset, kFlashBackupOffset}) {
    BitstreamDesign design{};
    EXPECT_EQ(bitstream_validate(std::span(bytes + offset, kFlashSectionSize), FpgaKind::kMain, &design),
              BitstreamError::kNone);
    EXPECT_EQ(design.design_id, preset.fpga_id);
  }
  for (std::uint32_t slot : {0u, 1u}) {
    const std::uint8_t* at = bytes + kFlashHeaderArea + slot * kFlashHeaderSlotSize;
    CbhHeader header{};
    std::memcpy(&header, at + 12, sizeof header);
    EXPECT_EQ(std::memcmp(header.magic, kCbhMagic.data(), kCbhMagic.size()), 0);
    EXPECT_EQ(header.componentId, slot);
    EXPECT_EQ(at[12 + kCbhHeaderSize], 0xFF);
  }
  device.words[100] = 0x1234;
  device.protected_blocks[7] = 1;
  device.protection_changed = true;
  flash_store_close(store, device);
  FlashDevice again;
  ASSERT_TRUE(flash_store_open(store, again, preset, dir));
  EXPECT_EQ(again.words[100], 0x1234);
  EXPECT_EQ(again.protected_blocks[7], 1);
  flash_store_close(store, again);
  EXPECT_EQ(std::filesystem::file_size(flash_store_file(dir)), kFlashBytes);
}

}  // namespace
