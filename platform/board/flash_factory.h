// The flash as a board leaves the factory: the model's main FPGA design as a
// simulated bitstream in the main section (offset 0) and again in the backup
// section (offset 0x200000), each described by a firmware header in its slot
// of the header area at 0x3FB000 (slot 1 the main, slot 0 the backup; a slot
// is {0xA5A55A5A, 12, section offset} and the 186-byte header), all else 0xFF.
#pragma once

#include <cstdint>
#include <span>

#include "platform/board/bitstream.h"
#include "platform/board/presets.h"

namespace plat::board {

inline constexpr std::uint32_t kFlashMainOffset = 0;
inline constexpr std::uint32_t kFlashBackupOffset = 0x200000;
inline constexpr std::uint32_t kFlashSectionSize = 0x1E0000;
inline constexpr std::uint32_t kFlashHeaderArea = 0x3FB000;
inline constexpr std::uint32_t kFlashHeaderSlotSize = 512;
inline constexpr std::uint32_t kFlashSlotMagic = 0xA5A55A5A;
inline constexpr std::uint32_t kFlashFactoryPayload = 0x3000;

// The design the model's factory firmware configures.
BitstreamDesign flash_factory_design(const BoardPreset& preset);
// Writes the factory image over `flash` (kFlashBytes bytes). Both headers
// carry `option_bits` (a firmware built with options, e.g. for one camera).
void flash_factory_fill(std::span<std::uint8_t> flash, const BoardPreset& preset, std::uint16_t option_bits = 0);

}  // namespace plat::board
