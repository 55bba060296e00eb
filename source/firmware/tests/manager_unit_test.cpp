// Pieces of the host firmware within one process: the manager interface's
// slots, manager control's rows, the installation directory, the onboard host
// server without an answer callback, the bindings before the instance opens.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <stdlib.h>

#include "firmware/win32/QelExtInterface.h"
#include "firmware/win32/QelVkmLoader.h"
#include "platform/support/machine_log.h"
#include "platform/testing/machine_fixture.h"
#include "qellib/QelLog.h"
#include "source/firmware/HostFirmware.h"
#include "source/firmware/ManControl.h"
#include "source/firmware/ManServer.h"

namespace {

class Firmware : public ::testing::Test {
 protected:
  void SetUp() override { LoadQelLog(); }
  void TearDown() override { UnloadQelLog(); }
  static bool Logged(const std::string& text) {
    return plat::support::read_machine_log().find(text) != std::string::npos;
  }
  plat::testing::ScopedMachine machine_;
};

TEST(ManagerInterface, TheTableHasItsSlotsAndItsEmptySlots) {
  QelManagerInterface face{};
  FillManagerInterface(face);
  for (std::uint32_t slot : {0, 1, 2, 3, 4, 5, 7, 8, 9, 13, 14, 15, 16, 17, 18, 21, 22})
    EXPECT_NE(face.slot[slot], nullptr) << slot;
  for (std::uint32_t slot : {6, 10, 11, 12, 19, 20}) EXPECT_EQ(face.slot[slot], nullptr) << slot;
  const auto abi = ManagerSlotAs<ManGetDriverAbiVersionFn>(face, kManGetDriverAbiVersion);
  std::uint32_t version = 0;
  EXPECT_EQ(abi(&version), QEL_OK);
  EXPECT_EQ(version, 100u);
  EXPECT_EQ(abi(nullptr), 50u);
  EXPECT_EQ(ManagerSlotAs<ManGetNBoardsFn>(face, kManGetNBoards)(nullptr), 54u);
}

TEST(ManagerControl, TheOutputIsZeroedAndCodesWithoutARowAnswer70) {
  std::array<std::uint8_t, 8> output;
  for (std::uint32_t code : {0x80000073u, 0x80000060u, 0x8000000Cu, 0x80000069u}) {
    output.fill(0xAA);
    EXPECT_EQ(ManControl(0, code, nullptr, 0, output.data(), output.size()), 70u) << std::hex << code;
    EXPECT_EQ(output, (std::array<std::uint8_t, 8>{}));
  }
}

TEST(ManagerControl, TheCapabilityWordIsOneFor1And32And160) {
  for (std::uint32_t asked : {0u, 1u, 2u, 32u, 160u, 161u}) {
    std::uint32_t word = 0xFFFFFFFF;
    EXPECT_EQ(ManControl(1, kManControlCapabilityWord, &asked, 4, &word, 4), QEL_OK);
    EXPECT_EQ(word, asked == 1 || asked == 32 || asked == 160 ? 1u : 0u) << asked;
  }
  // No size is tested: a shorter input reads as zeros beyond it.
  const std::uint8_t one = 1;
  std::uint32_t word = 0;
  EXPECT_EQ(BoardPrivateCommand(0, kManControlCapabilityWord, &one, 1, &word, 4), QEL_OK);
  EXPECT_EQ(word, 1u);
}

TEST_F(Firmware, TheInstallationDirectoryIsTheDriverDirectory) {
  char text[256];
  EXPECT_EQ(GetInstallationDirectory(text, 0), 0x3000232u);
  EXPECT_EQ(GetInstallationDirectory(nullptr, 256), 0x3000132u);
  ::setenv("YATFOLVA4XDIR", "/opt/yat", 1);
  EXPECT_EQ(GetInstallationDirectory(text, sizeof text), QEL_OK);
  EXPECT_STREQ(text, "/opt/yat");
  EXPECT_EQ(GetInstallationDirectory(text, 4), QEL_OK);
  EXPECT_STREQ(text, "/op");
  ::unsetenv("YATFOLVA4XDIR");
  EXPECT_EQ(GetInstallationDirectory(text, sizeof text), 0x3000032u);
  EXPECT_TRUE(Logged("Pardow.DLL, GetInstallationDirectory(), Could not get Environment Variable 'YATFOLVA4XDIR' "));
}

TEST_F(Firmware, WithoutAnAnswerCallbackTheOnboardHostServerAnswers70) {
  Man_SetAnswerCallback(nullptr);
  QelMessageHeader message{};
  EXPECT_EQ(HostFirmwareSendAnswer(&message), 70u);
  EXPECT_TRUE(Logged("Quillet.DLL: HostFirmwareSendAnswer => Answer function not registered"));
}

TEST_F(Firmware, AStatusIsLoggedAtTheLevelOfItsBits20And21) {
  ManReportStatus(0x3300046, "file.cpp", 12);
  ManReportStatus(0x3100046, "file.cpp", 13);
  ManReportStatus(0, "file.cpp", 14);
  EXPECT_TRUE(Logged("L3 quillet_tests file.cpp:12 Unknown error (3300046)"));
  EXPECT_TRUE(Logged("L1 quillet_tests file.cpp:13 Unknown error (3100046)"));
  EXPECT_TRUE(Logged("L0 quillet_tests file.cpp:14  (0)"));
}

TEST(ExtendedInterface, BeforeBindingEverySlotAnswers70) {
  UnbindExtendedInterface();
  std::uint8_t byte = 0;
  std::uint32_t word = 0;
  char name[8];
  EXPECT_EQ(ExtEepromRead(0, 0, 0, &byte, 1), 70u);
  EXPECT_EQ(ExtEepromWrite(0, 0, 0, &byte, 1), 70u);
  EXPECT_EQ(ExtEepromGetInfo(0, 0, &byte, 1), 70u);
  EXPECT_EQ(ExtFlashRead(0, 4, 0, &byte, 1), 70u);
  EXPECT_EQ(ExtFirmwareGetName(0, 0, name, sizeof name), 70u);
  EXPECT_EQ(ExtGetDevicePrm(0, 0, 3, &word, 4), 70u);
  EXPECT_EQ(ExtSlot8(0, 0, 0, 0), 70u);
}

TEST_F(Firmware, TheModuleBindingLoadsOnFirstUseAndAgainAfterAnUnload) {
  UnloadVkmModule();
  std::uint32_t version = 0;
  EXPECT_EQ(QelGetInterfaceVersion(&version), QEL_OK);  // loads "Ormel.VKM" and binds it
  EXPECT_EQ(version, 1u);
  EXPECT_TRUE(VkmModuleIsBound());
  char name[32] = {};
  EXPECT_EQ(QelGetEnvironmentVariable(name, sizeof name), QEL_OK);
  EXPECT_STREQ(name, "YATFOLVA4XDIR");
  EXPECT_EQ(QelGetEnvironmentVariable(name, 13), 80u);
  UnloadVkmModule();
  EXPECT_FALSE(VkmModuleIsBound());
  version = 0;
  EXPECT_EQ(QelGetInterfaceVersion(&version), QEL_OK);
  EXPECT_EQ(version, 1u);
  UnloadVkmModule();
}

}  // namespace
