// Capabilities and default parameters of devices on preset boards: from the
// board's EEPROM bytes, its option bits and its firmware's, the LUT type and
// the window capabilities.
#include <string>

#include "source/QelAcq/tests/acq_device_fixture.h"

namespace acq_device_test {
namespace {

// Board 0: factory Dual. 1: option bit 4 (model 17), the pixel clock pinned to
// the EEPROM's 3125 MHz (its line-scan camera's). 2: option bit 5 (model 32) and F5: the clock from 1 Hz
// to the Camera Link chip's 85 MHz. 3: factory Dual whose sub-template (byte
// 30) names the chip speed, and F12. 4: model 4 with F0 (16 taps). 5: one
// connector, F14 (8 taps of 10 bits). 6: Bayer (model 0x2002, F7 and F9).
std::vector<BoardPreset> CapsPresets() {
  BoardPreset pinned = Model(17);
  pinned.bytes = {{115, 3125 & 0xFF}, {116, 3125 >> 8}};
  BoardPreset chip = Factory("FolvantX4Dual");
  chip.bytes = {{30, 2}};
  chip.firmwareOptions = 0x1000;
  return {Factory("FolvantX4Dual"), pinned, Model(32, 0x20), chip, Model(4, 0x1), OneConnector(0x4000),
          Model(0x2002, 0x280)};
}

TEST_F(AcqDevices, CapabilitiesComeFromTheBoard) {
  StartBoards(CapsPresets());
  ChildProcess& helper = StartedHelper();
  // Acquisition-level words; the tap rows (CAM 0, option bit 1: 2, then bits 0 and 1); the line-number
  // capability (CAM 9); the pixel clock range (CAM 47-50); the data formats with both LUT widths.
  EXPECT_EQ(Ask(helper, "cap 0 0 1792 4"), "cap 0xc388e4cc 0x3 0x0 0xc7");
  EXPECT_EQ(Ask(helper, "cap 0 0 0"), "cap 0x3");
  EXPECT_EQ(Ask(helper, "cap 0 0 9"), "cap 0x4");
  EXPECT_EQ(Ask(helper, "cap 0 0 47 4"), "cap 0x1312d00 0x3ef1480 0x1312d00 0x3ef1480");
  EXPECT_EQ(Ask(helper, "cap 0 0 6 22"),
            "cap 0x8 0x1 0x1010800 0xa 0x1 0x1000a00 0xa 0x1 0x1010800 0xc 0x1 0x1000c00 0xc 0x1 0x1010800"
            " 0xe 0x0 0x1000e00 0x10 0x0 0x1021000 0x0");
  EXPECT_EQ(Ask(helper, "cap 0 0 2128 3"), "cap 0x1010800 0x1021000 0x0");
  // The board's window capabilities: alignment 16 pixels, at least 56 wide.
  EXPECT_EQ(Ask(helper, "cap 0 0 2107 3"), "cap 0x38 0xffffff 0x10");
  // A colour device: colour kind 8 allowed, its mode limit, colour output formats first.
  EXPECT_EQ(Ask(helper, "cap 0 2 5"), "cap 0x9");
  EXPECT_EQ(Ask(helper, "cap 0 2 2051"), "cap 0x1");
  EXPECT_EQ(Ask(helper, "cap 0 2 2128 7"), "cap 0x61092000 0x610a2000 0x3010800 0x3021000 0x1010800 0x1021000 0x0");

  // Option bit 4: the clock pinned to 3125 MHz, no 14- and 16-bit formats.
  EXPECT_EQ(Ask(helper, "cap 1 0 1792"), "cap 0xc388e4dc");
  EXPECT_EQ(Ask(helper, "cap 1 0 47 4"), "cap 0xba43b740 0xba43b740 0xba43b740 0xba43b740");
  EXPECT_EQ(Ask(helper, "cap 1 0 6 16"),
            "cap 0x8 0x1 0x1010800 0xa 0x1 0x1000a00 0xa 0x1 0x1010800 0xc 0x1 0x1000c00 0xc 0x1 0x1010800 0x0");
  EXPECT_EQ(Ask(helper, "cap 1 0 0"), "cap 0x1");
  EXPECT_EQ(Ask(helper, "cap 1 0 121"), "cap 0x6");
  EXPECT_EQ(Ask(helper, "cap 1 0 35"), "cap 0x0");

  // Option bit 5: from 1 Hz to byte 51's 85 MHz; F5 adds 0x200.
  EXPECT_EQ(Ask(helper, "cap 2 0 47 2"), "cap 0x1 0x510ff40");
  EXPECT_EQ(Ask(helper, "cap 2 0 1792"), "cap 0xc388e6cc");
  // Byte 30 above 1 with a chip of at least 20 MHz: up to 85 MHz; F12: CAM 9 is 16.
  EXPECT_EQ(Ask(helper, "cap 3 0 47 2"), "cap 0x1312d00 0x510ff40");
  EXPECT_EQ(Ask(helper, "cap 3 0 9"), "cap 0x10");
  // F0 and F14 keep the first data format alone (10 bits with F14).
  EXPECT_EQ(Ask(helper, "cap 4 0 6 4"), "cap 0x8 0x1 0x1010800 0x0");
  EXPECT_EQ(Ask(helper, "cap 5 0 6 4"), "cap 0xa 0x1 0x1000a00 0x0");
  // Bayer: colour kind 16, the Bayer formats, the on-board decoder.
  EXPECT_EQ(Ask(helper, "cap 6 0 5"), "cap 0x11");
  EXPECT_EQ(Ask(helper, "cap 6 0 108"), "cap 0x1");
  EXPECT_EQ(Ask(helper, "cap 6 0 6 10"), "cap 0x8 0x1 0x43000800 0xa 0x1 0x43000a00 0xc 0x1 0x43000c00 0x0");
  EXPECT_EQ(Ask(helper, "cap 6 0 2224"), "cap 0x1");
}

TEST_F(AcqDevices, DefaultNamesAndValues) {
  StartBoards(CapsPresets());
  ChildProcess& helper = StartedHelper();
  for (const char* device : {"0 0", "0 1", "3 0"}) {
    EXPECT_EQ(Ask(helper, std::string("text ") + device + " 41"), "text Default Area Scan 1 tap Mono") << device;
    EXPECT_EQ(Ask(helper, std::string("text ") + device + " 2093"), "text Default Area Scan 1 tap Mono") << device;
  }
  // The standard format 0: 640 x 480 at 20 MHz, one tap of 8 bits.
  for (const auto& [index, value] : {std::pair{3, "0x1"}, {6, "0x8"}, {10, "0x280"}, {12, "0x1e0"}, {25, "0x1312d00"},
                                     {49, "0x1"}, {50, "0x2"}, {9, "0x4"}, {2088, "0x1010800"}, {2067, "0x280"},
                                     {2069, "0x280"}, {2070, "0x1e0"}, {2094, "0x1"}})
    EXPECT_EQ(Ask(helper, "prm 0 0 " + std::to_string(index)), std::string("prm ") + value) << index;
  // A colour device.
  EXPECT_EQ(Ask(helper, "prm 0 2 2088"), "prm 0x61092000");
  EXPECT_EQ(Ask(helper, "prm 0 2 5"), "prm 0x8");
  EXPECT_EQ(Ask(helper, "prm 0 2 2098"), "prm 0x61092000");
  EXPECT_EQ(Ask(helper, "text 0 2 41"), "text Default Area Scan 1 tap Color");
  // F12: CAM 9 is 16.
  EXPECT_EQ(Ask(helper, "prm 3 0 9"), "prm 0x10");
  // Option bit 4: the line-scan standard 5; option bit 5: standard 4 with CAM 61.
  EXPECT_EQ(Ask(helper, "text 1 0 41"), "text Default Line Scan 1 tap Mono");
  EXPECT_EQ(Ask(helper, "prm 1 0 88"), "prm 0x0");
  EXPECT_EQ(Ask(helper, "prm 1 0 113"), "prm 0x5");
  EXPECT_EQ(Ask(helper, "prm 2 0 61"), "prm 0x1");
  EXPECT_EQ(Ask(helper, "prm 2 0 88"), "prm 0x0");
  // Parallel cameras: 16 taps of 8 bits; 8 taps of 10 bits (a 16-bit output).
  EXPECT_EQ(Ask(helper, "text 4 0 41"), "text Default Area Scan 16 taps Parallel Mono");
  EXPECT_EQ(Ask(helper, "text 5 0 41"), "text Default Area Scan 8 taps Parallel Mono");
  EXPECT_EQ(Ask(helper, "prm 5 0 2088"), "prm 0x1021000");
  // Bayer.
  EXPECT_EQ(Ask(helper, "text 6 0 41"), "text Default Bayer Area Scan 1 tap Color");
  EXPECT_EQ(Ask(helper, "prm 6 0 5"), "prm 0x10");
  EXPECT_EQ(Ask(helper, "prm 6 0 2151"), "prm 0x1");
  EXPECT_EQ(Ask(helper, "prm 6 0 109"), "prm 0x8");
  EXPECT_EQ(Ask(helper, "prm 6 0 2152"), "prm 0x1");
  for (const char* device : {"0 0", "0 2", "1 0", "2 0", "3 0", "4 0", "5 0", "6 0"})
    EXPECT_EQ(Ask(helper, std::string("validate ") + device), "validate 0x0") << device;
}

}  // namespace
}  // namespace acq_device_test
