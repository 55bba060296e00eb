// The arithmetic of the automatic internal buffers: their geometry, how many
// fit, the reserve beside them and the strips of a tall camera.
#include <gtest/gtest.h>

#include "source/QelXfer/XferStatus.h"
#include "source/QelXfer/XferYatSizing.h"

namespace {

XferAcqGeometry AreaScan(std::uint32_t width, std::uint32_t lines, std::uint32_t format = 0x1010800,
                         std::uint32_t bits = 8) {
  return XferAcqGeometry{2, width, 1, lines, format, 1, 1, 1, bits, 0};
}

TEST(XferSizing, TheBufferGeometryFollowsTheAcquisition) {
  struct Case {
    const char* name;
    XferAcqGeometry acq;
    XferStageGeometry expected;
  };
  XferAcqGeometry lineScan = AreaScan(1024, 0);
  lineScan.mode = 1;
  lineScan.lines = 16;
  lineScan.frames = 4;
  XferAcqGeometry halved = AreaScan(512, 100);
  halved.multiplier = 4;
  halved.layout = 1;
  XferAcqGeometry widened = AreaScan(512, 100);
  widened.multiplier = 3;
  widened.layout = 4;
  XferAcqGeometry deep = AreaScan(640, 480);
  deep.depth = 16;
  deep.bits = 12;
  const Case cases[] = {
      {"a bus-wide line", AreaScan(1024, 768), {0x1010800, 8, 1024, 768}},
      {"a line padded to the bus", AreaScan(1000, 10), {0x1010800, 8, 1008, 10}},
      {"mode 1: frames of several lines", lineScan, {0x1010800, 8, 1024, 64}},
      {"the multiplier halved, the width doubled", halved, {0x1010800, 8, 2048, 100}},
      {"the width multiplied", widened, {0x1010800, 8, 1536, 100}},
      {"depth 16 of 12 bits", deep, {0x1021000, 16, 640, 480}},
      {"12 bits in an 8-bit format", AreaScan(640, 480, 0x1010800, 12), {0x1021000, 16, 640, 480}},
      {"12 bits of colour", AreaScan(640, 480, 0x61092000, 12), {0x611B4000, 64, 640, 480}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XferStageGeometry g{};
    ASSERT_EQ(XferStageGeometryOf(c.acq, 16, &g), QEL_OK);
    EXPECT_EQ(g.format, c.expected.format);
    EXPECT_EQ(g.bits, c.expected.bits);
    EXPECT_EQ(g.width, c.expected.width);
    EXPECT_EQ(g.height, c.expected.height);
  }
}

TEST(XferSizing, NoBitsNoBusAndNoPixelsAreRefusedBeforeAnyDivision) {
  XferStageGeometry g{};
  EXPECT_EQ(XferStageGeometryOf(AreaScan(640, 480, 0x1000000), 16, &g), kXferRegionIncompatible);
  EXPECT_EQ(XferStageGeometryOf(AreaScan(640, 480), 0, &g), kXferRegionIncompatible);
  EXPECT_EQ(XferStageGeometryOf(AreaScan(0, 480), 16, &g), kXferRegionIncompatible);
  EXPECT_EQ(XferStageGeometryOf(AreaScan(640, 0), 16, &g), kXferRegionIncompatible);
}

TEST(XferSizing, TheReserveIsAPercentOfTheSmallerOfTotalAndMemoryWithAPageMore) {
  EXPECT_EQ(XferFrameReserve(10, 10000000, 50000000), 1003520u);
  EXPECT_EQ(XferFrameReserve(10, 4096000, 50000000), 413696u);  // a whole page more although 409600 divides
  EXPECT_EQ(XferFrameReserve(10, 20000000, 10000000), 1003520u);
  EXPECT_EQ(XferFrameReserve(0, 10000000, 50000000), 0u);
  EXPECT_EQ(XferStripReserve(0, 4096000), 208896u);  // strips keep 5 % even without a reserve
  EXPECT_EQ(XferStripReserve(10, 4096000), 413696u);
}

TEST(XferSizing, TheCountIsWhatFitsAndNeverBelowTwo) {
  EXPECT_EQ(XferFitCount(5, 10, 1000, 300), 3u);
  EXPECT_EQ(XferFitCount(5, 0, 1000, 100), 5u);
  EXPECT_EQ(XferFitCount(4, 0, 1000, 250), 3u);  // four would take all of the memory
  EXPECT_EQ(XferFitCount(2, 0, 100, 1000), 2u);
  EXPECT_EQ(XferFitCount(6, 0, -5, 100), 2u);
}

TEST(XferSizing, ATallCameraGetsTheFirstStripsThatFit) {
  const XferStageGeometry g{0x1010800, 8, 1000, 1000};
  // Strips of 334, 250, 200, 168 and 144 lines for two buffers, 5 % kept free.
  const std::uint32_t lines[] = {334, 250, 200, 168, 144};
  for (std::uint32_t i = 0; i < 5; ++i) {
    const std::uint64_t bytes = std::uint64_t{lines[i]} * 2 * 1000;
    const std::uint64_t needed = bytes + XferStripReserve(0, bytes);
    XferStripChoice choice{};
    ASSERT_EQ(XferChooseStrips(g, 2, 1, 1, 0, static_cast<std::int64_t>(needed) + 1, &choice), QEL_OK);
    EXPECT_EQ(choice.lines, lines[i]);
    EXPECT_EQ(choice.bytes, bytes);
    if (i + 1 < 5) {
      ASSERT_EQ(XferChooseStrips(g, 2, 1, 1, 0, static_cast<std::int64_t>(needed), &choice), QEL_OK);
      EXPECT_EQ(choice.lines, lines[i + 1]);
    }
  }
  XferStripChoice choice{};
  EXPECT_EQ(XferChooseStrips(g, 2, 1, 1, 0, 8096, &choice), kXferOutOfMemory);  // not even strips of 2 lines
  EXPECT_EQ(XferChooseStrips(g, 2, 1, 1, 0, 8097, &choice), QEL_OK);
  EXPECT_EQ(choice.lines, 2u);
}

}  // namespace
