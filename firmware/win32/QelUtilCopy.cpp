#include "firmware/win32/QelUtilCopy.h"

#include <atomic>
#include <cstring>

#include "firmware/win32/QelUtilCpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

std::atomic<bool> g_forcePlainPath{false};

std::uintptr_t AddressOf(const void* pointer) { return reinterpret_cast<std::uintptr_t>(pointer); }

// Bytes to move before `target` reaches a multiple of `alignment`.
std::size_t HeadTo(const void* target, std::size_t alignment) {
  return (alignment - AddressOf(target) % alignment) % alignment;
}

CopyPathCounts& operator+=(CopyPathCounts& total, const CopyPathCounts& part) {
  total.bytes += part.bytes;
  total.words += part.words;
  total.mmxBlocks += part.mmxBlocks;
  total.sseBlocks += part.sseBlocks;
  return total;
}

void MoveBytes(std::byte*& to, const std::byte*& from, std::size_t count, CopyPathCounts& counts) {
  for (std::size_t index = 0; index < count; ++index) *to++ = *from++;
  counts.bytes += count;
}

}  // namespace

CopyPathCounts FastMemCopy32(void* destination, const void* source, std::size_t length, bool alignOnSource) {
  CopyPathCounts counts{};
  auto* to = static_cast<std::byte*>(destination);
  const auto* from = static_cast<const std::byte*>(source);
  const std::size_t head = HeadTo(alignOnSource ? source : destination, 4);
  if (length <= head) {
    MoveBytes(to, from, length, counts);
    return counts;
  }
  MoveBytes(to, from, head, counts);
  const std::size_t words = (length - head) / 4;
  for (std::size_t index = 0; index < words; ++index) {
    std::uint32_t word;
    std::memcpy(&word, from, 4);
    std::memcpy(to, &word, 4);
    to += 4;
    from += 4;
  }
  counts.words = words;
  MoveBytes(to, from, (length - head) % 4, counts);
  return counts;
}

CopyPathCounts FastMemCopyMmx(void* destination, const void* source, std::size_t length, bool alignOnSource) {
  CopyPathCounts counts{};
  auto* to = static_cast<std::byte*>(destination);
  const auto* from = static_cast<const std::byte*>(source);
  const void* target = alignOnSource ? source : destination;
  // Two 8-aligned areas: aligning the source keeps both loads and stores whole.
  if (AddressOf(to) % 8 == 0 && AddressOf(from) % 8 == 0 && AddressOf(from) % 16 != 0) target = source;
  const std::size_t head = HeadTo(target, 16);
  if (length <= head) {
    MoveBytes(to, from, length, counts);
    return counts;
  }
  MoveBytes(to, from, head, counts);
  const std::size_t blocks = (length - head) / 16;
  // Each block is two 64-bit moves; on this processor they are general
  // registers, so no MMX state is left to clear.
  for (std::size_t index = 0; index < blocks; ++index) {
    std::uint64_t low;
    std::uint64_t high;
    std::memcpy(&low, from, 8);
    std::memcpy(&high, from + 8, 8);
    std::memcpy(to, &low, 8);
    std::memcpy(to + 8, &high, 8);
    to += 16;
    from += 16;
  }
  counts.mmxBlocks = blocks;
  counts += FastMemCopy32(to, from, (length - head) % 16, alignOnSource);
  return counts;
}

CopyPathCounts FastMemCopySse(void* destination, const void* source, std::size_t length, bool alignOnSource) {
  CopyPathCounts counts{};
  auto* to = static_cast<std::byte*>(destination);
  const auto* from = static_cast<const std::byte*>(source);
  const std::size_t head = HeadTo(alignOnSource ? source : destination, 16);
  if (length <= head) {
    MoveBytes(to, from, length, counts);
    return counts;
  }
  MoveBytes(to, from, head, counts);
  const std::size_t blockBytes = (length - head) / 32 * 32;
  if (AddressOf(to) % 16 == 0 && AddressOf(from) % 16 == 0) {
#if defined(__SSE2__)
    for (std::size_t done = 0; done < blockBytes; done += 32) {
      const __m128i first = _mm_load_si128(reinterpret_cast<const __m128i*>(from + done));
      const __m128i second = _mm_load_si128(reinterpret_cast<const __m128i*>(from + done + 16));
      _mm_stream_si128(reinterpret_cast<__m128i*>(to + done), first);
      _mm_stream_si128(reinterpret_cast<__m128i*>(to + done + 16), second);
    }
    // Non-temporal stores are weakly ordered: make them visible before return.
    _mm_sfence();
#else
    std::memcpy(to, from, blockBytes);
#endif
    counts.sseBlocks = blockBytes / 32;
  } else {
    counts += FastMemCopyMmx(to, from, blockBytes, alignOnSource);
  }
  counts += FastMemCopy32(to + blockBytes, from + blockBytes, (length - head) % 32, alignOnSource);
  return counts;
}

CopyPath FastMemCopyChoosePath() {
  if (g_forcePlainPath.load(std::memory_order_relaxed)) return CopyPath::kPlain;
  if (CpuSseUsable()) return CopyPath::kSse;
  if (SysHasMmx()) return CopyPath::kMmx;
  return CopyPath::kPlain;
}

void FastMemCopy(void* destination, const void* source, std::size_t length, bool alignOnSource) {
  if (destination == nullptr || source == nullptr || length == 0) return;
  switch (FastMemCopyChoosePath()) {
    case CopyPath::kSse:
      FastMemCopySse(destination, source, length, alignOnSource);
      break;
    case CopyPath::kMmx:
      FastMemCopyMmx(destination, source, length, alignOnSource);
      break;
    case CopyPath::kPlain:
      FastMemCopy32(destination, source, length, alignOnSource);
      break;
  }
}

void FastMemCopyForcePlainPath(bool force) { g_forcePlainPath.store(force, std::memory_order_relaxed); }
