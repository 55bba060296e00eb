// Firmware sums and the comparison of dates and headers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "cbh_test_support.h"

namespace {

using cbh_test::SampleHeader;
using cbh_test::SampleRecipe;

TEST(CbhSums, ByteAndWordSums) {
  const std::uint8_t three[] = {0x01, 0x02, 0x03};
  std::uint32_t sum = 0;
  ASSERT_EQ(Cbh_WordSum(three, 3, &sum), QELHW_OK);
  EXPECT_EQ(sum, 0xFF030201u);
  const std::uint8_t six[] = {0x01, 0x00, 0x00, 0x80, 0x10, 0x20};
  ASSERT_EQ(Cbh_WordSum(six, 6, &sum), QELHW_OK);
  EXPECT_EQ(sum, 0x80000001u + 0xFFFF2010u);
  ASSERT_EQ(Cbh_ByteSum(six, 6, &sum), QELHW_OK);
  EXPECT_EQ(sum, 0x01u + 0x80 + 0x10 + 0x20);
  EXPECT_EQ(Cbh_ByteSum(nullptr, 6, &sum), QELHW_ERROR_NULL_PTR);
  EXPECT_EQ(Cbh_WordSum(six, 6, nullptr), QELHW_ERROR_NULL_PTR);
}

TEST(CbhSums, ChecksumOfFilesMatchesTheirStoredChecksum) {
  for (mkfirmware::FirmwareForm form : {mkfirmware::FirmwareForm::kHeader, mkfirmware::FirmwareForm::kRecord}) {
    mkfirmware::FirmwareRecipe recipe = SampleRecipe();
    recipe.form = form;
    recipe.payload_size = 1001;  // image length not a multiple of four
    const std::vector<std::uint8_t> file = mkfirmware::make_firmware_file(recipe);
    std::uint32_t computed = 0;
    ASSERT_EQ(Cbh_ComputeChecksum(file.data(), static_cast<std::uint32_t>(file.size()), &computed), QELHW_OK);
    std::uint32_t stored = 0;
    ASSERT_EQ(Cbh_GetField(file.data(), static_cast<std::uint32_t>(file.size()), kCbhFieldChecksum, &stored, 4),
              QELHW_OK);
    EXPECT_EQ(computed, stored) << "form " << static_cast<int>(form);
  }
}

TEST(CbhSums, FirmwareSizePastTheBufferIsRefused) {
  mkfirmware::FirmwareRecipe recipe = SampleRecipe();
  std::vector<std::uint8_t> file = mkfirmware::make_firmware_file(recipe);
  std::uint32_t sum = 0;
  // One byte short of the firmware the header announces.
  EXPECT_EQ(Cbh_ComputeChecksum(file.data(), static_cast<std::uint32_t>(file.size() - 1), &sum),
            QELHW_ERROR_DATA_INVALID_HEADER);
  CbhHeader header;
  std::memcpy(&header, file.data(), sizeof header);
  header.firmwareSize = 0xFFFFFFFF;
  header.headerSize = 0xFFFFFFFF;
  std::memcpy(file.data(), &header, sizeof header);
  EXPECT_EQ(Cbh_ComputeChecksum(file.data(), static_cast<std::uint32_t>(file.size()), &sum),
            QELHW_ERROR_DATA_INVALID_HEADER);

  CbhFlashRecord record = cbh_test::SampleRecord();
  record.firmwareSize = 93;
  EXPECT_EQ(Cbh_ComputeChecksum(&record, sizeof record, &sum), QELHW_ERROR_DATA_INVALID_HEADER);
  const std::vector<std::uint8_t> junk(200, 0x11);
  EXPECT_EQ(Cbh_ComputeChecksum(junk.data(), 200, &sum), QELHW_ERROR_DATA_INVALID_HEADER);
}

struct DateCase {
  CbhDate a;
  CbhDate b;
  std::uint32_t expected;
};

TEST(CbhCompare, DatesAreOrderedMostSignificantFirst) {
  const CbhDate base{30, 12, 15, 6, 2020};  // 2020/06/15 12:30
  auto with = [&](auto change) {
    CbhDate d = base;
    change(d);
    return d;
  };
  const std::vector<DateCase> cases = {
      {base, base, 0},
      {base, with([](CbhDate& d) { d.year = 2021; }), 64},
      {base, with([](CbhDate& d) { d.year = 2019; }), 128},
      {base, with([](CbhDate& d) { d.month = 7; }), 64},
      {base, with([](CbhDate& d) { d.month = 5; }), 128},
      {base, with([](CbhDate& d) { d.day = 16; }), 64},
      {base, with([](CbhDate& d) { d.day = 14; }), 128},
      {base, with([](CbhDate& d) { d.hour = 13; }), 64},
      {base, with([](CbhDate& d) { d.hour = 11; }), 128},
      {base, with([](CbhDate& d) { d.minute = 31; }), 64},
      {base, with([](CbhDate& d) { d.minute = 29; }), 128},
      // A later year decides, whatever the smaller fields say.
      {with([](CbhDate& d) { d.year = 2021, d.month = 1, d.day = 1, d.hour = 0; }), base, 128},
      {with([](CbhDate& d) { d.year = 2019, d.month = 12, d.day = 31, d.minute = 59; }), base, 64},
      {base, with([](CbhDate& d) { d.month = 7, d.minute = 0; }), 64},
  };
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(Cbh_CompareDates(&cases[i].a, &cases[i].b), cases[i].expected) << "case " << i;
}

TEST(CbhCompare, HeadersDifferByBytesDatesAndContent) {
  const CbhHeader a = SampleHeader();
  CbhHeader b = a;
  EXPECT_EQ(Cbh_CompareHeaders(&a, sizeof a, &b, sizeof b), 0);

  std::strcpy(b.comment, "another comment");
  EXPECT_EQ(Cbh_CompareHeaders(&a, sizeof a, &b, sizeof b), 8);

  b = a;
  b.firmwareSize += 1;
  EXPECT_EQ(Cbh_CompareHeaders(&a, sizeof a, &b, sizeof b), 24);
  b = a;
  b.firmwareChecksum ^= 1;
  EXPECT_EQ(Cbh_CompareHeaders(&a, sizeof a, &b, sizeof b), 24);

  b = a;
  b.creationDate.year += 1;
  EXPECT_EQ(Cbh_CompareHeaders(&a, sizeof a, &b, sizeof b), 24);
  b.firmwareSize += 1;
  EXPECT_EQ(Cbh_CompareHeaders(&a, sizeof a, &b, sizeof b), 40);

  // Only the common length of the two is compared.
  b = a;
  std::strcpy(b.comment, "another comment");
  EXPECT_EQ(Cbh_CompareHeaders(&a, 58, &b, sizeof b), 0);
  EXPECT_EQ(Cbh_CompareHeaders(nullptr, 186, &b, sizeof b), QELHW_ERROR_NULL_PTR);
}

}  // namespace
