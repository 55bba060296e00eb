// Board initialisation and the board manager through the real path: the
// first opener's set-up chain on both board models, the firmware check, the
// backup section taking over, firmware files into and out of flash through
// the extended interface, the multi-firmware records and the hardware reset.
#include <cstring>
#include <string>
#include <vector>

#include "driver/user/CbhRecords.h"
#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/board/control_protocol.h"
#include "platform/testing/board_control.h"
#include "platform/win/registry.h"
#include "tools/mkfirmware/firmware_file.h"

namespace {

using pardow_test::PardowMachine;
using plat::testing::ChildProcess;
using namespace std::chrono_literals;

constexpr std::uint32_t kMainSlot = 0x3FB000 + 512;

class BoardInit : public PardowMachine {
 protected:
  ChildProcess& helper() {
    clients_.push_back(std::make_unique<ChildProcess>("pardow-helper-boardinit", std::vector<std::string>{}));
    EXPECT_EQ(clients_.back()->read_line(60s), "ready");
    return *clients_.back();
  }

  // A firmware file on the machine's drive C, as the tool makes it; its Windows path.
  std::string firmware(const std::string& name, const mkfirmware::FirmwareRecipe& recipe) {
    const std::vector<std::uint8_t> bytes = mkfirmware::make_firmware_file(recipe);
    write_drive_file(name, std::string(bytes.begin(), bytes.end()));
    return "C:\\" + name;
  }

  void write_drive_file(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(machine_.path("drives/c"));
    plat::testing::write_file(machine_.path("drives/c/" + name), bytes);
  }

  std::string read_drive_file(const std::string& name) { return plat::testing::read_file(machine_.path("drives/c/" + name)); }

  static mkfirmware::FirmwareRecipe MainRecipe(std::uint32_t firmwareId) {
    mkfirmware::FirmwareRecipe recipe = mkfirmware::default_firmware_recipe(plat::board::FpgaKind::kMain);
    recipe.component_id = 1;
    recipe.firmware_id = firmwareId;
    recipe.comment = "update";
    recipe.payload_size = 3000;
    return recipe;
  }
};

TEST_F(BoardInit, FirstOpenerSetsUpAFullAndADualBoardWithTheirFirmwareAndDaughterBoard) {
  start_host({"FolvantX4Full", "FolvantX4Dual"});
  ASSERT_EQ(plat::testing::board_control_eeprom_set_fitted(1, 0xAA, true), plat::board::kControlOk);
  const std::string xio = firmware("xio.cbf", mkfirmware::default_firmware_recipe(plat::board::FpgaKind::kXio));
  configure_firmware_file("XIO Firmware File", xio);
  configure_firmware_file("ACU/DTE + PCIe x4 Interface Full A0 File", firmware("other.cbf", MainRecipe(0x999)));
  configure_firmware_file("ACU/DTE + PCIe x4 Interface Dual A0 File", firmware("unknown.cbf", MainRecipe(0)));

  ChildProcess& c = helper();
  ASSERT_EQ(ask(c, "open"), "0");
  EXPECT_EQ(ask(c, "isinit 0"), "1");
  EXPECT_EQ(ask(c, "isinit 1"), "1");
  // Init error, initialised, the running firmware's id and section, a free DMA owner.
  EXPECT_EQ(ask(c, "entry 0"), "0 1 551 1 4294967295");
  EXPECT_EQ(ask(c, "entry 1"), "0 1 568 1 4294967295");
  EXPECT_EQ(ask(c, "xio 0"), "0") << "no daughter board on board 0";
  EXPECT_EQ(ask(c, "xio 1"), "1") << "the daughter board's FPGA runs the configured file";
  EXPECT_EQ(ask(c, "ports 1"), "0 2 0");
  EXPECT_TRUE(log_shows({"Pardow.DLL: ACU/DTE + PCIe x4 Interface Version 1.00.00.0000",
                         "Pardow.DLL: Firmware mismatch: the board must be reset",
                         "Pardow.DLL: Board 0, Amount of On-Board Memory[0]: 1024 MB",
                         "Pardow.DLL: Board 0, PCIe Speed = x4", "Pardow.DLL: Yat_FPGA_Loaded with " + xio,
                         "Pardow.DLL: Board 1, PCIe Speed = x4"}));
  EXPECT_EQ(log_count("Firmware mismatch"), 1u) << "a configured file with firmware id 0 is never a mismatch";
}

TEST_F(BoardInit, CorruptedMainSectionBootsTheBackupWhoseHeaderBecomesActive) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = helper();
  ASSERT_EQ(ask(c, "open"), "0");
  EXPECT_EQ(ask(c, "verinfo 0 1 0"), "0 0x0 186 ") << "a size query only";
  EXPECT_EQ(ask(c, "verinfo 0 0 186").substr(0, 12), "0 0x33 186 4") << "backup present, idle, unprotected";
  const std::uint8_t broken[] = {0x00, 0x00};
  ASSERT_EQ(plat::testing::board_control_flash_program(0, 100, broken), plat::board::kControlOk);

