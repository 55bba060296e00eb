// The board-private commands of an acquisition device (interface table slots
// 18 and 19) and the board serial table, driven in a helper process that
// started the devices (quillet-helper-acqcustom), on two boards: board 0's
// firmware offers the register bank, its block write and the processing
// kernel; board 1's offers none of them.
#include "source/QelAcq/tests/acq_device_fixture.h"

namespace acq_device_test {
namespace {

constexpr std::uint16_t kBankOption = 1u << 5;
constexpr std::uint16_t kBankBlockOption = 1u << 15;
constexpr std::uint16_t kKernelOption = 1u << 7;

struct Step {
  const char* request;
  const char* answer;  // what the answer begins with
};

class AcqCustomCommands : public AcqDevices {
 protected:
  ChildProcess& Started() {
    StartBoards({Model(1, kBankOption | kBankBlockOption | kKernelOption), Model(1, 0)});
    ChildProcess& helper = Helper("quillet-helper-acqcustom");
    const std::string started = Ask(helper, "start");
    EXPECT_EQ(started, "started 0x0");
    return helper;
  }
  void Run(ChildProcess& helper, std::initializer_list<Step> steps) {
    for (const Step& step : steps) {
      const std::string answer = Ask(helper, step.request);
      EXPECT_EQ(answer.rfind(step.answer, 0), 0u) << step.request << " -> " << answer;
    }
  }
  // The value last written to a write-only register of board 0.
  static std::uint32_t Peek(std::uint32_t offset) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_peek_register(0, offset, &value), 0);
    return value;
  }
  // What board 0's register reads as on the bus.
  static std::uint32_t Read(std::uint32_t offset) {
    std::uint32_t value = 0;
    EXPECT_EQ(plat::testing::board_control_register_read(0, offset, &value), 0);
    return value;
  }
};

TEST_F(AcqCustomCommands, RegisterBankAndItsRefusals) {
  ChildProcess& helper = Started();
  Run(helper, {
      {"cmd 0 0 18 265 - w:3 w:0xabcd1234", "cmd 0x0"},
      {"cmd 0 0 18 264 8 w:3 w:0", "cmd 0x0 0x3 0xabcd1234"},
      // Index 10: the index lands in the output, the value does not.
      {"cmd 0 0 18 264 8 w:10 w:0", "cmd 0x32a 0xa 0xeeeeeeee"},
      {"cmd 0 0 18 265 - w:10 w:1", "cmd 0x32a"},
      {"cmd 0 0 18 264 4 w:3 w:0", "cmd 0x532"},
      {"cmd 0 0 18 264 - w:3 w:0", "cmd 0x436"},
      {"cmd 0 0 18 264 8 w:3", "cmd 0x332"},
      {"cmd 0 0 18 264 8", "cmd 0x236"},
      // A block with one bad index writes nothing.
      {"block 1 11 c 22 2 33", "block 3"},
      {"cmd 0 0 18 272 - w:3 a:block w:0", "cmd 0x32a"},
      {"cmd 0 0 18 264 8 w:1 w:0", "cmd 0x0 0x1 0x0"},
      {"cmd 0 0 18 264 8 w:2 w:0", "cmd 0x0 0x2 0x0"},
      {"block 1 11 2 33", "block 2"},
      {"cmd 0 0 18 272 - w:2 a:block w:0", "cmd 0x0"},
      {"cmd 0 0 18 264 8 w:1 w:0", "cmd 0x0 0x1 0x11"},
      {"cmd 0 0 18 264 8 w:2 w:0", "cmd 0x0 0x2 0x33"},
      // Counts beyond the bound and unreadable blocks are refused unread.
      {"cmd 0 0 18 272 - w:1025 a:block w:0", "cmd 0x236"},
      {"cmd 0 0 18 272 - w:1 a:bad w:0", "cmd 0x236"},
      {"cmd 0 0 18 272 - w:1 a:0 w:0", "cmd 0x236"},
      // A register write lands in the bank.
      {"cmd 0 0 18 263 - w:0x12a0 w:0x77", "cmd 0x0"},
      {"cmd 0 0 18 264 8 w:8 w:0", "cmd 0x0 0x8 0x77"},
      // A firmware without the options.
      {"cmd 1 0 18 264 8 w:3 w:0", "cmd 0x46"},
      {"cmd 1 0 18 265 - w:3 w:0", "cmd 0x46"},
      {"cmd 1 0 18 272 - w:2 a:block w:0", "cmd 0x46"},
  });
  EXPECT_EQ(Peek(0x1284), 0x11u);
  EXPECT_EQ(Peek(0x128C), 0xABCD1234u);
}

