#include "platform/board/presets.h"

#include <array>

namespace plat::board {

namespace {

// Both models are the same four-lane board with different firmware options;
// the subsystem id carries the model code the EEPROM holds (0x1001 Full,
// 0x1002 Dual). The Full board has one camera input, the Dual two.
constexpr std::array kPresets{
    BoardPreset{"FolvantX4Full", 0x0C41, 0x1001, 0x01, 0x00000227, 4, 1},
    BoardPreset{"FolvantX4Dual", 0x0C42, 0x1002, 0x01, 0x00000238, 4, 2},
};

}  // namespace

const BoardPreset* find_preset(std::string_view model) {
  for (const BoardPreset& preset : kPresets)
    if (preset.model == model) return &preset;
  return nullptr;
}

}  // namespace plat::board
