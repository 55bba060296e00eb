// The on-board memory rows of the board private commands (0x8000003D and
// 0x8000003E) and the memory DMA test behind modes 1 to 4 of 0x8000003E.
#pragma once

#include <cstdint>

#include "source/firmware/ManControlInternal.h"

namespace mancontrol {

// The request both rows take: 21 or 25 bytes.
struct MemoryRequest {
  std::uint8_t mode;
  std::uint32_t offset;
  std::uint32_t size;
  std::uint64_t data;       // an address in this process
  std::uint32_t fillValue;  // the fill's pattern length; the test's host block size
  std::uint32_t option;     // 0 when absent
};

// The memory DMA test, one step per mode (1 start, 2 pattern, 3 wait, 4 end).
QelStatus MemoryTestStart(std::uint32_t board, const MemoryRequest& request);
QelStatus MemoryTestPattern(std::uint32_t board);
QelStatus MemoryTestWait(std::uint32_t board, const MemoryRequest& request);
QelStatus MemoryTestEnd(std::uint32_t board);

}  // namespace mancontrol
