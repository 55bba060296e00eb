// General-purpose I/O and the camera UART through the board library, from a
// helper process, down to the simulated board's I/O registers.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/board/gpio_block.h"
#include "platform/testing/board_control.h"
#include "platform/win/device.h"
#include "tools/mkfirmware/firmware_file.h"

namespace pardow_test {
namespace {

using plat::board::ControlGpioView;
using plat::board::GpioGroup;

const std::string kArgInvalid = std::to_string(QELHW_ERROR_ARG_INVALID);
const std::string kNotSupported = std::to_string(QELHW_ERROR_NOT_SUPPORTED);
constexpr std::uint8_t kIoBoardEeprom = 0xAA;

class Gpio : public PardowMachine {
 protected:
  // A board, its register map (the library's bring-up does not build it
  // yet, so the test asks the driver), and a helper with the library open.
  ChildProcess& start(bool ioBoardFitted = false) {
    start_host({"FolvantX4Full"});
    if (ioBoardFitted) fit_io_board();
    plat::Handle device = plat::open_device("\\\\.\\STAVRO");
    EXPECT_NE(device, plat::kNullHandle);
    const YatIocHeader board{YAT_IOC_TARGET_BOARD, 0};
    YatIocStatus out{-1};
    std::uint32_t returned = 0;
    EXPECT_TRUE(plat::device_io_control(device, YAT_IOCTRL_INIT_RESOURCE_MANAGER, &board, sizeof board, &out,
                                        sizeof out, &returned));
    EXPECT_EQ(out.status, QELHW_OK);
    plat::close_device(device);
    clients_.push_back(std::make_unique<ChildProcess>("pardow-helper-gpio", std::vector<std::string>{}));
    ChildProcess& c = *clients_.back();
    EXPECT_EQ(c.read_line(60s), "ready");
    EXPECT_EQ(ask(c, "open"), "0");
    return c;
  }
  // The library finds the I/O board by its EEPROM when it opens, and loads
  // its FPGA from the configured file.
  void fit_io_board() {
    EXPECT_EQ(plat::testing::board_control_eeprom_set_fitted(0, kIoBoardEeprom, true), plat::board::kControlOk);
    const std::vector<std::uint8_t> bytes =
        mkfirmware::make_firmware_file(mkfirmware::default_firmware_recipe(plat::board::FpgaKind::kXio));
    std::filesystem::create_directories(machine_.path("drives/c"));
    plat::testing::write_file(machine_.path("drives/c/xio.cbf"), std::string(bytes.begin(), bytes.end()));
    configure_firmware_file("XIO Firmware File", "C:\\xio.cbf");
  }
  // Every helper ends cleanly (a sanitizer report would fail its exit status).
  void TearDown() override {
    for (auto& client : clients_) finish(*client);
    PardowMachine::TearDown();
  }
  static ControlGpioView view() {
    ControlGpioView v{};
    EXPECT_EQ(plat::testing::board_control_gpio_view(0, &v), plat::board::kControlOk);
    return v;
  }
  static void inputs(GpioGroup group, std::uint32_t lines) {
    ASSERT_EQ(plat::testing::board_control_gpio_set_inputs(0, static_cast<std::uint32_t>(group), lines),
              plat::board::kControlOk);
  }
  // The value last written to a write-only register of the board.
  static std::uint32_t board_register(std::uint32_t offset) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_peek_register(0, offset, &value), plat::board::kControlOk);
    return value;
  }
  static void set_board_register(std::uint32_t offset, std::uint32_t value) {
    ASSERT_EQ(plat::testing::board_control_register_write(0, offset, value), plat::board::kControlOk);
  }
};

TEST_F(Gpio, OutputsReachTheBoardThroughTheConnectorAndOutputTypeInversion) {
  ChildProcess& c = start();
  ASSERT_EQ(ask(c, "conn 0 0 1"), "0");
  ASSERT_EQ(ask(c, "type 0 0 2"), "0");  // rewrites the (zero) shadow inverted
  EXPECT_EQ(view().io_outputs, 0xFFu);
  EXPECT_EQ(ask(c, "out 0 0 0x01 0x01"), "0");
  EXPECT_EQ(view().io_outputs, 0xFEu);
  EXPECT_EQ(ask(c, "outread 0 0 0x01"), "0 1");
  // Connector 2 drives the lines again from the shadow, now without inversion.
  ASSERT_EQ(ask(c, "conn 0 0 2"), "0");
  EXPECT_EQ(view().io_outputs, 0x01u);
  EXPECT_EQ(view().io_control & 0x6u, 0x4u);  // connector 2, output type 2
  EXPECT_EQ(ask(c, "gwrite 0 0 0x180 0x1F0"), "0");  // only the low bytes count
  EXPECT_EQ(view().io_outputs, 0x81u);
  EXPECT_EQ(ask(c, "out 0 1 0xFF 0xFF"), "0");  // another unit: nothing
  EXPECT_EQ(view().io_outputs, 0x81u);
  // The output setting goes out with one load pulse.
  EXPECT_EQ(ask(c, "setting 0 0 1"), "0");
  EXPECT_EQ(view().load_pulses, 1u);
  EXPECT_EQ(view().output_setting, 1u);
}