TEST_F(AcqCustomCommands, KernelCoefficients) {
  ChildProcess& helper = Started();
  Run(helper, {
      {"block 0 1111 1 22222222 5 5555 d dddd 6 6666", "block 5"},
      {"cmd 0 0 18 528 - w:5 a:block w:0", "cmd 0x0"},
      {"cmd 0 0 18 529 8 w:0 w:0", "cmd 0x0 0x0 0x1111"},
      {"cmd 0 0 18 529 8 w:13 w:0", "cmd 0x0 0xd 0xdddd"},
      {"cmd 0 0 18 529 8 w:1 w:0", "cmd 0x0 0x1 0x22222222"},
      {"cmd 0 0 18 529 8 w:5 w:0", "cmd 0x0 0x5 0x5555"},
      {"cmd 0 0 18 529 8 w:6 w:0", "cmd 0x0 0x6 0x6666"},
      {"cmd 0 0 18 262 8 w:0x502c w:0", "cmd 0x0 0x502c 0x1111dddd"},
      {"cmd 0 0 18 262 8 w:0x501c w:0", "cmd 0x0 0x501c 0x66665555"},
      {"cmd 0 0 18 529 8 w:14 w:0", "cmd 0x232"},
      {"cmd 0 0 18 529 4 w:1 w:0", "cmd 0x532"},
      // One id out of range writes nothing; a count of 0 rewrites the registers as they are.
      {"block 0 1 e 2", "block 2"},
      {"cmd 0 0 18 528 - w:2 a:block w:0", "cmd 0x32a"},
      {"cmd 0 0 18 528 - w:15 a:block w:0", "cmd 0x236"},
      {"cmd 0 0 18 528 - w:0 a:0 w:0", "cmd 0x0"},
      {"cmd 0 0 18 529 8 w:0 w:0", "cmd 0x0 0x0 0x1111"},
      {"cmd 0 0 18 530 - w:1", "cmd 0x0"},
      {"cmd 0 0 18 531 - w:1", "cmd 0x0"},
      // A board without the kernel.
      {"cmd 1 0 18 528 - w:0 a:block w:0", "cmd 0x46"},
      {"cmd 1 0 18 529 8 w:0 w:0", "cmd 0x4c"},
      {"cmd 1 0 18 530 - w:1", "cmd 0x4c"},
      {"cmd 1 0 18 531 - w:1", "cmd 0x4c"},
  });
  EXPECT_EQ(Peek(0x804) & 0x80000003u, 0x80000003u);
}

