// Recognition of headers and records and their fields.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "cbh_test_support.h"

namespace {

using cbh_test::Bytes;
using cbh_test::SampleHeader;
using cbh_test::SampleRecord;

std::uint32_t Word(const std::array<std::uint8_t, 128>& field) {
  std::uint32_t value;
  std::memcpy(&value, field.data(), 4);
  return value;
}

struct RecordCase {
  const char* name;
  std::function<void(CbhFlashRecord&)> change;
  bool valid;
};

TEST(CbhRecord, ValidityFollowsTheRangesOfItsFields) {
  const std::vector<RecordCase> cases = {
      {"as made", [](CbhFlashRecord&) {}, true},
      {"header version 0", [](CbhFlashRecord& r) { r.headerVersion = 0; }, false},
      {"header version 1", [](CbhFlashRecord& r) { r.headerVersion = 1; }, true},
      {"header version 610", [](CbhFlashRecord& r) { r.headerVersion = 610; }, true},
      {"header version 611", [](CbhFlashRecord& r) { r.headerVersion = 611; }, false},
      {"year 1959", [](CbhFlashRecord& r) { r.year = 1959; }, false},
      {"year 1960", [](CbhFlashRecord& r) { r.year = 1960; }, true},
      {"year 2100", [](CbhFlashRecord& r) { r.year = 2100; }, true},
      {"year 2101", [](CbhFlashRecord& r) { r.year = 2101; }, false},
      {"month 0 day 0", [](CbhFlashRecord& r) { r.month = 0, r.day = 0; }, true},
      {"month 13", [](CbhFlashRecord& r) { r.month = 13; }, false},
      {"day 32", [](CbhFlashRecord& r) { r.day = 32; }, true},
      {"day 33", [](CbhFlashRecord& r) { r.day = 33; }, false},
      {"hour 24 minute 60", [](CbhFlashRecord& r) { r.hour = 24, r.minute = 60; }, true},
      {"hour 25", [](CbhFlashRecord& r) { r.hour = 25; }, false},
      {"minute 61", [](CbhFlashRecord& r) { r.minute = 61; }, false},
  };
  for (const RecordCase& c : cases) {
    CbhFlashRecord record = SampleRecord();
    c.change(record);
    EXPECT_EQ(Cbh_IsValidFlashRecord(&record, sizeof record, nullptr), c.valid) << c.name;
  }
}

TEST(CbhRecord, IsLookedForAtTheStartThenAtTheEnd) {
  std::vector<std::uint8_t> buffer(200, 0);
  const CbhFlashRecord record = SampleRecord();
  std::memcpy(buffer.data() + 108, &record, sizeof record);
  const void* found = nullptr;
  ASSERT_TRUE(Cbh_IsValidFlashRecord(buffer.data(), 200, &found));
  EXPECT_EQ(found, buffer.data() + 108);

  std::memcpy(buffer.data(), &record, sizeof record);
  ASSERT_TRUE(Cbh_IsValidFlashRecord(buffer.data(), 200, &found));
  EXPECT_EQ(found, buffer.data());

  EXPECT_FALSE(Cbh_IsValidFlashRecord(buffer.data(), 91, nullptr));
  EXPECT_FALSE(Cbh_IsValidFlashRecord(nullptr, 200, nullptr));
}

// A buffer that starts with the magic but ends before the header does is no
// header: its readers would copy all 186 bytes.
TEST(CbhForm, AHeaderCutShortIsNoHeader) {
  const CbhHeader header = SampleHeader();
  for (const std::uint32_t size : {11u, 92u, 185u}) {
    SCOPED_TRACE(size);
    // Exactly `size` bytes in their own block, so a read past them is seen.
    std::vector<std::uint8_t> cut(reinterpret_cast<const std::uint8_t*>(&header),
                                  reinterpret_cast<const std::uint8_t*>(&header) + size);
    const void* address = nullptr;
    std::uint32_t found = 0, form = 0;
    EXPECT_EQ(Cbh_Locate(cut.data(), size, &address, &found, &form), QELHW_ERROR_DATA_INVALID_HEADER);
    EXPECT_EQ(Cbh_GetForm(cut.data(), size, &form, &found), QELHW_ERROR_DATA_INVALID_HEADER);
  }
  const void* address = nullptr;
  std::uint32_t found = 0;
  EXPECT_EQ(Cbh_Locate(&header, sizeof header, &address, &found, nullptr), QELHW_OK);
  EXPECT_EQ(found, 186u);
}

TEST(CbhForm, HeaderRecordOrNeither) {
  const CbhHeader header = SampleHeader();
  const CbhFlashRecord record = SampleRecord();
  std::uint32_t form = 0, size = 0;
  EXPECT_EQ(Cbh_GetForm(&header, sizeof header, &form, &size), QELHW_OK);
  EXPECT_EQ(form, 2u);
  EXPECT_EQ(size, 186u);
  EXPECT_EQ(Cbh_GetForm(&record, sizeof record, &form, &size), QELHW_OK);
  EXPECT_EQ(form, 1u);
  EXPECT_EQ(size, 92u);
  const std::vector<std::uint8_t> junk(300, 0x5A);
  EXPECT_EQ(Cbh_GetForm(junk.data(), 300, &form, &size), QELHW_ERROR_DATA_INVALID_HEADER);

  std::vector<std::uint8_t> tail(300, 0);
  std::memcpy(tail.data() + 208, &record, sizeof record);
  const void* address = nullptr;
  std::uint32_t found = 0;
  form = 0;
  EXPECT_EQ(Cbh_Locate(tail.data(), 300, &address, &found, &form), QELHW_OK);
  EXPECT_EQ(address, tail.data() + 208);
  EXPECT_EQ(found, 92u);
  EXPECT_EQ(form, 1u);
  EXPECT_EQ(Cbh_Locate(tail.data(), 300, nullptr, &found, &form), QELHW_ERROR_NULL_PTR);
  EXPECT_EQ(Cbh_Locate(junk.data(), 300, &address, &found, nullptr), QELHW_ERROR_DATA_INVALID_HEADER);

  std::uint32_t valid = 7;
  EXPECT_EQ(Cbh_Check(&header, sizeof header, &valid), QELHW_OK);
  EXPECT_EQ(Cbh_Check(junk.data(), 300, &valid), QELHW_ERROR_DATA_INVALID_HEADER);
  EXPECT_EQ(Cbh_Check(nullptr, 300, &valid), QELHW_ERROR_NULL_PTR);
}

struct FieldCase {
  std::uint32_t id;
  QelHwStatus status;
  std::vector<std::uint8_t> expected;  // leading bytes of the destination
};

std::vector<std::uint8_t> Le32(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

void ExpectFields(const void* buffer, std::uint32_t size, const std::vector<FieldCase>& cases) {
  for (const FieldCase& c : cases) {
    std::array<std::uint8_t, 128> field;
    field.fill(0xEE);
    EXPECT_EQ(Cbh_GetField(buffer, size, c.id, field.data(), field.size()), c.status) << "id " << c.id;
    std::vector<std::uint8_t> leading(field.begin(), field.begin() + c.expected.size());
    EXPECT_EQ(leading, c.expected) << "id " << c.id;
  }
}

TEST(CbhGetField, ReadsEveryFieldOfAHeader) {
  const CbhHeader h = SampleHeader();
  const std::vector<std::uint8_t> comment(h.comment, h.comment + 23);
  ExpectFields(&h, sizeof h,
               {
                   {1, QELHW_ERROR_NOT_IMPLEMENTED, {0, 0, 0, 0}},
                   {2, QELHW_OK, Le32(h.firmwareSize)},
                   {3, QELHW_OK, Le32(h.firmwareChecksum)},
                   {4, QELHW_OK, comment},
                   {5, QELHW_OK, Le32(0x80000041)},
                   {9, QELHW_OK, {1, 17, 0, 5, 2}},
                   {10, QELHW_OK, Le32(1)},
                   {11, QELHW_OK, {30, 14, 9, 3, 0xE6, 0x07}},
                   {12, QELHW_OK, Le32(0x2270)},
                   {13, QELHW_OK, {45, 8, 11, 4, 0xE7, 0x07}},
                   {14, QELHW_OK, Le32(3)},
                   {6, QELHW_ERROR_NOT_IMPLEMENTED, {0, 0, 0, 0}},
                   {7, QELHW_ERROR_NOT_IMPLEMENTED, {0, 0, 0, 0}},
                   {8, QELHW_ERROR_NOT_IMPLEMENTED, {0, 0, 0, 0}},
                   {15, QELHW_ERROR_NOT_IMPLEMENTED, {0, 0, 0, 0}},
               });
}

TEST(CbhGetField, ReadsEveryFieldOfARecord) {
  const CbhFlashRecord r = SampleRecord(1234);
  std::vector<std::uint8_t> comment(r.comment, r.comment + std::strlen(r.comment) + 1);
  ExpectFields(&r, sizeof r,
               {
                   {1, QELHW_OK, Le32(0xA1B2C3D4)},
                   {2, QELHW_OK, Le32(0x400)},
                   {3, QELHW_OK, Le32(0x12345678)},
                   {4, QELHW_OK, comment},
                   {5, QELHW_OK, Le32(0x8001)},
                   {9, QELHW_OK, {4, 0, 0, 23, 1}},  // 1.23, third part 4, build 0
                   {10, QELHW_OK, Le32(5)},
                   {11, QELHW_OK, {10, 9, 7, 8, 0xE4, 0x07}},
                   {12, QELHW_ERROR_NOT_IMPLEMENTED, {0, 0, 0, 0}},
                   {13, QELHW_OK, {0, 0, 0, 0, 0, 0}},
                   {14, QELHW_OK, Le32(0)},
               });
}

TEST(CbhGetField, RefusesBadArgumentsAndClearsTheDestination) {
  const CbhHeader h = SampleHeader();
  std::array<std::uint8_t, 128> field;
  EXPECT_EQ(Cbh_GetField(nullptr, 186, 2, field.data(), 4), QELHW_ERROR_ARG_INVALID);
  EXPECT_EQ(Cbh_GetField(&h, 186, 2, nullptr, 4), QELHW_ERROR_ARG_INVALID);
  EXPECT_EQ(Cbh_GetField(&h, 0, 2, field.data(), 4), QELHW_ERROR_ARG_INVALID);
  EXPECT_EQ(Cbh_GetField(&h, 186, 2, field.data(), 0), QELHW_ERROR_ARG_INVALID);

  field.fill(0xEE);
  EXPECT_EQ(Cbh_GetField(&h, 186, 4, field.data(), 127), QELHW_ERROR_ARG_INVALID);
  EXPECT_EQ(field[0], 0);
  EXPECT_EQ(field[126], 0);
  EXPECT_EQ(field[127], 0xEE);
  EXPECT_EQ(Cbh_GetField(&h, 186, 11, field.data(), 5), QELHW_ERROR_ARG_INVALID);

  std::vector<std::uint8_t> junk(186, 0x33);
  field.fill(0xEE);
  EXPECT_EQ(Cbh_GetField(junk.data(), 186, 2, field.data(), 4), QELHW_ERROR_DATA_INVALID_HEADER);
  EXPECT_EQ(Word(field), 0u);
  // A header cut before its fields does not have them.
  EXPECT_EQ(Cbh_GetField(&h, 40, 2, field.data(), 4), QELHW_ERROR_DATA_INVALID_HEADER);
}

TEST(CbhGetField, CommentFollowsTheTextRule) {
  CbhHeader h = SampleHeader();
  std::memset(h.comment, 'c', sizeof h.comment);  // fills the field, no terminator
  std::array<char, 128> text;
  text.fill('x');
  ASSERT_EQ(Cbh_GetField(&h, sizeof h, 4, text.data(), text.size()), QELHW_OK);
  EXPECT_EQ(std::string(text.data(), 128), std::string(128, 'c'));

  char small[8];
  ASSERT_EQ(Cbh_GetComment(&h, sizeof h, small, sizeof small), QELHW_OK);
  EXPECT_EQ(std::string(small, 8), std::string(8, 'c'));  // cut, not terminated
  std::strcpy(h.comment, "abc");
  ASSERT_EQ(Cbh_GetComment(&h, sizeof h, small, sizeof small), QELHW_OK);
  EXPECT_STREQ(small, "abc");
}

TEST(CbhBuild, RecordBecomesAVersionOneHeader) {
  const CbhFlashRecord r = SampleRecord(1234);
  std::array<std::uint8_t, 186> bytes;
  bytes.fill(0xEE);
  ASSERT_EQ(Cbh_BuildFromFlashRecord(&r, bytes.data()), QELHW_OK);
  CbhHeader h;
  std::memcpy(&h, bytes.data(), sizeof h);
  EXPECT_EQ(std::memcmp(h.magic, "HABRIX_CBH", 10), 0);
  EXPECT_EQ(+h.headerVersion, 1);
  EXPECT_EQ(+h.headerSize, 186u);
  EXPECT_EQ(+h.firmwareChecksum, 0x12345678u);
  EXPECT_EQ(+h.firmwareSize, 0x400u);
  EXPECT_EQ(+h.optionBits, 0x8001u);
  EXPECT_EQ(+h.creationDate.year, 2020);
  EXPECT_EQ(+h.creationDate.minute, 10);
  EXPECT_EQ(+h.productVersion.major, 1);
  EXPECT_EQ(+h.productVersion.minor, 23);
  EXPECT_EQ(+h.productVersion.third, 4);
  EXPECT_STREQ(h.comment, "record comment");
  EXPECT_EQ(+h.productId, 0u);
  EXPECT_EQ(+h.componentId, 0);
  EXPECT_EQ(+h.firmwareId, 0u);
  EXPECT_EQ(+h.modifyDate.year, 0);

  CbhFlashRecord bad = SampleRecord(1234, 1959);
  EXPECT_EQ(Cbh_BuildFromFlashRecord(&bad, bytes.data()), QELHW_ERROR_ARG_INVALID);
  EXPECT_EQ(Cbh_BuildFromFlashRecord(nullptr, bytes.data()), QELHW_ERROR_NULL_PTR);
}

TEST(CbhReaders, HeaderReadersCheckMagicAndPointers) {
  const CbhHeader h = SampleHeader();
  std::uint32_t value = 0;
  EXPECT_EQ(Cbh_GetComponentId(&h, sizeof h, &value), QELHW_OK);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(Cbh_GetProductId(&h, sizeof h, &value), QELHW_OK);
  EXPECT_EQ(value, 9472u);
  EXPECT_EQ(Cbh_GetHeaderSize(&h, sizeof h, &value), QELHW_OK);
  EXPECT_EQ(value, 186u);
  EXPECT_EQ(Cbh_GetHeaderVersion(&h, sizeof h, &value), QELHW_OK);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(Cbh_GetCompatibilityVersion(&h, sizeof h, &value), QELHW_OK);
  EXPECT_EQ(value, 3u);
  value = 5;
  EXPECT_EQ(Cbh_GetRecordWord1(&h, sizeof h, &value), QELHW_ERROR_NOT_IMPLEMENTED);
  EXPECT_EQ(value, 0u);
  std::array<std::uint8_t, 6> date{};
  EXPECT_EQ(Cbh_GetModifyDate(&h, sizeof h, date.data(), 4), QELHW_OK);  // at most 6, here 4
  EXPECT_EQ(date, (std::array<std::uint8_t, 6>{45, 8, 11, 4, 0, 0}));

  const CbhFlashRecord record = SampleRecord();
  EXPECT_EQ(Cbh_GetChecksum(&record, sizeof record, &value), QELHW_ERROR_DATA_INVALID_HEADER);
  EXPECT_EQ(Cbh_GetChecksum(nullptr, 186, &value), QELHW_ERROR_NULL_PTR);
  EXPECT_EQ(Cbh_GetChecksum(&h, sizeof h, nullptr), QELHW_ERROR_NULL_PTR);
}

TEST(CbhReaders, RecordReadersFindTheRecord) {
  std::vector<std::uint8_t> buffer(150, 0);
  const CbhFlashRecord record = SampleRecord();
  std::memcpy(buffer.data() + 58, &record, sizeof record);
  std::uint32_t value = 9;
  EXPECT_EQ(Cbh_Record_GetChecksum(buffer.data(), 150, &value), QELHW_OK);
  EXPECT_EQ(value, 0x12345678u);
  EXPECT_EQ(Cbh_Record_GetHeaderSize(buffer.data(), 150, &value), QELHW_OK);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(Cbh_Record_GetRecordWord1(buffer.data(), 150, &value), QELHW_OK);
  EXPECT_EQ(value, 0xA1B2C3D4u);
  EXPECT_EQ(Cbh_Record_GetFirmwareId(buffer.data(), 150, &value), QELHW_ERROR_NOT_IMPLEMENTED);
  char comment[20];
  EXPECT_EQ(Cbh_Record_GetComment(buffer.data(), 150, comment, sizeof comment), QELHW_OK);
  EXPECT_STREQ(comment, "record comment");
  EXPECT_EQ(Cbh_Record_GetChecksum(buffer.data(), 149, &value), QELHW_ERROR_DATA_INVALID_HEADER);
  EXPECT_EQ(Cbh_Record_GetChecksum(nullptr, 150, &value), QELHW_ERROR_NULL_PTR);
}

}  // namespace
