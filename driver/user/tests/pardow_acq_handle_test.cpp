// Acquisition handles and the entry points' own rules, through a process
// that loads the library and a kernel host with a simulated board.
#include <string>
#include <vector>

#include "driver/user/QelHwStatus.h"
#include "driver/user/tests/pardow_acq_test_support.h"

namespace pardow_test {
namespace {

constexpr std::uint32_t kRegStrobeA = 0x1058;

using AcqHandle = AcqMachine;

TEST_F(AcqHandle, GetHandleAnswersByBoardAndCamera) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = acq_client();
  struct Case {
    std::string command, answer, logged;
  };
  const std::vector<Case> cases = {
      {"handle 0 0", "0 set", ""},
      {"handle 0 1", "0 set", ""},
      {"handle 16 0", "-3 null", "Pardow.DLL, Board 16, QelHw_Acq_GetHandle ARGUMENT INVALID"},
      {"handle 0 2", "-3 null", "Pardow.DLL, Camera Index 2, QelHw_Acq_GetHandle ARGUMENT INVALID"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.command);
    EXPECT_EQ(ask(c, k.command), k.answer);
    if (!k.logged.empty()) {
      EXPECT_TRUE(log_shows({k.logged}));
    }
  }
  // Both records are filled in the shared section: tag, board, camera, and an
  // external-trigger frame count of 1.
  EXPECT_EQ(ask(c, "info 0").substr(0, 15), "64000010 0 0 2 ");
  EXPECT_EQ(ask(c, "info 1").substr(0, 15), "64000010 0 1 2 ");
  EXPECT_EQ(ask(c, "release 0"), "0");
  finish(c);
}

TEST_F(AcqHandle, TheFullBoardHasNoGrabControllerOnCameraOne) {
  start_host({"FolvantX4Full"});
  ChildProcess& c = acq_client();
  EXPECT_EQ(ask(c, "handle 0 0"), "0 set");
  EXPECT_EQ(ask(c, "handle 0 1"), "-3 null");
  EXPECT_TRUE(log_shows({"Pardow.DLL, Camera Index 1, QelHw_Acq_GetHandle: Grab Controller not present."}));
  EXPECT_EQ(ask(c, "release 1"), "-3");
  finish(c);
}

// The front end measures a camera's line and frame only while its clock and
// data lines are up; the measurement fills the width and height words.
TEST_F(AcqHandle, DetectVideoFormatMeasuresTheCamera) {
  start_host({"FolvantX4Dual"});
  set_camera(1, 320, 200, 10000);
  ChildProcess& c = acq_client();
  EXPECT_EQ(ask(c, "handle 0 1"), "0 set");
  EXPECT_EQ(ask(c, "detect 1"), "0 0 0");
  ASSERT_EQ(plat::testing::board_control_set_camera_link_status(0, 0x60), plat::board::kControlOk);
  EXPECT_EQ(ask(c, "detect 1"), "0 320 200");
  ASSERT_EQ(plat::testing::board_control_set_pixel_clock(0, 1, false), plat::board::kControlOk);
  EXPECT_EQ(ask(c, "detect 1"), "0 0 0");
  finish(c);
}

// A board that no longer answers reads all ones: no grab controller either.
TEST_F(AcqHandle, AVanishedBoardHasNoGrabController) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = acq_client();
  ASSERT_EQ(plat::testing::board_control_set_vanished(0, true), plat::board::kControlOk);
  EXPECT_EQ(ask(c, "handle 0 0"), "-3 null");
  EXPECT_TRUE(log_shows({"Pardow.DLL, Camera Index 0, QelHw_Acq_GetHandle: Grab Controller not present."}));
  ASSERT_EQ(plat::testing::board_control_set_vanished(0, false), plat::board::kControlOk);
  finish(c);
}

