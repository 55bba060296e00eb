// Pieces of the board library that need no driver: the pixel-format table
// and the PCI access binding with its defaults.
#include <gtest/gtest.h>

#include <utility>

#include "driver/user/QelPciBinding.h"
#include "driver/user/QelPciUtil.h"
#include "driver/user/YatManRequests.h"
#include "platform/testing/machine_fixture.h"
#include "platform/win/library.h"

namespace {

TEST(PixelFormat, BytesPerPixelIsOneBasedOverTwentyNineFormats) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0, 0}, {1, 1}, {2, 2}, {5, 3}, {6, 4}, {9, 1}, {16, 6}, {22, 8}, {26, 8}, {28, 4}, {29, 3}, {30, 0},
      {0xFFFFFFFF, 0}};
  for (const auto& [format, bytes] : cases) EXPECT_EQ(Yat_Format_GetBytesPerPixel(format), bytes) << format;
}

class PciBinding : public ::testing::Test {
 protected:
  void TearDown() override { QelPciUnload(); }
  plat::testing::ScopedMachine machine_;
};

TEST_F(PciBinding, WithoutTheLibraryEveryWrapperAnswersItsDefault) {
  ASSERT_FALSE(QelPciIsBound());
  EXPECT_EQ(QelPciGetByte(0x100, 0), 0);
  EXPECT_EQ(QelPciGetWord(0x100, 0), 0xFFFF);
  EXPECT_EQ(QelPciGetDword(0x100, 0), 0u);
  EXPECT_EQ(QelPciPutWord(0x100, 4, 0), 1);
  EXPECT_EQ(QelPciPutDword(0x100, 4, 0), 1);
  EXPECT_EQ(QelPciFindClassCode(0x060400, 0), 0u);
  EXPECT_EQ(QelPciGetData(0x100, 0, 4, nullptr), 1u);
  // Every class search answers address 0: only a device on bus 0 finds a bridge.
  QelPciBridgeState state{};
  EXPECT_TRUE(QelPci_FindBridge(QelPciAddress(0, 3, 0), &state));
  EXPECT_EQ(state.bridgeAddress, 0u);
  EXPECT_FALSE(QelPci_FindBridge(QelPciAddress(1, 0, 0), &state));
}

TEST_F(PciBinding, LoadingTwiceLoadsTheLibraryOnce) {
  QelPciLoad("Pardow.DLL");
  QelPciLoad("Pardow.DLL");
  ASSERT_TRUE(QelPciIsBound());
  QelPciUnload();
  EXPECT_EQ(plat::find_loaded_library("QelPci.dll"), nullptr);
}

TEST_F(PciBinding, WithoutAKernelHostThereIsNoBus) {
  QelPciLoad("Pardow.DLL");
  ASSERT_TRUE(QelPciIsBound());
  EXPECT_EQ(QelPciGetWord(QelPciAddress(0, 0, 0), 0), 0xFFFF);
  EXPECT_EQ(QelPciPutWord(QelPciAddress(0, 0, 0), 4, 0), 0);
  EXPECT_EQ(QelPciFindClassCode(0x060400, 0) & 0xFFFF, 0xFFFFu);
  // The capability pointer reads 0xFF, which ends the walk.
  EXPECT_EQ(QelPci_FindCapability(QelPciAddress(1, 0, 0), kPciCapabilityExpress), 0);
  QelPciBridgeState state{};
  EXPECT_EQ(QelPci_BridgeInterrupt_Disable(QelPciAddress(1, 0, 0), 1, &state), QELHW_ERROR_DRIVER_STATUS);
}

}  // namespace
