// Device parameters: board-level facts by flash section and number (firmware
// state, flash geometry, EEPROM fields, PCI location, multi-firmware
// settings), and the changes the device manager may ask for (EEPROM fields,
// firmware erase, block protection).
#include <algorithm>
#include <cstring>

#include "driver/user/CbhRecords.h"
#include "driver/user/EepromI2c.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatFlash.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRequests.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kRegFpgaState = 0x10008;
constexpr std::uint32_t kRunsBackup = 0x80000000;
constexpr std::uint32_t kRegFirmwareId = 1024;
constexpr std::uint32_t kStateBackup = 0x200;
constexpr std::uint32_t kStateFirmwareMark = 0x1000;
constexpr std::uint32_t kProcessingOffset = 99;
constexpr std::uint32_t kTestResultOffset = 107;
constexpr std::uint32_t kFlashIdSelector = 3;
constexpr std::uint32_t kSlotOfSection[YAT_FLASH_SECTION_COUNT] = {0, 1, 0, 0, 2, 3};

enum : std::uint32_t {
  kPrmFirmwareState = 1, kPrmSectionRow = 2, kPrmXioPresent = 3, kPrmProtection = 5, kPrmFpgaPresent = 6,
  kPrmMultiEnable = 7, kPrmMultiConfig = 8, kPrmProcessing = 10, kPrmTestResult = 11, kPrmPciLocation = 14,
  kPrmFlashId = 15, kPrmFlashIdSelected = 16, kPrmErasable = 17, kPrmErase = 18, kPrmOffset = 20,
  kPrmFirstBlock = 21, kPrmLastBlock = 22, kPrmSize = 23, kPrmFlags = 24, kPrmBlockSize = 25, kPrmSlotArea = 26,
  kPrmSlotArea2 = 27, kPrmIndex = 30, kPrmProductId = 31, kPrmComment = 32, kPrmInitError = 33,
  kPrmProtect = 0x80000001, kPrmSetMultiEnable = 0x80000002, kPrmSetMultiConfig = 0x80000003,
  kPrmCanErase = 0x80000004, kPrmEraseEepromNumber = 0x80000005,
};

template <typename T>
QelHwStatus Put(void* value, std::uint32_t size, T data) {
  if (size < sizeof data) return QELHW_ERROR_PARAMETER_INVALID;
  std::memcpy(value, &data, sizeof data);
  return QELHW_OK;
}

QelHwStatus FirmwareState(std::uint32_t board, const YatFlashSection& row, void* value, std::uint32_t size) {
  if (size < 4) return QELHW_ERROR_PARAMETER_INVALID;
  if (Yat_FPGA_IsLoaded(board) == 0) return QELHW_ERROR_RESOURCE_NOT_INITIALIZED;
  std::uint32_t state = 0, id = 0, result = 0;
  QelHwStatus status = Yat_ReadDataReg(board, kRegFpgaState, &state);
  if (status == QELHW_OK) status = Yat_ReadDataReg(board, kRegFirmwareId, &id);
  if (status != QELHW_OK) return status;
  if ((state & kRunsBackup) != 0 && (row.flags & YAT_FLASH_BACKUP_FIRMWARE) != 0) result = kStateBackup;
  if ((id & 0xFFFFF) == 2 && (row.flags & YAT_FLASH_FIRMWARE_MARK) != 0) result += kStateFirmwareMark;
  return Put(value, size, result);
}

QelHwStatus Protection(std::uint32_t board, std::uint32_t section, const YatFlashSection& row, std::uint32_t* locked) {
  if ((row.flags & YAT_FLASH_PROTECTABLE) == 0) return QELHW_ERROR_INCOMPATIBLE_FIRMWARE;
  return Flash_IsBlockProtected(board, section, row.firstBlock, row.lastBlock, locked);
}

QelHwStatus EepromField(std::uint32_t board, std::uint32_t section, std::uint32_t offset, void* value,
                        std::uint32_t size) {
  if (section != 0 || size < 8) return QELHW_ERROR_PARAMETER_INVALID;
  std::memcpy(value, Yat_GetBoardEntry(board)->eeprom[0] + offset, 8);
  return QELHW_OK;
}

