#include <gtest/gtest.h>

#include "platform/board/config_space.h"
#include "platform/board/tests/board_fixture.h"

namespace plat::board {
namespace {

struct ModelIds {
  const char* model;
  std::uint32_t device_id;
  std::uint32_t subsystem_id;
};

void PrintTo(const ModelIds& ids, std::ostream* out) { *out << ids.model; }

class PciConfigTest : public ::testing::TestWithParam<ModelIds> {
 protected:
  plat::testing::ScopedMachine machine;
};

std::uint32_t walk_to(Board* board, std::uint8_t id, bool bridge) {
  auto read = [&](std::uint32_t at) {
    return bridge ? bridge_config_read(board, at, 1) : config_read(board, at, 1);
  };
  std::uint32_t at = read(kCfgCapabilityPointer);
  for (int hops = 0; at != 0 && at != 0xFF && hops < 48; ++hops) {
    if (read(at) == id) return at;
    at = read(at + 1);
  }
  return 0;
}

TEST_P(PciConfigTest, FunctionCarriesTheModelsIdsAndClass) {
  BoardPtr board = make_board(GetParam().model, 2);
  ASSERT_NE(board, nullptr);
  EXPECT_EQ(config_read(board.get(), kCfgVendorId, 2), 0x11ECu);
  EXPECT_EQ(config_read(board.get(), kCfgDeviceId, 2), GetParam().device_id);
  EXPECT_EQ(config_read(board.get(), kCfgSubsystemVendorId, 2), 0x11ECu);
  EXPECT_EQ(config_read(board.get(), kCfgSubsystemId, 2), GetParam().subsystem_id);
  EXPECT_EQ(config_read(board.get(), kCfgClassCode, 3), 0x040000u);
  EXPECT_EQ(config_read(board.get(), kCfgHeaderType, 1), 0u);
  EXPECT_EQ(config_read(board.get(), kCfgInterruptPin, 1), 1u);
  EXPECT_NE(config_read(board.get(), kCfgStatus, 2) & kStatusCapabilityList, 0u);
  // Read-only fields ignore writes.
  config_write(board.get(), kCfgVendorId, 2, 0x1234);
  EXPECT_EQ(config_read(board.get(), kCfgVendorId, 4),
            0x11ECu | (GetParam().device_id << 16));
}

TEST_P(PciConfigTest, Bar0SizeByAllOnesProbeAndRestore) {
  BoardPtr board = make_board(GetParam().model, 1);
  const std::uint32_t assigned = config_read(board.get(), kCfgBar0, 4);
  EXPECT_EQ(board_bars(board.get()).at(0).bus_address, assigned);
  config_write(board.get(), kCfgBar0, 4, 0xFFFFFFFF);
  const std::uint32_t probed = config_read(board.get(), kCfgBar0, 4);
  EXPECT_EQ(~(probed & ~0xFu) + 1, 0x20000u);  // 96 register blocks, rounded to a power of two
  EXPECT_EQ(probed & 0xFu, 0u);               // 32-bit, non-prefetchable memory
  for (std::uint32_t bar = 1; bar < 6; ++bar) {
    config_write(board.get(), kCfgBar0 + 4 * bar, 4, 0xFFFFFFFF);
    EXPECT_EQ(config_read(board.get(), kCfgBar0 + 4 * bar, 4), 0u) << "bar " << bar;
  }
  config_write(board.get(), kCfgBar0, 4, assigned);
  EXPECT_EQ(config_read(board.get(), kCfgBar0, 4), assigned);
}

TEST_P(PciConfigTest, CapabilityWalkReachesTheExpressLink) {
  BoardPtr board = make_board(GetParam().model);
  EXPECT_NE(walk_to(board.get(), kCapPowerManagement, false), 0u);
  const std::uint32_t express = walk_to(board.get(), kCapPciExpress, false);
  ASSERT_NE(express, 0u);
  const std::uint32_t link = config_read(board.get(), express + kExpLinkStatus, 2);
  EXPECT_EQ((link >> 4) & 0x3F, 4u);
  EXPECT_EQ(link & 0xF, 1u);
  EXPECT_EQ((config_read(board.get(), express + kExpLinkCapabilities, 4) >> 4) & 0x3F, 4u);
  EXPECT_EQ(walk_to(board.get(), 0x05, false), 0u);  // no MSI: the line is the interrupt
}

TEST_P(PciConfigTest, BridgeAboveLeadsToTheBoardsBus) {
  BoardPtr board = make_board(GetParam().model, 3);
  const PciLocation location = board_location(board.get());
  const PciLocation bridge = board_bridge_location(board.get());
  EXPECT_EQ(bridge.bus, 0);
  EXPECT_EQ(bridge_config_read(board.get(), kCfgClassCode, 3), 0x060400u);
  EXPECT_EQ(bridge_config_read(board.get(), kCfgHeaderType, 1), 1u);
  EXPECT_EQ(bridge_config_read(board.get(), kCfgSecondaryBus, 1), location.bus);
  EXPECT_EQ(bridge_config_read(board.get(), kCfgSubordinateBus, 1), location.bus);
  // The board's BAR lies in the bridge's memory window.
  const std::uint64_t base = std::uint64_t{bridge_config_read(board.get(), kCfgMemoryBase, 2) & 0xFFF0} << 16;
  const std::uint64_t limit =
      (std::uint64_t{bridge_config_read(board.get(), kCfgMemoryLimit, 2) & 0xFFF0} << 16) | 0xFFFFF;
  const BarRange bar = board_bars(board.get()).at(0);
  EXPECT_GE(bar.bus_address, base);
  EXPECT_LE(bar.bus_address + bar.length - 1, limit);
  // Error reporting on the bridge can be masked and restored.
  const std::uint32_t express = walk_to(board.get(), kCapPciExpress, true);
  ASSERT_NE(express, 0u);
  bridge_config_write(board.get(), express + kExpDeviceControl, 2, 0x000F);
  EXPECT_EQ(bridge_config_read(board.get(), express + kExpDeviceControl, 2) & 0xF, 0xFu);
  bridge_config_write(board.get(), kCfgCommand, 2, kCommandSerr | kCommandMemorySpace);
  EXPECT_EQ(bridge_config_read(board.get(), kCfgCommand, 2), std::uint32_t{kCommandSerr | kCommandMemorySpace});
}

INSTANTIATE_TEST_SUITE_P(Models, PciConfigTest,
                         ::testing::Values(ModelIds{"FolvantX4Full", 0x0C41, 0x1001},
                                           ModelIds{"FolvantX4Dual", 0x0C42, 0x1002}),
                         [](const auto& info) { return std::string(info.param.model); });

TEST(PciConfig, BadAccessesAndModelsAreRefused) {
  plat::testing::ScopedMachine machine;
  EXPECT_EQ(make_board("FolvantX8"), nullptr);
  EXPECT_EQ(make_board("FolvantX4Full", -1), nullptr);
  EXPECT_EQ(make_board("FolvantX4Full", kMaxBoards), nullptr);
  BoardPtr board = make_board("FolvantX4Full");
  EXPECT_EQ(config_read(board.get(), 0x03, 2), 0xFFFFu);    // crosses a double word
  EXPECT_EQ(config_read(board.get(), 0x00, 5), 0xFFFFFFFFu);  // bad width
  EXPECT_EQ(config_read(board.get(), 0x01, 2), 0x4111u);  // inside one: fine
  EXPECT_EQ(config_read(board.get(), 0xFE, 4), 0xFFFFFFFFu);
  EXPECT_EQ(config_read(board.get(), 0x1000, 4), 0xFFFFFFFFu);
  config_write(board.get(), 0x3FFF, 4, 0);  // nothing happens, nothing breaks
}

TEST(PciConfig, VanishedBoardAnswersAllOnes) {
  plat::testing::ScopedMachine machine;
  BoardPtr board = make_board("FolvantX4Dual");
  board_set_vanished(board.get(), true);
  EXPECT_EQ(config_read(board.get(), kCfgVendorId, 2), 0xFFFFu);
  EXPECT_EQ(config_read(board.get(), kCfgBar0, 4), 0xFFFFFFFFu);
  EXPECT_EQ(bar_read32(board.get(), 0, 0x400), 0xFFFFFFFFu);
  EXPECT_EQ(bar_read32(board.get(), 0, 0x10014), 0xFFFFFFFFu);
  // The bridge above stays.
  EXPECT_EQ(bridge_config_read(board.get(), kCfgClassCode, 3), 0x060400u);
  board_set_vanished(board.get(), false);
  EXPECT_EQ(config_read(board.get(), kCfgVendorId, 2), 0x11ECu);
}

}  // namespace
}  // namespace plat::board
