// FPGA registers and configuration through the board library, from a
// helper process, down to the simulated board.
#include <filesystem>
#include <string>

#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/board/fpga_ports.h"
#include "platform/testing/board_control.h"
#include "driver/kernel/YatIoctl.h"
#include "platform/win/device.h"
#include "platform/win/machine.h"
#include "tools/mkfirmware/firmware_file.h"

namespace {

using pardow_test::PardowMachine;
using plat::testing::ChildProcess;
using namespace std::chrono_literals;

class LibraryFpga : public PardowMachine {
 protected:
  // The board initialisation does not build the register map yet: this process asks the driver for it.
  void start() {
    start_host({"FolvantX4Full"});
    plat::Handle device = plat::open_device("\\\\.\\STAVRO");
    ASSERT_NE(device, plat::kNullHandle);
    const YatIocHeader in{YAT_IOC_TARGET_BOARD, 0};
    YatIocStatus out{};
    std::uint32_t returned = 0;
    EXPECT_TRUE(plat::device_io_control(device, YAT_IOCTRL_INIT_RESOURCE_MANAGER, &in, sizeof in, &out, sizeof out,
                                        &returned));
    EXPECT_EQ(out.status, QELHW_OK);
    plat::close_device(device);
  }
  ChildProcess& helper() {
    clients_.push_back(std::make_unique<ChildProcess>("pardow-helper-fpga", std::vector<std::string>{}));
    EXPECT_EQ(clients_.back()->read_line(60s), "ready");
    return *clients_.back();
  }
  // A firmware file made by our tool, on drive C; `name` is its file name.
  static std::string Firmware(const std::string& name, bool corrupt) {
    mkfirmware::FirmwareRecipe recipe = mkfirmware::default_firmware_recipe(plat::board::FpgaKind::kXio);
    recipe.payload_size = 300;
    recipe.corrupt = corrupt;
    const std::string dir = plat::machine_path("drives/c/fw");
    std::filesystem::create_directories(dir);
    std::string error;
    EXPECT_TRUE(mkfirmware::write_firmware_file(dir + "/" + name, recipe, &error)) << error;
    return "C:\\fw\\" + name;
  }
  static std::uint32_t XioStatus() {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_register_read(0, plat::board::kRegXioStatus, &value), 0);
    return value >> 20;
  }
};

TEST_F(LibraryFpga, XioFpgaLoadsFromAFirmwareFileAndACorruptOneIsRefused) {
  start();
  ChildProcess& c = helper();
  ASSERT_EQ(ask(c, "open"), "0");
  EXPECT_EQ(ask(c, "cbn 0 " + Firmware("xio.cbn", false) + " 1"), "0");
  EXPECT_EQ(XioStatus(), 1u);
  EXPECT_EQ(ask(c, "cbn 0 " + Firmware("bad.cbn", true) + " 1"), std::to_string(QELHW_ERROR_DRIVER_STATUS));
  EXPECT_EQ(XioStatus(), 0u);
  EXPECT_TRUE(log_shows({"Stavro.SYS: <FPGAsLoadFromFile> FPGA not programmed", "Yat_FPGA_Load status ERROR"}));
  EXPECT_EQ(ask(c, "cbn 0 C:\\fw\\missing.cbn 1"), std::to_string(QELHW_ERROR_FILE_OPEN));
}

TEST_F(LibraryFpga, LoadSendsAtMost255CharactersOfTheName) {
  start();
  // "C:\fw\" and a file name that make exactly 255 characters; the caller adds more.
  const std::string fileName = std::string(245, 'n') + ".cbn";
  const std::string path = Firmware(fileName, false);
  ASSERT_EQ(path.size(), 255u);
  ChildProcess& c = helper();
  ASSERT_EQ(ask(c, "open"), "0");
  EXPECT_EQ(ask(c, "load 0 " + path + "EXTRA 1"), "0");
  EXPECT_EQ(XioStatus(), 1u);
}

TEST_F(LibraryFpga, WriteOnlyRegisterReadsBackAndBadArgumentsSendNothing) {
  start();
  ChildProcess& c = helper();
  ASSERT_EQ(ask(c, "open"), "0");
  EXPECT_EQ(ask(c, "wr 0 0x804 0x5a5a0001"), "0");
  EXPECT_EQ(ask(c, "rd 0 0x804"), "0 5a5a0001");
  EXPECT_EQ(ask(c, "rd 0 0x18000"), "-3 00000000");
  EXPECT_EQ(ask(c, "wr 16 0x804 1"), "-3");
  EXPECT_EQ(ask(c, "rd 0 0x1224"), std::to_string(QELHW_ERROR_DRIVER_STATUS) + " 00000000");
  // A block write without its pairs: nothing to send for none, refused for some.
  EXPECT_EQ(ask(c, "blocknull 0 0"), "0");
  EXPECT_EQ(ask(c, "blocknull 0 3"), "-3");
  EXPECT_TRUE(log_shows({"Pardow.DLL, Board 0, Yat_WriteDataReg ARGUMENT INVALID"}));
}

}  // namespace
