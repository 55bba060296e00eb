#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <numeric>
#include <vector>

#include "firmware/win32/QelUtilCopy.h"
#include "platform/testing/machine_fixture.h"

namespace {

using CopyFn = CopyPathCounts (*)(void*, const void*, std::size_t, bool);

// Lengths around every head, block and tail boundary, and a few blocks.
const std::vector<std::size_t> kLengths = {0,  1,  2,  3,  4,  5,  7,  8,  15, 16,  17,  31,  32,
                                           33, 47, 48, 63, 64, 65, 95, 96, 97, 255, 256, 1000, 4096 + 13};

// Copies `length` bytes from every source offset to every destination offset
// (0-15 each, so every alignment pair) and compares with memcpy, guard bytes
// included.
void CheckAgainstMemcpy(const char* name, CopyFn copy) {
  constexpr std::size_t kSlack = 64;
  for (std::size_t length : kLengths) {
    std::vector<std::uint8_t> source(length + kSlack);
    std::iota(source.begin(), source.end(), static_cast<std::uint8_t>(length));
    std::vector<std::uint8_t> expected(length + kSlack);
    std::vector<std::uint8_t> actual(length + kSlack);
    // 64-aligned bases, so offsets 0-15 give every alignment.
    auto* sourceBase = reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(source.data()) + 15) & ~std::uintptr_t{15});
    for (bool alignOnSource : {false, true}) {
      for (std::size_t to = 0; to < 16; ++to) {
        for (std::size_t from = 0; from < 16; ++from) {
          const std::size_t sourceOffset = static_cast<std::size_t>(sourceBase - source.data()) + from;
          if (sourceOffset + length > source.size()) continue;
          std::fill(expected.begin(), expected.end(), 0xA5);
          std::fill(actual.begin(), actual.end(), 0xA5);
          auto* expectedBase = reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(expected.data()) + 15) & ~std::uintptr_t{15});
          auto* actualBase = reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(actual.data()) + 15) & ~std::uintptr_t{15});
          if (length > 0) std::memcpy(expectedBase + to, source.data() + sourceOffset, length);
          copy(actualBase + to, source.data() + sourceOffset, length, alignOnSource);
          ASSERT_EQ(std::memcmp(actual.data(), expected.data(), actual.size()), 0)
              << name << " length " << length << " destination +" << to << " source +" << from
              << " align on source " << alignOnSource;
        }
      }
    }
  }
}

TEST(FastCopy, EveryPathEqualsMemcpyOverTheAlignmentTable) {
  CheckAgainstMemcpy("32-bit", FastMemCopy32);
  CheckAgainstMemcpy("MMX", FastMemCopyMmx);
  CheckAgainstMemcpy("SSE", FastMemCopySse);
}

TEST(FastCopy, DispatcherOnTheBlockPathAndWithThePlainPathForced) {
  plat::testing::ScopedMachine machine;
  auto dispatched = [](void* to, const void* from, std::size_t length, bool alignOnSource) {
    FastMemCopy(to, from, length, alignOnSource);
    return CopyPathCounts{};
  };
  EXPECT_EQ(FastMemCopyChoosePath(), CopyPath::kSse);  // every x86-64 processor has SSE
  CheckAgainstMemcpy("block path", dispatched);
  FastMemCopyForcePlainPath(true);
  EXPECT_EQ(FastMemCopyChoosePath(), CopyPath::kPlain);
  CheckAgainstMemcpy("plain path", dispatched);
  FastMemCopyForcePlainPath(false);
}

alignas(64) std::uint8_t g_from[512];
alignas(64) std::uint8_t g_to[512];

TEST(FastCopy, ShortCopiesNeverReachABlockLoop) {
  for (CopyFn copy : {FastMemCopy32, FastMemCopyMmx, FastMemCopySse}) {
    const CopyPathCounts counts = copy(g_to + 1, g_from + 3, 3, false);
    EXPECT_EQ(counts.bytes, 3u);
    EXPECT_EQ(counts.words + counts.mmxBlocks + counts.sseBlocks, 0u);
  }
}

TEST(FastCopy, SsePathBlocksDependOnBothAlignments) {
  // Both 16-aligned: aligned loads and non-temporal stores.
  CopyPathCounts counts = FastMemCopySse(g_to, g_from, 256, false);
  EXPECT_EQ(counts.sseBlocks, 8u);
  EXPECT_EQ(counts.mmxBlocks, 0u);
  // A 16-aligned destination and a source aligned only to 8: the MMX blocks.
  counts = FastMemCopySse(g_to, g_from + 8, 256, false);
  EXPECT_EQ(counts.sseBlocks, 0u);
  EXPECT_GT(counts.mmxBlocks, 0u);
  EXPECT_EQ(counts.bytes + 4 * counts.words + 16 * counts.mmxBlocks, 256u);
}

TEST(FastCopy, AlignmentTargetFollowsTheFlag) {
  // Destination +1, source +3: the head is 3 bytes to align the destination,
  // 1 byte to align the source.
  EXPECT_EQ(FastMemCopy32(g_to + 1, g_from + 3, 64, false).bytes, 3u + (64 - 3) % 4);
  EXPECT_EQ(FastMemCopy32(g_to + 1, g_from + 3, 64, true).bytes, 1u + (64 - 1) % 4);
}

TEST(FastCopy, NullOrEmptyCopiesDoNothing) {
  plat::testing::ScopedMachine machine;
  g_to[0] = 7;
  FastMemCopy(nullptr, g_from, 16, false);
  FastMemCopy(g_to, nullptr, 16, false);
  FastMemCopy(g_to, g_from, 0, false);
  EXPECT_EQ(g_to[0], 7);
}

}  // namespace
