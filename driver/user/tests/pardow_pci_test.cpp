// The PCI access binding against the kernel host's simulated bus: the bridge
// above a board gets its error reporting masked and restored.
#include <utility>

#include "driver/user/QelPciBinding.h"
#include "driver/user/QelPciUtil.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/testing/board_control.h"
#include "qellib/QelLog.h"

namespace {

using pardow_test::PardowMachine;

constexpr std::uint32_t kCommand = 0x04;
constexpr std::uint32_t kSerr = 0x100;
constexpr std::uint32_t kExpress = 0x40;  // the bridge's PCI Express capability
constexpr std::uint32_t kDeviceControl = kExpress + 8;

class PciBridge : public PardowMachine {
 protected:
  void SetUp() override {
    PardowMachine::SetUp();
    // The PCI access needs the bus only; any driver will do.
    start_host({"FolvantX4Full", "FolvantX4Dual"}, "TestDrv.SYS");
    LoadQelLog();
    QelPciLoad("Pardow.DLL");
    ASSERT_TRUE(QelPciIsBound());
  }
  void TearDown() override {
    QelPciUnload();
    UnloadQelLog();
    PardowMachine::TearDown();
  }

  static std::uint32_t bridge_word(int board, std::uint32_t offset) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_config_read(board, offset, 2, &value, true), 0);
    return value;
  }
  static void set_bridge_word(int board, std::uint32_t offset, std::uint32_t value) {
    ASSERT_EQ(plat::testing::board_control_config_write(board, offset, 2, value, true), 0);
  }
  // Board n sits on bus n + 1.
  static std::uint32_t board_address(int board) { return QelPciAddress(board + 1, 0, 0); }
};

TEST_F(PciBridge, TheSearchesSeeEachBoardAndTheBridgeAboveIt) {
  EXPECT_EQ(QelPciFindClassCode(0x060400, 0), QelPciAddress(0, 1, 0));
  EXPECT_EQ(QelPciFindClassCode(0x060400, 1), QelPciAddress(0, 2, 0));
  EXPECT_EQ(QelPciFindClassCode(0x060400, 2) & 0xFFFF, 0xFFFFu);
  QelPciBridgeState state{};
  ASSERT_TRUE(QelPci_FindBridge(board_address(1), &state));
  EXPECT_EQ(state.bridgeAddress, QelPciAddress(0, 2, 0));
  EXPECT_EQ(QelPci_FindCapability(state.bridgeAddress, kPciCapabilityExpress), kExpress);
}

TEST_F(PciBridge, DisableMasksSerrAndReportingAndRestorePutsThemBack) {
  const std::uint32_t command = bridge_word(1, kCommand) | kSerr;
  const std::uint32_t control = bridge_word(1, kDeviceControl) | 0xF;
  set_bridge_word(1, kCommand, command);
  set_bridge_word(1, kDeviceControl, control);

  QelPciBridgeState state{};
  ASSERT_EQ(QelPci_BridgeInterrupt_Disable(board_address(1), 1, &state), QELHW_OK);
  EXPECT_EQ(state.bridgeAddress, QelPciAddress(0, 2, 0));
  EXPECT_EQ(state.flags, 0x7F);
  EXPECT_EQ(bridge_word(1, kCommand), command & ~kSerr);
  EXPECT_EQ(bridge_word(1, kDeviceControl), control & ~0xFu);
  // The other board's bridge is not touched.
  EXPECT_EQ(bridge_word(0, kCommand) & kSerr, 0u);

  ASSERT_EQ(QelPci_BridgeInterrupt_Disable(board_address(1), 0, &state), QELHW_OK);
  EXPECT_EQ(bridge_word(1, kCommand), command);
  EXPECT_EQ(bridge_word(1, kDeviceControl), control);
}

TEST_F(PciBridge, WhatWasAlreadyClearIsNeitherWrittenNorRestored) {
  const std::uint32_t command = bridge_word(0, kCommand) & ~kSerr;
  const std::uint32_t control = (bridge_word(0, kDeviceControl) & ~0xFu) | 0x4;  // fatal reporting only
  set_bridge_word(0, kCommand, command);
  set_bridge_word(0, kDeviceControl, control);

  QelPciBridgeState state{};
  ASSERT_EQ(QelPci_BridgeInterrupt_Disable(board_address(0), 1, &state), QELHW_OK);
  EXPECT_EQ(state.flags, kBridgeSavedFatal | kBridgeControlChanged);
  EXPECT_EQ(bridge_word(0, kDeviceControl), control & ~0xFu);

  // Someone sets SERR# meanwhile: the restore did not change the command
  // register, so it leaves it alone.
  set_bridge_word(0, kCommand, command | kSerr);
  ASSERT_EQ(QelPci_BridgeInterrupt_Disable(board_address(0), 0, &state), QELHW_OK);
  EXPECT_EQ(bridge_word(0, kCommand), command | kSerr);
  EXPECT_EQ(bridge_word(0, kDeviceControl), control);
}

TEST_F(PciBridge, ADeviceWithoutBridgeIsRefusedWithItsLogLine) {
  QelPciBridgeState state{};
  EXPECT_EQ(QelPci_BridgeInterrupt_Disable(QelPciAddress(0x40, 0, 0), 1, &state), QELHW_ERROR_DRIVER_STATUS);
  EXPECT_EQ(state.flags, 0);
  EXPECT_TRUE(log_shows({"QelPci_BridgeInterrupt_Disable: Coud not find bridge for device"}));
}

}  // namespace
