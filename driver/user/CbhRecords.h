// The firmware header in its two fixed layouts: the 186-byte header that
// starts a firmware file or sits in a flash header slot, and the older
// 92-byte record that ends a firmware file. Both are packed little-endian
// records that travel in files, in flash and between processes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::array<char, 10> kCbhMagic{'H', 'A', 'B', 'R', 'I', 'X', '_', 'C', 'B', 'H'};
inline constexpr std::uint32_t kCbhHeaderSize = 186;
inline constexpr std::uint32_t kCbhFlashRecordSize = 92;
inline constexpr std::uint32_t kCbhCommentSize = 128;
inline constexpr std::uint32_t kCbhRecordCommentSize = 60;
// The version a header gets when it is built from a record.
inline constexpr std::uint8_t kCbhRecordHeaderVersion = 1;
// Work buffers of the file readers and of the text form: a header larger
// than this is refused.
inline constexpr std::uint32_t kCbhWorkBufferSize = 256;

// Form codes of Cbh_GetForm and Cbh_Locate.
inline constexpr std::uint32_t kCbhFormRecord = 1;
inline constexpr std::uint32_t kCbhFormHeader = 2;

// Field identifiers of Cbh_GetField.
inline constexpr std::uint32_t kCbhFieldRecordWord1 = 1;
inline constexpr std::uint32_t kCbhFieldFirmwareSize = 2;
inline constexpr std::uint32_t kCbhFieldChecksum = 3;
inline constexpr std::uint32_t kCbhFieldComment = 4;
inline constexpr std::uint32_t kCbhFieldOptionBits = 5;
inline constexpr std::uint32_t kCbhFieldProductVersion = 9;
inline constexpr std::uint32_t kCbhFieldHeaderVersion = 10;
inline constexpr std::uint32_t kCbhFieldCreationDate = 11;
inline constexpr std::uint32_t kCbhFieldFirmwareId = 12;
inline constexpr std::uint32_t kCbhFieldModifyDate = 13;
inline constexpr std::uint32_t kCbhFieldCompatibilityVersion = 14;

// Bits of Cbh_CompareDates and Cbh_CompareHeaders.
inline constexpr std::uint32_t kCbhDateOlder = 64;
inline constexpr std::uint32_t kCbhDateNewer = 128;
inline constexpr std::uint32_t kCbhHeadersDiffer = 8;
inline constexpr std::uint32_t kCbhHeadersDateDiffer = 16;
inline constexpr std::uint32_t kCbhHeadersContentDiffer = 16;

#pragma pack(push, 1)

struct CbhDate {
  std::uint8_t minute;
  std::uint8_t hour;
  std::uint8_t day;
  std::uint8_t month;
  std::uint16_t year;
};
static_assert(sizeof(CbhDate) == 6);
static_assert(offsetof(CbhDate, minute) == 0);
static_assert(offsetof(CbhDate, hour) == 1);
static_assert(offsetof(CbhDate, day) == 2);
static_assert(offsetof(CbhDate, month) == 3);
static_assert(offsetof(CbhDate, year) == 4);

struct CbhVersion {
  std::uint8_t third;
  std::uint16_t build;
  std::uint8_t minor;
  std::uint8_t major;
};
static_assert(sizeof(CbhVersion) == 5);
static_assert(offsetof(CbhVersion, third) == 0);
static_assert(offsetof(CbhVersion, build) == 1);
static_assert(offsetof(CbhVersion, minor) == 3);
static_assert(offsetof(CbhVersion, major) == 4);

struct CbhHeader {
  char magic[10];
  std::uint8_t headerVersion;
  std::uint32_t headerSize;
  CbhDate creationDate;
  CbhDate modifyDate;
  CbhVersion productVersion;
  std::uint32_t productId;
  std::uint16_t componentId;
  std::uint32_t compatibilityVersion;
  std::uint32_t firmwareId;
  std::uint32_t firmwareChecksum;
  std::uint32_t firmwareSize;
  std::uint32_t optionBits;
  char comment[kCbhCommentSize];
};
static_assert(sizeof(CbhHeader) == kCbhHeaderSize);
static_assert(offsetof(CbhHeader, magic) == 0);
static_assert(offsetof(CbhHeader, headerVersion) == 10);
static_assert(offsetof(CbhHeader, headerSize) == 11);
static_assert(offsetof(CbhHeader, creationDate) == 15);
static_assert(offsetof(CbhHeader, modifyDate) == 21);
static_assert(offsetof(CbhHeader, productVersion) == 27);
static_assert(offsetof(CbhHeader, productId) == 32);
static_assert(offsetof(CbhHeader, componentId) == 36);
static_assert(offsetof(CbhHeader, compatibilityVersion) == 38);
static_assert(offsetof(CbhHeader, firmwareId) == 42);
static_assert(offsetof(CbhHeader, firmwareChecksum) == 46);
static_assert(offsetof(CbhHeader, firmwareSize) == 50);
static_assert(offsetof(CbhHeader, optionBits) == 54);
static_assert(offsetof(CbhHeader, comment) == 58);