TEST_F(Gpio, InputsEdgesAndFaultFollowTheConnector) {
  ChildProcess& c = start();
  inputs(GpioGroup::kIoBoard, 0x0F);
  ASSERT_EQ(ask(c, "conn 0 0 1"), "0");
  EXPECT_EQ(ask(c, "in 0 0 0xFF"), "0 240");
  EXPECT_EQ(ask(c, "gread 0 0 0x1FF"), "0 240");
  ASSERT_EQ(ask(c, "conn 0 0 2"), "0");
  EXPECT_EQ(ask(c, "in 0 0 0x3C"), "0 12");
  // Detection mode 1 on lines 0 and 1 sets their edge bits; behind connector 1
  // every edge bit is the inverse.
  ASSERT_EQ(ask(c, "trig 0 0 0x03 1"), "0");
  EXPECT_EQ(view().io_settings >> 24, 0x03u);
  ASSERT_EQ(ask(c, "conn 0 0 1"), "0");
  EXPECT_EQ(view().io_settings >> 24, 0xFCu);
  EXPECT_EQ(ask(c, "fault 0 0"), "0 0");
  inputs(GpioGroup::kIoBoard, 0x0F | plat::board::kIoFaultInput);
  EXPECT_EQ(ask(c, "fault 0 0"), "0 255");
  EXPECT_EQ(ask(c, "fault2 0 0"), "0 0");
}

TEST_F(Gpio, RefusedSettingsWriteNothing) {
  ChildProcess& c = start();
  // The board's own value differs from the driver's copy, so any write shows.
  set_board_register(plat::board::kRegIoControl, 0xABC00000);
  set_board_register(plat::board::kRegMainOutputs, 0x5A);
  EXPECT_EQ(ask(c, "level 0 0 3"), kArgInvalid);
  EXPECT_EQ(ask(c, "type 0 0 3"), kArgInvalid);
  EXPECT_EQ(ask(c, "conn 0 0 0"), kArgInvalid);
  EXPECT_EQ(board_register(plat::board::kRegIoControl), 0xABC00000u);
  EXPECT_EQ(ask(c, "out2 0 1 0xFF 0xFF"), "0");
  EXPECT_EQ(board_register(plat::board::kRegMainOutputs), 0x5Au);
  EXPECT_EQ(ask(c, "level 0 0 4"), "0");
  EXPECT_EQ(board_register(plat::board::kRegIoControl), 0x1u);
  EXPECT_EQ(ask(c, "out2 0 0 0x0F 0x0F"), "0");
  EXPECT_EQ(board_register(plat::board::kRegMainOutputs), 0x0Fu);
  EXPECT_EQ(ask(c, "outread2 0 0 0xFF"), "0 15");
}

TEST_F(Gpio, ArgumentsAndUnsupportedOperationsAnswerAsDocumented) {
  ChildProcess& c = start();
  struct Case {
    const char* command;
    std::string answer;
  };
  const Case cases[] = {
      {"in 16 0 0xFF", kArgInvalid + " 0"},     {"in 0 0 0xFF null", kArgInvalid + " 0"},
      {"gread 0 0 0xFF null", kArgInvalid + " 0"}, {"in2 0 0 0xFF null", kArgInvalid + " 0"},
      {"out 16 0 1 1", kArgInvalid},            {"outread 16 0 1", kArgInvalid + " 0"},
      {"outread 0 1 1", kArgInvalid + " 0"},    {"outread 0 0 1 null", kArgInvalid + " 0"},
      {"outread2 0 1 1", kArgInvalid + " 0"},   {"type 16 0 1", kArgInvalid},
      {"conn 16 0 1", kArgInvalid},             {"trig 16 0 1 1", kArgInvalid},
      {"trig2 16 0 1 1", kArgInvalid},          {"fault 0 0 null", kArgInvalid + " 7"},
      {"fault2 0 0 null", kArgInvalid + " 7"},  {"insetting 0 0", kNotSupported},
      {"insetting2 0 0", kNotSupported},        {"power 0 0 1", kNotSupported},
      {"power2 0 0 1", kNotSupported},          {"setting2 0 0 1", "0"},
      {"type2 0 0 9", "0"},                     {"level2 0 0 9", "0"},
      {"conn2 0 0 9", "0"},                     {"present 0 1", kNotSupported + " 0"},
      {"present 0 1 null", kNotSupported + " 7"}, {"present 0 0", "0 0"},
      {"uread 0 null", kArgInvalid + " 0"},
  };
  for (const Case& k : cases) EXPECT_EQ(ask(c, k.command), k.answer) << k.command;
  EXPECT_TRUE(log_shows({"Pardow.DLL: Yat_GenPurposeIO_Input_Read ARGUMENT INVALID",
                         "Pardow.DLL: Yat_GenPurposeIO_Output_Write ARGUMENT INVALID",
                         "Pardow.DLL: Yat_GenPurposeIO_Output_Read ARGUMENT INVALID",
                         "Pardow.DLL: Yat_GenPurposeIO_Output_Type ARGUMENT INVALID",
                         "Pardow.DLL: Yat_GenPurposeIO_Connector ARGUMENT INVALID"}));
}

