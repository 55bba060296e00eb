// The register resource manager: every access of the driver to BAR 0 goes
// through here. It knows per 1024-byte block whether it holds registers, a
// cache window or nothing, and per register how it may be read and written;
// write-only registers are read back from the shadow of their last value.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

// Builds the tables of the variant the FPGA id selects (nothing when built).
QelHwStatus Yat_InitResourceMan(YatBoardExtension* board);
// Leaves only block 64 reachable; a time-limited close gives up after 10 ms
// of accesses in progress with QELHW_ERROR_RESOURCE_IN_USE.
QelHwStatus CloseResourceManager(YatBoardExtension* board, bool timeLimited, bool keepShadows);
// Allocates block 64's table once and (re)sets its ten access words; access is enabled.
QelHwStatus BuildBlock64Table(YatBoardExtension* board, bool keepShadows);
// Frees block 64's table (the board's close).
void FreeBlock64Table(YatBoardExtension* board);

QelHwStatus Yat_WriteReg(YatBoardExtension* board, std::uint32_t offset, std::uint32_t value);
QelHwStatus Yat_ReadReg(YatBoardExtension* board, std::uint32_t offset, std::uint32_t* value);
QelHwStatus Yat_SetBitsReg(YatBoardExtension* board, std::uint32_t offset, std::uint32_t value, std::uint32_t mask);
QelHwStatus Yat_WriteAndDisableReg(YatBoardExtension* board, std::uint32_t offset);
QelHwStatus ShadowRegisterWrite(YatBoardExtension* board, std::uint32_t offset, std::uint32_t value);
// A register read straight from the board (the FPGA id at a build).
QelHwStatus YatReadBoardRegister(YatBoardExtension* board, std::uint32_t offset, std::uint32_t* value);

QelHwStatus Yat_ReadCacheDwords(YatBoardExtension* board, std::uint32_t offset, std::uint32_t* words,
                                std::uint32_t count);
QelHwStatus Yat_WriteCacheDwords(YatBoardExtension* board, std::uint32_t offset, const std::uint32_t* words,
                                 std::uint32_t count);

struct YatRegisterPair {
  std::uint32_t offset;  // or the index of an index register
  std::uint32_t value;
};
static_assert(sizeof(YatRegisterPair) == 8);

// Stop at the first failure.
QelHwStatus YatWriteRegisterList(YatBoardExtension* board, const YatRegisterPair* list, std::uint32_t count);
QelHwStatus YatReadRegisterList(YatBoardExtension* board, YatRegisterPair* list, std::uint32_t count);
QelHwStatus YatWriteIndexRegisters(YatBoardExtension* board, std::uint32_t unit, const YatRegisterPair* list,
                                   std::uint32_t count);
QelHwStatus YatReadIndexRegisters(YatBoardExtension* board, std::uint32_t unit, YatRegisterPair* list,
                                  std::uint32_t count);

QelHwStatus Yat_WriteProcessingMemory(YatBoardExtension* board, std::uint32_t unit, std::uint32_t address,
                                      const std::uint32_t* words, std::uint32_t count);
QelHwStatus Yat_ReadProcessingMemory(YatBoardExtension* board, std::uint32_t unit, std::uint32_t address,
                                     std::uint32_t* words, std::uint32_t count);
