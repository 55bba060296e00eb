// Device detection per board model through the real road: boards preset
// before the kernel host starts, the board library, the server driver's
// detection in helper processes.
#include <string>
#include <vector>

#include "source/QelAcq/tests/acq_preset_cases.h"

namespace acq_device_test {
namespace {

// Every device the presets offer starts with default sets that pass its own
// validators; the devices whose input cannot be opened (the second connector
// of a firmware built for one camera) cannot be initialised at all.
TEST_F(AcqDevices, DetectionTableOverPresetsAndTheirDefaultSetsValidate) {
  StartBoards(DetectionPresets());
  ChildProcess& helper = Helper();
  EXPECT_EQ(Ask(helper, "start"),
            "started 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x0"
            " | 0x0 0x0 0x0 0x0 | 0x0 0x0 0x0 0x0 | 0x0 0x0 0x0 0x0 0x0 | 0x0 | 0x0 | 0x0 | 0x0 | |"
            " | 0x0 0x0 | 0x0 0x0 0x0 0x0 | 0x0 0x4b 0x0 0x4b");
  for (std::size_t b = 0; b < DetectionCases().size(); ++b)
    EXPECT_EQ(Ask(helper, "devices " + std::to_string(b)), DetectionCases()[b].devices)
        << DetectionCases()[b].description;
  EXPECT_EQ(Ask(helper, "name 4 0"), "name CameraLink Bayer #1");
  EXPECT_EQ(Ask(helper, "name 6 0"), "name CameraLink 8 Taps Parallel 10 Bits Mono #1");
  EXPECT_EQ(Ask(helper, "name 0 3"), "name CameraLink Base Color RGB #2");

  for (std::size_t b = 0; b < DetectionCases().size(); ++b)
    for (const std::uint32_t slot : OpenableSlots(DetectionCases()[b]))  // the others are never initialised
      EXPECT_EQ(Ask(helper, "validate " + std::to_string(b) + " " + std::to_string(slot)), "validate 0x0")
          << DetectionCases()[b].description << ", slot " << slot;

  const std::vector<std::string> lines = LogLines("acqDetect");
  ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0].rfind("L0 ", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(" Quillet.DLL board #7, acqDetect => unknow board model 0x00000108"), std::string::npos)
      << lines[0];
}

}  // namespace
}  // namespace acq_device_test
