// The flat-field format of an acquisition's pixel depth and bits.
#include <gtest/gtest.h>

#include "source/QelXfer/YatAcqBuffers.h"

namespace {

struct Case {
  std::uint32_t depth, bits;
  QelStatus status;
  std::uint32_t bufferFormat, code;
};

TEST(YatFlatFieldFormat, FollowsTheDepthAndBits) {
  constexpr Case kCases[] = {
      {1, 8, 0, 0x1010800, 1},      {1, 6, 0, 0x1010800, 1},      {1, 10, 0, 0x1021000, 10},
      {1, 16, 0, 0x1021000, 10},    {1, 11, 0x400051, 0, 0},      {16, 8, 0, 0x1010800, 12},
      {16, 10, 0, 0x1021000, 13},   {16, 12, 0, 0x1021000, 10},   {16, 14, 0, 0x1021000, 10},
      {16, 9, 0x400051, 0, 0},      {8, 10, 0, 0x610A2000, 6},    {8, 8, 0x400051, 0, 0},
      {2, 10, 0, 0, 0},             {0, 0, 0, 0, 0},
  };
  for (const Case& c : kCases) {
    YatFlatFieldFormat format{0xEEEEEEEE, 0xEEEEEEEE};
    EXPECT_EQ(YatFlatFieldFormatOf(c.depth, c.bits, &format), c.status) << c.depth << " " << c.bits;
    if (c.status != 0) continue;
    EXPECT_EQ(format.bufferFormat, c.bufferFormat) << c.depth << " " << c.bits;
    EXPECT_EQ(format.code, c.code) << c.depth << " " << c.bits;
  }
}

}  // namespace
