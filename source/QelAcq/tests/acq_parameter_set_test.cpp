// Whole parameter sets through the validation pass: accepted sets consume
// each group's modified bits once.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "source/QelAcq/AcqValidators.h"
#include "source/QelAcq/tests/acq_test_device.h"

namespace {

using acq_test::Device;
using acq_test::ReferenceDevice;

std::vector<std::uint32_t> Visited(const AcqValidationTrace& trace) {
  return std::vector<std::uint32_t>(trace.indexes.begin(), trace.indexes.begin() + trace.count);
}

std::size_t CountOf(const std::vector<std::uint32_t>& visited, std::initializer_list<std::uint32_t> group) {
  return std::count_if(visited.begin(), visited.end(), [&](std::uint32_t index) {
    return std::find(group.begin(), group.end(), index) != group.end();
  });
}

TEST(AcqParameterSet, ReferenceDefaultsValidateAndEachGroupRunsOnce) {
  auto device = ReferenceDevice();
  AcqValidationContext context = device->context();
  AcqValidationTrace trace;
  const AcqModifiedSet camBits = device->record().cam.modified, vicBits = device->record().vic.modified;

  ASSERT_EQ(AcqValidatePrmSet(&context, &trace), 0u);
  const std::vector<std::uint32_t> visited = Visited(trace);
  EXPECT_EQ(CountOf(visited, {10, 11, 15, 21, 2065, 2067, 2069, 2071, 2099}), 1u);
  EXPECT_EQ(CountOf(visited, {3, 12, 13, 19, 23, 2066, 2068, 2070, 2072, 2100}), 1u);
  EXPECT_EQ(std::set<std::uint32_t>(visited.begin(), visited.end()).size(), visited.size());
  // The caller gets its bits back.
  EXPECT_EQ(0, std::memcmp(&camBits, &device->record().cam.modified, sizeof camBits));
  EXPECT_EQ(0, std::memcmp(&vicBits, &device->record().vic.modified, sizeof vicBits));
}

TEST(AcqParameterSet, PassLeavesOnlyTheBitsNoValidatorTakes) {
  auto device = ReferenceDevice();
  AcqValidationContext context = device->context();
  ASSERT_EQ(AcqValidateMarkedPrms(&context, CamPrmValidatorTable.data(), VicPrmValidatorTable.data(), nullptr), 0u);
  std::vector<std::uint32_t> left;
  for (std::uint32_t i = 0; i < kAcqCamPrmCount; ++i)
    if (device->marked(i)) left.push_back(i);
  for (std::uint32_t i = 2048; i < 2048 + kAcqVicPrmCount; ++i)
    if (device->marked(i)) left.push_back(i);
  const std::vector<std::uint32_t> expected = {67, 68, 69, 74, 97, 98, 111, 112, 119, 2098, 2143, 2164, 2165, 2166, 2175};
  EXPECT_EQ(left, expected);
}

TEST(AcqParameterSet, EnabledFeatureTakesItsParametersOnce) {
  auto device = ReferenceDevice();
  device->caps({{2134, 1}, {2127, 3}, {2136, 0}, {2137, 1000}, {2138, 0}, {2139, 1000}, {2197, 0}, {2135, 3}});
  device->prms({{2077, 1}, {2078, 1}, {2079, 1}, {2080, 10}, {2081, 20}});
  AcqValidationContext context = device->context();
  AcqValidationTrace trace;
  ASSERT_EQ(AcqValidatePrmSet(&context, &trace), 0u);
  const std::vector<std::uint32_t> visited = Visited(trace);
  EXPECT_EQ(CountOf(visited, {2077}), 1u);
  EXPECT_EQ(CountOf(visited, {2078, 2079, 2080, 2081, 2114, 2133}), 0u);

  // Without the feature each of its parameters is visited (and accepted) alone.
  device->prm(2077, 0);
  device->markAll();
  AcqValidationTrace alone;
  ASSERT_EQ(AcqValidatePrmSet(&context, &alone), 0u);
  EXPECT_EQ(CountOf(Visited(alone), {2078, 2079, 2080, 2081, 2114, 2133}), 6u);
}

TEST(AcqParameterSet, PixelDepthOfASensorCameraKeepsItsBit) {
  auto device = ReferenceDevice();
  device->prm(2, 1);
  device->prm(6, 99);  // in no data-format list, and not looked up
  AcqValidationContext context = device->context();
  EXPECT_EQ(AcqRunValidator(&context, 6), 0u);
  EXPECT_TRUE(device->marked(6));
  device->prm(2, 2);
  EXPECT_EQ(AcqRunValidator(&context, 6), QelStatusMake(6, 0x2B));
  EXPECT_FALSE(device->marked(6));
}

TEST(AcqParameterSet, DefaultsAgainstTheUnwidenedMaximaFailNamingTheirParameter) {
  // Caps 29 and 32 of 0 allow only 0 for CAM 18 and CAM 19, which the standard
  // formats do not give: the device data must widen them.
  for (const auto& [cap, refusal] : {std::pair{29u, QelStatusMake(18, 0x2A)}, std::pair{32u, QelStatusMake(19, 0x2A)}}) {
    auto device = ReferenceDevice();
    device->cap(cap, 0);
    AcqValidationContext context = device->context();
    EXPECT_EQ(AcqValidatePrmSet(&context, nullptr), refusal) << "cap " << cap;
  }
}

TEST(AcqParameterSet, FirstRefusalEndsThePassBeforeLaterParameters) {
  auto device = ReferenceDevice();
  device->prm(0, 0);      // refused: CAM 0 is at least 1
  device->prm(2134, 0);   // refused too, but later in the pass
  AcqValidationContext context = device->context();
  AcqValidationTrace trace;
  EXPECT_EQ(AcqValidatePrmSet(&context, &trace), QelStatusMake(0, 0x2A));
  EXPECT_EQ(trace.count, 1u);
}

TEST(AcqParameterSet, InstalledTablesAreTheStaticOnes) {
  othStruct* row = AcqGetOthStruct(15, 12);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(InstallCamValidatorTable(row), 0u);
  EXPECT_EQ(InstallVicValidatorTable(row), 0u);
  EXPECT_EQ(row->camValidators, CamPrmValidatorTable.data());
  EXPECT_EQ(row->vicValidators, VicPrmValidatorTable.data());
  EXPECT_EQ(AcqGetOthStruct(16, 0), nullptr);
  EXPECT_EQ(AcqGetOthStruct(0, 13), nullptr);
  AcqClearOthStructs();
  EXPECT_EQ(row->camValidators, nullptr);
}

}  // namespace