// Parameters that need the section's row.
QelHwStatus GetRowPrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter, void* value,
                      std::uint32_t size) {
  const YatFlashSection* row = nullptr;
  QelHwStatus status = Yat_Flash_GetSection(board, section, &row);
  if (status != QELHW_OK) return status;
  switch (parameter) {
    case kPrmFirmwareState: return FirmwareState(board, *row, value, size);
    case kPrmSectionRow: return Put(value, size, reinterpret_cast<std::uint64_t>(row));
    case kPrmProtection: {
      if (size < 4) return QELHW_ERROR_PARAMETER_INVALID;
      std::uint32_t locked = 0;
      status = Protection(board, row->index, *row, &locked);
      return status == QELHW_OK ? Put(value, size, locked) : status;
    }
    case kPrmErasable:
      if (size < 4) return QELHW_ERROR_PARAMETER_INVALID;
      return (row->flags & YAT_FLASH_ERASABLE) != 0 ? QELHW_OK : QELHW_ERROR_INCOMPATIBLE_FIRMWARE;
    case kPrmOffset: return Put(value, size, row->offset);
    case kPrmFirstBlock: return Put(value, size, row->firstBlock);
    case kPrmLastBlock: return Put(value, size, row->lastBlock);
    case kPrmSize: return Put(value, size, row->size);
    case kPrmFlags: return Put(value, size, row->flags);
    case kPrmBlockSize: return Put(value, size, row->blockSizeKb);
    case kPrmIndex: return Put(value, size, row->index);
    default: return QELHW_ERROR_NOT_IMPLEMENTED;
  }
}

QelHwStatus GetBoardPrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter, void* value,
                        std::uint32_t size) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  switch (parameter) {
    case kPrmXioPresent:
      if (size < 1) return QELHW_ERROR_PARAMETER_INVALID;
      *static_cast<std::uint8_t*>(value) = section == 0 ? static_cast<std::uint8_t>(entry->xioPresent) : 0;
      return section == 0 ? QELHW_OK : QELHW_ERROR_NOT_SUPPORTED;
    case kPrmFpgaPresent: return Put<std::uint8_t>(value, size, 1);
    case kPrmMultiEnable:
      if (size < 4) return QELHW_ERROR_PARAMETER_INVALID;
      return Yat_Man_GetMultiFirmwareConfigEnable(board, static_cast<std::uint32_t*>(value));
    case kPrmMultiConfig:
      return Yat_Man_GetMultiFirmwareConfig(board, static_cast<QelMultiFirmwareCfgInfo*>(value), size);
    case kPrmProcessing: return EepromField(board, section, kProcessingOffset, value, size);
    case kPrmTestResult: return EepromField(board, section, kTestResultOffset, value, size);
    case kPrmPciLocation: {
      if (size < 16) return QELHW_ERROR_PARAMETER_INVALID;
      return Yat_Man_GetPciLocation(board, static_cast<std::uint8_t*>(value) + 4, 12);
    }
    case kPrmFlashId: {
      if (size < 4) return QELHW_ERROR_PARAMETER_INVALID;
      return Yat_Flash_ReadIds(board, section, kFlashIdSelector, static_cast<std::uint32_t*>(value));
    }
    case kPrmFlashIdSelected: {
      if (size < 4) return QELHW_ERROR_PARAMETER_INVALID;
      std::uint32_t selector;
      std::memcpy(&selector, value, sizeof selector);
      return Yat_Flash_ReadIds(board, section, selector, static_cast<std::uint32_t*>(value));
    }
    case kPrmSlotArea:
    case kPrmSlotArea2: return Put(value, size, YAT_FLASH_HEADER_AREA);
    case kPrmProductId: return Put(value, size, YAT_FIRMWARE_PRODUCT_ID);
    case kPrmComment: {
      if (section != 0 || size == 0) return QELHW_ERROR_PARAMETER_INVALID;
      char comment[kCbhCommentSize + 1] = {};
      std::memcpy(comment, entry->activeFirmwareHeader + offsetof(CbhHeader, comment), kCbhCommentSize);
      std::snprintf(static_cast<char*>(value), size, "%s", comment);
      return QELHW_OK;
    }
    case kPrmInitError: return Put(value, size, entry->initError);
    default: return GetRowPrm(board, section, parameter, value, size);
  }
}

