// Straight lines: the points of the line from its first end, cut where it
// first leaves the buffer; the memory must hold the whole uncut line.
#include <utility>

#include "TestBuffer.h"

namespace {

using Position = std::pair<std::uint32_t, std::uint32_t>;

struct LineCase {
  const char* name;
  std::uint32_t width, height;
  std::int32_t x1, y1, x2, y2;
  std::uint32_t memoryElements;
  std::uint32_t status;
  std::uint32_t count;
  std::vector<Position> points;  // checked when given
};

std::vector<Position> Row(std::uint32_t from, std::uint32_t to, std::uint32_t y) {
  std::vector<Position> points;
  for (std::uint32_t x = from; x <= to; ++x) points.push_back({x, y});
  return points;
}

const LineCase kCases[] = {
    {"to the right, cut at the width", 100, 4, 5, 2, 1000, 2, 996, 0, 95, Row(5, 99, 2)},
    {"to the right, ending at the width", 100, 4, 5, 2, 100, 2, 96, 0, 95, Row(5, 99, 2)},
    {"to the right, inside", 100, 4, 5, 2, 9, 2, 5, 0, 5, Row(5, 9, 2)},
    {"to the left", 8, 4, 6, 1, 2, 1, 5, 0, 5, {{6, 1}, {5, 1}, {4, 1}, {3, 1}, {2, 1}}},
    {"flat slope", 8, 4, 0, 0, 6, 2, 7, 0, 7, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {6, 2}}},
    {"steep slope", 8, 6, 1, 0, 3, 4, 5, 0, 5, {{1, 0}, {2, 1}, {2, 2}, {3, 3}, {3, 4}}},
    {"upwards diagonal", 8, 6, 0, 5, 3, 2, 4, 0, 4, {{0, 5}, {1, 4}, {2, 3}, {3, 2}}},
    {"leaves through the bottom", 8, 4, 1, 1, 5, 5, 5, 0, 3, {{1, 1}, {2, 2}, {3, 3}}},
    {"leaves to the left", 8, 4, 2, 0, -5, 0, 8, 0, 3, {{2, 0}, {1, 0}, {0, 0}}},
    {"one point", 8, 4, 3, 3, 3, 3, 1, 0, 1, {{3, 3}}},
    {"memory short of the uncut line", 100, 4, 5, 2, 1000, 2, 995, 0x800833, 0, {}},
    {"x1 at the width", 8, 4, 8, 0, 0, 0, 16, 0x800233, 0, {}},
    {"negative x1", 8, 4, -1, 0, 0, 0, 16, 0x800233, 0, {}},
    {"y1 at the height", 8, 4, 0, 4, 0, 0, 16, 0x800333, 0, {}},
};

TEST(BufferFormatLine, ReadAndWriteFollowTheSamePoints) {
  for (std::uint32_t format : kFamilyFormats) {
    for (const LineCase& c : kCases) {
      SCOPED_TRACE(testing::Message() << c.name << ", format " << std::hex << format);
      TestBuffer buffer(format, c.width, c.height);
      buffer.FillPattern();
      const std::uint32_t size = buffer->elementSize;
      auto memory = Untouched(std::size_t{c.memoryElements} * size + 16);
      std::uint32_t count = 0xFFFF;
      ASSERT_EQ(Dispatch(BufferFormatOps.ReadLine, buffer.desc(), c.x1, c.y1, c.x2, c.y2, &count,
                         static_cast<void*>(memory.data()), c.memoryElements * size), c.status);
      ASSERT_EQ(count, c.count);
      for (std::size_t i = 0; i < c.points.size(); ++i) {
        EXPECT_EQ(0, std::memcmp(memory.data() + i * size, buffer.Element(c.points[i].first, c.points[i].second),
                                 size)) << "point " << i;
      }
      for (std::size_t k = std::size_t{c.count} * size; k < memory.size(); ++k) {
        ASSERT_EQ(memory[k], kUntouchedByte) << "byte " << k;
      }

      TestBuffer written(format, c.width, c.height);
      std::vector<std::uint8_t> values(memory.size());
      for (std::size_t k = 0; k < values.size(); ++k) values[k] = std::uint8_t(k * 3 + 1);
      count = 0xFFFF;
      ASSERT_EQ(Dispatch(BufferFormatOps.WriteLine, written.desc(), c.x1, c.y1, c.x2, c.y2, &count,
                         static_cast<const void*>(values.data()), c.memoryElements * size), c.status);
      ASSERT_EQ(count, c.count);
      TestBuffer expected(format, c.width, c.height);
      for (std::size_t i = 0; i < c.points.size(); ++i) {
        std::memcpy(expected.Element(c.points[i].first, c.points[i].second), values.data() + i * size, size);
      }
      EXPECT_EQ(written.Snapshot(), expected.Snapshot());
    }
  }
}

TEST(BufferFormatLine, MissingCountOrMemoryIsRefused) {
  TestBuffer buffer(kBufferFormatMono8, 8, 4);
  std::uint8_t memory[8];
  std::uint32_t count = 7;
  EXPECT_EQ(Dispatch(BufferFormatOps.ReadLine, buffer.desc(), 0, 0, 3, 0, static_cast<std::uint32_t*>(nullptr),
                     static_cast<void*>(memory), 8u), 0x800636u);
  EXPECT_EQ(Dispatch(BufferFormatOps.ReadLine, buffer.desc(), 0, 0, 3, 0, &count, static_cast<void*>(nullptr), 8u),
            0x800736u);
  EXPECT_EQ(count, 0u);
}

}  // namespace
