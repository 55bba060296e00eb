// The keyed text form of a firmware header: one configuration value per
// field, under a key of the local-machine root (in the options file when the
// library runs in options-file mode).
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "driver/user/Cbh.h"
#include "driver/user/CbhBytes.h"
#include "qellib/QelWinRegistry.h"

using namespace cbh_detail;

namespace {

constexpr std::uint32_t kRoot = CbhKeyedText::kRoot;

QelHwStatus read_number(const char* key, const char* name, std::uint32_t* value) {
  std::uint32_t size = sizeof *value;
  *value = 0;
  return QelWinReadRegistry(kRoot, key, name, kQelWinTypeDword, value, &size);
}

QelHwStatus read_string(const char* key, const char* name, char* text, std::uint32_t size) {
  std::memset(text, 0, size);
  std::uint32_t length = size;
  return QelWinReadRegistry(kRoot, key, name, kQelWinTypeString, text, &length);
}

QelHwStatus write_number(const char* key, const char* name, std::uint32_t value) {
  return QelWinWriteRegistry(kRoot, key, name, kQelWinTypeDword, &value, sizeof value);
}

QelHwStatus write_string(const char* key, const char* name, const char* text) {
  return QelWinWriteRegistry(kRoot, key, name, kQelWinTypeString, text,
                             static_cast<std::uint32_t>(std::strlen(text) + 1));
}

// A date value is taken only when all five numbers scan.
QelHwStatus read_date(const char* key, const char* name, std::uint8_t* date) {
  std::array<char, 64> text{};
  const QelHwStatus status = read_string(key, name, text.data(), text.size() - 1);
  if (status != QELHW_OK) return status;
  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0;
  if (std::sscanf(text.data(), CbhKeyedText::kDateFormat, &year, &month, &day, &hour, &minute) == 5) {
    date[offsetof(CbhDate, minute)] = static_cast<std::uint8_t>(minute);
    date[offsetof(CbhDate, hour)] = static_cast<std::uint8_t>(hour);
    date[offsetof(CbhDate, day)] = static_cast<std::uint8_t>(day);
    date[offsetof(CbhDate, month)] = static_cast<std::uint8_t>(month);
    store_u16(date + offsetof(CbhDate, year), static_cast<std::uint16_t>(year));
  }
  return QELHW_OK;
}

QelHwStatus read_version(const char* key, std::uint8_t* version) {
  std::array<char, 64> text{};
  const QelHwStatus status = read_string(key, CbhKeyedText::kProductVersion, text.data(), text.size() - 1);
  if (status != QELHW_OK) return status;
  int major = 0, minor = 0, third = 0, build = 0;
  if (std::sscanf(text.data(), CbhKeyedText::kVersionFormat, &major, &minor, &third, &build) == 4) {
    version[offsetof(CbhVersion, third)] = static_cast<std::uint8_t>(third);
    store_u16(version + offsetof(CbhVersion, build), static_cast<std::uint16_t>(build));
    version[offsetof(CbhVersion, minor)] = static_cast<std::uint8_t>(minor);
    version[offsetof(CbhVersion, major)] = static_cast<std::uint8_t>(major);
  }
  return QELHW_OK;
}

QelHwStatus read_word_into(const char* key, const char* name, std::uint8_t* field, bool sixteenBits) {
  std::uint32_t value = 0;
  const QelHwStatus status = read_number(key, name, &value);
  if (status != QELHW_OK) return status;
  if (sixteenBits)
    store_u16(field, static_cast<std::uint16_t>(value));
  else
    store_u32(field, value);
  return QELHW_OK;
}

QelHwStatus read_file_name(const char* key, char* fileName, std::uint32_t size) {
  std::array<char, CbhKeyedText::kFileNameSize + 1> text{};
  const QelHwStatus status = read_string(key, CbhKeyedText::kFileName, text.data(), CbhKeyedText::kFileNameSize);
  if (status != QELHW_OK || size == 0) return status;
  const std::uint32_t room = std::min(size, CbhKeyedText::kFileNameSize);
  const std::size_t length = std::min<std::size_t>(std::strlen(text.data()), room - 1);
  std::memcpy(fileName, text.data(), length);
  fileName[length] = '\0';
  fileName[size - 1] = '\0';
  return QELHW_OK;
}

QelHwStatus read_header(const char* key, std::uint8_t* h) {
  std::memset(h, 0, kCbhHeaderSize);
  store_u32(h + offsetof(CbhHeader, headerSize), kCbhHeaderSize);
  std::uint32_t headerVersion = 0;
  QelHwStatus status = read_number(key, CbhKeyedText::kHeaderVersion, &headerVersion);
  if (status != QELHW_OK) return status;
  if (headerVersion != 0) {
    std::memcpy(h, kCbhMagic.data(), kCbhMagic.size());
    h[offsetof(CbhHeader, headerVersion)] = static_cast<std::uint8_t>(headerVersion);
    status = read_date(key, CbhKeyedText::kCreationDate, h + offsetof(CbhHeader, creationDate));
    if (status != QELHW_OK) return status;
  }
  if ((status = read_date(key, CbhKeyedText::kModifyDate, h + offsetof(CbhHeader, modifyDate))) != QELHW_OK)
    return status;
  if ((status = read_version(key, h + offsetof(CbhHeader, productVersion))) != QELHW_OK) return status;

  struct Word {
    const char* name;
    std::uint32_t offset;
    bool sixteenBits;
  };
  constexpr std::array<Word, 7> kWords{{
      {CbhKeyedText::kProductId, offsetof(CbhHeader, productId), false},
      {CbhKeyedText::kComponentId, offsetof(CbhHeader, componentId), true},
      {CbhKeyedText::kCompatibilityVersion, offsetof(CbhHeader, compatibilityVersion), false},
      {CbhKeyedText::kFirmwareId, offsetof(CbhHeader, firmwareId), false},
      {CbhKeyedText::kFirmwareChecksum, offsetof(CbhHeader, firmwareChecksum), false},
      {CbhKeyedText::kFirmwareSize, offsetof(CbhHeader, firmwareSize), false},
      {CbhKeyedText::kOptionBit, offsetof(CbhHeader, optionBits), false},
  }};
  for (const Word& word : kWords)
    if ((status = read_word_into(key, word.name, h + word.offset, word.sixteenBits)) != QELHW_OK) return status;

  std::array<char, kCbhCommentSize> comment{};
  status = read_string(key, CbhKeyedText::kComment, comment.data(), kCbhCommentSize);
  if (status == QELHW_OK) std::memcpy(h + offsetof(CbhHeader, comment), comment.data(), kCbhCommentSize);
  return status;
}

void format_date(const std::uint8_t* date, char* text, std::size_t size) {
  std::snprintf(text, size, CbhKeyedText::kDateFormat, unsigned{load_u16(date + offsetof(CbhDate, year))},
                unsigned{date[offsetof(CbhDate, month)]}, unsigned{date[offsetof(CbhDate, day)]},
                unsigned{date[offsetof(CbhDate, hour)]}, unsigned{date[offsetof(CbhDate, minute)]});
}

}  // namespace