// Words 0, 2 and the record word 1 belong to the tools that write records:
// they are carried, never interpreted.
struct CbhFlashRecord {
  std::uint32_t word0;
  std::uint32_t word1;
  std::uint32_t word2;
  char comment[kCbhRecordCommentSize];
  std::uint16_t optionBits;
  std::uint8_t day;
  std::uint8_t month;
  std::uint16_t year;
  std::uint8_t hour;
  std::uint8_t minute;
  std::uint16_t version;  // major x 1000 + minor x 10 + third part
  std::uint16_t headerVersion;
  std::uint32_t firmwareChecksum;
  std::uint32_t firmwareSize;
};
static_assert(sizeof(CbhFlashRecord) == kCbhFlashRecordSize);
static_assert(offsetof(CbhFlashRecord, word0) == 0);
static_assert(offsetof(CbhFlashRecord, word1) == 4);
static_assert(offsetof(CbhFlashRecord, word2) == 8);
static_assert(offsetof(CbhFlashRecord, comment) == 12);
static_assert(offsetof(CbhFlashRecord, optionBits) == 72);
static_assert(offsetof(CbhFlashRecord, day) == 74);
static_assert(offsetof(CbhFlashRecord, month) == 75);
static_assert(offsetof(CbhFlashRecord, year) == 76);
static_assert(offsetof(CbhFlashRecord, hour) == 78);
static_assert(offsetof(CbhFlashRecord, minute) == 79);
static_assert(offsetof(CbhFlashRecord, version) == 80);
static_assert(offsetof(CbhFlashRecord, headerVersion) == 82);
static_assert(offsetof(CbhFlashRecord, firmwareChecksum) == 84);
static_assert(offsetof(CbhFlashRecord, firmwareSize) == 88);

#pragma pack(pop)

// The keyed text form: one value per field under a key of the local-machine
// root, in this order (the order in which Cbh_WriteHeaderInfo writes them).
struct CbhKeyedValue {
  const char* name;
  std::uint32_t type;  // 0 a 32-bit number, 1 a string
};
struct CbhKeyedText {
  static constexpr std::uint32_t kRoot = 3;
  static constexpr std::uint32_t kFileNameSize = 256;
  static constexpr const char* kFileName = "FileName";
  static constexpr const char* kHeaderVersion = "Header Version";
  static constexpr const char* kCreationDate = "Creation Date";
  static constexpr const char* kModifyDate = "Modify Date";
  static constexpr const char* kProductVersion = "Product Version";
  static constexpr const char* kProductId = "Product ID";
  static constexpr const char* kComponentId = "Component ID";
  static constexpr const char* kCompatibilityVersion = "Compatibility Version";
  static constexpr const char* kFirmwareId = "Firmware ID";
  static constexpr const char* kFirmwareChecksum = "Firmware Checksum";
  static constexpr const char* kFirmwareSize = "Firmware Size";
  static constexpr const char* kOptionBit = "Option Bit";
  static constexpr const char* kComment = "Comment";
  static constexpr const char* kDateFormat = "%04u/%02u/%02u %02u:%02u";
  static constexpr const char* kVersionFormat = "%d.%d.%d.%d";
  static constexpr std::array<CbhKeyedValue, 13> kValues{{
      {kFileName, 1},
      {kHeaderVersion, 0},
      {kCreationDate, 1},
      {kModifyDate, 1},
      {kProductVersion, 1},
      {kProductId, 0},
      {kComponentId, 0},
      {kCompatibilityVersion, 0},
      {kFirmwareId, 0},
      {kFirmwareChecksum, 0},
      {kFirmwareSize, 0},
      {kOptionBit, 0},
      {kComment, 1},
  }};
};
static_assert(CbhKeyedText::kValues.size() == 13);
