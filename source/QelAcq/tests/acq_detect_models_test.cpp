// The candidate device types of every row of the model table, by model code,
// option bytes and firmware option bits F (the real road covers the presets;
// this covers every row and every test of a row).
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "source/QelAcq/AcqCaps.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqPrmAccess.h"
#include "source/QelAcq/tests/acq_test_device.h"

namespace {

struct Row {
  std::uint16_t model;
  std::uint8_t extension;
  std::uint16_t drawing;
  std::uint16_t options;
  AcqModelVerdict verdict;
  std::vector<std::uint32_t> types;
};

std::vector<std::uint32_t> Types(const AcqCandidates& c) {
  std::vector<std::uint32_t> types;
  for (std::uint32_t type : c.types)
    if (type != 0) types.push_back(type);
  return types;
}

TEST(AcqDetectModels, CandidatesOfEveryRow) {
  constexpr auto kOk = AcqModelVerdict::kAccepted;
  const std::vector<Row> rows = {
      {0, 0, 0, 0, kOk, {1, 2, 3, 4, 5}},
      {8, 0, 0, 0, AcqModelVerdict::kFiltered, {}},       // bit 3 alone
      {3, 0, 0, 0, AcqModelVerdict::kFiltered, {}},
      {11, 0, 0, 0xFFFF, AcqModelVerdict::kFiltered, {}},
      {2, 0, 0, 0, kOk, {2, 3, 4, 5}},
      {130, 0, 0, 0x1, kOk, {1, 4}},
      {10, 0, 0, 0x81, AcqModelVerdict::kFiltered, {}},   // 2 | 8 is made of bits 1 and 3
      {130, 0, 0, 0x81, kOk, {9}},
      {2, 0, 0, 0x281, kOk, {10, 6}},
      {4, 0, 0, 0, kOk, {1, 6}},
      {5, 0, 0, 0x1, kOk, {8}},
      {12, 0, 0, 0x8, kOk, {7}},                          // 4 | 8: bit 3 does not count
      {4, 0, 0, 0xF, kOk, {2, 3, 4, 5}},
      {6, 0, 0, 0xFFFF, kOk, {2, 3, 4, 5}},
      {17, 0, 0, 0, kOk, {12}},
      {65, 0, 0, 0, kOk, {2, 4}},
      {258, 0, 0, 0x200, kOk, {10, 6}},
      {514, 0, 0, 0x280, kOk, {9}},
      {2050, 0, 0, 0, kOk, {2, 3, 4, 5}},
      {4098, 1, 0, 0, kOk, {2, 4}},
      {8194, 1, 0, 0x200, kOk, {2, 4}},
      {16386, 0, 0, 0x80, kOk, {9, 11}},
      {16386, 1, 0, 0x280, kOk, {9}},
      {1, 0, 0, 0, kOk, {1, 6}},
      {32, 1, 0, 0, kOk, {2, 4}},
      {33, 1, 0x816, 0, kOk, {2}},
      {129, 0, 0x816, 0x2, kOk, {7}},
      {32769, 0, 0, 0x80, kOk, {9}},
      {4097, 0, 0, 0x4081, kOk, {13}},
      {0x0108, 0, 0, 0, AcqModelVerdict::kUnknown, {}},
      {0x8000, 0, 0, 0, AcqModelVerdict::kUnknown, {}},
  };
  for (const Row& row : rows) {
    std::array<std::uint8_t, 256> page{};
    page[0] = 0xA5;
    std::memcpy(page.data() + 38, &row.model, 2);
    std::memcpy(page.data() + 2, &row.drawing, 2);
    page[12] = row.extension;
    const AcqCandidates candidates = AcqChooseCandidates(page.data(), row.options);
    EXPECT_EQ(candidates.verdict, row.verdict) << "model " << row.model << " F " << row.options;
    EXPECT_EQ(Types(candidates), row.types) << "model " << row.model << " F " << row.options;
  }
}

TEST(AcqDetectModels, TypesNamesAndConnectors) {
  char name[128];
  AcqDeviceTypeName(name, 13);
  EXPECT_STREQ(name, "CameraLink 8 Taps Parallel 10 Bits Mono #1");
  AcqDeviceTypeName(name, 0);
  EXPECT_STREQ(name, "");
  AcqDeviceTypeName(name, 14);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(AcqDeviceTypeConnector(11), 2u);
  EXPECT_EQ(AcqDeviceTypeConnector(12), 1u);
  EXPECT_EQ(AcqDeviceTypeConnector(0), 0u);
  EXPECT_EQ(AcqDeviceTypeConnector(14), 0u);
  EXPECT_EQ(LowestBitIndex(0), 0u);
  EXPECT_EQ(LowestBitIndex(2), 1u);
  EXPECT_EQ(LowestBitIndex(0x60), 0u) << "only bits 0-4 count";
}

// The default name follows the set: taps, scan kind, arrangement, colour.
TEST(AcqDefaultName, FollowsTheParameters) {
  acq_test::Device device;
  AcqValidationContext context = device.context();
  const auto name = [&] {
    BuildDefaultCameraName(&context);
    const std::string cam(reinterpret_cast<const char*>(AcqNewPrmWords(&context, 41)));
    EXPECT_EQ(cam, reinterpret_cast<const char*>(AcqNewPrmWords(&context, 2093)));
    return cam;
  };
  device.prms({{3, 1}, {49, 1}, {50, 2}, {5, 1}, {2088, 0x1010800}});
  EXPECT_EQ(name(), "Default Area Scan 1 tap Mono");
  device.prm(49, 2);
  EXPECT_EQ(name(), "Default Area Scan 2 taps Mono");
  device.prms({{3, 2}, {49, 10}, {50, 4}, {2088, 0x1021000}});
  EXPECT_EQ(name(), "Default Line Scan 10 taps Parallel Mono");
  device.prms({{3, 1}, {49, 1}, {50, 2}, {5, 16}, {2088, 0x61092000}});
  EXPECT_EQ(name(), "Default Bayer Area Scan 1 tap Color");
  device.cap(116, 16);
  EXPECT_EQ(name(), "Default Camera Link HS Bayer Area Scan 1 tap Color");
  device.cap(116, 8);
  device.prm(5, 8);
  EXPECT_EQ(name(), "Default HS Link Area Scan 1 tap Color");
}

}  // namespace
