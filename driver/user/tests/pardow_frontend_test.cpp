// The Camera Link front end and the time base through the board library,
// from a helper process, down to the simulated board.
#include <cstring>
#include <string>
#include <vector>

#include "driver/kernel/YatIoctl.h"
#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_test_support.h"
#include "platform/testing/board_control.h"
#include "platform/win/device.h"

namespace {

using pardow_test::PardowMachine;
using plat::testing::ChildProcess;
using namespace std::chrono_literals;

class LibraryFrontEnd : public PardowMachine {
 protected:
  // The board initialisation does not build the register map yet: this
  // process asks the driver for it, after the board's tick capability is set
  // (the driver takes that register from the board when it builds the map).
  ChildProcess& start(std::uint32_t timeBase = 0) {
    start_host({"FolvantX4Full"});
    EXPECT_EQ(plat::testing::board_control_register_write(0, 0x3044, timeBase), 0);
    plat::Handle device = plat::open_device("\\\\.\\STAVRO");
    EXPECT_NE(device, plat::kNullHandle);
    const YatIocHeader in{YAT_IOC_TARGET_BOARD, 0};
    YatIocStatus out{};
    std::uint32_t returned = 0;
    EXPECT_TRUE(plat::device_io_control(device, YAT_IOCTRL_INIT_RESOURCE_MANAGER, &in, sizeof in, &out, sizeof out,
                                        &returned));
    EXPECT_EQ(out.status, QELHW_OK);
    plat::close_device(device);
    clients_.push_back(std::make_unique<ChildProcess>("pardow-helper-frontend", std::vector<std::string>{}));
    EXPECT_EQ(clients_.back()->read_line(60s), "ready");
    EXPECT_EQ(ask(*clients_.back(), "open"), "0");
    return *clients_.back();
  }
  static std::uint32_t Register(std::uint32_t offset) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(plat::testing::board_control_register_read(0, offset, &value), 0);
    return value;
  }
  // The value last written to a register the board does not read back.
  static std::uint32_t Written(std::uint32_t offset) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(plat::testing::board_control_peek_register(0, offset, &value), 0);
    return value;
  }
  static std::vector<std::uint8_t> LutMemory(std::uint32_t address, std::uint32_t count) {
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(plat::testing::board_control_lut_peek(0, address, count, &bytes), 0);
    return bytes;
  }
};

std::uint32_t WordAt(const std::vector<std::uint8_t>& bytes, std::size_t index, std::size_t width) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + index * width, width);
  return value;
}

TEST_F(LibraryFrontEnd, LutWrittenLandsInTheBoardsLutMemory) {
  ChildProcess& c = start();
  EXPECT_EQ(ask(c, "lut 0 0 0 1 10"), "0");
  const std::vector<std::uint8_t> camera0 = LutMemory(0x8000, 2048);
  for (std::size_t i = 0; i < 1024; i += 97) EXPECT_EQ(WordAt(camera0, i, 2), 1023 - i) << i;
  std::uint32_t loads = 0;
  EXPECT_EQ(plat::testing::board_control_lut_loads(0, &loads), 0);
  EXPECT_EQ(loads, 1u);
  EXPECT_EQ(Register(0x5004), 0x30u);  // LUT mode 1, the load pulse over

  // An 8-bit table takes one word per entry.
  EXPECT_EQ(ask(c, "lut 0 1 0 2 8"), "0");
  const std::vector<std::uint8_t> camera1 = LutMemory(0xA000, 1024);
  for (std::size_t i = 0; i < 256; i += 31) EXPECT_EQ(WordAt(camera1, i, 4), 1023 - i) << i;

  EXPECT_EQ(ask(c, "lut 0 0 0 1 9"), std::to_string(QELHW_ERROR_ARG_INVALID));
  ASSERT_EQ(plat::testing::board_control_register_write(0, 0x1078, 1u << 24), 0);
  EXPECT_EQ(ask(c, "lut 0 0 0 1 10"), "-2013");
  EXPECT_EQ(plat::testing::board_control_lut_loads(0, &loads), 0);
  EXPECT_EQ(loads, 1u);
}

