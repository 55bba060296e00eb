// The board's own memory, handed out to processes: up to 8 banks, each split
// into up to 8 equal regions with a range allocator of their own; every range
// belongs to the process that asked for it.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

inline constexpr std::uint32_t kYatOnboardAlignment = 2048;

// One bank: size in MB (at most 3072), regions 0 to 8, bank 0 to 7.
QelHwStatus Yat_InitMemoryManager(YatBoardExtension* board, std::uint32_t sizeMb, std::uint32_t regions,
                                  std::uint32_t bank);
QelHwStatus Yat_InitFpgaMemoryManager(YatBoardExtension* board, const std::uint32_t sizesMb[8],
                                      const std::uint32_t regions[8], std::uint32_t bankCount);
QelHwStatus Yat_CloseFpgaMemoryManager(YatBoardExtension* board);
bool YatMemoryManagerInitialised(const YatBoardExtension* board);

QelHwStatus Yat_AllocFPGAMem(YatBoardExtension* board, std::uint32_t bank, std::uint32_t region, std::uint32_t size,
                             std::uint32_t* address);
// A request's free: only the calling process's own range goes back (-13 for
// another process's; an address that starts no range is logged and answered 0).
QelHwStatus Yat_FreeFPGAMem(YatBoardExtension* board, std::uint32_t address, std::uint32_t bank);
// The driver's own free of a range it allocated (descriptor buckets), whoever runs it.
QelHwStatus YatFreeOnboardBlock(YatBoardExtension* board, std::uint32_t address, std::uint32_t bank);
// Every range a process holds on the board goes back (its last handle closed).
void YatReleaseProcessMemory(YatBoardExtension* board, std::int32_t processId);
