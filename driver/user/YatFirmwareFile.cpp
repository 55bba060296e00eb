// Firmware copies between a file and a flash section. A load checks the
// file's header against the board and the section before anything is
// written, then programs the content and, for a named section, records the
// header in the section's slot and the file in the configuration store.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include "driver/user/Cbh.h"
#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatFlash.h"
#include "driver/user/YatLibrary.h"
#include "platform/win/paths.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kAnySection = 0xFFFFFFFF;
constexpr std::uint32_t kCompatibilityOffset = 17;
constexpr std::uint32_t kSaveChunk = 0x100000;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenFile(const char* path, const char* mode) {
  if (path == nullptr || path[0] == '\0') return File{};
  return File{std::fopen(plat::native_path(path).c_str(), mode)};
}

bool NamedSection(std::uint32_t section) { return section != YAT_FLASH_SECTION_TEST && section != YAT_FLASH_SECTION_ALL; }

std::uint32_t SlotOffset(std::uint32_t section) { return YAT_FLASH_HEADER_AREA + section * YAT_FLASH_SLOT_SIZE; }

QelHwStatus ReadWholeFile(File file, std::vector<std::uint8_t>* image) {
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return QELHW_ERROR_FILE_SEEK;
  const long length = std::ftell(file.get());
  if (length < 0 || static_cast<unsigned long>(length) >= 0xFFFFFFFFul) return QELHW_ERROR_FILE_TELL;
  try {
    image->resize(static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  std::rewind(file.get());
  image->resize(std::fread(image->data(), 1, image->size(), file.get()));
  return std::fclose(file.release()) == 0 ? QELHW_OK : QELHW_ERROR_FILE_CLOSE;
}

struct Content {
  CbhHeader header{};
  const std::uint8_t* bytes = nullptr;
  std::uint32_t size = 0;
};

// The header and the content it describes; a header that claims more bytes
// than the file holds is refused.
QelHwStatus FindContent(const std::vector<std::uint8_t>& image, Content* content) {
  const void* found = nullptr;
  std::uint32_t foundSize = 0, form = 0;
  QelHwStatus status = Cbh_Locate(image.data(), static_cast<std::uint32_t>(image.size()), &found, &foundSize, &form);
  if (status != QELHW_OK) return status;
  if (form == kCbhFormHeader) {
    std::memcpy(&content->header, found, sizeof content->header);
    const std::uint32_t headerSize = content->header.headerSize;
    const std::uint64_t start = std::min(headerSize, kCbhWorkBufferSize);
    if (start + std::uint64_t{content->header.firmwareSize} > image.size()) return QELHW_ERROR_FILE_INVALID;
    content->bytes = image.data() + start;
  } else {
    status = Cbh_BuildFromFlashRecord(found, &content->header);
    if (status != QELHW_OK) return status;
    if (content->header.firmwareSize > image.size() - kCbhFlashRecordSize) return QELHW_ERROR_FILE_INVALID;
    content->bytes = image.data();
  }
  content->size = content->header.firmwareSize;
  return QELHW_OK;
}

QelHwStatus CheckHeader(std::uint32_t board, std::uint32_t section, const CbhHeader& header) {
  const int b = static_cast<int>(board);
  if (header.productId != YAT_FIRMWARE_PRODUCT_ID) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: Board %d, Load Firmware: CBH ProductId [0x%x] does not match Product [0x%x].", kPardowLabel, b,
              header.productId, YAT_FIRMWARE_PRODUCT_ID);
    return QELHW_ERROR_FILE_INVALID;
  }
  const std::uint32_t boardCompatibility = Yat_GetBoardEntry(board)->eeprom[0][kCompatibilityOffset];
  if (header.compatibilityVersion < boardCompatibility) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: Board %d, Load Firmware: CBH Compatibility Version [%d] is older than board Compatibility Version "
              "[%d].",
              kPardowLabel, b, static_cast<int>(header.compatibilityVersion), static_cast<int>(boardCompatibility));
    return QELHW_ERROR_FILE_INVALID;
  }
  if (header.componentId != section) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: Board %d, Load Firmware: CBH ComponentId [0x%x] does not match destination ComponentId [0x%x].",
              kPardowLabel, b, header.componentId, section);
    return QELHW_ERROR_FILE_INVALID;
  }
  return QELHW_OK;
}

