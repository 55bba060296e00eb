// Component access of the colour formats: where each component lies in the
// element, pair or group, what a write keeps, and what it may change beside.
#include <array>

#include "TestBuffer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct PackedCase {
  const char* name;
  std::uint32_t format;
  std::array<std::uint32_t, 3> written;  // components given to SetElementEx
  Bytes before;                          // the element's bytes before the write
  Bytes after;                           // and after it
  std::array<std::uint32_t, 3> read;     // components GetElementEx gives back
};

const PackedCase kPackedCases[] = {
    {"RGB565 keeps 5 bits of R", kBufferFormatRgb565, {0x3F, 0x3F, 0x01}, {0, 0}, {0xE1, 0xFF},
     {0x1F, 0x3F, 0x01}},
    {"RGB5551 writes bit 15 as 0", kBufferFormatRgb5551, {0x1F, 0x00, 0x1F}, {0xFF, 0xFF}, {0x1F, 0x7C},
     {0x1F, 0x00, 0x1F}},
    {"RGB888 is B G R in memory", kBufferFormatRgb888, {0x11, 0x22, 0x33}, {0, 0, 0}, {0x33, 0x22, 0x11},
     {0x11, 0x22, 0x33}},
    {"RGBR888 is R G B in memory", kBufferFormatRgbr888, {0x11, 0x22, 0x33}, {0, 0, 0}, {0x11, 0x22, 0x33},
     {0x11, 0x22, 0x33}},
    {"UYV is U Y V in memory", kBufferFormatUyv, {0x11, 0x22, 0x33}, {0, 0, 0}, {0x22, 0x11, 0x33},
     {0x11, 0x22, 0x33}},
    {"RGB8888 keeps byte 3", kBufferFormatRgb8888, {0x111, 0x22, 0x33}, {9, 9, 9, 0xAB}, {0x33, 0x22, 0x11, 0xAB},
     {0x11, 0x22, 0x33}},
    {"HSV keeps byte 3", kBufferFormatHsv, {1, 2, 3}, {0, 0, 0, 0x5A}, {3, 2, 1, 0x5A}, {1, 2, 3}},
    {"LAB keeps byte 3", kBufferFormatLab, {1, 2, 3}, {0, 0, 0, 0x77}, {3, 2, 1, 0x77}, {1, 2, 3}},
    {"RGB101010 writes bits 30 and 31 as 0", kBufferFormatRgb101010, {0x3FF, 0x001, 0x7FF}, {0, 0, 0, 0xC0},
     {0xFF, 0x07, 0xF0, 0x3F}, {0x3FF, 0x001, 0x3FF}},
    {"LAB101010 like RGB101010", kBufferFormatLab101010, {1, 2, 3}, {0, 0, 0, 0}, {3, 8, 0x10, 0}, {1, 2, 3}},
    {"RGB161616 is B G R words", kBufferFormatRgb161616, {0x1111, 0x2222, 0x13333}, {0, 0, 0, 0, 0, 0},
     {0x33, 0x33, 0x22, 0x22, 0x11, 0x11}, {0x1111, 0x2222, 0x3333}},
    {"FLOAT is its 32 bits", kBufferFormatFloat, {0x3F800000, 0, 0}, {0, 0, 0, 0}, {0, 0, 0x80, 0x3F},
     {0x3F800000, 0, 0}},
};

TEST(BufferFormatColour, PackedComponentsLieWhereTheLayoutSays) {
  for (const PackedCase& c : kPackedCases) {
    SCOPED_TRACE(c.name);
    TestBuffer buffer(c.format, 3, 2);
    std::memcpy(buffer.Element(1, 1), c.before.data(), c.before.size());
    const auto snapshot = buffer.Snapshot();
    ASSERT_EQ(Dispatch(BufferFormatOps.SetElementEx, buffer.desc(), 1u, 1u,
                       static_cast<const void*>(c.written.data())), 0u);
    EXPECT_EQ(Bytes(buffer.Element(1, 1), buffer.Element(1, 1) + c.after.size()), c.after);
    std::memcpy(buffer.Element(1, 1), c.before.data(), c.before.size());
    EXPECT_EQ(buffer.Snapshot(), snapshot) << "only the element changes";

    std::memcpy(buffer.Element(1, 1), c.after.data(), c.after.size());
    std::array<std::uint32_t, 3> read{};
    ASSERT_EQ(Dispatch(BufferFormatOps.GetElementEx, buffer.desc(), 1u, 1u, static_cast<void*>(read.data())), 0u);
    EXPECT_EQ(read, c.read);
  }
}

