// The board presets of the detection tests, each with the devices the
// helper's "devices" line reports for it (type:connector:registered).
// Presets with types on the second connector are made on a "Dual" board.
#pragma once

#include <vector>

#include "source/QelAcq/tests/acq_device_fixture.h"

namespace acq_device_test {

struct DetectionCase {
  const char* description;
  BoardPreset preset;
  const char* devices;  // the helper's "devices" line
};

inline const std::vector<DetectionCase>& DetectionCases() {
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

inline std::vector<BoardPreset> DetectionPresets() {
  std::vector<BoardPreset> presets;
  for (const DetectionCase& c : DetectionCases()) presets.push_back(c.preset);
  return presets;
}

// The slots of a case's devices that this machine's processes can open
// (those not registered elsewhere).
inline std::vector<std::uint32_t> OpenableSlots(const DetectionCase& c) {
  std::istringstream devices(c.devices);
  std::string word;
  devices >> word >> word;  // "devices" and the count
  std::vector<std::uint32_t> slots;
  for (std::uint32_t slot = 0; devices >> word; ++slot)
    if (word.back() != '1') slots.push_back(slot);
  return slots;
}

}  // namespace acq_device_test
