// The pixel packer's settings for a camera's video format: which lanes it
// takes, how it shifts and merges them into 64-bit words, and the register
// writes that program it. Computed without touching the board so that the
// video-format setters and the tests share one path.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "driver/user/QelHwStatus.h"

inline constexpr std::uint32_t YAT_ACQ_TAG_BASE = 0x64000010;
inline constexpr std::uint32_t YAT_ACQ_TAG_LVDS = 0x64000013;
inline constexpr std::uint32_t YAT_ACQ_TAG_WIDE = 0x64000015;

// FPGA description flags.
inline constexpr std::uint32_t YAT_FPGA_WIDE_FRONT_END = 0x100;
inline constexpr std::uint32_t YAT_FPGA_EIGHT_LANES = 0x800;
inline constexpr std::uint32_t YAT_FPGA_WIDE_PACKING = 0x1000;

inline constexpr std::uint32_t YAT_PACKER_LANES = 10;
inline constexpr std::uint32_t YAT_PACKER_NO_LANE = 255;
inline constexpr std::uint32_t YAT_PACKER_EMPTY_SLOT = 10;
inline constexpr std::uint32_t YAT_COLOUR_KIND = 6;

inline constexpr std::uint32_t YAT_GEOMETRY_INTERLEAVED = 1;
inline constexpr std::uint32_t YAT_GEOMETRY_SEGMENTED = 2;
inline constexpr std::uint32_t YAT_GEOMETRY_PACKED = 3;

// The packer registers.
inline constexpr std::uint32_t YAT_PACKER_SHIFT = 0x3000;
inline constexpr std::uint32_t YAT_PACKER_LANE_MASK = 0x3004;
inline constexpr std::uint32_t YAT_PACKER_MODE = 0x3008;
inline constexpr std::uint32_t YAT_PACKER_CAMERA = 0x300C;
inline constexpr std::uint32_t YAT_PACKER_CAMERA_MASK = 0x3010;
inline constexpr std::uint32_t YAT_PACKER_FRONT_END = 0x0C00;
inline constexpr std::uint32_t YAT_PACKER_CONVERSION = 0x0C20;
inline constexpr std::uint32_t YAT_PACKER_CONVERTED_WIDTH = 0x0C24;

// The parts of a video format the packer depends on (library-internal).
struct YatPackerFormat {
  std::uint32_t depth = 8;  // bits per tap
  std::uint32_t taps = 1;
  std::uint32_t tapMultiplier = 1;
  std::uint32_t colourKind = 2;
  std::uint32_t geometry = YAT_GEOMETRY_INTERLEAVED;
  std::uint32_t laneMode = 0;
  std::array<std::uint32_t, 8> tapFlags{};
  std::uint32_t frameWidth = 0;
  std::uint32_t channelCount = 1;
  std::uint32_t modeWord = 0;
  std::uint32_t optionWord = 0;
  std::uint32_t packingKind = 0;
};

// The camera input the format is set on.
struct YatPackerTarget {
  std::uint32_t tag = YAT_ACQ_TAG_BASE;
  std::uint32_t camera = 0;
  bool perCameraRegisters = false;
  std::uint32_t acqChannels = 1;
  std::uint32_t fpgaFlags = 0;
  bool backEndLut = false;
};

struct YatPackerWrite {
  std::uint32_t window;  // camera whose register window takes the write
  std::uint32_t reg;
  std::uint32_t value;
  std::uint32_t mask;    // only these bits are replaced
};

struct YatPackerPlan {
  YatPackerFormat format;  // after the conversions
  std::uint32_t code = 0;  // output pixel format after the conversions
  std::uint32_t lanes = 1;
  std::uint32_t depth = 8;
  std::array<std::uint32_t, YAT_PACKER_LANES> laneMap{};
  std::uint32_t laneMask = 0;
  std::uint32_t mode = 0;
  std::uint32_t shift = 0;
  std::vector<YatPackerWrite> writes;  // in the order they are made
};

// Register writes for a format; -3 for colour codes the packer cannot take.
QelHwStatus Yat_Packer_Plan(const YatPackerTarget& target, const YatPackerFormat& format, std::uint32_t code,
                            YatPackerPlan* plan);

// The bits of `reg` a packer write replaces.
std::uint32_t Yat_Packer_RegisterMask(std::uint32_t reg, std::uint32_t laneMode, std::uint32_t camera,
                                      std::uint32_t acqChannels);

// Entries of the camera's arbitration list; -3 above ten.
QelHwStatus Yat_Packer_EntryCount(const YatPackerFormat& format, std::uint32_t code, std::uint32_t* count);
