// The board's flash through the board library: a firmware file programmed
// into a section with the write that reads back and compares, its header
// slot read in both forms, the section checked against its header, and
// write failures injected in the flash device retried and then reported.
#include <cstring>
#include <string>
#include <vector>

#include "driver/user/CbhRecords.h"
#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/board/control_protocol.h"
#include "platform/testing/board_control.h"
#include "tools/mkfirmware/firmware_file.h"

namespace {

using pardow_test::PardowMachine;
using plat::testing::ChildProcess;
using namespace std::chrono_literals;

constexpr std::uint32_t kMainSectionOffset = 0;
constexpr std::uint32_t kMainSectionSlot = 1;
constexpr std::uint32_t kSlotArea = 0x3FB000;
constexpr std::uint32_t kSlotSize = 512;

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char pair[3];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) { return Hex(bytes.data(), bytes.size()); }

template <typename T>
void Put(std::vector<std::uint8_t>& bytes, std::size_t at, T value) {
  std::memcpy(bytes.data() + at, &value, sizeof value);
}

class LibraryFlash : public PardowMachine {
 protected:
  void SetUp() override {
    PardowMachine::SetUp();
    start_host({"FolvantX4Full"});
  }

  ChildProcess& helper() {
    clients_.push_back(std::make_unique<ChildProcess>("pardow-helper-flash", std::vector<std::string>{}));
    EXPECT_EQ(clients_.back()->read_line(60s), "ready");
    ChildProcess& c = *clients_.back();
    EXPECT_EQ(ask(c, "open"), "0");
    return c;
  }

  static std::vector<std::uint8_t> Peek(std::uint32_t offset, std::uint32_t count) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(plat::testing::board_control_flash_peek(0, offset, count, &bytes), plat::board::kControlOk);
    return bytes;
  }
};

mkfirmware::FirmwareRecipe UpdateRecipe() {
  mkfirmware::FirmwareRecipe recipe = mkfirmware::default_firmware_recipe(plat::board::FpgaKind::kMain);
  recipe.version = CbhVersion{4, 0, 7, 2};  // 2.7.4
  recipe.option_bits = 0x80012345;
  recipe.header_version = 3;
  recipe.modified = CbhDate{30, 14, 17, 9, 2023};
  recipe.payload_size = 6000;
  return recipe;
}

TEST_F(LibraryFlash, FirmwareFileProgrammedIntoASectionReadsBackWithItsHeaderSlotAndVerifies) {
  const mkfirmware::FirmwareRecipe recipe = UpdateRecipe();
  const std::vector<std::uint8_t> file = mkfirmware::make_firmware_file(recipe);
  const std::vector<std::uint8_t> header(file.begin(), file.begin() + kCbhHeaderSize);
  const std::vector<std::uint8_t> image(file.begin() + kCbhHeaderSize, file.end());
  const std::string path = machine_.path("update.cbf");
  plat::testing::write_file(path, std::string(file.begin(), file.end()));

  ChildProcess& c = helper();
  EXPECT_EQ(ask(c, "verify 0 0 1"), "0") << "the board's own main firmware matches its header";
  ASSERT_EQ(ask(c, "program 0 0 1 " + path), "0");

  EXPECT_EQ(ask(c, "read 0 1 0 " + std::to_string(image.size())), "0 " + Hex(image));
  EXPECT_EQ(Peek(kMainSectionOffset, static_cast<std::uint32_t>(image.size())), image);
  const std::vector<std::uint8_t> slot = Peek(kSlotArea + kMainSectionSlot * kSlotSize, kSlotSize);
  EXPECT_EQ(Hex(slot.data(), 12), "5a5aa5a50c00000000000000");
  EXPECT_EQ(Hex(slot.data() + 12, kCbhHeaderSize), Hex(header));
  EXPECT_EQ(slot.back(), 0xFF) << "the rest of the slot stays erased";

  EXPECT_EQ(ask(c, "header 0 1"), "0 " + Hex(header));
  std::vector<std::uint8_t> record(kCbhFlashRecordSize, 0xEE);
  Put<std::uint16_t>(record, 72, 0x2345);
  record[74] = 17;
  record[75] = 9;
  Put<std::uint16_t>(record, 76, 2023);
  Put<std::uint16_t>(record, 80, 2070);
  Put<std::uint16_t>(record, 82, 3);
  CbhHeader fields{};
  std::memcpy(&fields, header.data(), sizeof fields);
  Put<std::uint32_t>(record, 84, fields.firmwareChecksum);
  Put<std::uint32_t>(record, 88, static_cast<std::uint32_t>(image.size()));
  EXPECT_EQ(ask(c, "record 0 1"), "0 " + Hex(record)) << "only the record's decoded fields are filled";

  EXPECT_EQ(ask(c, "verify 0 0 1"), "0");
  const std::uint8_t changed[] = {static_cast<std::uint8_t>(image[100] ^ 0x10)};
  ASSERT_EQ(plat::testing::board_control_flash_program(0, kMainSectionOffset + 100, changed), plat::board::kControlOk);
  EXPECT_EQ(ask(c, "verify 0 0 1"), std::to_string(QELHW_ERROR_DATA_CHECKSUM));
}

