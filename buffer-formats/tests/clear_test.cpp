// Clears: every element of the buffer, of each plane, and nothing else.
#include <array>

#include "TestBuffer.h"

namespace {

struct ClearCase {
  const char* name;
  std::uint32_t format;
  std::uint32_t value;
  std::uint64_t element;  // what every element holds afterwards
};

const ClearCase kClearCases[] = {
    {"8-bit keeps the low byte", kBufferFormatMono8, 0x12345678, 0x78},
    {"16-bit keeps the low word", kBufferFormatMono16, 0x12345678, 0x5678},
    {"24-bit keeps the low three bytes", kBufferFormatRgb888, 0x12345678, 0x345678},
    {"32-bit", kBufferFormatRgb8888, 0x12345678, 0x12345678},
    {"64-bit in both halves", kBufferFormatMono64, 5, 0x0000000500000005},
    {"RGB161616 in every word", kBufferFormatRgb161616, 0x12345678, 0x567856785678},
    {"RGBP8 on every plane", kBufferFormatRgbp8, 0x80, 0x80},
    {"RGBP16 on every plane", kBufferFormatRgbp16, 0x8000, 0x8000},
};

// A child of a 7 x 6 parent, 3 x 2 at (2, 3): what it covers is cleared, the
// parent's other elements keep their values.
TEST(BufferFormatClear, ClearAndClearElementCoverTheChildAndNothingElse) {
  for (const ClearCase& c : kClearCases) {
    for (bool byElement : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.name << (byElement ? ", by element" : ", by value"));
      TestBuffer parent(c.format, 7, 6);
      parent.FillPattern();
      std::vector<std::uint64_t> before;
      for (std::uint32_t plane = 0; plane < parent->planes; ++plane)
        for (std::uint32_t y = 0; y < 6; ++y)
          for (std::uint32_t x = 0; x < 7; ++x) before.push_back(parent.Value(x, y, plane));

      BufferDescriptor child = parent.Child(2, 3, 3, 2);
      if (byElement) {
        ASSERT_EQ(Dispatch(BufferFormatOps.ClearElement, &child, static_cast<const void*>(&c.element), 8u), 0u);
      } else {
        ASSERT_EQ(Dispatch(BufferFormatOps.Clear, &child, c.value), 0u);
      }
      std::size_t i = 0;
      for (std::uint32_t plane = 0; plane < parent->planes; ++plane)
        for (std::uint32_t y = 0; y < 6; ++y)
          for (std::uint32_t x = 0; x < 7; ++x, ++i) {
            const bool covered = x >= 2 && x < 5 && y >= 3 && y < 5;
            EXPECT_EQ(parent.Value(x, y, plane), covered ? c.element : before[i])
                << "plane " << plane << " (" << x << ", " << y << ")";
          }
      EXPECT_TRUE(parent.GuardsIntact());
    }
  }
}

TEST(BufferFormatClear, ClearElementNeedsAWholeElement) {
  TestBuffer buffer(kBufferFormatMono32, 4, 4);
  const auto before = buffer.Snapshot();
  const std::uint32_t value = 7;
  EXPECT_EQ(Dispatch(BufferFormatOps.ClearElement, buffer.desc(), static_cast<const void*>(&value), 3u), 0x800333u);
  EXPECT_EQ(Dispatch(BufferFormatOps.ClearElement, buffer.desc(), static_cast<const void*>(nullptr), 4u), 0x800236u);
  EXPECT_EQ(buffer.Snapshot(), before);
}

}  // namespace