  ask(c, "owner 0 0");
  ASSERT_EQ(ask(c, "reset 0"), "0");
  EXPECT_EQ(ask(c, "entry 0"), "0 1 551 0 4294967295") << "the backup's header; the camera's channel is free";
  EXPECT_EQ(ask(c, "verinfo 0 0 186").substr(0, 12), "0 0x17 186 4");
  EXPECT_EQ(ask(c, "prm 0 0 1 4"), "0 00020000");
  EXPECT_TRUE(log_shows({"Pardow.DLL: ACU/DTE + PCIe x4 Interface Backup Version 1.00.00.0000 Using Backup Version"}));

  // Power-on does the same.
  ASSERT_EQ(ask(c, "close"), "0");
  finish(c);
  stop_host();
  start_host({"FolvantX4Full"});
  ChildProcess& again = helper();
  ASSERT_EQ(ask(again, "open"), "0");
  EXPECT_EQ(ask(again, "entry 0"), "0 1 551 0 4294967295");
}

TEST_F(BoardInit, FirmwareFileGoesIntoSectionOneAndBackOutThroughTheExtendedInterface) {
  start_host({"FolvantX4Full"});
  mkfirmware::FirmwareRecipe recipe = MainRecipe(0x227);
  const std::string good = firmware("main.cbf", recipe);
  const std::string original = read_drive_file("main.cbf");
  write_drive_file("short.cbf", original.substr(0, original.size() - 10));
  recipe.component_id = 0;
  const std::string forBackup = firmware("backup.cbf", recipe);
  std::vector<std::uint8_t> slotBefore;
  ASSERT_EQ(plat::testing::board_control_flash_peek(0, kMainSlot, 512, &slotBefore), plat::board::kControlOk);

  // Files cut inside their header: the magic is there, the header is not.
  for (const std::size_t size : {11u, 100u, 185u})
    write_drive_file("cut" + std::to_string(size) + ".cbf", original.substr(0, size));

  ChildProcess& c = helper();
  ASSERT_EQ(ask(c, "open"), "0");
  EXPECT_EQ(ask(c, "load 0 1 C:\\short.cbf"), std::to_string(QELHW_ERROR_FILE_INVALID));
  for (const std::size_t size : {11u, 100u, 185u})
    EXPECT_EQ(ask(c, "load 0 1 C:\\cut" + std::to_string(size) + ".cbf"),
              std::to_string(QELHW_ERROR_DATA_INVALID_HEADER))
        << size;
  EXPECT_EQ(ask(c, "load 0 1 " + forBackup), std::to_string(QELHW_ERROR_FILE_INVALID));
  std::vector<std::uint8_t> slot;
  ASSERT_EQ(plat::testing::board_control_flash_peek(0, kMainSlot, 512, &slot), plat::board::kControlOk);
  EXPECT_EQ(slot, slotBefore) << "refused files write nothing";

  ASSERT_EQ(ask(c, "load 0 1 " + good), "0");
  const std::string info = ask(c, "verinfo 0 1 512");
  EXPECT_EQ(info.substr(0, 11), "0 0x17 186 ") << "present, valid, running, unprotected";
  EXPECT_EQ(info.substr(11), [&] {
    std::string hex;
    char pair[3];
    for (std::size_t i = 0; i < kCbhHeaderSize; ++i) {
      std::snprintf(pair, sizeof pair, "%02x", static_cast<std::uint8_t>(original[i]));
      hex += pair;
    }
    return hex;
  }());
  ASSERT_EQ(ask(c, "save 0 1 C:\\saved.cbf"), "0");
  EXPECT_EQ(read_drive_file("saved.cbf"), original);
  EXPECT_EQ(ask(c, "multiget 0 276").substr(0, 4), "0 0 ") ;
  EXPECT_NE(plat::testing::read_file(options_file())
                .find("FileName=" + good),
            std::string::npos);

  ASSERT_EQ(ask(c, "setprm 0 1 0x80000001 01000000"), "0");
  EXPECT_NE(ask(c, "prm 0 1 5 4"), "0 00000000");
  EXPECT_EQ(ask(c, "setprm 0 1 18 -"), std::to_string(QELHW_ERROR_RESOURCE_LOCKED));
  EXPECT_TRUE(log_shows({"QELHW_DEVICE_PRM_FIRMWARE_ERASE: Flash location is locked. Cannot erase firmware."}));
  ASSERT_EQ(plat::testing::board_control_flash_peek(0, kMainSlot, 512, &slot), plat::board::kControlOk);
  EXPECT_EQ(slot[0], 0x5A) << "the slot survives a refused erase";
  ASSERT_EQ(ask(c, "setprm 0 1 0x80000001 00000000"), "0");
  EXPECT_EQ(ask(c, "setprm 0 1 18 -"), "0");
  ASSERT_EQ(plat::testing::board_control_flash_peek(0, kMainSlot, 512, &slot), plat::board::kControlOk);
  EXPECT_EQ(slot, std::vector<std::uint8_t>(512, 0xFF));
  EXPECT_EQ(ask(c, "verinfo 0 1 512"), "0 0x15 0 ") << "no header: present, running, unprotected";
}

