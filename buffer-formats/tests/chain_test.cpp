// Chains of moves: one element per step, ending at the first step that
// leaves the buffer; WriteChain walks the same positions as ReadChain.
#include <utility>

#include "TestBuffer.h"

namespace {

using Position = std::pair<std::uint32_t, std::uint32_t>;

struct ChainCase {
  const char* name;
  std::uint32_t x, y;
  std::vector<std::uint8_t> codes;
  std::int32_t count;
  std::uint32_t status;
  std::vector<Position> visited;
};

// On a 4 x 3 buffer.
const ChainCase kCases[] = {
    {"around a square", 1, 1, {1, 7, 5, 3}, 4, 0, {{1, 1}, {2, 1}, {2, 2}, {1, 2}}},
    {"diagonals", 0, 0, {8, 8, 2, 4, 6}, 5, 0, {{0, 0}, {1, 1}, {2, 2}, {3, 1}, {2, 0}}},
    {"leaves the buffer after three", 1, 0, {1, 1, 1, 1, 1}, 5, 0, {{1, 0}, {2, 0}, {3, 0}}},
    {"leaves through the top", 0, 1, {3, 3, 3}, 3, 0, {{0, 1}, {0, 0}}},
    {"leaves to the left", 0, 2, {5, 1}, 2, 0, {{0, 2}}},
    {"codes 0 and 9 stay in place", 2, 2, {0, 9, 1}, 3, 0, {{2, 2}, {2, 2}, {2, 2}}},
    {"count below 1", 0, 0, {1}, 0, 0, {}},
    {"negative count", 0, 0, {1}, -4, 0, {}},
    {"x at the width", 4, 0, {1}, 1, 0x800233, {}},
    {"y at the height", 0, 3, {1}, 1, 0x800333, {}},
};

TEST(BufferFormatChain, ReadAndWriteWalkTheSamePositions) {
  for (std::uint32_t format : kFamilyFormats) {
    for (const ChainCase& c : kCases) {
      SCOPED_TRACE(testing::Message() << c.name << ", format " << std::hex << format);
      TestBuffer buffer(format, 4, 3);
      buffer.FillPattern();
      const std::uint32_t size = buffer->elementSize;
      auto memory = Untouched(std::size_t(std::max(c.count, 1)) * size + 16);
      ASSERT_EQ(Dispatch(BufferFormatOps.ReadChain, buffer.desc(), c.x, c.y, c.codes.data(), c.count,
                         static_cast<void*>(memory.data())), c.status);
      for (std::size_t i = 0; i < c.visited.size(); ++i) {
        std::uint64_t value = 0;
        std::memcpy(&value, memory.data() + i * size, size);
        EXPECT_EQ(value, buffer.Value(c.visited[i].first, c.visited[i].second)) << "step " << i;
      }
      for (std::size_t k = c.visited.size() * size; k < memory.size(); ++k) {
        ASSERT_EQ(memory[k], kUntouchedByte) << "byte " << k;
      }

      TestBuffer written(format, 4, 3);
      std::vector<std::uint8_t> values(memory.size());
      for (std::size_t k = 0; k < values.size(); ++k) values[k] = std::uint8_t(k + 1);
      ASSERT_EQ(Dispatch(BufferFormatOps.WriteChain, written.desc(), c.x, c.y, c.codes.data(), c.count,
                         static_cast<const void*>(values.data())), c.status);
      TestBuffer expected(format, 4, 3);
      for (std::size_t i = 0; i < c.visited.size(); ++i) {
        std::memcpy(expected.Element(c.visited[i].first, c.visited[i].second), values.data() + i * size, size);
      }
      EXPECT_EQ(written.Snapshot(), expected.Snapshot());
    }
  }
}

TEST(BufferFormatChain, MissingCodesOrMemoryAreRefused) {
  TestBuffer buffer(kBufferFormatMono8, 4, 3);
  std::uint8_t memory[4];
  const std::uint8_t codes[] = {1, 1};
  EXPECT_EQ(Dispatch(BufferFormatOps.ReadChain, buffer.desc(), 0u, 0u, static_cast<const std::uint8_t*>(nullptr),
                     2, static_cast<void*>(memory)), 0x800436u);
  EXPECT_EQ(Dispatch(BufferFormatOps.ReadChain, buffer.desc(), 0u, 0u, codes, 2, static_cast<void*>(nullptr)),
            0x800636u);
}

}  // namespace
