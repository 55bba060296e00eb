// The grab-controller routines through the library's register access, the
// driver and the simulated board: what each routine leaves in the camera's
// grab-controller registers and in the board's multi-camera register.
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "driver/user/tests/pardow_test_support.h"
#include "platform/board/control_protocol.h"
#include "platform/testing/board_control.h"

namespace pardow_test {
namespace {

constexpr std::uint32_t kCameraStride = 0x400;
constexpr std::uint32_t kGroupCount = 0x1014, kFramesPerGroup = 0x1018, kTriggerValue = 0x101C,
                        kTriggerControl = 0x1020, kTriggerWord = 0x1024, kAcqControl = 0x1010,
                        kLineControl = 0x1028, kLineValue = 0x102C, kMultiCamera = 0x448, kGrabStatus = 0x1078;
constexpr std::uint32_t kGrabbing = 1u << 24;
// Logical registers.
constexpr std::uint32_t kLogGroupCount = 4, kLogFramesPerGroup = 5, kLogTriggerValue = 6, kLogTriggerControl = 7,
                        kLogAcqControl = 8, kLogLineControl = 9, kLogLineValue = 10, kLogTriggerCount = 24,
                        kLogMultiCamera = 25;

using Registers = std::vector<std::pair<std::uint32_t, std::uint32_t>>;  // offset (or logical), value

class GrabCtrl : public PardowMachine {
 protected:
  void SetUp() override {
    PardowMachine::SetUp();
    start_host({"FolvantX4Dual"});
    helper_ = std::make_unique<ChildProcess>("pardow-helper-grabctrl", std::vector<std::string>{});
    ASSERT_EQ(helper_->read_line(60s), "ready");
    ASSERT_EQ(Ask("open"), "0");
    ASSERT_EQ(Ask("handle 0"), "0");
    ASSERT_EQ(Ask("handle 1"), "0");
  }

  void TearDown() override {
    if (helper_) finish(*helper_);
    helper_.reset();
    PardowMachine::TearDown();
  }

  std::string Ask(const std::string& command) { return ask(*helper_, command); }

  // The value last written to a register, whatever it reads as.
  static std::uint32_t Peek(std::uint32_t offset) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(plat::testing::board_control_peek_register(0, offset, &value), plat::board::kControlOk);
    return value;
  }

  static std::uint32_t Read(std::uint32_t offset) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(plat::testing::board_control_register_read(0, offset, &value), plat::board::kControlOk);
    return value;
  }

  // Puts whole values into logical registers of camera 0 through the library,
  // so that the driver's copy of each register holds them too.
  void Seed(const Registers& registers) {
    for (const auto& [logical, value] : registers)
      ASSERT_EQ(Ask("setbits 0 " + std::to_string(logical) + " " + std::to_string(value) + " 0xFFFFFFFF"), "0");
  }

  static void ExpectRegisters(const Registers& registers) {
    for (const auto& [offset, value] : registers) EXPECT_EQ(Peek(offset), value) << std::hex << "register 0x" << offset;
  }

  std::unique_ptr<ChildProcess> helper_;
};

TEST_F(GrabCtrl, LogicalRegistersReachTheCameraRegistersTheyStandFor) {
  // Logical index -> camera register (camera 1 is 0x400 further).
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> map = {
      {1, 0x1004},  {2, 0x1008},  {3, 0x100C},  {4, 0x1014},  {5, 0x1018},  {6, 0x101C},  {7, 0x1020},
      {8, 0x1010},  {9, 0x1028},  {10, 0x102C}, {11, 0x1030}, {12, 0x1034}, {13, 0x1038}, {14, 0x103C},
      {15, 0x1040}, {16, 0x1044}, {17, 0x1048}, {18, 0x104C}, {19, 0x1050}, {20, 0x1054}, {21, 0x1058},
      {22, 0x1060}, {23, 0x105C}, {26, 0x1180}, {27, 0x1184}, {28, 0x1188}, {29, 0x118C}, {30, 0x1190}};
  for (std::uint32_t camera : {0u, 1u}) {
    for (const auto& [logical, offset] : map) {
      SCOPED_TRACE("camera " + std::to_string(camera) + " logical " + std::to_string(logical));
      // Bits 20 and up only: no command, no trigger.
      const std::uint32_t value = (logical + 1) << 20;
      ASSERT_EQ(Ask("write " + std::to_string(camera) + " " + std::to_string(logical) + " " + std::to_string(value)),
                "0");
      EXPECT_EQ(Peek(camera * kCameraStride + offset), value);
    }
    // The capability word: a grab controller is present.
    const std::string capability = Ask("read " + std::to_string(camera) + " 0");
    EXPECT_EQ(capability.substr(0, 2), "0 ");
    EXPECT_NE(capability, "0 0");
    EXPECT_NE(capability, "0 ffffffff");
  }
}

