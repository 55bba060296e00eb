// Chain transfers: one element per step of a chain of moves (Freeman codes
// 1 to 8, counter-clockwise from "right"); any other code stays in place.
// The walk ends at the first step that leaves the buffer.
#pragma once

#include "buffer-formats/ElementGeometry.h"

namespace fmtops {

struct ChainMove {
  int dx;
  int dy;
};

inline ChainMove ChainStep(std::uint8_t code) {
  switch (code) {
    case 1: return {1, 0};
    case 2: return {1, -1};
    case 3: return {0, -1};
    case 4: return {-1, -1};
    case 5: return {-1, 0};
    case 6: return {-1, 1};
    case 7: return {0, 1};
    case 8: return {1, 1};
    default: return {0, 0};
  }
}

template <unsigned Size, class Mover>
std::uint32_t ChainTransfer(const BufferDescriptor& buffer, std::uint32_t x, std::uint32_t y,
                            const std::uint8_t* codes, std::int32_t count, Mover mover) {
  if (const std::uint32_t status = CheckPosition(buffer, x, y)) return status;
  if (count < 1) return kFmtOk;
  if (codes == nullptr) return FmtStatus(4, kFmtKindNoMemory);
  if (mover.memory == nullptr) return FmtStatus(6, kFmtKindNoMemory);
  std::int64_t cx = x;
  std::int64_t cy = y;
  for (std::int32_t step = 0; step < count; ++step) {
    mover.Move(ElementAddress<Size>(buffer, cx, cy), std::uint64_t(step) * Size, Size);
    const ChainMove move = ChainStep(codes[step]);
    cx += move.dx;
    cy += move.dy;
    if (!Inside(buffer, cx, cy)) break;
  }
  return kFmtOk;
}

template <unsigned Size>
std::uint32_t FamilyReadChain(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                              const std::uint8_t* codes, std::int32_t count, void* memory) {
  return ChainTransfer<Size>(*buffer, x, y, codes, count, Direction(memory));
}

template <unsigned Size>
std::uint32_t FamilyWriteChain(const BufferDescriptor* buffer, std::uint32_t x, std::uint32_t y,
                               const std::uint8_t* codes, std::int32_t count, const void* memory) {
  return ChainTransfer<Size>(*buffer, x, y, codes, count, Direction(memory));
}

}  // namespace fmtops
