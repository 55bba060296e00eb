// Y411 ClearElement: every six-byte group of every line takes the given group.
#include "buffer-formats/ColourSharedChroma.h"

namespace fmtops {

std::uint32_t Y411ClearElement(const BufferDescriptor* buffer, const void* group, std::uint32_t length) {
  if (group == nullptr) return FmtStatus(2, kFmtKindNoMemory);
  if (length < kY411.groupBytes) return FmtStatus(3, kFmtKindOutOfRange);
  for (std::uint32_t y = 0; y < buffer->height; ++y) {
    const GroupLine line = LineOf(*buffer, kY411, y);
    for (std::uint64_t offset = 0; offset < line.bytes; offset += kY411.groupBytes) {
      const std::uint64_t bytes = line.bytes - offset;
      std::memcpy(line.start + offset, group, bytes < kY411.groupBytes ? bytes : kY411.groupBytes);
    }
  }
  return kFmtOk;
}

}  // namespace fmtops