TEST_F(GrabCtrl, TriggerWordHalvesAndMultiCameraRegisterAndBadIndices) {
  Seed({{kLogTriggerCount, 0x2BCD00FF}});
  EXPECT_EQ(Ask("write 0 24 0"), "0");  // a count of 0 reaches the board as 1
  EXPECT_EQ(Peek(kTriggerWord), 0x2BCD0001u);
  EXPECT_EQ(Ask("write 0 24 0x1234"), "0");
  EXPECT_EQ(Peek(kTriggerWord), 0x2BCD0034u);
  EXPECT_EQ(Ask("write 0 31 0x12345"), "0");
  EXPECT_EQ(Peek(kTriggerWord), 0x23450034u);

  Seed({{kLogMultiCamera, 0x5050}});
  EXPECT_EQ(Ask("setbits 1 25 0x202 0x0F0F"), "0");
  EXPECT_EQ(Peek(kMultiCamera), 0x5252u);

  EXPECT_EQ(Ask("read 0 32"), "-13 0");
  EXPECT_EQ(Ask("write 1 33 5"), "-13");
  EXPECT_EQ(Ask("setbits 0 32 5 5"), "-13");
  EXPECT_TRUE(log_shows({"Pardow.DLL, reg 32, GrabCtrl_ReadDataReg PARAMETER INVALID",
                         "Pardow.DLL, reg 33, GrabCtrl_WriteDataReg PARAMETER INVALID"}));
}

TEST_F(GrabCtrl, FrameCountSplitsIntoGroups) {
  struct Case {
    std::uint32_t perTrigger, perGroup;
    const char* count;
    const char* status;
    std::uint32_t framesPerGroup, groups;  // 0xEE: not written
  };
  const Case cases[] = {
      {3, 0, "9", "0", 3, 3},
      {3, 0, "10", "-10500", 0xEE, 0xEE},
      {1, 4, "8", "0", 4, 2},
      {1, 4, "6", "-10501", 0xEE, 0xEE},
      {1, 5, "0xFFFFFFFF", "0", 5, 1},
      {4, 2, "0xFFFFFFFF", "0", 4, 1},
      {1, 0, "7", "0", 7, 1},  // no frame-trigger set-up yet
      {1, 0, "0xFFFFFFFF", "0", 1, 1},  // endless before any set-up: groups of one frame
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.perTrigger) + "/" + std::to_string(c.perGroup) + " count " + c.count);
    Seed({{kLogFramesPerGroup, 0xEE}, {kLogGroupCount, 0xEE}});
    ASSERT_EQ(Ask("counts 0 " + std::to_string(c.perTrigger) + " " + std::to_string(c.perGroup)), "0");
    EXPECT_EQ(Ask(std::string("count 0 ") + c.count), c.status);
    ExpectRegisters({{kFramesPerGroup, c.framesPerGroup}, {kGroupCount, c.groups}});
  }
}

