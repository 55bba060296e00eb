// The Camera Link front end's board-side state: the registers the board
// library programs and reads back, the input look-up tables' control, and the
// Power over Camera Link switches.
//
// Registers (BAR 0 offsets):
// - 0x418 low 15 bits: the cameras' link status lines, nibble c for camera c
//   (bit 0 camera present, bits 1 and 2 clock and data lines). The interrupt
//   block owns the register; the register file adds these lines to its value.
// - 0x0C08 LVDS sync polarities and pixel-clock range: read/write.
// - 0x3100 bit 0: a binarisation block is present (read-only, a test knob).
// - 0x3104 binarisation enable and threshold: read/write.
// - 0x5004 LUT control of camera 0: read/write; a write that sets bit 31 (the
//   load pulse) counts one load. Camera 1's control word lies inside the
//   processing unit's data window, which keeps it.
// - 0x5800 + (c << 8) + 8 i flat-field address table (cameras 0, 1; i < 32):
//   read/write, except the entries the second processing unit's registers
//   cover (0x5848-0x586C), which stay the unit's.
// - 0x6004 frame-trigger source, 0x600C strobe destination: read/write.
// - 0x10028, 0x1002C Power over Camera Link of camera 0, 1: bit 0 switches the
//   camera's power on. While it is on the register reads bit 11 (power good)
//   and bit 9 with it, or bit 8 (fault) instead when a fault is injected. The
//   model switches at once; the library waits as a real cable needs. Other
//   bits read back as written.
//
// LUT memory: the input LUT of camera c is the memory window at 0x8000 +
// c x 0x2000 (memory_windows.h); bank b above 0 of camera 0 starts at 0xC000
// + (b - 1) x 2048, of camera 1 at 0xD800 + (b - 1) x 2048. Enabled (bit 7 of
// the camera's control word), bank 0 changes the camera's pixels on
// their way to the acquisition DMA (input_lut.h).
#pragma once

#include <array>
#include <cstdint>

namespace plat::board {

inline constexpr std::uint32_t kRegCameraLinkStatus = 0x418;
inline constexpr std::uint32_t kCameraLinkStatusLines = 0x7FFF;
inline constexpr std::uint32_t kRegSyncPolarity = 0x0C08;
inline constexpr std::uint32_t kRegBinarisationPresent = 0x3100;
inline constexpr std::uint32_t kRegBinarisation = 0x3104;
inline constexpr std::uint32_t kRegLutControl = 0x5004;
inline constexpr std::uint32_t kLutLoadPulse = 0x80000000;
inline constexpr std::uint32_t kRegFlatFieldTable = 0x5800;
inline constexpr std::uint32_t kFlatFieldEntries = 32;
inline constexpr std::uint32_t kRegFrameTriggerSource = 0x6004;
inline constexpr std::uint32_t kRegStrobeDestination = 0x600C;
inline constexpr std::uint32_t kRegPocl = 0x10028;  // camera 1 at + 4
inline constexpr std::uint32_t kPoclEnable = 0x1;
inline constexpr std::uint32_t kPoclFault = 0x100;
inline constexpr std::uint32_t kPoclPowerGood = 0xA00;  // bits 9 and 11
inline constexpr std::uint32_t kLutMemory = 0x8000;
inline constexpr std::uint32_t kLutMemoryStride = 0x2000;
inline constexpr std::uint32_t kFrontEndCameras = 2;

struct FrontEnd {
  std::uint32_t link_status = 0;
  std::uint32_t sync_polarity = 0;
  bool binarisation_present = false;
  std::uint32_t binarisation = 0;
  std::uint32_t lut_control = 0;
  std::uint32_t lut_loads = 0;
  std::array<std::uint32_t, kFrontEndCameras * kFlatFieldEntries> flat_field{};
  std::uint32_t frame_trigger_source = 0;
  std::uint32_t strobe_destination = 0;
  std::array<std::uint32_t, kFrontEndCameras> pocl{};
  std::array<bool, kFrontEndCameras> pocl_fault{};
};

bool front_end_read(const FrontEnd& front_end, std::uint32_t offset, std::uint32_t* value);
bool front_end_write(FrontEnd& front_end, std::uint32_t offset, std::uint32_t value);

}  // namespace plat::board