TEST_F(LibraryFlash, ErasedSlotHasNoFirmwareRecord) {
  ChildProcess& c = helper();
  const std::string erased(2 * kSlotSize, 'f');
  ASSERT_EQ(ask(c, "write 0 4 " + std::to_string(kSlotArea + 3 * kSlotSize) + " " + erased), "0");
  EXPECT_EQ(ask(c, "record 0 3"), std::to_string(QELHW_ERROR_INCOMPATIBLE_FIRMWARE) + " " + std::string(184, 'e'));
  EXPECT_EQ(ask(c, "header 0 3"), "0 " + std::string(2 * kCbhHeaderSize, 'f'));
}

// Each injected failure leaves a word that reads right once, for the driver's
// own check, and wrong for the library's read-back: the write is retried.
TEST_F(LibraryFlash, InjectedVerifyFailuresAreRetriedAndReportedWhenTheyPersist) {
  ChildProcess& c = helper();
  std::string data;
  for (int i = 0; i < 256; ++i) data += Hex(std::vector<std::uint8_t>{static_cast<std::uint8_t>(i * 3 + 1)});
  // The block's first word is the first one programmed, and the one that fails.
  const std::string at = std::to_string(0x10000);

  ASSERT_EQ(plat::testing::board_control_flash_set_verify_failures(0, 2), plat::board::kControlOk);
  EXPECT_EQ(ask(c, "write 0 1 " + at + " " + data), "0");
  EXPECT_EQ(ask(c, "read 0 1 " + at + " 256"), "0 " + data);
  EXPECT_TRUE(log_shows({"Pardow.DLL, Board 0, YatFlashCompare status 0xfffff057 0x10000 0x100",
                         "Pardow.DLL, Board 0, YatFlashWrite status 0x0 0x10000 0x100"}));
  EXPECT_EQ(log_count("Pardow.DLL, Board 0, YatFlashCompare status 0xfffff057 0x10000 0x100"), 2u);
  EXPECT_EQ(log_count("Pardow.DLL, Board 0, YatFlashWrite status 0x0 0x10000 0x100"), 1u)
      << "a success after a retry is noted once";

  ASSERT_EQ(plat::testing::board_control_flash_set_verify_failures(0, 5), plat::board::kControlOk);
  EXPECT_EQ(ask(c, "write 0 1 " + at + " " + data), std::to_string(QELHW_ERROR_FLASH_WRITE));
  EXPECT_EQ(log_count("Pardow.DLL, Board 0, YatFlashCompare status 0xfffff057 0x10000 0x100"), 7u);
  EXPECT_EQ(log_count("Pardow.DLL, Board 0, YatFlashWrite status 0x0 0x10000 0x100"), 1u);
}

}  // namespace