TEST_F(AcqCustomCommands, RegisterBlocksMemoryAndSettings) {
  ChildProcess& helper = Started();
  Run(helper, {
      {"block 12a4 5a5a5a5a 1298 17", "block 2"},
      {"cmd 0 0 18 261 16 w:16 a:block w:0", "cmd 0x0 0x10"},
      {"block 12a4 0 1298 0", "block 2"},
      {"cmd 0 0 18 260 16 w:16 a:block w:0", "cmd 0x0 0x10"},
      {"showblock", "block 0x12a4 0x5a5a5a5a 0x1298 0x17"},
      // Lengths that are no whole pairs, blocks out of reach or out of the window.
      {"cmd 0 0 18 260 16 w:12 a:block w:0", "cmd 0x236"},
      {"cmd 0 0 18 260 16 w:0 a:block w:0", "cmd 0x236"},
      {"cmd 0 0 18 261 16 w:8 a:bad w:0", "cmd 0x236"},
      {"cmd 0 0 18 260 16 w:8200 a:block w:0", "cmd 0x236"},
      {"block 20000 1", "block 1"},
      {"cmd 0 0 18 261 16 w:8 a:block w:0", "cmd 0x236"},
      {"cmd 0 0 18 260 8 w:8 a:block w:0", "cmd 0x532"},
      {"cmd 0 0 18 261 16 w:8 a:block", "cmd 0x332"},
      // Processing memory through the device's connector.
      {"block 11 22", "block 1"},
      {"cmd 0 0 18 535 - w:0 w:2 a:block", "cmd 0x0"},
      {"cmd 0 0 18 534 8 w:0 w:2", "cmd 0x0 0x11 0x22"},
      {"cmd 0 0 18 534 4 w:0 w:2", "cmd 0x532"},
      {"cmd 0 0 18 535 - w:0 w:2 a:bad", "cmd 0x236"},
      {"cmd 0 0 18 535 - w:0 w:0x100001 a:block", "cmd 0x236"},
      // Named settings: power over Camera Link, an unknown sub-command.
      {"cmd 0 0 18 4096 - w:3 w:1", "cmd 0x0"},
  });
  EXPECT_EQ(Read(0x10028) & 1u, 1u);
  Run(helper, {
      {"cmd 0 0 18 4096 - w:3 w:0", "cmd 0x0"},
  });
  EXPECT_EQ(Read(0x10028) & 1u, 0u);
  Run(helper, {
      {"cmd 0 0 18 4096 - w:1 w:1", "cmd 0x0"},
      {"cmd 0 0 18 4096 - w:4 w:25", "cmd 0x0"},
      {"cmd 0 0 18 768 - h:265 h:0 w:1", "cmd 0x0"},
      {"cmd 0 0 18 768 -", "cmd 0x236"},
      {"cmd 0 0 18 999 -", "cmd 0x46"},
      {"cmd 0 0 19 262 8 w:0x10028 w:0", "cmd 0x46"},
      {"cmd 0 0 18 262 4 w:0x10028 w:0", "cmd 0x532 0xeeeeeeee"},
  });
  EXPECT_EQ(Peek(0x1200) & 0x80000000u, 0x80000000u);
  const std::string log = plat::support::read_machine_log();
  EXPECT_NE(log.find("YatAcqCustomCmd[YAT_ACQ_CUSTOM_CMD_PARAM_POCL_12V_ON_ENABLE] = True, 0"), std::string::npos);
  EXPECT_NE(log.find("YatAcqCustomCmd[YAT_ACQ_CUSTOM_CMD_XFER_ABORT_DELAY] = 25, 0"), std::string::npos);
}

TEST_F(AcqCustomCommands, SerialTable) {
  ChildProcess& helper = Started();
  Run(helper, {
      {"serial settings", "serial 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x3fff 0x1f 0x1f 0x7 0x7 0x40 0x10 0x1 0x1 0x1 0x0 0x0"},
      {"serial count", "serial 0x0 0x1"},
      {"serial resolve", "serial 0x0 0x0"},
      // No bytes of its own making: nothing read, nothing written.
      {"serial read 8", "serial 0x46 0x0 0xeeeeeeee 0xeeeeeeee"},
      {"serial write 8", "serial 0x46 0x0"},
      // An opened handle reaches the board's Camera Link port: the camera echoes.
      {"serial open 0 0", "serial 0x0"},
      {"serial send 6361736531", "serial 0x0 0x5"},
      {"serial receive 5 30000", "serial 0x0 0x5 6361736531"},
      {"serial receive 4 50", "serial 0x0 0x0 "},
      {"serial close", "serial 0x0"},
      {"serial send 61", "serial 0x46 0x0"},
      // A port the board does not have opens nothing.
      {"serial open 0 1", "serial 0x0"},
      {"serial send 61", "serial 0x46 0x0"},
  });
}

}  // namespace
}  // namespace acq_device_test