// The camera count and the description flags come from the running
// firmware's record; a reload from flash runs what the flash now holds.
TEST_F(BoardInit, AReloadFromFlashTakesTheNewFirmwaresRecord) {
  start_host({"FolvantX4Dual"});
  constexpr std::uint32_t kSingleCamera = 0x200;
  mkfirmware::FirmwareRecipe recipe = MainRecipe(0x238);
  recipe.option_bits = kSingleCamera | 0x41;
  const std::string single = firmware("single.cbf", recipe);
  ChildProcess& c = helper();
  ASSERT_EQ(ask(c, "open"), "0");
  ASSERT_EQ(ask(c, "maxcam 0"), "0 2");
  const std::string before = ask(c, "options 0");
  ASSERT_EQ(ask(c, "load 0 1 " + single), "0");
  EXPECT_EQ(ask(c, "maxcam 0"), "0 2") << "the board still runs the firmware it started with";
  EXPECT_EQ(ask(c, "options 0"), before);
  ASSERT_EQ(ask(c, "fpgaload 0 0"), "0");
  EXPECT_EQ(ask(c, "maxcam 0"), "0 1");
  EXPECT_EQ(ask(c, "options 0"), "241");
  EXPECT_TRUE(log_shows({"Pardow.DLL: Yat_FPGA_Loaded with flash"}));
}

TEST_F(BoardInit, MultiFirmwareRecordRoundTripsWithTheSwitchOffAndOn) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = helper();
  ASSERT_EQ(ask(c, "open"), "0");
  EXPECT_EQ(ask(c, "multiget 0 276"), "0 0 1 0 ") << "nothing configured yet";
  ASSERT_EQ(ask(c, "multiset 0 276 0 7 0 3 all.cfc"), "0");
  EXPECT_EQ(ask(c, "multiget 0 276"), "0 7 0 3 all.cfc");
  ASSERT_EQ(ask(c, "multiset 0 276 1 9 0 5 slot.cfc"), "0");
  EXPECT_EQ(ask(c, "multiget 0 276"), "0 9 0 5 slot.cfc");
  const std::string options = plat::testing::read_file(options_file());
  EXPECT_NE(options.find("Firmware\\Bus01_Slot00\\ConfigurationInfo\\FolvantX4Full]"), std::string::npos);
  EXPECT_NE(options.find("MultiConfigEnable=0x00000001"), std::string::npos);

  ASSERT_EQ(ask(c, "multiset 0 272 1 11 8 6 manual.cfc"), "0");
  EXPECT_EQ(ask(c, "multiget 0 272"), "0 9 8 61166 slot.cfc") << "short record: no index; hand-loaded keeps the name";
  EXPECT_EQ(ask(c, "multiset 0 280 1 1 0 0 x.cfc"), std::to_string(QELHW_ERROR_RESOURCE_LACK));
  EXPECT_EQ(ask(c, "multiget 0 100"), std::to_string(QELHW_ERROR_RESOURCE_LACK) + " 0 0 61166 ");
}

TEST_F(BoardInit, ResetRefusedWhenTheComputerMustRebootMarksTheBoardFailed) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = helper();
  ASSERT_EQ(ask(c, "open"), "0");
  ASSERT_EQ(ask(c, "reset 0"), "0");
  EXPECT_EQ(ask(c, "rawread 0 1024"), "0");

  plat::RegistryKey* key = nullptr;
  ASSERT_EQ(plat::reg_create_key(plat::RegistryRoot::kLocalMachine,
                                 "Software\\Marvanti Brenk\\Yat Tramond-CL RZ6 Device Driver", &key),
            0u);
  const std::uint32_t on = 1;
  ASSERT_EQ(plat::reg_set_value(key, "Reboot On Reset", plat::kRegDword, &on, sizeof on), 0u);
  plat::reg_close_key(key);
  EXPECT_EQ(ask(c, "reset 0"), std::to_string(QELHW_ERROR_RESET_NEEDS_REBOOT));
  EXPECT_EQ(ask(c, "rawread 0 1024"), std::to_string(QELHW_ERROR_RESET_NEEDS_REBOOT));
}

}  // namespace
