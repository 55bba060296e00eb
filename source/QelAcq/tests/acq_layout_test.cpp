// The shared records, their blocks and the parameter ids.
#include <gtest/gtest.h>

#include <memory>

#include "source/QelAcq/AcqOthStruct.h"
#include "source/QelAcq/AcqPrmAccess.h"
#include "source/QelAcq/tests/acq_test_device.h"

namespace {

TEST(AcqLayout, IdsWhoseSizeDiffersFromTheSpanAreRefused) {
  const struct {
    AcqPrmId id;
    std::uint32_t detail;
  } cases[] = {
      {0x00060004, 0},       {0x00290040, 0},       {0x00290004, 0x2928},  {0x00490480, 0},
      {0x00510020, 0},       {0x00510004, 0x5128},  {0x005E0080, 0},       {0x00770004, 0},
      {0x00780004, 0x7828},  {0x08000004, 0},       {0x082D0040, 0},       {0x08740020, 0},
      {0x08740004, 0x87428}, {0x08810004, 0},       {0x08820004, 0x88228}, {0x07000080, 0x70028},
  };
  for (const auto& c : cases) EXPECT_EQ(AcqCheckPrmId(c.id), c.detail) << std::hex << c.id;
  EXPECT_EQ(AcqPrmIdOf(41), 0x290040u);
  EXPECT_EQ(AcqPrmIdOf(2175), 0x87F0020u);
}

TEST(AcqLayout, MultiWordParametersSpanTheirWords) {
  CamPrmBlock cam{};
  EXPECT_EQ(AcqPrmWords(&cam, 81) - cam.values, 383);
  EXPECT_EQ(AcqPrmWords(&cam, 82) - cam.values, 391);
  EXPECT_EQ(AcqPrmWords(&cam, 119) - cam.values, 466);
  EXPECT_EQ(AcqPrmWords(&cam, 120), nullptr);
  VicPrmBlock vic{};
  EXPECT_EQ(AcqPrmWords(&vic, 2177) - vic.values, 172);
  EXPECT_EQ(AcqPrmWords(&vic, 2047), nullptr);
  EXPECT_EQ(AcqPrmWords(&vic, 2178), nullptr);
  AcqCamCapBlock caps{};
  EXPECT_EQ(AcqCapWords(&caps, 119) - caps.caps, 260);
  EXPECT_EQ(AcqCapWords(&caps, 128), nullptr);
}

TEST(AcqLayout, RecordsFillTheSharedArrayExactly) {
  auto tables = std::make_unique<AcqSharedTables>();
  AcqDeviceRecord* last = AcqSharedRecord(tables.get(), 15, 12);
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(reinterpret_cast<char*>(last + 1),
            reinterpret_cast<char*>(tables->records) + 16 * 13 * kAcqDeviceRecordSize);
  EXPECT_EQ(AcqSharedRecord(tables.get(), 1, 0), &tables->records[13]);
  EXPECT_EQ(AcqSharedRecord(tables.get(), 16, 0), nullptr);
  EXPECT_EQ(AcqSharedOwnerTags(tables.get(), 0, 13), nullptr);
  EXPECT_EQ(AcqSharedOwnerTags(tables.get(), 2, 3), &tables->ownerTags[29]);

  AcqInitRecordHeaders(last, 15, 12, 2);
  EXPECT_EQ(last->slotIndex, 12u);
  EXPECT_EQ(last->boardIndex, 15u);
  EXPECT_EQ(last->resourceMask, 2u);
  EXPECT_EQ(last->vicCaps.size, 1124u);
  EXPECT_EQ(last->camCaps.size, 1112u);
  EXPECT_EQ(last->vic.size, 960u);
  EXPECT_EQ(last->cam.size, 2136u);
  EXPECT_EQ(last->cam.modified.count, 64u);
}

TEST(AcqLayout, TakingAParameterCopiesAllItsWordsAndClearsItsBit) {
  acq_test::Device current, next;
  std::uint32_t* table = next.prmWords(73);
  for (std::uint32_t i = 0; i < 288; ++i) table[i] = i + 1;
  next.mark(73);
  next.mark(74);
  AcqValidationContext context = current.context();
  context.camNew = &next.record().cam;
  EXPECT_EQ(AcqTakePrm(&context, 73), 1u);
  EXPECT_EQ(std::memcmp(current.prmWords(73), table, 1152), 0);
  EXPECT_EQ(*current.prmWords(74), 0u);
  EXPECT_FALSE(next.marked(73));
  EXPECT_TRUE(next.marked(74));
  EXPECT_EQ(AcqTakePrm(&context, 4000), 0u);
}

TEST(AcqLayout, InterfaceTableHeaderWords) {
  othStruct row{};
  AcqInitOthStructHeader(&row);
  EXPECT_EQ(row.vicApplyHeader[0], 0u);
  EXPECT_EQ(row.vicApplyHeader[1], 1040u);
  EXPECT_EQ(row.camApplyHeader[0], 960u);
  EXPECT_EQ(row.camApplyHeader[1], 368u);
  acq_test::Device device;
  device.record().boardIndex = 3;
  device.record().slotIndex = 4;
  EXPECT_EQ(AcqGetOthStructOf(&device.record()), AcqGetOthStruct(3, 4));
}

}  // namespace
