// The arbitrator's lists: the record of a camera slot computed from its video
// format, the double-buffered write of a board's lists, the slot's active
// flag, and the packer set-up that ties them to the packer registers.
//
// Choices where the hardware leaves it open:
// - the owner of a camera's acquisition DMA channels is its camera number;
// - the fixed selector words of colour formats win over the tap-polarity
//   rearrangement of the same entry (the rearranged word would reorder bytes
//   the fixed word already places);
// - an entry past the camera's last DMA channel takes that last channel.
#pragma once

#include <cstdint>
#include <span>

#include "driver/user/YatPacker.h"
#include "driver/user/YatSharedData.h"

inline constexpr std::uint32_t YAT_ARBITER_SWAP = 0x3038;
inline constexpr std::uint32_t YAT_ARBITER_MAIN_LIST = 0x3300;
inline constexpr std::uint32_t YAT_ARBITER_SHADOW_LIST = 0x3380;
inline constexpr std::uint32_t YAT_ARBITER_LAST_ENTRY = 1u << 11;

// The arbitration record of a format the packer plan converted; `channels`
// are the camera's acquisition DMA channels in order. -3 above ten entries,
// -14 for a list shorter than its lanes.
QelHwStatus Yat_Packer_Arbitration(const YatPackerTarget& target, const YatPackerPlan& plan,
                                   std::span<const std::uint32_t> channels, PackerArbitration* record);

// The target of a handle: its tag, camera and the board's FPGA description.
YatPackerTarget Yat_Packer_TargetOf(const YatAcqHandle* handle);

QelHwStatus Yat_FPGA_Packer_SetFormat(YatAcqHandle* handle, const YatPackerFormat* format, std::uint32_t code);
QelHwStatus Yat_FPGA_Packer_ComputeArbitrator(YatAcqHandle* handle, const YatPackerFormat* format,
                                              PackerArbitration* record, const YatPackerPlan& plan);
QelHwStatus DigitalWriteArbitrator(YatAcqHandle* handle, const PackerArbitration* record);
QelHwStatus Yat_FPGA_Packer_SetActive(YatAcqHandle* handle, std::uint32_t active);