TEST_F(Gpio, AFittedIoBoardIsPresentAtIndexZeroOnly) {
  ChildProcess& c = start(true);
  EXPECT_EQ(ask(c, "present 0 0"), "0 1");
  EXPECT_EQ(ask(c, "present 0 0 null"), "0 7");
}

TEST_F(Gpio, MainBoardInputsAndTheirEdgeSelection) {
  ChildProcess& c = start();
  inputs(GpioGroup::kMainBoard, 0x5);
  EXPECT_EQ(ask(c, "in2 0 0 0x07"), "0 5");
  ASSERT_EQ(ask(c, "pol2 0 0 0x1 3"), "0");
  ASSERT_EQ(ask(c, "trig2 0 0 0x6 1"), "0");
  EXPECT_EQ((view().main_settings >> 20) & 0xF, 0x7u);
  ASSERT_EQ(ask(c, "pol2 0 0 0x3 0"), "0");
  EXPECT_EQ((view().main_settings >> 20) & 0xF, 0x4u);
}

TEST_F(Gpio, InputEdgesAndTheFaultDeliverIoLineMessages) {
  ChildProcess& c = start();
  ASSERT_EQ(ask(c, "register 2"), "1");
  ASSERT_EQ(ask(c, "route 0 0 6 0"), "0");  // line 0 of the main board
  ASSERT_EQ(ask(c, "route 0 8 8 0"), "0");  // line 0 of the I/O board
  ASSERT_EQ(ask(c, "route 0 0 8 0"), "0");  // the I/O board's fault
  struct Case {
    const char* selection;
    GpioGroup group;
    std::uint32_t lines;
    std::uint32_t kind, level, line, unit;  // level: the selection as the driver reports it
  };
  const Case cases[] = {
      {"trig2 0 0 1 1", GpioGroup::kMainBoard, 1, 0, 1, 0, 0},
      {"trig2 0 0 1 2", GpioGroup::kMainBoard, 0, 0, 2, 0, 0},
      {"trig 0 0 1 1", GpioGroup::kIoBoard, 1, 0, 1, 0, 1},
      {"trig 0 0 1 1", GpioGroup::kIoBoard, 1 | plat::board::kIoFaultInput, 4, 0, 0, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.selection) + " then lines " + std::to_string(k.lines));
    ASSERT_EQ(ask(c, k.selection), "0");
    inputs(k.group, k.lines);
    std::istringstream record(ask(c, "next 0 30000"));
    std::vector<std::uint32_t> words;
    std::string status;
    record >> status;
    ASSERT_EQ(status, "0");
    for (std::string word; record >> word;) words.push_back(static_cast<std::uint32_t>(std::stoul(word, nullptr, 16)));
    ASSERT_EQ(words.size(), 10u);
    EXPECT_EQ(words[0], 32u);  // record size
    EXPECT_EQ(words[4], k.kind);
    EXPECT_EQ(words[5], k.level);
    EXPECT_EQ(words[6], k.line);
    EXPECT_EQ(words[7] & 0xF, k.unit);
  }
  // The driver acknowledged every latch.
  EXPECT_EQ(view().main_latches, 0u);
  EXPECT_EQ(view().io_latches, 0u);
}

TEST_F(Gpio, CameraUartBytesLoopThroughTheCamera) {
  ChildProcess& c = start();
  EXPECT_EQ(ask(c, "uwrite 0 0x41"), "0");
  EXPECT_EQ(ask(c, "uwrite 0 0x42"), "0");
  std::vector<std::uint8_t> heard;
  ASSERT_EQ(plat::testing::board_control_camera_uart_heard(0, &heard), plat::board::kControlOk);
  EXPECT_EQ(heard, (std::vector<std::uint8_t>{0x41, 0x42}));
  // The camera echoes by default: the bytes come back in order.
  EXPECT_EQ(ask(c, "uread 0"), "0 65");
  EXPECT_EQ(ask(c, "uread 0"), "0 66");
  EXPECT_EQ(ask(c, "uread 0 null"), std::to_string(QELHW_ERROR_ARG_INVALID) + " 0");
}

}  // namespace
}  // namespace pardow_test
