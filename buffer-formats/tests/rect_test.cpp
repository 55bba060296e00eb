// Rectangles between a buffer and packed memory, cut to the buffer.
#include "TestBuffer.h"

namespace {

struct RectCase {
  const char* name;
  std::uint32_t x, y, width, height;
  std::uint32_t memoryElements;
  std::uint32_t status;
  std::uint32_t lines, run;  // of the rectangle as cut
};

// On a 6 x 5 buffer whose lines are 9 elements apart.
const RectCase kCases[] = {
    {"inside", 1, 1, 3, 2, 6, 0, 2, 3},
    {"whole buffer", 0, 0, 6, 5, 30, 0, 5, 6},
    {"cut at the right and bottom", 4, 3, 10, 10, 4, 0, 2, 2},
    {"width of 1", 1, 1, 1, 3, 16, 0x800435, 0, 0},
    {"height of 1", 1, 1, 3, 1, 16, 0x800535, 0, 0},
    {"x at the width", 6, 0, 2, 2, 16, 0x800233, 0, 0},
    {"y at the height", 0, 5, 2, 2, 16, 0x800333, 0, 0},
    {"memory short of the cut rectangle", 4, 3, 10, 10, 3, 0x800733, 0, 0},
};

TEST(BufferFormatRect, ReadAndWriteRoundTripThroughPackedMemory) {
  for (std::uint32_t format : kFamilyFormats) {
    for (const RectCase& c : kCases) {
      SCOPED_TRACE(testing::Message() << c.name << ", format " << std::hex << format);
      TestBuffer buffer(format, 6, 5, 9);
      buffer.FillPattern();
      const std::uint32_t size = buffer->elementSize;
      const std::uint32_t bytes = c.memoryElements * size;
      auto memory = Untouched(bytes + 16);
      ASSERT_EQ(Dispatch(BufferFormatOps.ReadRect, buffer.desc(), c.x, c.y, c.width, c.height,
                         static_cast<void*>(memory.data()), bytes), c.status);
      for (std::uint32_t line = 0; line < c.lines; ++line) {
        EXPECT_EQ(0, std::memcmp(memory.data() + line * c.run * size, buffer.Element(c.x, c.y + line),
                                 c.run * size)) << "line " << line;
      }
      for (std::size_t k = std::size_t{c.lines} * c.run * size; k < memory.size(); ++k) {
        ASSERT_EQ(memory[k], kUntouchedByte) << "byte " << k;
      }

      TestBuffer written(format, 6, 5, 9);
      std::vector<std::uint8_t> values(memory.size());
      for (std::size_t k = 0; k < values.size(); ++k) values[k] = std::uint8_t(k + 7);
      ASSERT_EQ(Dispatch(BufferFormatOps.WriteRect, written.desc(), c.x, c.y, c.width, c.height,
                         static_cast<const void*>(values.data()), bytes), c.status);
      TestBuffer expected(format, 6, 5, 9);
      for (std::uint32_t line = 0; line < c.lines; ++line) {
        std::memcpy(expected.Element(c.x, c.y + line), values.data() + line * c.run * size, c.run * size);
      }
      EXPECT_EQ(written.Snapshot(), expected.Snapshot());
    }
  }
}

TEST(BufferFormatRect, MissingMemoryIsRefused) {
  TestBuffer buffer(kBufferFormatMono32, 6, 5);
  EXPECT_EQ(Dispatch(BufferFormatOps.ReadRect, buffer.desc(), 0u, 0u, 2u, 2u, static_cast<void*>(nullptr), 16u),
            0x800636u);
}

}  // namespace
