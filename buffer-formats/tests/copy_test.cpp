// Copies between buffers: the whole source at a position, a rectangle, and
// the conversion of a 24-, 32- or 64-bit buffer into its family's mono format.
#include "TestBuffer.h"

namespace {

struct CopyCase {
  const char* name;
  std::uint32_t sourceFormat, destinationFormat;
  std::uint32_t x, y;
  std::uint32_t status;
  std::uint32_t lines, run;
};

// A 4 x 3 source into a 6 x 4 destination.
const CopyCase kCopyCases[] = {
    {"inside", kBufferFormatMono16, kBufferFormatMono16, 1, 1, 0, 3, 4},
    {"cut at the destination's edges", kBufferFormatMono64, kBufferFormatMono64, 4, 2, 0, 2, 2},
    {"formats are not compared", kBufferFormatMono16, kBufferFormatRgb565, 0, 0, 0, 3, 4},
    {"24-bit into another 24-bit format", kBufferFormatRgb888, kBufferFormatUyv, 2, 0, 0, 3, 4},
    {"element sizes differ", kBufferFormatMono8, kBufferFormatMono16, 0, 0, 0x80000b, 0, 0},
    {"plane counts differ", kBufferFormatMono8, kBufferFormatRgbp8, 0, 0, 0x80000b, 0, 0},
    {"x at the destination's width", kBufferFormatMono32, kBufferFormatMono32, 6, 0, 0x800233, 0, 0},
    {"y at the destination's height", kBufferFormatMono32, kBufferFormatMono32, 0, 4, 0x800333, 0, 0},
};

TEST(BufferFormatCopy, WholeSourceAtAPosition) {
  for (const CopyCase& c : kCopyCases) {
    SCOPED_TRACE(c.name);
    TestBuffer source(c.sourceFormat, 4, 3);
    source.FillPattern();
    TestBuffer destination(c.destinationFormat, 6, 4);
    TestBuffer expected(c.destinationFormat, 6, 4);
    ASSERT_EQ(Dispatch(BufferFormatOps.Copy, source.desc(), c.x, c.y,
                       static_cast<const BufferDescriptor*>(destination.desc())), c.status);
    for (std::uint32_t line = 0; line < c.lines; ++line) {
      std::memcpy(expected.Element(c.x, c.y + line), source.Element(0, line), c.run * source->elementSize);
    }
    EXPECT_EQ(destination.Snapshot(), expected.Snapshot());
  }
}

struct CopyRectCase {
  const char* name;
  std::uint32_t destinationFormat;
  std::uint32_t sx, sy, width, height, dx, dy;
  std::uint32_t status;
  std::uint32_t lines, run;
};

// From a 5 x 4 MONO16 source into a 6 x 3 destination.
const CopyRectCase kCopyRectCases[] = {
    {"inside", kBufferFormatMono16, 1, 1, 2, 2, 3, 0, 0, 2, 2},
    {"cut by the source", kBufferFormatMono16, 3, 2, 9, 9, 0, 0, 0, 2, 2},
    {"cut by the destination", kBufferFormatMono16, 0, 0, 9, 9, 4, 1, 0, 2, 2},
    {"width of 1", kBufferFormatMono16, 0, 0, 1, 3, 0, 0, 0, 3, 1},
    {"between formats", kBufferFormatRgb565, 0, 0, 2, 2, 0, 0, 0x80000b, 0, 0},
    {"sx at the source's width", kBufferFormatMono16, 5, 0, 2, 2, 0, 0, 0x800233, 0, 0},
    {"sy at the source's height", kBufferFormatMono16, 0, 4, 2, 2, 0, 0, 0x800333, 0, 0},
    {"dx at the destination's width", kBufferFormatMono16, 0, 0, 2, 2, 6, 0, 0x800733, 0, 0},
    {"dy at the destination's height", kBufferFormatMono16, 0, 0, 2, 2, 0, 3, 0x800833, 0, 0},
};

TEST(BufferFormatCopy, RectangleBetweenBuffersOfOneFormat) {
  for (const CopyRectCase& c : kCopyRectCases) {
    SCOPED_TRACE(c.name);
    TestBuffer source(kBufferFormatMono16, 5, 4);
    source.FillPattern();
    TestBuffer destination(c.destinationFormat, 6, 3);
    TestBuffer expected(c.destinationFormat, 6, 3);
    ASSERT_EQ(Dispatch(BufferFormatOps.CopyRect, source.desc(), c.sx, c.sy, c.width, c.height,
                       static_cast<const BufferDescriptor*>(destination.desc()), c.dx, c.dy), c.status);
    for (std::uint32_t line = 0; line < c.lines; ++line) {
      std::memcpy(expected.Element(c.dx, c.dy + line), source.Element(c.sx, c.sy + line), c.run * 2);
    }
    EXPECT_EQ(destination.Snapshot(), expected.Snapshot());
  }
}

TEST(BufferFormatCopy, CopyIntoItsOwnParentMovesOverlappingLines) {
  TestBuffer parent(kBufferFormatMono8, 8, 4);
  parent.FillPattern();
  TestBuffer reference(kBufferFormatMono8, 8, 4);
  reference.FillPattern();
  BufferDescriptor child = parent.Child(0, 0, 6, 1);
  ASSERT_EQ(Dispatch(BufferFormatOps.Copy, &child, 2u, 0u, static_cast<const BufferDescriptor*>(parent.desc())), 0u);
  EXPECT_EQ(0, std::memcmp(parent.Element(2, 0), reference.Element(0, 0), 6));
}

struct ConvertCase {
  const char* name;
  std::uint32_t sourceFormat, destinationFormat;
  std::uint32_t status;
};

const ConvertCase kConvertCases[] = {
    {"INT32 into MONO32", kBufferFormatInt32, kBufferFormatMono32, 0},
    {"INT24 into MONO24", kBufferFormatInt24, kBufferFormatMono24, 0},
    {"MONO64 into MONO64", kBufferFormatMono64, kBufferFormatMono64, 0},
    {"MONO32 into INT32", kBufferFormatMono32, kBufferFormatInt32, 0x800046},
    {"MONO64 into RGB16161616", kBufferFormatMono64, kBufferFormatRgb16161616, 0x800046},
    {"the 8-bit family converts nothing yet", kBufferFormatMono8, kBufferFormatMono8, 0x800046},
    {"colour formats convert nothing yet", kBufferFormatRgb8888, kBufferFormatMono32, 0x800046},
};

TEST(BufferFormatCopy, ConvertIntoTheFamilysMonoFormatIsAWholeCopy) {
  for (const ConvertCase& c : kConvertCases) {
    SCOPED_TRACE(c.name);
    TestBuffer source(c.sourceFormat, 3, 2);
    source.FillPattern();
    TestBuffer destination(c.destinationFormat, 3, 2);
    const auto before = destination.Snapshot();
    ASSERT_EQ(BufferFormatCall(BufferFormatOps.Convert, source->formatIndex, source.desc(), destination.desc(), 0u),
              c.status);
    if (c.status == 0) {
      EXPECT_EQ(0, std::memcmp(destination.Image(), source.Image(), source.ImageBytes()));
    } else {
      EXPECT_EQ(destination.Snapshot(), before);
    }
  }
}

}  // namespace
