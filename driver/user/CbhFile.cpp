// Reading the firmware header of a firmware file: a header at the start of
// the file, or a record in its last 92 bytes.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "driver/user/Cbh.h"
#include "driver/user/CbhBytes.h"
#include "platform/win/paths.h"

using namespace cbh_detail;

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

QelHwStatus read_at(std::FILE* file, long offset, void* data, std::uint32_t size) {
  if (std::fseek(file, offset, SEEK_SET) != 0) return QELHW_ERROR_FILE_SEEK;
  if (size != 0 && std::fread(data, 1, size, file) != size) return QELHW_ERROR_FILE_READ;
  return QELHW_OK;
}

// Finds the header or the record of the open file and reads it into `work`;
// form 0 when the file has neither.
QelHwStatus read_form(std::FILE* file, std::array<std::uint8_t, kCbhWorkBufferSize>& work,
                      std::uint32_t* foundSize, std::uint32_t* foundForm) {
  QelHwStatus status = read_at(file, 0, work.data(), kCbhMagic.size());
  if (status != QELHW_OK) return status;

  if (Cbh_IsValid(work.data(), kCbhMagic.size())) {
    std::uint8_t sizeField[4];
    status = read_at(file, offsetof(CbhHeader, headerSize), sizeField, sizeof sizeField);
    if (status != QELHW_OK) return status;
    const std::uint32_t headerSize = load_u32(sizeField);
    if (headerSize > kCbhWorkBufferSize) return QELHW_ERROR_INSUFFICIENT_MEMORY;
    status = read_at(file, 0, work.data(), headerSize);
    if (status != QELHW_OK) return status;
    *foundSize = headerSize;
    *foundForm = kCbhFormHeader;
    return QELHW_OK;
  }

  if (std::fseek(file, 0, SEEK_END) != 0) return QELHW_ERROR_FILE_SEEK;
  const long end = std::ftell(file);
  if (end < 0 || static_cast<unsigned long>(end) > 0xFFFFFFFEul) return QELHW_ERROR_FILE_TELL;
  if (end < static_cast<long>(kCbhFlashRecordSize)) return QELHW_ERROR_FILE_SEEK;
  status = read_at(file, end - static_cast<long>(kCbhFlashRecordSize), work.data(), kCbhFlashRecordSize);
  if (status != QELHW_OK) return status;
  if (Cbh_IsValidFlashRecord(work.data(), kCbhFlashRecordSize, nullptr)) {
    *foundSize = kCbhFlashRecordSize;
    *foundForm = kCbhFormRecord;
  }
  return QELHW_OK;
}

}  // namespace

QelHwStatus Cbh_ReadFromFile(const char* path, void* buffer, std::uint32_t bufferSize,
                             std::uint32_t* size, std::uint32_t* form) {
  if (path == nullptr || path[0] == '\0' || buffer == nullptr || size == nullptr)
    return QELHW_ERROR_NULL_PTR;
  File file(std::fopen(plat::native_path(path).c_str(), "rb"));
  if (!file) return QELHW_ERROR_FILE_OPEN;

  std::array<std::uint8_t, kCbhWorkBufferSize> work{};
  std::uint32_t foundSize = 0;
  std::uint32_t foundForm = 0;
  const QelHwStatus status = read_form(file.get(), work, &foundSize, &foundForm);
  if (status != QELHW_OK || foundForm == 0) return status;
  if (foundSize > bufferSize) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  std::memcpy(buffer, work.data(), foundSize);
  *size = foundSize;
  if (form != nullptr) *form = foundForm;
  return QELHW_OK;
}

QelHwStatus Cbh_ReadHeaderFromFileEx(const char* path, void* header, std::uint32_t outSize) {
  if (header == nullptr) return QELHW_ERROR_NULL_PTR;
  std::memset(header, 0, outSize);
  std::array<std::uint8_t, kCbhWorkBufferSize> buffer{};
  std::uint32_t size = 0;
  std::uint32_t form = 0;
  QelHwStatus status = Cbh_ReadFromFile(path, buffer.data(), kCbhWorkBufferSize, &size, &form);
  if (status != QELHW_OK) return status;
  if (form == kCbhFormHeader) {
    std::memcpy(header, buffer.data(), std::min(size, outSize));
    return QELHW_OK;
  }
  // The conversion writes a whole header: a shorter output gets its part.
  std::array<std::uint8_t, kCbhHeaderSize> built{};
  status = Cbh_BuildFromFlashRecord(buffer.data(), built.data());
  if (status == QELHW_OK) std::memcpy(header, built.data(), std::min(kCbhHeaderSize, outSize));
  return status;
}

QelHwStatus Cbh_ReadHeaderFromFile(const char* path, void* header) {
  return Cbh_ReadHeaderFromFileEx(path, header, kCbhHeaderSize);
}

QelHwStatus Cbh_FormatFileVersionInfo(const char* path, char* text, std::uint32_t textSize) {
  std::array<std::uint8_t, kCbhWorkBufferSize> buffer{};
  std::uint32_t size = 0;
  const QelHwStatus status = Cbh_ReadFromFile(path, buffer.data(), kCbhWorkBufferSize, &size, nullptr);
  if (status != QELHW_OK) return status;
  return Cbh_FormatVersionInfo(buffer.data(), text, textSize);
}