TEST_F(GrabCtrl, StartsAndStopsChangeOnlyTheCommand) {
  struct Case {
    const char* command;
    std::uint32_t nibble;
    bool grabbing;
  };
  const Case cases[] = {
      {"continuous 0", 9, true}, {"freeze 0", 2, false}, {"nframes 0 8", 1, true}, {"abort 0", 4, false}};
  ASSERT_EQ(Ask("counts 0 1 4"), "0");
  Seed({{kLogAcqControl, 0x2BCD0010}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    ASSERT_EQ(Ask(c.command), "0");
    EXPECT_EQ(Peek(kAcqControl), 0x2BCD0010u | c.nibble);
    if (c.grabbing) {
      EXPECT_NE(Read(kGrabStatus) & kGrabbing, 0u);
    }
  }
  EXPECT_EQ(Read(kGrabStatus) & kGrabbing, 0u);
  // The counted start's 8 frames in groups of 4.
  ExpectRegisters({{kFramesPerGroup, 4}, {kGroupCount, 2}});
}

TEST_F(GrabCtrl, SynchronisedCommandsWriteTheMultiCameraRegisterOnce) {
  struct Case {
    const char* command;
    const char* status;
    std::uint32_t multi;  // 0x5050 + what was merged under 0x0F0F
  };
  const Case cases[] = {
      {"multi continuous 0 0 1", "0", 0x5359}, {"multi freeze 0 0 1", "0", 0x5352},
      {"multi freeze 0 1", "0", 0x5252},       {"multi abort 0 0 1", "0", 0x5354},
      {"multi nframes 6 1 0", "0", 0x5351},    {"multi nframes 5 0 1", "-10501", 0x5050},
      {"multi freeze 0 0 0 1", "-3", 0x5050},  {"multi freeze 0", "-3", 0x5050},
  };
  ASSERT_EQ(Ask("counts 0 1 3"), "0");
  ASSERT_EQ(Ask("counts 1 1 3"), "0");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    Seed({{kLogMultiCamera, 0x5050}});
    EXPECT_EQ(Ask(c.command), c.status);
    EXPECT_EQ(Peek(kMultiCamera), c.multi);
  }
  // The counted start prepared each camera's 6 frames in groups of 3.
  ExpectRegisters({{kFramesPerGroup, 3}, {kGroupCount, 2}, {kCameraStride + kFramesPerGroup, 3},
                   {kCameraStride + kGroupCount, 2}});

  // A camera that cannot be prepared ends the walk before the board is told.
  ASSERT_EQ(Ask("unusable 1"), "0");
  Seed({{kLogMultiCamera, 0x5050}});
  EXPECT_EQ(Ask("multi freeze 0 0 1"), "-3");
  EXPECT_EQ(Peek(kMultiCamera), 0x5050u);
}

TEST_F(GrabCtrl, FrameTriggerSetUp) {
  struct Case {
    const char* record;
    const char* status;
    Registers registers;
    const char* context;  // frames per trigger, frames per group
  };
  const Case cases[] = {
      // Long delay in thousands: 70, bit 9; source 5 -> code 4.
      {"2=1 3=5 7=70000", "0", {{kTriggerControl, 0x00469204}, {kTriggerWord, 0x00000001}}, "1 1"},
      {"2=1 3=5 7=65535001", "-3", {{kTriggerControl, 0}, {kTriggerWord, 0}}, "1 0"},
      {"2=1 3=1 7=1000 9=2 5=3 16=3", "0", {{kTriggerControl, 0x03E89802}, {kTriggerWord, 0x00000003}}, "3 1"},
      // Filter above 16383: thousands with bit 14, and bit 15.
      {"2=1 34=20000", "0", {{kTriggerControl, 0x00001000}, {kTriggerWord, 0xC0140001}}, "1 1"},
      {"11=1 12=0x12345 13=4", "0", {{kTriggerControl, 0x00002010}, {kTriggerValue, 0x12345}}, "1 1"},
      {"11=1 13=3", "-3", {{kTriggerControl, 0}}, "1 0"},
      {"19=1 20=3 21=77 35=4", "0", {{kLineControl, 9}, {kLineValue, 77}}, "1 4"},
      // Above the line threshold (65535 here): thousands.
      {"19=1 20=1 21=70000", "0", {{kLineControl, 0xD}, {kLineValue, 70}}, "1 1"},
      {"19=1 20=1 21=700", "0", {{kLineControl, 1}, {kLineValue, 700}}, "1 1"},
      {"19=1 20=2", "-3", {{kLineControl, 0}}, "1 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    Seed({{kLogTriggerControl, 0}, {kLogTriggerValue, 0}, {kLogTriggerCount, 0}, {kLogLineControl, 0},
          {kLogLineValue, 0}});
    ASSERT_EQ(Ask("counts 0 1 0 65535"), "0");
    EXPECT_EQ(Ask(std::string("trigger 0 ") + c.record), c.status);
    ExpectRegisters(c.registers);
    EXPECT_EQ(Ask("context 0").substr(0, 3), c.context);
  }
}

TEST_F(GrabCtrl, SoftwareTriggerLeavesTheTriggerControlAsItWas) {
  Seed({{kLogTriggerControl, 0x00001004}});
  EXPECT_EQ(Ask("softtrigger 0"), "0");
  EXPECT_EQ(Peek(kTriggerControl), 0x00001004u);
}

