// The boards' EEPROMs through the board library: the copies the first opener
// puts into the shared board table, the daughter board's presence, and
// writes that reach the device in page-sized pieces and outlive the host.
#include <array>
#include <string>
#include <vector>

#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/testing/board_control.h"
#include "tools/mkfirmware/firmware_file.h"

namespace {

using pardow_test::PardowMachine;
using plat::testing::ChildProcess;
using namespace std::chrono_literals;

class LibraryEeprom : public PardowMachine {
 protected:
  void start_two_boards() { start_host({"FolvantX4Full", "FolvantX4Dual"}); }
  ChildProcess& helper() {
    clients_.push_back(std::make_unique<ChildProcess>("pardow-helper-eeprom", std::vector<std::string>{}));
    EXPECT_EQ(clients_.back()->read_line(60s), "ready");
    return *clients_.back();
  }
};

TEST_F(LibraryEeprom, FirstOpenerFillsTheSharedCopiesThatASecondProcessSees) {
  start_two_boards();
  ASSERT_EQ(plat::testing::board_control_eeprom_set_fitted(1, 0xAA, true), plat::board::kControlOk);
  // A fitted daughter board is set up from its configured firmware file.
  const std::vector<std::uint8_t> xio =
      mkfirmware::make_firmware_file(mkfirmware::default_firmware_recipe(plat::board::FpgaKind::kXio));
  std::filesystem::create_directories(machine_.path("drives/c"));
  plat::testing::write_file(machine_.path("drives/c/xio.cbf"), std::string(xio.begin(), xio.end()));
  configure_firmware_file("XIO Firmware File", "C:\\xio.cbf");
  ChildProcess& first = helper();
  ChildProcess& second = helper();
  ASSERT_EQ(ask(first, "open"), "0");
  // Signature, then the model code at 38 (little-endian), per board.
  EXPECT_EQ(ask(second, "page 0 0 0 1"), "a5");
  EXPECT_EQ(ask(second, "page 0 0 38 2"), "0110");
  EXPECT_EQ(ask(second, "page 1 0 38 2"), "0210");
  EXPECT_EQ(ask(second, "getinfo 1 0 256"), "0 a501412a");
  // The daughter board: fitted on board 1 only.
  EXPECT_EQ(ask(second, "entry 0"), "0 1 0");
  EXPECT_EQ(ask(second, "entry 1"), "0 1 1");
  EXPECT_EQ(ask(second, "page 1 2 0 1"), "a5");
  EXPECT_EQ(ask(second, "getinfo 0 2 256"), "-7001 00000000");
  EXPECT_TRUE(log_shows({"Pardow.DLL: Board 0, Yat_Eeprom_Init: No XIO Module detected: 0xfffff05e"}));
  EXPECT_TRUE(log_shows({"Pardow.DLL: Board 1, Yat_Eeprom_Init: XIO Module detected"}));
  EXPECT_EQ(ask(second, "open"), "0");
  EXPECT_EQ(log_count("Yat_Eeprom_Init: XIO Module detected"), 1u) << "only the first opener reads the devices";
}

TEST_F(LibraryEeprom, BoardWithABlankMainEepromFailsWhileTheOtherInitialises) {
  start_two_boards();
  const std::array<std::uint8_t, 1> erased{0xFF};
  ASSERT_EQ(plat::testing::board_control_eeprom_program(0, 0xA0, erased), plat::board::kControlOk);
  ChildProcess& c = helper();
  ask(c, "open");
  EXPECT_EQ(ask(c, "entry 0"), "-7001 0 0");
  EXPECT_EQ(ask(c, "entry 1"), "0 1 0");
  EXPECT_EQ(ask(c, "getinfo 0 0 256"), "-7001 ffffffff");
  EXPECT_TRUE(log_shows({"Pardow.DLL: Board 0, Yat_Eeprom_Init: Eeprom Not Initialized",
                         "Pardow.DLL, Yat_InitOnce: Yat_Eeprom_Init - Failed(0xffffe4a7)"}));
}

TEST_F(LibraryEeprom, WriteGoesOutInPagePiecesUpdatesTheCopyAndOutlivesTheHost) {
  start_two_boards();
  const std::string twenty = "0102030405060708090a0b0c0d0e0f1011121314";
  {
    ChildProcess& c = helper();
    ASSERT_EQ(ask(c, "open"), "0");
    ASSERT_EQ(ask(c, "write 1 1 5 " + twenty), "0");
    EXPECT_EQ(ask(c, "page 1 1 5 20"), twenty);
    EXPECT_EQ(ask(c, "page 1 1 4 1"), "00") << "bytes around the write keep their value";
    EXPECT_TRUE(log_shows({"board 1: EEPROM 0xA2 wrote 3 bytes at 0x05", "board 1: EEPROM 0xA2 wrote 8 bytes at 0x08",
                           "board 1: EEPROM 0xA2 wrote 8 bytes at 0x10", "board 1: EEPROM 0xA2 wrote 1 bytes at 0x18"}));
    EXPECT_EQ(ask(c, "close"), "0");
    finish(c);
  }
  stop_host();
  start_two_boards();
  plat::board::EepromImage image{};
  ASSERT_EQ(plat::testing::board_control_eeprom_peek(1, 0xA2, &image), plat::board::kControlOk);
  EXPECT_EQ(image[5], 0x01);
  EXPECT_EQ(image[24], 0x14);
  EXPECT_EQ(image[25], 0xFF);
  ChildProcess& later = helper();
  ASSERT_EQ(ask(later, "open"), "0");
  EXPECT_EQ(ask(later, "read 1 1 5 20"), "0 " + twenty);
}

TEST_F(LibraryEeprom, RequestsOutsideTheDevicesAreRefused) {
  start_two_boards();
  ChildProcess& c = helper();
  ASSERT_EQ(ask(c, "open"), "0");
  struct Case {
    const char* command;
    const char* answer;
  } cases[] = {
      {"getinfo 0 4 256", "-3 00000000"},
      {"read 0 4 0 1", "-3 "},
      {"read 0 0 250 10", "-3 "},
      {"read 0 1 200 57", "-3 "},
      {"write 0 1 256 01", "-3"},
      {"write 16 1 0 01", "-3"},
  };
  for (const Case& k : cases) EXPECT_EQ(ask(c, k.command), k.answer) << k.command;
  EXPECT_TRUE(log_shows({"Pardow.DLL, Yat_Eeprom_I2C_IndexToAddr, Invalid eepromIndex(4)"}));
  // Past the end of the device only what fits is written.
  EXPECT_EQ(ask(c, "write 0 3 250 0102030405060708090a"), "0");
  EXPECT_TRUE(log_shows({"Pardow.DLL: EepromWriteData overflow. (off=xfa + sz=xa = x104)"}));
  EXPECT_EQ(ask(c, "page 0 3 250 6"), "010203040506");
}

}  // namespace