QelHwStatus EraseFirmware(std::uint32_t board, std::uint32_t section) {
  const YatFlashSection* row = nullptr;
  QelHwStatus status = Yat_Flash_GetSection(board, section, &row);
  if (status != QELHW_OK) return status;
  if ((row->flags & YAT_FLASH_NOT_IN_FLASH) != 0) return QELHW_ERROR_INCOMPATIBLE_FIRMWARE;
  std::uint32_t locked = 0;
  status = Flash_IsBlockProtected(board, row->index, row->firstBlock, row->lastBlock, &locked);
  if (status != QELHW_OK) return status;
  if (locked != 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "QELHW_DEVICE_PRM_FIRMWARE_ERASE: Flash location is locked. Cannot erase firmware.");
    return QELHW_ERROR_RESOURCE_LOCKED;
  }
  if (row->index != 4 && row->index != 5) {
    std::uint8_t erased[YAT_FLASH_SLOT_SIZE];
    std::memset(erased, 0xFF, sizeof erased);
    status = Yat_Flash_WriteVerifyData(board, YAT_FLASH_HEADER_AREA + kSlotOfSection[row->index] * YAT_FLASH_SLOT_SIZE,
                                       sizeof erased, erased);
    if (status != QELHW_OK) return status;
  }
  return Yat_Flash_EraseBlock(board, row->index, row->firstBlock, row->lastBlock);
}

QelHwStatus ProtectSection(std::uint32_t board, std::uint32_t section, const void* value, std::uint32_t size) {
  const YatFlashSection* row = nullptr;
  QelHwStatus status = Yat_Flash_GetSection(board, section, &row);
  if (status != QELHW_OK) return status;
  if ((row->flags & YAT_FLASH_PROTECTABLE) == 0) return QELHW_ERROR_INCOMPATIBLE_FIRMWARE;
  std::uint32_t wanted = 0;
  if (value != nullptr) std::memcpy(&wanted, value, std::min<std::uint32_t>(size, sizeof wanted));
  return wanted == 0 ? Yat_Flash_UnprotectBlock(board, row->index, row->firstBlock, row->lastBlock)
                     : Yat_Flash_ProtectBlock(board, row->index, row->firstBlock, row->lastBlock);
}

}  // namespace

PARDOW_API QelHwStatus Yat_Man_GetDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter,
                                            std::uint32_t size, void* value) {
  if (value == nullptr) return QELHW_ERROR_NULL_PTR;
  if (Yat_GetBoardEntry(board) == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint8_t image[YAT_EEPROM_IMAGE_SIZE];
  Yat_Eeprom_GetInfo(board, 0, image, sizeof image);
  return GetBoardPrm(board, section, parameter, value, size);
}

PARDOW_API QelHwStatus Yat_Man_SetDevicePrm(std::uint32_t board, std::uint32_t section, std::uint32_t parameter,
                                            std::uint32_t size, void* value) {
  if (Yat_GetBoardEntry(board) == nullptr) return QELHW_ERROR_ARG_INVALID;
  switch (parameter) {
    case kPrmProcessing:
    case kPrmTestResult:
      if (section != 0 || size != 8 || value == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
      return Yat_Eeprom_WriteData(board, 0, parameter == kPrmProcessing ? kProcessingOffset : kTestResultOffset,
                                  value, size);
    case kPrmErase: return EraseFirmware(board, section);
    case kPrmProtect: return ProtectSection(board, section, value, size);
    case kPrmSetMultiEnable: {
      if (value == nullptr || size < 4) return QELHW_ERROR_PARAMETER_INVALID;
      std::uint32_t enable;
      std::memcpy(&enable, value, sizeof enable);
      return Yat_Man_SetMultiFirmwareConfigEnable(board, enable);
    }
    case kPrmSetMultiConfig: {
      if (value == nullptr || size == 0) return QELHW_ERROR_PARAMETER_INVALID;
      const QelHwStatus status =
          Yat_Man_SetMultiFirmwareConfig(board, static_cast<const QelMultiFirmwareCfgInfo*>(value), size);
      if (status != QELHW_OK)
        LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Registry Entry not accessible: %s,  status=%d ", kPardowLabel,
                  YAT_FIRMWARE_ROOT_KEY, static_cast<int>(status));
      return status;
    }
    case kPrmCanErase: {
      const YatFlashSection* row = nullptr;
      const QelHwStatus status = Yat_Flash_GetSection(board, section, &row);
      if (status != QELHW_OK) return status;
      return (row->flags & YAT_FLASH_ERASABLE) != 0 ? QELHW_OK : QELHW_ERROR_INCOMPATIBLE_FIRMWARE;
    }
    case kPrmEraseEepromNumber: {
      std::uint8_t erased[YAT_EEPROM_IMAGE_SIZE];
      std::memset(erased, 0xFF, sizeof erased);
      return Yat_Eeprom_WriteData(board, section, 0, erased, sizeof erased);
    }
    default: return QELHW_ERROR_NOT_IMPLEMENTED;
  }
}