QelHwStatus Cbh_ReadHeaderInfo(const char* key, void* header, char* fileName, std::uint32_t fileNameSize) {
  if (key == nullptr) return QELHW_ERROR_NULL_PTR;
  if (fileName != nullptr) {
    const QelHwStatus status = read_file_name(key, fileName, fileNameSize);
    if (status != QELHW_OK) return status;
  }
  if (header == nullptr) return QELHW_OK;
  return read_header(key, static_cast<std::uint8_t*>(header));
}

QelHwStatus Cbh_WriteHeaderInfo(const char* key, const void* header) {
  if (key == nullptr || header == nullptr) return QELHW_ERROR_NULL_PTR;
  const auto* h = static_cast<const std::uint8_t*>(header);
  char created[32];
  char modified[32];
  char version[48];
  format_date(h + offsetof(CbhHeader, creationDate), created, sizeof created);
  format_date(h + offsetof(CbhHeader, modifyDate), modified, sizeof modified);
  const std::uint8_t* v = h + offsetof(CbhHeader, productVersion);
  std::snprintf(version, sizeof version, CbhKeyedText::kVersionFormat, int{v[offsetof(CbhVersion, major)]},
                int{v[offsetof(CbhVersion, minor)]}, int{v[offsetof(CbhVersion, third)]},
                int{load_u16(v + offsetof(CbhVersion, build))});
  std::array<char, kCbhCommentSize + 1> comment{};
  std::memcpy(comment.data(), h + offsetof(CbhHeader, comment), kCbhCommentSize);

  QelHwStatus status = write_number(key, CbhKeyedText::kHeaderVersion, h[offsetof(CbhHeader, headerVersion)]);
  if (status == QELHW_OK) status = write_string(key, CbhKeyedText::kCreationDate, created);
  if (status == QELHW_OK) status = write_string(key, CbhKeyedText::kModifyDate, modified);
  if (status == QELHW_OK) status = write_string(key, CbhKeyedText::kProductVersion, version);
  struct Word {
    const char* name;
    std::uint32_t value;
  };
  const std::array<Word, 7> words{{
      {CbhKeyedText::kProductId, load_u32(h + offsetof(CbhHeader, productId))},
      {CbhKeyedText::kComponentId, load_u16(h + offsetof(CbhHeader, componentId))},
      {CbhKeyedText::kCompatibilityVersion, load_u32(h + offsetof(CbhHeader, compatibilityVersion))},
      {CbhKeyedText::kFirmwareId, load_u32(h + offsetof(CbhHeader, firmwareId))},
      {CbhKeyedText::kFirmwareChecksum, load_u32(h + offsetof(CbhHeader, firmwareChecksum))},
      {CbhKeyedText::kFirmwareSize, load_u32(h + offsetof(CbhHeader, firmwareSize))},
      {CbhKeyedText::kOptionBit, load_u32(h + offsetof(CbhHeader, optionBits))},
  }};
  for (const Word& word : words)
    if (status == QELHW_OK) status = write_number(key, word.name, word.value);
  if (status == QELHW_OK) status = write_string(key, CbhKeyedText::kComment, comment.data());
  return status;
}

QelHwStatus Cbh_StoreFileHeader(const char* key, const char* filePath) {
  if (key == nullptr || filePath == nullptr) return QELHW_ERROR_NULL_PTR;
  std::array<std::uint8_t, kCbhHeaderSize> header{};
  QelHwStatus status = Cbh_ReadHeaderFromFile(filePath, header.data());
  if (status != QELHW_OK) return status;
  status = write_string(key, CbhKeyedText::kFileName, filePath);
  if (status != QELHW_OK) return status;
  return Cbh_WriteHeaderInfo(key, header.data());
}