TEST(BufferFormatColour, FourWordFormatsExchangeSixteenBitComponents) {
  for (std::uint32_t format : {kBufferFormatRgb16161616, kBufferFormatLab16161616}) {
    TestBuffer buffer(format, 2, 2);
    const std::array<std::uint16_t, 4> components{0x4444, 0x3333, 0x2222, 0x1111};
    ASSERT_EQ(Dispatch(BufferFormatOps.SetElementEx, buffer.desc(), 1u, 0u, static_cast<const void*>(components.data())),
              0u);
    EXPECT_EQ(buffer.Value(1, 0), 0x4444333322221111u);  // w3 is component 0
    std::array<std::uint16_t, 6> read{};
    read.fill(0xEEEE);
    ASSERT_EQ(Dispatch(BufferFormatOps.GetElementEx, buffer.desc(), 1u, 0u, static_cast<void*>(read.data())), 0u);
    EXPECT_EQ(read, (std::array<std::uint16_t, 6>{0x4444, 0x3333, 0x2222, 0x1111, 0xEEEE, 0xEEEE}));
  }
}

TEST(BufferFormatColour, ComplexHasTwoFloatComponents) {
  TestBuffer buffer(kBufferFormatComplex, 2, 1);
  const std::array<std::uint32_t, 3> components{0x3F800000, 0xC0000000, 0};
  ASSERT_EQ(Dispatch(BufferFormatOps.SetElementEx, buffer.desc(), 0u, 0u, static_cast<const void*>(components.data())),
            0u);
  EXPECT_EQ(buffer.Value(0, 0), 0xC00000003F800000u);
}

struct SharedChromaCase {
  const char* name;
  std::uint32_t format;
  std::uint32_t width;
  std::uint32_t x;
  std::size_t groupStart;  // byte of the line where x's group starts
  Bytes after;             // the group's bytes after writing Y 0x10, U 0x20, V 0x30
  std::uint32_t neighbour; // a pixel of the same group
  std::array<std::uint32_t, 3> neighbourRead;
};

// Lines start filled with 0xA5; each write gives Y 0x10, U 0x20 and V 0x30.
const SharedChromaCase kSharedChromaCases[] = {
    {"YUY2 at x 5 lands in the pair at 4", kBufferFormatYuy2, 8, 5, 8, {0xA5, 0x20, 0x10, 0x30}, 4,
     {0xA5, 0x20, 0x30}},
    {"YUYV as YUY2", kBufferFormatYuyv, 8, 2, 4, {0x10, 0x20, 0xA5, 0x30}, 3, {0xA5, 0x20, 0x30}},
    {"UYVY at an odd x", kBufferFormatUyvy, 8, 1, 0, {0x20, 0xA5, 0x30, 0x10}, 0, {0xA5, 0x20, 0x30}},
    {"Y411 at x 6 lands in the group at 4", kBufferFormatY411, 8, 6, 6, {0x20, 0xA5, 0xA5, 0x30, 0x10, 0xA5}, 5,
     {0xA5, 0x20, 0x30}},
    {"Y411 at x 3", kBufferFormatY411, 8, 3, 0, {0x20, 0xA5, 0xA5, 0x30, 0xA5, 0x10}, 0, {0xA5, 0x20, 0x30}},
    {"YUY2 last pixel of an odd line has no V", kBufferFormatYuy2, 5, 4, 8, {0x10, 0x20}, 4, {0x10, 0x20, 0}},
    {"Y411 cut group of a 5-wide line", kBufferFormatY411, 5, 4, 6, {0x20, 0x10}, 4, {0x10, 0x20, 0}},
};

