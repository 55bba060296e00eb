// The server driver's manager interface as the device-control module uses it,
// in a process whose SDK opened the module: EEPROM and flash of the boards
// through the board library's extended interface, and the field functions
// the module offers the server driver.
#include <sstream>

#include "driver/user/tests/helper_support.h"
#include "platform/testing/board_control.h"
#include "source/QelAPI/QelStatus.h"
#include "source/firmware/tests/road_test_support.h"

namespace {

using namespace road_test;

TEST_F(Road, TheEepromReadSlotGivesTheBoardsEepromBytes) {
  ChildProcess& server = Start();
  ASSERT_EQ(Ask(server, "open"), "open 0");
  for (int board = 0; board < 2; ++board) {
    plat::board::EepromImage image{};
    ASSERT_EQ(plat::testing::board_control_eeprom_peek(board, 0xA0, &image), plat::board::kControlOk);
    EXPECT_EQ(Ask(server, "eeprom " + std::to_string(board) + " 0 0 48"), "eeprom 0 " + helper::Hex(image.data(), 48));
  }
}

TEST_F(Road, AFlashSectionWrittenThroughTheInterfaceReadsBack) {
  ChildProcess& server = Start();
  ASSERT_EQ(Ask(server, "open"), "open 0");
  const std::string bytes = "0123456789abcdeffedcba98765432100a0b0c0d";
  EXPECT_EQ(Ask(server, "flashwrite 1 4 256 " + bytes), "flash 0");
  EXPECT_EQ(Ask(server, "flashread 1 4 256 20"), "flash 0 " + bytes);
  // The other board's section is untouched.
  EXPECT_NE(Ask(server, "flashread 0 4 256 20"), "flash 0 " + bytes);
}

TEST_F(Road, AnEepromErrorArrivesTranslated) {
  ChildProcess& server = Start();
  ASSERT_EQ(Ask(server, "open"), "open 0");
  ASSERT_EQ(plat::testing::board_control_eeprom_set_no_acknowledge(0, 0xA2, true), plat::board::kControlOk);
  const std::string raw = Ask(server, "rawread 0 1 0 4");
  std::istringstream words(raw);
  std::string word;
  long long boardStatus = 0;
  unsigned long long translated = 0;
  words >> word >> boardStatus >> translated;
  ASSERT_EQ(word, "raw");
  ASSERT_LT(boardStatus, 0);
  EXPECT_EQ(translated, TranslateStatus(static_cast<QelHwStatus>(boardStatus)));
  const std::string answer = Ask(server, "eeprom 0 1 0 4");
  EXPECT_EQ(answer.substr(0, answer.rfind(' ')), "eeprom " + std::to_string(translated));
  EXPECT_LT(translated, 0x80000000ull);
}

TEST_F(Road, TheModulesFieldFunctionsReadAndWriteAListFieldThroughTheServerDriver) {
  ChildProcess& server = Start();
  ASSERT_EQ(Ask(server, "open"), "open 0");
  // Row 4, "Board Model": a list of values; the Dual board is board 1.
  EXPECT_EQ(Ask(server, "fields 1 4"), "fields 0 5 0 Board_Model 2 0 " + std::to_string(0x1002));
  EXPECT_EQ(Ask(server, "fields 0 4"), "fields 0 5 0 Board_Model 2 0 " + std::to_string(0x1001));
  plat::board::EepromImage image{};
  ASSERT_EQ(plat::testing::board_control_eeprom_peek(0, 0xA0, &image), plat::board::kControlOk);
  EXPECT_EQ(Ask(server, "fields 0 2"), "fields 0 5 0 Drawing_Number 0 0 " + std::to_string(image[2] | (image[3] << 8)));
  EXPECT_EQ(Ask(server, "fieldwrite 0 2 2510"), "fieldwrite 0");
  EXPECT_EQ(Ask(server, "fields 0 2"), "fields 0 5 0 Drawing_Number 0 0 2510");
  ASSERT_EQ(plat::testing::board_control_eeprom_peek(0, 0xA0, &image), plat::board::kControlOk);
  EXPECT_EQ(image[2] | (image[3] << 8), 2510);
  EXPECT_EQ(Ask(server, "fields 2 0"), "fields 51 0 51  0 51 ");
}

}  // namespace
