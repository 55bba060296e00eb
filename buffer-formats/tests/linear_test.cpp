// Linear reads and writes of every element-size family: elements counted in
// raster order, lines cut at the width whatever the pitch.
#include "TestBuffer.h"

namespace {

struct LinearCase {
  const char* name;
  std::uint64_t offset;
  std::uint32_t elements;    // asked for
  std::uint32_t extraBytes;  // a size that is no multiple of the element size
  std::uint32_t status;
  std::uint32_t moved;
};

constexpr std::uint32_t kWidth = 7;
constexpr std::uint32_t kHeight = 3;

const LinearCase kCases[] = {
    {"whole buffer", 0, 21, 0, 0, 21},
    {"at the total count", 21, 4, 0, 0, 0},
    {"past the total count", 22, 1, 0, 0x800233, 0},
    {"cut at the end", 18, 10, 0, 0, 3},
    {"from inside a line across lines", 5, 9, 0, 0, 9},
    {"size not a multiple of the element", 2, 3, 1, 0, 3},
    {"nothing asked", 0, 0, 0, 0, 0},
};

std::uint64_t RasterValue(TestBuffer& buffer, std::uint64_t index) {
  return buffer.Value(std::uint32_t(index % kWidth), std::uint32_t(index / kWidth));
}

TEST(BufferFormatLinear, ReadAndWriteRoundTripInRasterOrder) {
  for (std::uint32_t format : kFamilyFormats) {
    for (std::uint32_t pitch : {kWidth, kWidth + 3}) {
      for (const LinearCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.name << ", format " << std::hex << format << std::dec
                                        << ", pitch " << pitch);
        TestBuffer buffer(format, kWidth, kHeight, pitch);
        buffer.FillPattern();
        const std::uint32_t size = buffer->elementSize;
        const std::uint32_t bytes = c.elements * size + (size > 1 ? c.extraBytes : 0);

        auto memory = Untouched(bytes + 16);
        ASSERT_EQ(Dispatch(BufferFormatOps.ReadLinear, buffer.desc(), c.offset, memory.data(), bytes), c.status);
        for (std::uint32_t i = 0; i < c.moved; ++i) {
          std::uint64_t value = 0;
          std::memcpy(&value, memory.data() + i * size, size);
          EXPECT_EQ(value, RasterValue(buffer, c.offset + i)) << "element " << i;
        }
        for (std::size_t k = std::size_t{c.moved} * size; k < memory.size(); ++k) {
          ASSERT_EQ(memory[k], kUntouchedByte) << "byte " << k << " of memory";
        }

        std::vector<std::uint64_t> before;
        for (std::uint64_t i = 0; i < kWidth * kHeight; ++i) before.push_back(RasterValue(buffer, i));
        std::vector<std::uint8_t> source(bytes + 16);
        for (std::size_t k = 0; k < source.size(); ++k) source[k] = std::uint8_t(200 - k);
        ASSERT_EQ(Dispatch(BufferFormatOps.WriteLinear, buffer.desc(), c.offset,
                           static_cast<const void*>(source.data()), bytes), c.status);
        for (std::uint64_t i = 0; i < kWidth * kHeight; ++i) {
          std::uint64_t expected = before[i];
          if (i >= c.offset && i < c.offset + c.moved) {
            expected = 0;
            std::memcpy(&expected, source.data() + (i - c.offset) * size, size);
          }
          EXPECT_EQ(RasterValue(buffer, i), expected) << "element " << i;
        }
        EXPECT_TRUE(buffer.PaddingIntact());
        EXPECT_TRUE(buffer.GuardsIntact());
      }
    }
  }
}

TEST(BufferFormatLinear, MissingMemoryIsRefused) {
  TestBuffer buffer(kBufferFormatMono16, 4, 4);
  EXPECT_EQ(Dispatch(BufferFormatOps.ReadLinear, buffer.desc(), std::uint64_t{0}, static_cast<void*>(nullptr), 8u),
            0x800336u);
  EXPECT_EQ(Dispatch(BufferFormatOps.WriteLinear, buffer.desc(), std::uint64_t{0},
                     static_cast<const void*>(nullptr), 8u), 0x800336u);
}

}  // namespace
