// Arbitration records of video formats: entry counts, control words and byte
// selectors, the tap-polarity rearrangement and the short-list error.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "driver/user/YatPackerArbiter.h"

namespace {

constexpr std::uint32_t I = YAT_GEOMETRY_INTERLEAVED, S = YAT_GEOMETRY_SEGMENTED, P = YAT_GEOMETRY_PACKED;
constexpr std::uint32_t kLast = 1u << 11;

YatPackerFormat Format(std::uint32_t depth, std::uint32_t taps, std::uint32_t geometry, std::uint32_t kind = 2) {
  YatPackerFormat f;
  f.depth = depth;
  f.taps = taps;
  f.geometry = geometry;
  f.colourKind = kind;
  f.laneMode = kind == YAT_COLOUR_KIND ? 2 : 0;
  f.frameWidth = 640;
  return f;
}

QelHwStatus Arbitrate(const YatPackerFormat& f, std::uint32_t code, PackerArbitration* record,
                      std::uint32_t camera = 0) {
  YatPackerTarget target;
  target.camera = camera;
  YatPackerPlan plan;
  const QelHwStatus status = Yat_Packer_Plan(target, f, code, &plan);
  if (status != QELHW_OK) return status;
  constexpr std::array<std::uint32_t, 4> channels = {3, 4, 5, 6};
  return Yat_Packer_Arbitration(target, plan, channels, record);
}

TEST(Arbitration, FormatsGiveTheirEntries) {
  struct Case {
    const char* name;
    YatPackerFormat format;
    std::uint32_t code, count, control0, selector0;
  };
  const Case cases[] = {
      // lane 0, one entry: bit 10, last, DMA channel 3, entry mode 2
      {"mono 8, one tap", Format(8, 1, I), 1, 1, 0x1 | 0x400 | kLast | 3u << 13 | 2u << 17, 0x01230123},
      {"mono 10, one tap", Format(10, 1, I), 2, 1, 0x1 | 0x400 | kLast | 3u << 13 | 2u << 17, 0x01230123},
      {"mono 12, one tap", Format(12, 1, I), 2, 1, 0x1 | 0x400 | kLast | 3u << 13 | 2u << 17, 0x01230123},
      {"mono 8, two taps", Format(8, 2, I), 1, 1, 0x1 | 0x400 | kLast | 3u << 13 | 2u << 17, 0x01230123},
      // two lanes, one entry each, each to its own channel
      {"mono 10, two segmented taps", Format(10, 2, S), 2, 2, 0x1 | 0x400 | 3u << 13 | 2u << 17, 0x01230123},
      {"mono 12, two segmented taps", Format(12, 2, S), 2, 2, 0x1 | 0x400 | 3u << 13 | 2u << 17, 0x01230123},
      // 24-bit words: all lanes on the one entry, bit 12, bytes in order
      {"packed 3 x 8", Format(8, 3, P), 5, 1, 0x1 | 0x400 | kLast | 0x1000 | 3u << 13 | 2u << 17, 0x01234567},
      {"packed 1 x 12", Format(12, 1, P), 2, 1, 0x1 | 0x400 | kLast | 3u << 13 | 2u << 17, 0x01230123},
      {"packed 2 x 12", Format(12, 2, P), 2, 3, 0x1 | 0x400 | 0x1000 | 3u << 13 | 2u << 17, 0x01234567},
      // 32-bit colour words: the empty slot of the lane map stays 10
      {"colour 8, one tap", Format(8, 1, I, YAT_COLOUR_KIND), 6, 1,
       0x1 | 0x400 | kLast | 0x1000 | 3u << 13 | 2u << 17, 0x012A012A},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PackerArbitration record{};
    ASSERT_EQ(Arbitrate(c.format, c.code, &record), QELHW_OK);
    EXPECT_EQ(record.entryCount, c.count);
    EXPECT_EQ(record.entries[0].control, c.control0) << std::hex << record.entries[0].control;
    EXPECT_EQ(record.entries[0].selector, c.selector0) << std::hex << record.entries[0].selector;
    EXPECT_NE(record.entries[c.count - 1].control & kLast, 0u);
  }
}

TEST(Arbitration, SecondLaneGoesToItsOwnChannelAndCameraField) {
  PackerArbitration record{};
  ASSERT_EQ(Arbitrate(Format(10, 2, S), 2, &record, 1), QELHW_OK);
  EXPECT_EQ(record.entries[1].control, 0x2u | 0x400 | kLast | 4u << 13 | 2u << 17 | 1u << 19);
  EXPECT_EQ(record.entries[1].selector, 0x12341234u);
}

TEST(Arbitration, TapOfTheOtherPolaritySwapsItsBytePairs) {
  YatPackerFormat f = Format(8, 1, I);
  f.tapFlags[0] = 2;
  PackerArbitration record{};
  ASSERT_EQ(Arbitrate(f, 1, &record), QELHW_OK);
  EXPECT_NE(record.entries[0].control & (1u << 23), 0u);
  EXPECT_EQ(record.entries[0].selector, 0x10321032u);
}

TEST(Arbitration, ListShorterThanItsLanesIsASoftwareError) {
  PackerArbitration record{};
  EXPECT_EQ(Arbitrate(Format(10, 2, I), 2, &record), -14);
}

TEST(Arbitration, KeepsTheSlotsActiveFlag) {
  PackerArbitration record{};
  record.active = 1;
  ASSERT_EQ(Arbitrate(Format(8, 1, I), 1, &record), QELHW_OK);
  EXPECT_EQ(record.active, 1);
}

}  // namespace
