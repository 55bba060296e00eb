// Flash reads and writes through the driver, and the write with read-back
// verification.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "driver/kernel/YatFlashRecords.h"
#include "driver/user/YatDeviceIoControl.h"
#include "driver/user/YatFlash.h"
#include "driver/user/YatLibrary.h"
#include "platform/win/debug_output.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kWriteAttempts = 5;

void DebugLines(const char* name, std::uint32_t offset, std::uint32_t size) {
  if (Yat_GetDebugLevel() == 0) return;
  char text[256];
  std::snprintf(text, sizeof text, "%s\n", name);
  plat::output_debug_string(text);
  std::snprintf(text, sizeof text, "offset = %X\n", offset);
  plat::output_debug_string(text);
  std::snprintf(text, sizeof text, "size = %X\n", size);
  plat::output_debug_string(text);
}

// One transfer request; false (logged with `failed`) when it was not answered.
bool SendTransfer(std::uint32_t board, std::uint32_t code, std::uint32_t offset, std::uint32_t size,
                  const void* buffer, const char* failed, QelHwStatus* status) {
  YatFlashTransferIn input{};
  input.offset = offset;
  input.count = size;
  input.buffer = reinterpret_cast<std::uintptr_t>(buffer);
  YatIocStatus output{YAT_IOC_STATUS_PRESET};
  std::uint32_t returned = 0;
  const int sent = YatDeviceIoControl(board, code, &input, sizeof input, &output, sizeof output, &returned, nullptr,
                                      YAT_IOC_STAMP_BOARD);
  if (sent == 0 || returned == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, failed, kPardowLabel, static_cast<int>(board), sent,
              returned, offset, size);
    return false;
  }
  *status = output.status;
  return true;
}

}  // namespace

QelHwStatus Yat_Flash_Read(std::uint32_t board, std::uint32_t, std::uint32_t offset, void* buffer, std::uint32_t size) {
  if (board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_Flash_Read ARGUMENT INVALID", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (buffer == nullptr && size != 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_Flash_Read ARGUMENT NULL", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (buffer == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_Flash_Read status %x %d %d", kPardowLabel,
              static_cast<int>(board), static_cast<unsigned>(QELHW_ERROR_INSUFFICIENT_MEMORY), offset, size);
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  DebugLines("Yat_Flash_Read", offset, size);
  QelHwStatus status = QELHW_OK;
  if (!SendTransfer(board, YAT_IOCTRL_FLASH_READ, offset, size, buffer,
                    "%s, Board %d, Yat_Flash_Read Failed retval=%x bytes=%x %X %X", &status))
    return QELHW_ERROR_DRIVER_ACCESS;
  if (status != QELHW_OK)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_Flash_Read status 0x%x 0x%x:%d", kPardowLabel,
              static_cast<int>(board), static_cast<unsigned>(status), offset, size);
  return status;
}

QelHwStatus Yat_Flash_ReadData(std::uint32_t board, std::uint32_t offset, std::uint32_t size, void* buffer) {
  return Yat_Flash_Read(board, 0, offset, buffer, size);
}

QelHwStatus Yat_Flash_Write(std::uint32_t board, std::uint32_t offset, std::uint32_t size, const void* buffer) {
  if (board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, YatFlashWrite ARGUMENT INVALID", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (buffer == nullptr && size != 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, YatFlashWrite ARGUMENT NULL", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (buffer == nullptr) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  DebugLines("Yat_Flash_Write", offset, size);
  QelHwStatus status = QELHW_OK;
  if (!SendTransfer(board, YAT_IOCTRL_FLASH_WRITE, offset, size, buffer,
                    "%s, Board %d, YatFlashWrite Failed retval=%x bytes=%x %X %X", &status))
    return QELHW_ERROR_DRIVER_ACCESS;
  if (status == QELHW_OK) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, YatFlashWrite status 0x%x 0x%X 0x%X", kPardowLabel,
            static_cast<int>(board), static_cast<unsigned>(status), offset, size);
  return QELHW_ERROR_FLASH_WRITE;
}

namespace {

QelHwStatus WriteAndCompare(std::uint32_t board, std::uint32_t offset, const void* buffer, std::uint32_t size,
                            bool* noMemory) {
  QelHwStatus status = Yat_Flash_Write(board, offset, size, buffer);
  if (status != QELHW_OK) return status;
  std::unique_ptr<std::uint8_t[]> back(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
  if (!back) {
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s, Board %d, YatFlashWrite status 0x%x 0x%X 0x%X", kPardowLabel,
              static_cast<int>(board), static_cast<unsigned>(QELHW_ERROR_INSUFFICIENT_MEMORY), offset, size);
    *noMemory = true;
    return QELHW_ERROR_INSUFFICIENT_MEMORY;
  }
  if (Yat_Flash_ReadData(board, offset, size, back.get()) != QELHW_OK) {
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s, Board %d, YatFlashRead status 0x%x 0x%X 0x%X", kPardowLabel,
              static_cast<int>(board), static_cast<unsigned>(QELHW_ERROR_FLASH_WRITE), offset, size);
    return QELHW_ERROR_FLASH_WRITE;
  }
  if (size != 0 && std::memcmp(back.get(), buffer, size) != 0) {
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s, Board %d, YatFlashCompare status 0x%x 0x%X 0x%X", kPardowLabel,
              static_cast<int>(board), static_cast<unsigned>(QELHW_ERROR_FLASH_WRITE), offset, size);
    return QELHW_ERROR_FLASH_WRITE;
  }
  return QELHW_OK;
}

}  // namespace

QelHwStatus Yat_Flash_WriteVerify(std::uint32_t board, std::uint32_t, std::uint32_t offset, const void* buffer,
                                  std::uint32_t size) {
  QelHwStatus status = QELHW_OK;
  for (std::uint32_t attempt = 1; attempt <= kWriteAttempts; ++attempt) {
    bool noMemory = false;
    status = WriteAndCompare(board, offset, buffer, size, &noMemory);
    if (noMemory) return status;
    if (status == QELHW_OK) {
      if (attempt > 1)
        LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s, Board %d, YatFlashWrite status 0x%x 0x%X 0x%X", kPardowLabel,
                  static_cast<int>(board), 0u, offset, size);
      break;
    }
  }
  return status;
}

QelHwStatus Yat_Flash_WriteVerifyData(std::uint32_t board, std::uint32_t offset, std::uint32_t size,
                                      const void* buffer) {
  return Yat_Flash_WriteVerify(board, 0, offset, buffer, size);
}
