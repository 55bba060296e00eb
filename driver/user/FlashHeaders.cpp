// Firmware headers in the flash's header slots, and the check of a
// section's content against its header's byte sum.
#include <array>
#include <cstring>
#include <memory>
#include <new>

#include "driver/user/CbhRecords.h"
#include "driver/user/YatFlash.h"

namespace {

std::uint32_t SlotHeaderOffset(std::uint32_t slot) {
  return YAT_FLASH_HEADER_AREA + slot * YAT_FLASH_SLOT_SIZE + YAT_FLASH_SLOT_HEADER;
}

template <typename T>
T Field(const std::uint8_t* header, std::size_t offset) {
  T value{};
  std::memcpy(&value, header + offset, sizeof value);
  return value;
}

template <typename T>
void Put(std::uint8_t* record, std::size_t offset, T value) {
  std::memcpy(record + offset, &value, sizeof value);
}

}  // namespace

QelHwStatus Yat_Flash_ReadCbhHeader(std::uint32_t board, void* header, std::uint32_t slot) {
  return Yat_Flash_ReadData(board, SlotHeaderOffset(slot), kCbhHeaderSize, header);
}

QelHwStatus Yat_Flash_ReadCbhRecord(std::uint32_t board, void* record, std::uint32_t slot) {
  std::array<std::uint8_t, kCbhFlashRecordSize> header{};
  const QelHwStatus status = Yat_Flash_ReadData(board, SlotHeaderOffset(slot), kCbhFlashRecordSize, header.data());
  if (status != QELHW_OK) return status;
  if (std::memcmp(header.data(), kCbhMagic.data(), kCbhMagic.size()) != 0) return QELHW_ERROR_INCOMPATIBLE_FIRMWARE;
  auto* out = static_cast<std::uint8_t*>(record);
  if (out == nullptr) return QELHW_ERROR_ARG_INVALID;
  const std::uint8_t* h = header.data();
  Put<std::uint16_t>(out, offsetof(CbhFlashRecord, optionBits), Field<std::uint16_t>(h, offsetof(CbhHeader, optionBits)));
  out[offsetof(CbhFlashRecord, day)] = h[23];
  out[offsetof(CbhFlashRecord, month)] = h[24];
  Put<std::uint16_t>(out, offsetof(CbhFlashRecord, year), Field<std::uint16_t>(h, 25));
  Put<std::uint16_t>(out, offsetof(CbhFlashRecord, version), static_cast<std::uint16_t>(h[31] * 1000 + h[30] * 10));
  Put<std::uint16_t>(out, offsetof(CbhFlashRecord, headerVersion), h[offsetof(CbhHeader, headerVersion)]);
  Put<std::uint32_t>(out, offsetof(CbhFlashRecord, firmwareChecksum),
                     Field<std::uint32_t>(h, offsetof(CbhHeader, firmwareChecksum)));
  Put<std::uint32_t>(out, offsetof(CbhFlashRecord, firmwareSize),
                     Field<std::uint32_t>(h, offsetof(CbhHeader, firmwareSize)));
  return QELHW_OK;
}

QelHwStatus Yat_Flash_VerifySection(std::uint32_t board, std::uint32_t sectionOffset, std::uint32_t slot) {
  CbhHeader header{};
  QelHwStatus status = Yat_Flash_ReadCbhHeader(board, &header, slot);
  if (status != QELHW_OK) return status;
  const std::uint32_t size = header.firmwareSize;
  // A header naming more than the whole flash cannot describe a section.
  if (size > 0x400000) return QELHW_ERROR_DATA_CHECKSUM;
  std::unique_ptr<std::uint8_t[]> content(new (std::nothrow) std::uint8_t[size + 4]());
  if (!content) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  status = Yat_Flash_ReadData(board, sectionOffset, size, content.get());
  if (status != QELHW_OK) return status;
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < size; ++i) sum += content[i];
  return sum == header.firmwareChecksum ? QELHW_OK : QELHW_ERROR_DATA_CHECKSUM;
}