// An early LVDS board (issue 0, revision 0) grabs only with engineering
// change 1017 applied; its handle is refused before it.
TEST_F(AcqHandle, AnEarlyLvdsBoardNeedsItsEngineeringChange) {
  start_host({"FolvantX4Dual"});
  plat::board::EepromImage image{};
  ASSERT_EQ(plat::testing::board_control_eeprom_peek(0, 0xA0, &image), plat::board::kControlOk);
  image[4] = 0;
  image[5] = 0;
  image[38] |= 0x20;
  struct Case {
    std::uint16_t eco;
    std::string answer;
  };
  for (const Case& k : std::vector<Case>{{1016, "-2006 null"}, {1017, "0 set"}}) {
    SCOPED_TRACE(k.eco);
    image[8] = static_cast<std::uint8_t>(k.eco & 0xFF);
    image[9] = static_cast<std::uint8_t>(k.eco >> 8);
    ASSERT_EQ(plat::testing::board_control_eeprom_program(0, 0xA0, image), plat::board::kControlOk);
    ChildProcess& c = acq_client();  // the library reads the EEPROM afresh: no other process holds it
    EXPECT_EQ(ask(c, "handle 0 0"), k.answer);
    if (k.eco == 1017) {
      EXPECT_EQ(ask(c, "info 0").substr(0, 9), "64000013 ");
    }
    finish(c);
  }
  EXPECT_EQ(log_count("Pardow.DLL: Yat-LVDS board #1, ECO #1017 not apply"), 1u);
}

// The list forms start nothing for an empty list, refuse a list without a
// first handle or longer than a board's cameras, and start a list of one
// exactly as the single start does.
TEST_F(AcqHandle, AListOfNoHandlesDoesNothingAndAListOfOneIsTheSingleStart) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = acq_client();
  ASSERT_EQ(ask(c, "handle 0 0"), "0 set");
  EXPECT_EQ(ask(c, "startex 0"), "0");
  EXPECT_EQ(ask(c, "startex 1 null"), "-3");
  EXPECT_EQ(ask(c, "startex 3 0 0 0"), "-3");
  EXPECT_EQ(grab_state(0).last_command, 0u);
  EXPECT_EQ(grab_state(0).running, 0u);

  struct Seen {
    std::uint32_t running, command, control, groups, frames;
  };
  const auto seen = [] {
    const auto s = grab_state(0);
    return Seen{s.running, s.last_command, board_register(0x1010), board_register(0x1014), board_register(0x1018)};
  };
  ASSERT_EQ(ask(c, "startex 1 0"), "0");
  const Seen listed = seen();
  ASSERT_EQ(ask(c, "abort 0"), "0");
  ASSERT_EQ(ask(c, "start 0"), "0");
  const Seen single = seen();
  EXPECT_EQ(listed.running, 1u);
  EXPECT_EQ(listed.command, 9u);
  EXPECT_EQ(listed.running, single.running);
  EXPECT_EQ(listed.command, single.command);
  EXPECT_EQ(listed.control, single.control);
  EXPECT_EQ(listed.groups, single.groups);
  EXPECT_EQ(listed.frames, single.frames);
  EXPECT_EQ(ask(c, "abort 0"), "0");
  finish(c);
}

TEST_F(AcqHandle, StandardFormatsAndWindowCapabilities) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = acq_client();
  ASSERT_EQ(ask(c, "handle 0 0"), "0 set");
  // size, clock, width, height, bits, taps, video type, format mode, word 61
  const char* const words = " 0 2 6 11 20 21 23 59 61";
  EXPECT_EQ(ask(c, std::string("std 0") + words), "0 248 20000000 640 480 8 1 5 1 0");
  EXPECT_EQ(ask(c, std::string("std 5") + words), "0 248 3125000000 12000 512 8 1 5 2 5");
  EXPECT_EQ(ask(c, std::string("std 8") + words), "0 248 3125000000 1024 3072 8 4 5 1 4");
  EXPECT_EQ(ask(c, "std 9 0"), "-3 0");
  // size, bus width, the two step words: the row of a 16-bit internal bus
  EXPECT_EQ(ask(c, "caps 0 1 15 20 22"), "0 92 16 1 1 100");
  finish(c);
}

