// Allocation of the board's own memory, by bank and region.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

QelHwStatus Yat_AllocFPGAMem(YatBoardExtension* board, std::uint32_t bank, std::uint32_t region, std::uint32_t size,
                             std::uint32_t* address);
QelHwStatus Yat_FreeFPGAMem(YatBoardExtension* board, std::uint32_t address, std::uint32_t bank);
