// Packer register settings for a table of video formats, the masked register
// table and the arbitration list's entry count.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/user/YatPacker.h"

namespace {

YatPackerFormat Format(std::uint32_t depth, std::uint32_t taps, std::uint32_t geometry, std::uint32_t kind = 2,
                       std::uint32_t laneMode = 0) {
  YatPackerFormat f;
  f.depth = depth;
  f.taps = taps;
  f.geometry = geometry;
  f.colourKind = kind;
  f.laneMode = laneMode;
  f.frameWidth = 1920;
  return f;
}

std::uint32_t Value(const YatPackerPlan& plan, std::uint32_t reg) {
  for (const YatPackerWrite& w : plan.writes)
    if (w.reg == reg) return w.value;
  ADD_FAILURE() << "no write to " << std::hex << reg;
  return 0;
}

TEST(Packer, FormatsGiveTheirRegisterWords) {
  struct Case {
    const char* name;
    YatPackerFormat format;
    std::uint32_t code;
    std::uint32_t width, conversion, shift, frontEnd, laneMask, modeFields;
  };
  constexpr std::uint32_t I = YAT_GEOMETRY_INTERLEAVED, P = YAT_GEOMETRY_PACKED;
  const Case cases[] = {
      {"mono 8, one tap", Format(8, 1, I), 1, 0, 0, 0, 0, 1, 0},
      {"mono 10, one tap", Format(10, 1, I), 2, 0, 0, 0x49, 0x49, 1, 0x09249249},
      {"mono 12, one tap", Format(12, 1, I), 2, 0, 0, 0x92, 0x92, 1, 0x12492492},
      {"mono 8, two taps", Format(8, 2, I), 1, 0, 0, 0x124, 0x124, 1, 0xC4924924},
      {"mono 10, two taps", Format(10, 2, I), 2, 0, 0, 0x49, 0x49, 3, 0x0DB6DB6D},
      {"mono 12, two taps", Format(12, 2, I), 2, 0, 0, 0x92, 0x92, 3, 0x0DB6DB6D},
      {"packed 3 x 8", Format(8, 3, P), 5, 1920, 1, 0x3F, 0x3F, 5, 0x0DB6DB6D},
      {"colour 8, one tap", Format(8, 1, I, YAT_COLOUR_KIND, 2), 6, 0, 0, 0, 0, 7, 0x0DB6DB6D},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    YatPackerPlan plan;
    ASSERT_EQ(Yat_Packer_Plan(YatPackerTarget{}, c.format, c.code, &plan), QELHW_OK);
    EXPECT_EQ(Value(plan, YAT_PACKER_CONVERTED_WIDTH), c.width);
    EXPECT_EQ(Value(plan, YAT_PACKER_CONVERSION), c.conversion);
    EXPECT_EQ(Value(plan, YAT_PACKER_SHIFT), c.shift);
    EXPECT_EQ(Value(plan, YAT_PACKER_FRONT_END), c.frontEnd);
    EXPECT_EQ(Value(plan, YAT_PACKER_LANE_MASK), c.laneMask);
    EXPECT_EQ(Value(plan, YAT_PACKER_MODE), c.modeFields);
    EXPECT_EQ(Value(plan, YAT_PACKER_CAMERA), 0u);
    EXPECT_EQ(Value(plan, YAT_PACKER_CAMERA_MASK), c.laneMask);
  }
}

TEST(Packer, WritesFollowTheOrderOfTheHardwareAndStayInTheirWindows) {
  YatPackerTarget target;
  target.camera = 1;
  target.perCameraRegisters = true;
  YatPackerPlan plan;
  ASSERT_EQ(Yat_Packer_Plan(target, Format(10, 1, YAT_GEOMETRY_INTERLEAVED), 2, &plan), QELHW_OK);
  const std::vector<std::uint32_t> order = {0x0C24, 0x0C20, 0x3000, 0x0C00, 0x3004, 0x3008, 0x300C, 0x3010};
  ASSERT_EQ(plan.writes.size(), order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(plan.writes[i].reg, order[i]);
    EXPECT_EQ(plan.writes[i].window, order[i] < 0x1000 ? 0u : 1u);
  }
  EXPECT_EQ(plan.shift, 0x16Du);  // camera 1's 10-bit shift

  target.perCameraRegisters = false;
  ASSERT_EQ(Yat_Packer_Plan(target, Format(10, 1, YAT_GEOMETRY_INTERLEAVED), 2, &plan), QELHW_OK);
  EXPECT_EQ(Value(plan, YAT_PACKER_CAMERA), 0x09249249u);
  EXPECT_EQ(Value(plan, YAT_PACKER_CAMERA_MASK + 4), 1u);
  for (const YatPackerWrite& w : plan.writes) EXPECT_EQ(w.window, 0u);
}

TEST(Packer, WideInputsTakeTheWidthTimesTheTapsAndWriteNoConversion) {
  YatPackerTarget target;
  target.tag = YAT_ACQ_TAG_WIDE;
  YatPackerPlan plan;
  ASSERT_EQ(Yat_Packer_Plan(target, Format(8, 2, YAT_GEOMETRY_SEGMENTED), 1, &plan), QELHW_OK);
  EXPECT_EQ(plan.format.frameWidth, 3840u);
  EXPECT_EQ(plan.format.taps, 1u);
  for (const YatPackerWrite& w : plan.writes) {
    EXPECT_NE(w.reg, YAT_PACKER_CONVERSION);
    EXPECT_NE(w.reg, YAT_PACKER_FRONT_END);  // only the base and LVDS inputs have one
  }
}

TEST(Packer, ColourCodesThePackerCannotTakeAreRefused) {
  YatPackerPlan plan;
  for (const std::uint32_t code : {5u, 1u, 29u}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(Yat_Packer_Plan(YatPackerTarget{}, Format(8, 1, 1, YAT_COLOUR_KIND, 2), code, &plan),
              QELHW_ERROR_ARG_INVALID);
  }
}

TEST(Packer, RegisterMaskByLaneModeAndCamera) {
  struct Case {
    std::uint32_t reg, laneMode, camera, channels, mask;
  };
  for (const Case c : {Case{0x3000, 0, 0, 1, 0x80000007}, Case{0x3000, 2, 0, 1, 0x800001FF},
                       Case{0x3000, 1, 1, 2, 0x00000007}, Case{0x3000, 1, 1, 1, 0x800001FF},
                       Case{0x0C00, 1, 1, 2, 0x00000038}, Case{0x0C24, 1, 0, 2, 0x0000FFFF},
                       Case{0x3014, 0, 0, 1, 0}, Case{0x3000, 1, 2, 2, 0xFFFFFFFF}, Case{0x3040, 2, 0, 1, 0xFFFFFFFF}}) {
    SCOPED_TRACE(c.reg);
    EXPECT_EQ(Yat_Packer_RegisterMask(c.reg, c.laneMode, c.camera, c.channels), c.mask);
  }
}

TEST(Packer, ArbitrationEntryCounts) {
  struct Case {
    const char* name;
    YatPackerFormat format;
    std::uint32_t entries;
  };
  constexpr std::uint32_t I = YAT_GEOMETRY_INTERLEAVED, S = YAT_GEOMETRY_SEGMENTED, P = YAT_GEOMETRY_PACKED;
  const Case cases[] = {
      {"packed one 12-bit tap", Format(12, 1, P), 1}, {"packed two 12-bit taps", Format(12, 2, P), 3},
      {"packed four 10-bit taps", Format(10, 4, P), 1}, {"packed three 8-bit taps", Format(8, 3, P), 1},
      {"interleaved two 8-bit taps", Format(8, 2, I), 1}, {"segmented two 10-bit taps", Format(10, 2, S), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint32_t count = 0;
    ASSERT_EQ(Yat_Packer_EntryCount(c.format, 1, &count), QELHW_OK);
    EXPECT_EQ(count, c.entries);
  }
}

}  // namespace