// The second serial port of a restricted model belongs to two firmware designs only.
TEST_F(AcqHandle, SerialPortCountFollowsTheBoardModelWord) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = acq_client();
  struct Case {
    const char *request, *answer;  // model word and model number; status, count, second
  };
  const std::vector<Case> cases = {
      {"0x1001 0", "0 1 0"}, {"0x0002 0", "0 2 0"}, {"0x1002 0", "0 1 0"},
      {"0x1002 551", "0 2 0"}, {"0x1002 568", "0 2 0"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.request);
    EXPECT_EQ(ask(c, std::string("ports ") + k.request), k.answer);
  }
  finish(c);
}

TEST_F(AcqHandle, GrabStatusNeverReportsAGrab) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = acq_client();
  EXPECT_EQ(ask(c, "grabstatus 0xFFFFFFFF"), "0 4294967294");
  EXPECT_EQ(ask(c, "grabstatus 6"), "0 6");
  finish(c);
}

// Fine-grained strobe values lose the board's 200-unit compensation from
// value A when they can; the register shows A in the chosen time base.
TEST_F(AcqHandle, StrobeValueAIsCompensatedOnlyForFineUnits) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = acq_client();
  ASSERT_EQ(ask(c, "handle 0 0"), "0 set");
  struct Case {
    std::uint32_t unit, valueA, registerA;
  };
  const std::vector<Case> cases = {
      {5, 150, 2},    // below the compensation: (150 + 50) / 100
      {5, 250, 1},    // 250 - 200 = 50: (50 + 50) / 100
      {5, 1250, 11},  // 1050: (1050 + 50) / 100
      {1, 250, 250},  // whole units: not compensated
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.valueA);
    ASSERT_EQ(ask(c, "strobe 0 " + std::to_string(k.unit) + " " + std::to_string(k.valueA)), "0");
    EXPECT_EQ(board_register(kRegStrobeA), k.registerA);
  }
  finish(c);
}

TEST_F(AcqHandle, SetVideoFormatChoosesThePixelFormatByVideoTypeAndDepth) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = acq_client();
  ASSERT_EQ(ask(c, "handle 0 0"), "0 set");
  struct Case {
    std::uint32_t type, bits, pixelFormat;
  };
  const std::vector<Case> cases = {{5, 8, 1}, {5, 10, 10}, {6, 8, 6}, {6, 10, 11}, {7, 12, 1}};
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.type) + " " + std::to_string(k.bits));
    EXPECT_EQ(ask(c, "format 0 " + std::to_string(k.type) + " " + std::to_string(k.bits)),
              "0 " + std::to_string(k.pixelFormat));
  }
  finish(c);
}

// Two segments read from both ends of the sensor: the length the front end
// crops and how many lines it merges follow the window's two lengths (a, b),
// the height and the segment flags.
TEST_F(AcqHandle, CropLengthRule) {
  start_host({"FolvantX4Dual"});
  ChildProcess& c = acq_client();
  struct Case {
    const char* window;  // mode segments a b height flags taps length-wanted
    const char* answer;  // status length multiplier
  };
  const std::vector<Case> cases = {
      {"2 2 100 20 480 0 2 1", "0 120 1"},      // format mode 2: a + b
      {"1 1 100 20 480 0 2 1", "0 120 1"},      // one segment: a + b
      {"1 2 100 20 480 0x10 2 1", "0 120 1"},   // flags keep the length
      {"1 2 300 20 480 0 2 1", "0 160 2"},      // 2a above the height: 2a - h + 2b, two lines
      {"1 2 100 20 480 0 2 1", "0 240 1"},      // both fit: 2(a + b)
      {"1 2 100 20 480 0x20 2 1", "0 280 1"},   // mirrored: h - 2a
      {"1 2 200 100 480 0x20 2 1", "0 120 2"},  // mirrored, overlapping: the larger of 80 and 120
      {"1 2 200 100 480 0 2 1", "0 480 1"},     // overlapping: the height
      {"1 4 100 20 480 0 2 1", "0 120 4"},      // more segments: a + b, one line per segment
      {"1 2 100 20 480 0 32 1", "-3 57005 57005"},  // taps past the flag words
      {"1 4 100 20 480 0 2 0", "-3 57005 4"},   // no length: refused, the multiplier still given
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.window);
    EXPECT_EQ(ask(c, std::string("croplen ") + k.window), k.answer);
  }
  finish(c);
}

}  // namespace
}  // namespace pardow_test
