// Device detection per board model through the real road: boards preset
// before the kernel host starts, the board library, the server driver's
// detection in helper processes.
#include <string>
#include <vector>

#include "source/QelAcq/tests/acq_device_fixture.h"

namespace acq_device_test {
namespace {

struct DetectionCase {
  const char* description;
  BoardPreset preset;
  const char* devices;  // the helper's "devices" line
};

// Presets with types on the second connector are made on a "Dual" board.
const std::vector<DetectionCase>& Cases() {
  static const std::vector<DetectionCase> cases = {
      {"model 6", Model(6), "devices 4 2:1:0 3:2:0 4:1:0 5:2:0"},
      {"model 6, F1", Model(6, 0x2), "devices 4 2:1:0 3:2:0 4:1:0 5:2:0"},
      {"model 0", Model(0), "devices 5 1:1:0 2:1:0 3:2:0 4:1:0 5:2:0"},
      {"model 4, F0", Model(4, 0x1), "devices 1 8:1:0"},
      {"model 0x2002, F7 and F9", Model(0x2002, 0x280), "devices 1 9:1:0"},
      {"model 1, one connector, drawing 0x816",
       OneConnector(0), "devices 1 2:1:0"},
      {"model 1, one connector, drawing 0x816, F14",
       OneConnector(0x4000), "devices 1 13:1:0"},
      {"model 0x0108, unknown", Model(0x0108), "devices 0"},
      {"model 9, filtered", Model(9), "devices 0"},
      {"factory Full board", Factory("FolvantX4Full"), "devices 2 1:1:0 6:1:0"},
      {"factory Dual board", Factory("FolvantX4Dual"), "devices 4 2:1:0 3:2:0 4:1:0 5:2:0"},
      // Firmware built for one camera: the second connector cannot be opened,
      // so its slots stay registered (in use).
      {"model 6, F9: one camera", Model(6, 0x200), "devices 4 2:1:0 3:2:1 4:1:0 5:2:1"},
  };
  return cases;
}

// Every device the presets offer starts with default sets that pass its own
// validators; the devices whose input cannot be opened (the second connector
// of a firmware built for one camera) cannot be initialised at all.
TEST_F(AcqDevices, DetectionTableOverPresetsAndTheirDefaultSetsValidate) {
  std::vector<BoardPreset> presets;
  for (const DetectionCase& c : Cases()) presets.push_back(c.preset);
  StartBoards(presets);
  ChildProcess& helper = Helper();
  EXPECT_EQ(Ask(helper, "start"),
            "started 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0"
            " | 0x0 0x0 0x0 0x0 | 0x0 0x0 0x0 0x0 | 0x0 0x0 0x0 0x0 0x0 | 0x0 | 0x0 | 0x0 | 0x0 | |"
            " | 0x0 0x0 | 0x0 0x0 0x0 0x0 | 0x0 0x4b 0x0 0x4b");
  for (std::size_t b = 0; b < Cases().size(); ++b)
    EXPECT_EQ(Ask(helper, "devices " + std::to_string(b)), Cases()[b].devices) << Cases()[b].description;
  EXPECT_EQ(Ask(helper, "name 4 0"), "name CameraLink Bayer #1");
  EXPECT_EQ(Ask(helper, "name 6 0"), "name CameraLink 8 Taps Parallel 10 Bits Mono #1");
  EXPECT_EQ(Ask(helper, "name 0 3"), "name CameraLink Base Color RGB #2");

  for (std::size_t b = 0; b < Cases().size(); ++b) {
    std::istringstream devices(Cases()[b].devices);
    std::string word;
    devices >> word >> word;  // "devices" and the count
    for (std::uint32_t slot = 0; devices >> word; ++slot) {
      if (word.back() == '1') continue;  // registered elsewhere: never initialised
      EXPECT_EQ(Ask(helper, "validate " + std::to_string(b) + " " + std::to_string(slot)), "validate 0x0")
          << Cases()[b].description << ", slot " << slot;
    }
  }

  const std::vector<std::string> lines = LogLines("acqDetect");
  ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0].rfind("L0 ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(" Quillet.DLL board #7, acqDetect => unknow board model 0x00000108"), std::string::npos)
      << lines[0];
}

}  // namespace
}  // namespace acq_device_test