QelHwStatus CheckRoom(std::uint32_t board, std::uint32_t section, std::uint32_t size, const YatFlashSection** row) {
  const int b = static_cast<int>(board);
  if (Yat_Flash_GetSection(board, section, row) != QELHW_OK || (*row)->size == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: Board %d, Load Firmware: Component ID [0x%x] is invalid, no flash size assigned.", kPardowLabel, b,
              section);
    return QELHW_ERROR_ARG_INVALID;
  }
  if (size > (*row)->size) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: Board %d, Load Firmware: CBF content size bigger than flash section: %d vs %d.", kPardowLabel, b,
              static_cast<int>(size), static_cast<int>((*row)->size));
    return QELHW_ERROR_RESOURCE_TOO_LARGE;
  }
  return QELHW_OK;
}

QelHwStatus EraseSlot(std::uint32_t board, std::uint32_t section) {
  std::uint8_t erased[YAT_FLASH_SLOT_SIZE];
  std::memset(erased, 0xFF, sizeof erased);
  return Yat_Flash_WriteVerifyData(board, SlotOffset(section), sizeof erased, erased);
}

QelHwStatus WriteSlot(std::uint32_t board, std::uint32_t section, const YatFlashSection& row, const CbhHeader& header) {
  std::uint8_t slot[YAT_FLASH_SLOT_HEADER + sizeof header];
  const std::uint32_t prefix[3] = {YAT_FLASH_SLOT_MAGIC, YAT_FLASH_SLOT_HEADER, row.offset};
  std::memcpy(slot, prefix, sizeof prefix);
  std::memcpy(slot + YAT_FLASH_SLOT_HEADER, &header, sizeof header);
  return Yat_Flash_WriteVerifyData(board, SlotOffset(section), sizeof slot, slot);
}

// The board's configuration now comes from a file loaded by hand.
QelHwStatus MarkManuallyLoaded(std::uint32_t board) {
  QelMultiFirmwareCfgInfo info{};
  info.size = sizeof info;
  const QelHwStatus status = Yat_Man_GetMultiFirmwareConfig(board, &info, sizeof info);
  if (status != QELHW_OK || (info.flags & QEL_MULTI_FW_MANUALLY_LOADED) != 0) return status;
  info.flags |= QEL_MULTI_FW_MANUALLY_LOADED;
  return Yat_Man_SetMultiFirmwareConfig(board, &info, sizeof info);
}

QelHwStatus Load(std::uint32_t board, std::uint32_t section, const char* file) {
  File in = OpenFile(file, "rb");
  if (!in) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Board %d, Load Firmware: Could not open file", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_FILE_OPEN;
  }
  std::vector<std::uint8_t> image;
  QelHwStatus status = ReadWholeFile(std::move(in), &image);
  Content content;
  if (status == QELHW_OK) status = FindContent(image, &content);
  if (status != QELHW_OK) return status;
  if (section == kAnySection) section = content.header.componentId;
  status = CheckHeader(board, section, content.header);
  const YatFlashSection* row = nullptr;
  if (status == QELHW_OK) status = CheckRoom(board, section, content.size, &row);
  const bool named = NamedSection(section);
  if (status == QELHW_OK && named) status = EraseSlot(board, section);
  if (status == QELHW_OK) status = Yat_Flash_WriteVerifyData(board, row->offset, content.size, content.bytes);
  if (status == QELHW_OK && named) status = WriteSlot(board, section, *row, content.header);
  if (status == QELHW_OK && named) status = Yat_Man_SetFpgaFileName(board, section, file);
  if (status == QELHW_OK && named) status = MarkManuallyLoaded(board);
  return status;
}

void FillSynthesizedHeader(std::uint32_t section, const YatFlashSection& row, CbhHeader* header) {
  *header = CbhHeader{};
  std::memcpy(header->magic, kCbhMagic.data(), kCbhMagic.size());
  header->headerVersion = 1;
  header->headerSize = kCbhHeaderSize;
  std::snprintf(header->comment, sizeof header->comment, "%s", "Tramond-CL_RZ6");
  header->productId = YAT_FIRMWARE_PRODUCT_ID;
  header->componentId = static_cast<std::uint16_t>(section);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const CbhDate date{static_cast<std::uint8_t>(local.tm_min), static_cast<std::uint8_t>(local.tm_hour),
                     static_cast<std::uint8_t>(local.tm_mday), static_cast<std::uint8_t>(local.tm_mon + 1),
                     static_cast<std::uint16_t>(local.tm_year + 1900)};
  header->creationDate = date;
  header->modifyDate = date;
  header->firmwareSize = row.size;
}