TEST_F(LibraryFrontEnd, PoclEnableReportsPowerGoodAndAFaultIsRefused) {
  ChildProcess& c = start();
  ASSERT_EQ(plat::testing::board_control_set_camera_link_status(0, 0x7), 0);
  EXPECT_EQ(ask(c, "pocl 0 0 1"), "0");
  EXPECT_EQ(Register(0x10028), 0xA01u);
  EXPECT_EQ(ask(c, "status 0 0"), "0 b7");

  ASSERT_EQ(plat::testing::board_control_set_pocl_fault(0, 1, true), 0);
  EXPECT_EQ(ask(c, "pocl 0 1 1"), "-10706");
  EXPECT_TRUE(log_shows({"Pardow.DLL: PoCL Status = 0x00000101"}));
  EXPECT_EQ(Register(0x1002C), 0u);  // switched off again
  EXPECT_EQ(ask(c, "status 0 1"), "0 00");

  EXPECT_EQ(ask(c, "pocl 0 0 0"), "0");
  EXPECT_EQ(Register(0x10028), 0u);
  EXPECT_EQ(ask(c, "pocl 0 2 1"), std::to_string(QELHW_ERROR_ARG_INVALID));
}

TEST_F(LibraryFrontEnd, FrontEndRegistersHoldWhatTheSettingsGive) {
  ChildProcess& c = start();
  struct Case {
    const char* command;
    const char* result;
    std::uint32_t reg;
    std::uint32_t value;
    bool board_reads_it;
  };
  const Case cases[] = {
      {"flat 0 0 31 0x1234", "0", 0x58F8, 0x1234, true},
      {"flat 0 1 0 0x77", "0", 0x5900, 0x77, true},
      {"vsync 0 0 2 0", "0", 0x0C08, 0x1, true},
      {"vsync 0 1 2 1", "0", 0x0C08, 0x50001, true},  // camera 1 leaves camera 0's bits
      {"binarize 0 1", "0", 0x3104, 0x801, true},
      {"strobe 0 1 1", "0", 0x600C, 0x4000C, true},
      {"balance 0 0 1535 2000 512 512", "0", 0x5014, 0xFFFFF, false},  // the second gain clipped
      {"balance 0 0 2560 512 512 512", "-14", 0x5014, 0xFFFFF, false},
      {"stamp 0 0 4", "0", 0x3044, 0x7, true},
      {"stamp 0 0 8", "0", 0x3044, 0x6, true},
      {"stamp 0 0 5", "0", 0x3044, 0x0, true},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(ask(c, k.command), k.result) << k.command;
    EXPECT_EQ(k.board_reads_it ? Register(k.reg) : Written(k.reg), k.value) << k.command;
  }
  EXPECT_EQ(ask(c, "flat 0 0 32 1"), std::to_string(QELHW_ERROR_ARG_INVALID));
}

TEST_F(LibraryFrontEnd, MainTicksFollowTheBoardsTickCapability) {
  ChildProcess& c = start(0x8000);  // camera 0's slow tick units are present, camera 1's are not
  EXPECT_EQ(ask(c, "tick 0 1 4"), std::to_string(QELHW_ERROR_ARG_INVALID));
  EXPECT_EQ(Register(0x3444), 0u);
  EXPECT_EQ(Written(0x1464), 0u);

  EXPECT_EQ(ask(c, "tick 0 0 4"), "0");
  EXPECT_EQ(Register(0x3044), 0x00638020u);  // 100 ms: unit 2, divider 99
  EXPECT_EQ(ask(c, "tick 0 0 2"), "0");
  EXPECT_EQ(Register(0x3044), 0x00318000u);  // 1 us: unit 0, divider 49
  EXPECT_EQ(Written(0x1064), 0x2u);
  EXPECT_EQ(ask(c, "tick 0 0 0"), "0");
  EXPECT_EQ(Written(0x1064), 0x2u);
  EXPECT_EQ(Register(0x3044), 0x00318000u);
}

}  // namespace