TEST_F(GrabCtrl, CameraControlTimersChooseTheirTimeBase) {
  struct Case {
    const char* command;
    const char* status;
    Registers registers;  // control, first, second, count
    const char* bases;    // timer 0, timer 1, strobe
  };
  const Case cases[] = {
      // 100000 and 50 do not fit base 0; base 1 gives 100 and (50 + 500) / 1000 = 0 -> 1.
      {"timer 0 0 auto 1=1 8=1 3=100000 4=50", "0", {{0x1034, 0x2025}, {0x1038, 100}, {0x103C, 1}, {0x1040, 0}},
       "1 0 0"},
      {"timer 0 0 auto 1=1 5=1 8=1 3=1000 4=200", "0", {{0x1034, 0x0011}, {0x1038, 1000}, {0x103C, 200}}, "0 0 0"},
      // Fine steps asked (byte 52 = 2, byte 53 = 2): base 2, tenths.
      {"timer 0 0 auto 1=1 8=1 13=0x202 3=100 4=50", "0", {{0x1034, 0xE025}, {0x1038, 1000}, {0x103C, 500}},
       "2 0 0"},
      {"timer 0 0 auto 1=1 8=6 3=5 4=7 11=5 12=6", "0",
       {{0x1034, 0xE1025}, {0x1038, 5}, {0x103C, 7}, {0x1040, 5}}, "3 0 0"},
      {"timer 0 1 4 1=1 8=1 3=300000 4=100000 10=1", "0", {{0x1044, 0x2005}, {0x1048, 3}, {0x104C, 1}}, "3 4 0"},
      // Refused: the registers and the handle's slots stay.
      {"timer 0 1 0 1=1 8=1 3=100000", "-3", {{0x1048, 3}}, "3 4 0"},
      {"timer 0 0 auto 1=1 8=2", "-3", {{0x1038, 5}}, "3 4 0"},
      {"timer 0 0 auto 1=1 8=1 11=1 12=4", "-3", {{0x1038, 5}}, "3 4 0"},
      {"timer 0 2 auto 1=1 8=1", "-3", {}, "3 4 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(Ask(c.command), c.status);
    ExpectRegisters(c.registers);
    EXPECT_EQ(Ask("context 0").substr(4), c.bases);
  }
}

TEST_F(GrabCtrl, StrobeValuesByTheirTimeBase) {
  struct Case {
    const char* record;
    const char* status;
    Registers registers;  // control, A, B, C
    char base;
  };
  const Case cases[] = {
      {"1=1 10=1 4=10 5=20 6=30 7=1 9=1", "0", {{0x1054, 0x00C1}, {0x1058, 10}, {0x105C, 20}, {0x1060, 30}}, '0'},
      // Too long for base 0: thousands, and B before A never ends.
      {"1=1 10=1 4=100000 5=50000 6=10", "0",
       {{0x1054, 0x2005}, {0x1058, 100}, {0x105C, 0xFFFFFFFF}, {0x1060, 0}}, '1'},
      {"1=1 10=5 4=1000 5=2000 6=300 8=2", "0", {{0x1054, 0x6005}, {0x1058, 10}, {0x105C, 20}, {0x1060, 3}}, '2'},
      {"1=1 10=5 4=10000000 5=20000000 6=300", "0", {{0x1058, 10000}, {0x105C, 20000}, {0x1060, 0}}, '0'},
      {"1=1 10=1 4=100000 9=5", "-3", {{0x1058, 10000}}, '0'},
      // Output 4, as the acquisition module's records name it, selects what 0 does.
      {"1=1 10=1 4=100000 9=4", "0", {{0x1054, 0x2005}, {0x1058, 100}, {0x105C, 0xFFFFFFFF}, {0x1060, 0}}, '1'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record);
    EXPECT_EQ(Ask(std::string("strobe 0 ") + c.record), c.status);
    ExpectRegisters(c.registers);
    EXPECT_EQ(Ask("context 0").back(), c.base);
  }
}

TEST_F(GrabCtrl, DoublePulseControlAndPairs) {
  EXPECT_EQ(Ask("pulse 0 1=1 2=2 3=0 5=1 8=70000 9=0x12345 10=2 11=3 12=4 13=5 14=6 15=7 16=8"), "0");
  ExpectRegisters({{0x1180, 0x4681F}, {0x1184, 0x22345}, {0x1188, 0x40003}, {0x118C, 0x60005}, {0x1190, 0x80007}});
  EXPECT_EQ(Ask("pulse 0 2=1 3=1 7=1 8=500"), "0");
  ExpectRegisters({{0x1180, 0x1F4040}, {0x1184, 0}});
}

TEST_F(GrabCtrl, InitAndModeSetUps) {
  Seed({{kLogAcqControl, 0x2BCD00E8}});
  ASSERT_EQ(Ask("init 0"), "0");
  ExpectRegisters({{0x1004, 1}, {0x1008, 1}, {kTriggerValue, 10000}, {kTriggerControl, 1}, {kTriggerWord, 1},
                   {kLineControl, 0}, {kLineValue, 0}, {0x1054, 0}, {kGroupCount, 1}, {kFramesPerGroup, 1},
                   {0x1034, 0}, {0x1044, 0}});
  ASSERT_EQ(Ask("modebits 0 1"), "0");
  ExpectRegisters({{0x1004, 0}, {0x1008, 0}});

  ASSERT_EQ(Ask("format 0 2"), "0");
  EXPECT_EQ(Peek(kAcqControl), 0x2BCD00F8u);
  ASSERT_EQ(Ask("format 0 1"), "0");
  EXPECT_EQ(Peek(kAcqControl), 0x2BCD00E8u);

  // Trigger mode (a, b, c) over a control word holding bits 3 and 5..7.
  const std::vector<std::pair<const char*, std::uint32_t>> modes = {
      {"3 0 0", 0x2BCD0088}, {"0 0 0", 0x2BCD00C8}, {"1 2 0", 0x2BCD00A8},
      {"1 1 0", 0x2BCD00E8}, {"1 0 0", 0x2BCD0028}, {"1 1 2", 0x2BCD0008}};
  for (const auto& [arguments, expected] : modes) {
    SCOPED_TRACE(arguments);
    Seed({{kLogAcqControl, 0x2BCD00E8}});
    EXPECT_EQ(Ask(std::string("triggermode 0 ") + arguments), "0");
    EXPECT_EQ(Peek(kAcqControl), expected);
  }
  EXPECT_EQ(Ask("linemode 1 2 1"), "0");
  EXPECT_EQ(Peek(kCameraStride + 0x1030), 9u);
  EXPECT_EQ(Ask("triggercount 1 0"), "0");
  EXPECT_EQ(Peek(kCameraStride + kTriggerWord) & 0xFF, 1u);
  EXPECT_EQ(Ask("active 1"), "0 0");
}

TEST_F(GrabCtrl, CallbacksStoredByAnotherProcessAreNeverCalled) {
  // The shared context holds another process's addresses: the routines still
  // reach this handle's camera through this process's callbacks.
  ASSERT_EQ(Ask("foreign 1"), "0");
  ASSERT_EQ(Ask("counts 1 1 2"), "0");
  EXPECT_EQ(Ask("nframes 1 6"), "0");
  ExpectRegisters({{kCameraStride + kFramesPerGroup, 2}, {kCameraStride + kGroupCount, 3}});
  EXPECT_EQ(Peek(kCameraStride + kAcqControl) & 0xF, 1u);
  EXPECT_EQ(Ask("multi abort 0 1"), "0");
  EXPECT_EQ(Peek(kMultiCamera) & 0x0F0F, 0x204u);
}

TEST_F(GrabCtrl, AnUnusableContextIsRefusedEverywhere) {
  ASSERT_EQ(Ask("unusable 0"), "0");
  Seed({{kLogAcqControl, 0}});
  for (const char* command :
       {"count 0 1", "nframes 0 1", "continuous 0", "freeze 0", "abort 0", "softtrigger 0", "init 0", "trigger 0 2=1",
        "timer 0 0 auto 1=1 8=1", "strobe 0 1=1", "pulse 0 1=1", "format 0 2", "modebits 0 2", "triggermode 0 1 1 1",
        "triggercount 0 1", "linemode 0 2 1", "multi continuous 0 0"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(Ask(command), "-3");
  }
  EXPECT_EQ(Ask("active 0"), "-3 7");
  EXPECT_EQ(Peek(kAcqControl), 0u);
}

}  // namespace
}  // namespace pardow_test
