// The board models the simulated bus can hold, and what tells them apart.
#pragma once

#include <cstdint>
#include <string_view>

namespace plat::board {

inline constexpr std::uint16_t kMakerVendorId = 0x11EC;

struct BoardPreset {
  std::string_view model;
  std::uint16_t device_id;
  std::uint16_t subsystem_id;  // the board's model code
  std::uint8_t revision;
  std::uint32_t fpga_id;       // what the running firmware reports at 0x400
  std::uint8_t link_width;     // PCI Express lanes
  std::uint8_t camera_inputs = 2;  // Camera Link inputs with a grab controller
};

// Null for an unknown model name.
const BoardPreset* find_preset(std::string_view model);

}  // namespace plat::board