QelHwStatus SaveHeader(std::uint32_t board, std::uint32_t section, const YatFlashSection& row, CbhHeader* header,
                       std::FILE* out) {
  if (!NamedSection(section)) {
    FillSynthesizedHeader(section, row, header);
  } else {
    std::uint8_t slot[YAT_FLASH_SLOT_SIZE];
    const QelHwStatus status = Yat_Flash_ReadData(board, SlotOffset(section), sizeof slot, slot);
    if (status != QELHW_OK) return status;
    if (!Cbh_IsValid(slot + YAT_FLASH_SLOT_HEADER, sizeof slot - YAT_FLASH_SLOT_HEADER)) {
      LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_Man_Save_Firmware: CBH header invalid or empty.",
                kPardowLabel);
      return QELHW_ERROR_RESOURCE_MISSING;
    }
    std::memcpy(header, slot + YAT_FLASH_SLOT_HEADER, sizeof *header);
  }
  return std::fwrite(header, sizeof *header, 1, out) == 1 ? QELHW_OK : QELHW_ERROR_FILE_WRITE;
}

QelHwStatus SaveContent(std::uint32_t board, std::uint32_t section, const YatFlashSection& row, CbhHeader* header,
                        std::FILE* out) {
  if (header->firmwareSize > row.size) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_Man_Save_Firmware: Firmware size > flash location selected.",
              kPardowLabel);
    return QELHW_ERROR_RESOURCE_CORRUPTED;
  }
  const std::uint32_t total = header->firmwareSize;
  std::vector<std::uint8_t> chunk(std::min(total, kSaveChunk));
  for (std::uint32_t done = 0; done < total;) {
    const std::uint32_t count = std::min(total - done, kSaveChunk);
    QelHwStatus status = Yat_Flash_ReadData(board, row.offset + done, count, chunk.data());
    if (status != QELHW_OK) return status;
    if (section == YAT_FLASH_SECTION_ALL)
      for (std::uint32_t i = 0; i < count; ++i) header->firmwareChecksum += static_cast<std::int8_t>(chunk[i]);
    if (std::fwrite(chunk.data(), 1, count, out) != count) return QELHW_ERROR_FILE_WRITE;
    done += count;
  }
  if (section != YAT_FLASH_SECTION_ALL) return QELHW_OK;
  if (std::fseek(out, 0, SEEK_SET) != 0) return QELHW_ERROR_FILE_SEEK;
  return std::fwrite(header, sizeof *header, 1, out) == 1 ? QELHW_OK : QELHW_ERROR_FILE_WRITE;
}

}  // namespace

PARDOW_API QelHwStatus Yat_Man_Load_Firmware(std::uint32_t board, std::uint32_t section, const char* file) {
  if (Yat_GetBoardEntry(board) == nullptr) return QELHW_ERROR_ARG_INVALID;
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Board %d, Loading Firmware, file = %s", kPardowLabel,
            static_cast<int>(board), file == nullptr ? "" : file);
  const QelHwStatus status = Load(board, section, file);
  if (status != QELHW_OK)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Board %d, Load Firmware status %x", kPardowLabel,
              static_cast<int>(board), static_cast<unsigned>(status));
  else
    LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Board %d, Load Firmware Successful", kPardowLabel,
              static_cast<int>(board));
  return status;
}

PARDOW_API QelHwStatus Yat_Man_Save_Firmware(std::uint32_t board, std::uint32_t section, const char* file) {
  if (Yat_GetBoardEntry(board) == nullptr) return QELHW_ERROR_ARG_INVALID;
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Yat_Man_Save_Firmware, file = %s", kPardowLabel,
            file == nullptr ? "" : file);
  const YatFlashSection* row = nullptr;
  if (Yat_Flash_GetSection(board, section, &row) != QELHW_OK) return QELHW_ERROR_ARG_INVALID;
  File out = OpenFile(file, "wb");
  if (!out) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_Man_Save_Firmware, Could not open file.", kPardowLabel);
    return QELHW_ERROR_FILE_OPEN;
  }
  CbhHeader header{};
  QelHwStatus status = SaveHeader(board, section, *row, &header, out.get());
  if (status == QELHW_OK) status = SaveContent(board, section, *row, &header, out.get());
  if (std::fclose(out.release()) != 0 && status == QELHW_OK) status = QELHW_ERROR_FILE_CLOSE;
  return status;
}
