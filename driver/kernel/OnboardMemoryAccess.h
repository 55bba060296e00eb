// The board's on-board (FPGA local) memory, reached through the window
// engine: a 2048-byte data window in BAR 0 and jobs that move it to or from
// local memory, each ending with the on-board memory interrupt. The caller
// holds the board's on-board memory mutex.
#pragma once

#include <cstdint>

#include "driver/kernel/YatExtensions.h"

// Kernel buffers (also the copy of descriptor lists into on-board memory).
QelHwStatus FpgaWriteMemory(YatBoardExtension* board, std::uint32_t localAddress, std::uint32_t byteCount,
                            const void* source, std::uint32_t engine);
QelHwStatus FpgaReadMemory(YatBoardExtension* board, std::uint32_t localAddress, std::uint32_t byteCount,
                           void* destination, std::uint32_t engine);
// The caller's memory at user addresses; -13 when it cannot be reached.
QelHwStatus YatWriteMemoryFromCaller(YatBoardExtension* board, std::uint32_t localAddress, std::uint32_t byteCount,
                                     std::uint64_t userAddress, std::uint32_t engine);
QelHwStatus YatReadMemoryToCaller(YatBoardExtension* board, std::uint32_t localAddress, std::uint32_t byteCount,
                                  std::uint64_t userAddress, std::uint32_t engine);
// The pattern is in the caller's memory; the range is written exactly, a
// count of 0 does nothing.
QelHwStatus FpgaFillMemory(YatBoardExtension* board, std::uint32_t localAddress, std::uint32_t byteCount,
                           std::uint64_t patternAddress, std::uint32_t patternLength, std::uint32_t engine);
// Size in MB, probed by aliasing; every probed word keeps its value.
QelHwStatus GetFpgaMemorySize(YatBoardExtension* board, std::uint32_t* megabytes);

// Bytes of on-board memory: the size probe's answer, probed once (under the
// window engine's mutex) when no request asked for it yet; a memory larger
// than the local addresses can name counts as 4 GB.
QelHwStatus YatOnboardMemoryBytes(YatBoardExtension* board, std::uint64_t* bytes);
// Whether [address, address + count) lies in the board's on-board memory;
// the status of the probe when the size cannot be known.
QelHwStatus YatOnboardRangeValid(YatBoardExtension* board, std::uint64_t address, std::uint64_t count, bool* valid);
