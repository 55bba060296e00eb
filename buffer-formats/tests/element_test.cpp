// Single elements of the element-size families: the raw element, and the
// element as components for the formats without colour meaning.
#include <array>

#include "TestBuffer.h"

namespace {

struct RawCase {
  const char* name;
  std::uint32_t x, y;
  std::uint32_t size;  // of the caller's memory, in bytes past the element size
  bool noMemory;
  std::uint32_t status;
};

const RawCase kRawCases[] = {
    {"inside", 2, 1, 0, false, 0},
    {"last element", 4, 2, 0, false, 0},
    {"x at the width", 5, 0, 0, false, 0x800233},
    {"y at the height", 0, 3, 0, false, 0x800333},
    {"memory one byte short", 1, 1, 1, false, 0x800533},
    {"no memory", 1, 1, 0, true, 0x800436},
};

TEST(BufferFormatElement, RawElementsRoundTrip) {
  std::vector<std::uint32_t> formats(std::begin(kFamilyFormats), std::end(kFamilyFormats));
  formats.push_back(kBufferFormatRgb161616);
  for (std::uint32_t format : formats) {
    for (const RawCase& c : kRawCases) {
      SCOPED_TRACE(testing::Message() << c.name << ", format " << std::hex << format);
      TestBuffer buffer(format, 5, 3, 6);
      buffer.FillPattern();
      const std::uint32_t element = buffer->elementSize;
      const std::uint32_t size = c.size == 1 ? element - 1 : element;
      auto memory = Untouched(8);
      void* out = c.noMemory ? nullptr : memory.data();
      ASSERT_EQ(Dispatch(BufferFormatOps.GetElement, buffer.desc(), c.x, c.y, out, size), c.status);
      if (c.status == 0) {
        EXPECT_EQ(0, std::memcmp(memory.data(), buffer.Element(c.x, c.y), element));
        for (std::size_t k = element; k < memory.size(); ++k) EXPECT_EQ(memory[k], kUntouchedByte);
      }

      const auto before = buffer.Snapshot();
      const std::array<std::uint8_t, 8> value{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
      const void* in = c.noMemory ? nullptr : value.data();
      ASSERT_EQ(Dispatch(BufferFormatOps.SetElement, buffer.desc(), c.x, c.y, in, size), c.status);
      auto expected = before;
      if (c.status == 0) {
        const std::size_t at = TestBuffer::kGuard + std::size_t(buffer.Element(c.x, c.y) - buffer.Image());
        std::memcpy(expected.data() + at, value.data(), element);
      }
      EXPECT_EQ(buffer.Snapshot(), expected) << "nothing but the element is written";
    }
  }
}

struct ComponentCase {
  const char* name;
  std::uint32_t format;
  std::array<std::uint8_t, 8> planeBytes;  // element bytes of planes 0, 1, 2 as laid down
  std::array<std::uint32_t, 3> components;
};

const ComponentCase kComponentCases[] = {
    {"MONO8 zero-extends", kBufferFormatMono8, {0xF0}, {0xF0, 0, 0}},
    {"INT8 sign-extends", kBufferFormatInt8, {0xF0}, {0xFFFFFFF0, 0, 0}},
    {"MONO16 zero-extends", kBufferFormatMono16, {0x34, 0x92}, {0x9234, 0, 0}},
    {"INT16 sign-extends", kBufferFormatInt16, {0x34, 0x92}, {0xFFFF9234, 0, 0}},
    {"RGBP8 one component per plane", kBufferFormatRgbp8, {0x10, 0x20, 0x30}, {0x10, 0x20, 0x30}},
    {"RGBP8 variant", 0x03C10800, {0x01, 0x02, 0x03}, {0x01, 0x02, 0x03}},
    {"RGBP16 one component per plane", kBufferFormatRgbp16, {0x01, 0x81, 0x02, 0x82, 0x03, 0x83},
     {0x8101, 0x8202, 0x8303}},
    {"MONO32 raw", kBufferFormatMono32, {1, 2, 3, 4}, {0x04030201, 0, 0}},
    {"MONO64 raw", kBufferFormatMono64, {1, 2, 3, 4, 5, 6, 7, 8}, {0x04030201, 0x08070605, 0}},
    {"POINT two halves", kBufferFormatPoint, {1, 2, 3, 4, 5, 6, 7, 8}, {0x04030201, 0x08070605, 0}},
    {"FPOINT two halves", kBufferFormatFpoint, {9, 0, 0, 0, 8, 0, 0, 0}, {9, 8, 0}},
};

TEST(BufferFormatElement, ComponentsOfTheFormatsWithoutColour) {
  for (const ComponentCase& c : kComponentCases) {
    SCOPED_TRACE(c.name);
    TestBuffer buffer(c.format, 3, 2);
    const std::uint32_t element = buffer->elementSize;
    const std::uint32_t planes = buffer->planes;
    for (std::uint32_t plane = 0; plane < planes; ++plane) {
      std::memcpy(buffer.Element(2, 1, plane), c.planeBytes.data() + plane * element, element);
    }
    const std::uint32_t componentCount = planes == 3 ? 3 : (element == 8 ? 2 : 1);
    std::array<std::uint32_t, 3> got{0xDEAD, 0xDEAD, 0xDEAD};
    ASSERT_EQ(Dispatch(BufferFormatOps.GetElementEx, buffer.desc(), 2u, 1u, static_cast<void*>(got.data())), 0u);
    for (std::uint32_t k = 0; k < componentCount; ++k) EXPECT_EQ(got[k], c.components[k]) << "component " << k;

    TestBuffer written(c.format, 3, 2);
    ASSERT_EQ(Dispatch(BufferFormatOps.SetElementEx, written.desc(), 2u, 1u,
                       static_cast<const void*>(c.components.data())), 0u);
    TestBuffer expected(c.format, 3, 2);
    for (std::uint32_t plane = 0; plane < planes; ++plane) {
      std::memcpy(expected.Element(2, 1, plane), c.planeBytes.data() + plane * element, element);
    }
    EXPECT_EQ(written.Snapshot(), expected.Snapshot());
  }
}

TEST(BufferFormatElement, ComponentAccessChecksPositionAndWritesNothingOutside) {
  for (std::uint32_t format : {kBufferFormatMono8, kBufferFormatRgbp16, kBufferFormatMono32, kBufferFormatPoint}) {
    TestBuffer buffer(format, 3, 2);
    const auto before = buffer.Snapshot();
    const std::array<std::uint32_t, 3> values{1, 2, 3};
    EXPECT_EQ(Dispatch(BufferFormatOps.SetElementEx, buffer.desc(), 3u, 0u, static_cast<const void*>(values.data())),
              0x800233u);
    EXPECT_EQ(Dispatch(BufferFormatOps.SetElementEx, buffer.desc(), 0u, 2u, static_cast<const void*>(values.data())),
              0x800333u);
    EXPECT_EQ(Dispatch(BufferFormatOps.GetElementEx, buffer.desc(), 0u, 0u, static_cast<void*>(nullptr)), 0x800436u);
    EXPECT_EQ(buffer.Snapshot(), before);
  }
}

}  // namespace