TEST(BufferFormatColour, SharedChromaWritesRewriteTheGroupsChroma) {
  for (const SharedChromaCase& c : kSharedChromaCases) {
    SCOPED_TRACE(c.name);
    TestBuffer buffer(c.format, c.width, 1);
    const Bytes line(buffer.Image(), buffer.Image() + buffer->bytesPerLine);
    const std::array<std::uint32_t, 3> yuv{0x10, 0x20, 0x30};
    ASSERT_EQ(Dispatch(BufferFormatOps.SetElementEx, buffer.desc(), c.x, 0u, static_cast<const void*>(yuv.data())), 0u);
    Bytes expected = line;
    std::copy(c.after.begin(), c.after.end(), expected.begin() + c.groupStart);
    EXPECT_EQ(Bytes(buffer.Image(), buffer.Image() + buffer->bytesPerLine), expected);
    EXPECT_TRUE(buffer.GuardsIntact());

    std::array<std::uint32_t, 3> read{};
    ASSERT_EQ(Dispatch(BufferFormatOps.GetElementEx, buffer.desc(), c.x, 0u, static_cast<void*>(read.data())), 0u);
    EXPECT_EQ(read[0], 0x10u);
    ASSERT_EQ(Dispatch(BufferFormatOps.GetElementEx, buffer.desc(), c.neighbour, 0u, static_cast<void*>(read.data())),
              0u);
    EXPECT_EQ(read, c.neighbourRead);
  }
}

TEST(BufferFormatColour, PositionsOutsideTheBufferWriteNothing) {
  for (std::uint32_t format : {kBufferFormatRgb565, kBufferFormatRgb8888, kBufferFormatYuy2, kBufferFormatUyvy,
                               kBufferFormatY411, kBufferFormatRgb161616, kBufferFormatRgb16161616}) {
    SCOPED_TRACE(testing::Message() << std::hex << format);
    TestBuffer buffer(format, 4, 2);
    const auto before = buffer.Snapshot();
    const std::array<std::uint32_t, 3> values{1, 2, 3};
    std::array<std::uint32_t, 3> read{};
    EXPECT_EQ(Dispatch(BufferFormatOps.SetElementEx, buffer.desc(), 4u, 0u, static_cast<const void*>(values.data())),
              0x800233u);
    EXPECT_EQ(Dispatch(BufferFormatOps.SetElementEx, buffer.desc(), 0u, 2u, static_cast<const void*>(values.data())),
              0x800333u);
    EXPECT_EQ(Dispatch(BufferFormatOps.GetElementEx, buffer.desc(), 4u, 0u, static_cast<void*>(read.data())),
              0x800233u);
    EXPECT_EQ(buffer.Snapshot(), before);
  }
}

TEST(BufferFormatColour, HsiSetsComponentsButHasNoGet) {
  TestBuffer buffer(kBufferFormatHsi, 2, 1);
  const std::array<std::uint32_t, 3> values{1, 2, 3};
  std::array<std::uint32_t, 3> read{};
  EXPECT_EQ(Dispatch(BufferFormatOps.SetElementEx, buffer.desc(), 0u, 0u, static_cast<const void*>(values.data())), 0u);
  EXPECT_EQ(buffer.Value(0, 0) & 0xFFFFFF, 0x010203u);
  EXPECT_EQ(Dispatch(BufferFormatOps.GetElementEx, buffer.desc(), 0u, 0u, static_cast<void*>(read.data())), 0x800046u);
}

TEST(BufferFormatColour, Y411ClearElementFillsEveryGroupWithinTheLine) {
  TestBuffer buffer(kBufferFormatY411, 5, 2);  // lines of 7.5 bytes, 8 in memory: a cut last group
  const Bytes black{128, 0, 0, 128, 0, 0, 9, 9, 9, 9, 9, 9};
  ASSERT_EQ(Dispatch(BufferFormatOps.ClearElement, buffer.desc(), static_cast<const void*>(black.data()), 12u), 0u);
  const Bytes image(buffer.Image(), buffer.Image() + buffer.ImageBytes());
  EXPECT_EQ(image, (Bytes{128, 0, 0, 128, 0, 0, 128, 0, 128, 0, 0, 128, 0, 0, 128, 0}));
  EXPECT_TRUE(buffer.GuardsIntact());
  EXPECT_EQ(Dispatch(BufferFormatOps.ClearElement, buffer.desc(), static_cast<const void*>(black.data()), 5u),
            0x800333u);
}

TEST(BufferFormatColour, Rgb161616ClearsEveryWord) {
  TestBuffer parent(kBufferFormatRgb161616, 3, 3);
  BufferDescriptor child = parent.Child(0, 1, 3, 1);  // as wide as its parent: its lines follow each other
  ASSERT_EQ(Dispatch(BufferFormatOps.Clear, &child, 0x1234u), 0u);
  for (std::uint32_t y = 0; y < 3; ++y) {
    for (std::uint32_t x = 0; x < 3; ++x) {
      EXPECT_EQ(parent.Value(x, y), y == 1 ? 0x123412341234u : 0xA5A5A5A5A5A5u) << x << ", " << y;
    }
  }
}

}  // namespace
