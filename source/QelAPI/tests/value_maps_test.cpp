#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "source/QelAPI/QelConvert.h"

namespace {

struct Pair {
  std::uint32_t sdk;
  std::uint32_t board;
};

// One event per row, as the SDK and the board name it.
const std::vector<Pair> kEventMaskPairs = {
    {0x4, 0x4000},        {0x8, 0x2000},           {0x10, 0x1000},          {0x20, 0x800},
    {0x40, 0x20},         {0x80, 0x8000000},       {0x100, 0x200},          {0x200, 0x80000000},
    {0x400, 0x400},       {0x800, 0x80},           {0x1000, 0x100},         {0x2000, 0x4000000},
    {0x4000, 0x10},       {0x8000, 0x8},           {0x4000000, 0x20000000}, {0x8000000, 0x40000000},
    {0x20000000, 0x40},   {0x40000000, 0x2},       {0x80000000, 0x4},
};

TEST(EventMasks, EachSdkBitToTheBoard) {
  for (const Pair& pair : kEventMaskPairs) EXPECT_EQ(ConvEventMaskToHw(pair.sdk), pair.board) << std::hex << pair.sdk;
  for (std::uint32_t bit = 16; bit <= 25; ++bit) EXPECT_EQ(ConvEventMaskToHw(1u << bit), 1u << bit) << bit;
  EXPECT_EQ(ConvEventMaskToHw(0x10000000), 0x10000000u);
  EXPECT_EQ(ConvEventMaskToHw(0x3), 0u);
}

TEST(EventMasks, EachBoardBitToTheSdk) {
  for (const Pair& pair : kEventMaskPairs) {
    const std::uint32_t expected = pair.board == 0x200 ? 0x1000100u : pair.sdk;
    EXPECT_EQ(ConvEventMaskFromHw(pair.board), expected) << std::hex << pair.board;
  }
  EXPECT_EQ(ConvEventMaskFromHw(0x200), 0x1000100u);
  EXPECT_EQ(ConvEventMaskFromHw(0x1), 0u);
  EXPECT_EQ(ConvEventMaskFromHw(0x8000), 0u);
  EXPECT_EQ(ConvEventMaskFromHw(0x10000000), 0x10000000u);
  EXPECT_EQ(ConvEventMaskFromHw(0x00FF0000), 0x00FF0000u);
}

TEST(EventMasks, WholeMasksGoBothWays) {
  const std::uint32_t sdk = 0x4 | 0x800 | 0x8000 | 0x30000 | 0x80000000;
  EXPECT_EQ(ConvEventMaskToHw(sdk), 0x4000u | 0x80 | 0x8 | 0x30000 | 0x4);
  EXPECT_EQ(ConvEventMaskFromHw(ConvEventMaskToHw(sdk)), sdk);
}

TEST(EventTypes, SharedBitsAndTheMovedTopBits) {
  EXPECT_EQ(ConvEventTypeFromHw(0x00AB0000), 0x00AB0000u);
  EXPECT_EQ(ConvEventTypeFromHw(0xE0000000), 0x07000000u);
  EXPECT_EQ(ConvEventTypeFromHw(0x1F00FFFF), 0u);
  EXPECT_EQ(ConvEventTypeToHw(0x00AB0000), 0x00AB0000u);
  EXPECT_EQ(ConvEventTypeToHw(0x03000000), 0x60000000u);
  EXPECT_EQ(ConvEventTypeToHw(0x0400FFFF), 0u);
}

TEST(DataFormats, EveryListedCodeAndTheDefault) {
  const std::vector<Pair> formats = {
      {0x01010800, 1},  {0x01021000, 10}, {0x01042000, 14}, {0x03010800, 15}, {0x03021000, 16},
      {0x03810800, 24}, {0x03821000, 25}, {0x03C10800, 18}, {0x61061000, 7},  {0x61071000, 8},
      {0x61081800, 5},  {0x61092000, 6},  {0x610A2000, 11}, {0x610B3000, 21}, {0x610C2000, 19},
      {0x610D1000, 2},  {0x610E1000, 3},  {0x61101000, 3},  {0x61192000, 17}, {0x611B4000, 22},
      {0x611C2000, 23}, {0x611D4000, 26}, {0x611E2000, 27}, {0x11010800, 1},  {0, 1},
  };
  for (const Pair& pair : formats) EXPECT_EQ(ConvDataFormatToHw(pair.sdk), pair.board) << std::hex << pair.sdk;
}

struct ValueMap {
  const char* name;
  std::uint32_t (*map)(std::uint32_t);
  std::vector<Pair> listed;
  std::uint32_t otherwise;
};

const std::vector<ValueMap> kValueMaps = {
    {"ConvEnum123To124", ConvEnum123To124, {{1, 1}, {2, 2}, {3, 4}}, 2},
    {"ConvEnum1248To1234", ConvEnum1248To1234, {{1, 1}, {2, 2}, {4, 3}, {8, 4}}, 1},
    {"ConvGpioConnectorToHw", ConvGpioConnectorToHw, {{1, 1}, {2, 2}, {4, 3}, {8, 4}}, 1},
    {"ConvInputLevelToHw", ConvInputLevelToHw, {{1, 1}, {2, 2}, {4, 3}, {8, 4}}, 1},
    {"ConvAcqEnum1248To1234", ConvAcqEnum1248To1234, {{1, 1}, {2, 2}, {4, 3}, {8, 4}}, 1},
    {"ConvDmaCycleModeToHw", ConvDmaCycleModeToHw, {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}}, 4},
    {"ConvEnumPow2To12345", ConvEnumPow2To12345, {{1, 1}, {2, 2}, {4, 3}, {8, 4}, {16, 5}}, 1},
    {"ConvEnum1816To132", ConvEnum1816To132, {{1, 1}, {8, 3}, {16, 2}}, 1},
    {"ConvEnum12To12", ConvEnum12To12, {{1, 1}, {2, 2}}, 1},
    {"ConvTriggerDetectionToHw", ConvTriggerDetectionToHw, {{1, 1}, {2, 2}, {4, 4}}, 0},
    {"ConvOutputTypeToHw", ConvOutputTypeToHw, {{1, 1}, {2, 2}, {4, 3}}, 0},
    {"ConvBitFlagsToHw", ConvBitFlagsToHw, {{0, 8}, {1, 1}, {0x21, 1}, {0x20, 2}, {0x26, 2}, {2, 4}, {4, 4}, {6, 4}}, 1},
    {"ConvEnum15ToHw", ConvEnum15ToHw, {{1, 1}, {16, 9}, {22, 9}, {19, 7}, {25, 6}}, 0},
    {"ConvPolarityToHw", ConvPolarityToHw, {{1, 1}, {2, 2}}, 1},
    {"ConvEnum124To123", ConvEnum124To123, {{1, 1}, {2, 2}, {4, 3}}, 2},
    {"ConvTimeBaseToHw", ConvTimeBaseToHw, {{4, 2}, {8, 4}, {16, 3}, {32, 7}, {64, 8}}, 1},
    {"ConvEnumPow2To1To7", ConvEnumPow2To1To7, {{1, 1}, {4, 3}, {8, 4}, {16, 5}, {32, 6}, {64, 7}}, 2},
    {"ConvEnum1248To4123", ConvEnum1248To4123, {{1, 4}, {2, 1}, {4, 2}, {8, 3}}, 1},
    {"ConvEnum12816To5667", ConvEnum12816To5667, {{1, 5}, {2, 6}, {8, 6}, {16, 7}}, 5},
};

TEST(ValueMaps, ListedValuesAndTheirDefault) {
  for (const ValueMap& map : kValueMaps) {
    for (const Pair& pair : map.listed) EXPECT_EQ(map.map(pair.sdk), pair.board) << map.name << "(" << pair.sdk << ")";
    // Values no map lists.
    for (std::uint32_t value : {7u, 128u, 0xFFFFFFFFu}) {
      bool listed = false;
      for (const Pair& pair : map.listed) listed = listed || pair.sdk == value;
      if (listed || map.map == ConvBitFlagsToHw) continue;
      EXPECT_EQ(map.map(value), map.otherwise) << map.name << "(" << value << ")";
    }
  }
  // Bit flags test bits, not values: 0x40 has none of bits 0, 5, 1, 2.
  EXPECT_EQ(ConvBitFlagsToHw(0x40), 1u);
}

TEST(ValueMaps, Mask7KeepsTheLowSevenBits) {
  EXPECT_EQ(ConvMask7ToHw(0xFFFFFFFF), 0x7Fu);
  EXPECT_EQ(ConvMask7ToHw(0x80), 0u);
  EXPECT_EQ(ConvMask7ToHw(0x55), 0x55u);
}

}  // namespace
