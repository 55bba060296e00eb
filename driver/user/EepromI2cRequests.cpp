// The I2C exports: each one request of section 4 to the driver.
#include <cstring>

#include "driver/kernel/YatI2cRecords.h"
#include "driver/user/EepromI2c.h"
#include "driver/user/YatDeviceIoControl.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

struct I2cAnswer {
  int sent = 0;
  std::uint32_t bytes = 0;
  QelHwStatus status = YAT_IOC_STATUS_PRESET;
};

I2cAnswer SendI2c(std::uint32_t code, std::uint32_t board, std::uint8_t bus, std::uint8_t device, std::uint8_t reg,
                  const void* buffer, std::uint32_t count, std::uint8_t mode) {
  YatI2cRequestIn request{};
  request.bus = bus;
  request.deviceAddress = device;
  request.subAddress = reg;
  request.buffer = reinterpret_cast<std::uintptr_t>(buffer);
  request.count = count;
  request.subAddressFlag = mode;
  I2cAnswer answer;
  answer.sent = YatDeviceIoControl(board, code, &request, sizeof request, &answer.status, sizeof answer.status,
                                   &answer.bytes, nullptr, YAT_IOC_STAMP_BOARD);
  return answer;
}

}  // namespace

QelHwStatus YatI2cRead(std::uint32_t board, std::uint8_t bus, std::uint8_t device, std::uint8_t reg, void* buffer,
                       std::uint32_t count, std::uint8_t mode, bool quiet) {
  if (board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_I2C_ReadDataReg ARGUMENT INVALID", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (buffer == nullptr && count != 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_I2C_ReadDataReg ARGUMENT NULL", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (buffer == nullptr) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  const I2cAnswer answer = SendI2c(YAT_IOCTRL_I2C_READ, board, bus, device, reg, buffer, count, mode);
  QelHwStatus result = answer.status;
  if (answer.sent == 0 || answer.bytes == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_I2C_ReadDataRegEx Failed retval=%x bytes=%x %d %d",
              kPardowLabel, static_cast<int>(board), static_cast<unsigned>(answer.sent), answer.bytes, reg,
              static_cast<int>(count));
    result = QELHW_ERROR_DRIVER_ACCESS;
  }
  if (result != QELHW_OK && !quiet)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_I2C_ReadDataRegEx(%2X) status %x %d %d",
              kPardowLabel, static_cast<int>(board), device, static_cast<unsigned>(result), reg,
              static_cast<int>(count));
  return result;
}

PARDOW_API QelHwStatus Yat_I2C_ReadDataRegEx(std::uint32_t board, std::uint8_t bus, std::uint8_t device,
                                             std::uint8_t reg, void* buffer, std::uint32_t count,
                                             std::uint8_t mode) {
  return YatI2cRead(board, bus, device, reg, buffer, count, mode, false);
}

PARDOW_API QelHwStatus Yat_I2C_ReadDataReg(std::uint32_t board, std::uint8_t device, std::uint8_t reg,
                                           void* buffer, std::uint32_t count, std::uint8_t mode) {
  return YatI2cRead(board, 0, device, reg, buffer, count, mode, false);
}

PARDOW_API QelHwStatus Yat_I2C_WriteDataRegEx(std::uint32_t board, std::uint8_t bus, std::uint8_t device,
                                              std::uint8_t reg, const void* buffer, std::uint32_t count,
                                              std::uint8_t mode) {
  if (board >= YAT_MAX_BOARD) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_I2C_WriteDataReg ARGUMENT INVALID", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (buffer == nullptr && count != 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_I2C_WriteDataRegEx ARGUMENT NULL", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (buffer == nullptr) return QELHW_ERROR_INSUFFICIENT_MEMORY;
  const I2cAnswer answer = SendI2c(YAT_IOCTRL_I2C_WRITE, board, bus, device, reg, buffer, count, mode);
  if (answer.sent == 0 || answer.bytes == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_I2C_WriteDataRegEx Failed %x %x", kPardowLabel,
              static_cast<int>(board), static_cast<unsigned>(answer.sent), answer.bytes);
    return QELHW_ERROR_DRIVER_ACCESS;
  }
  if (answer.status == QELHW_OK) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, Yat_I2C_WriteDataRegEx(%2X,%2X) status %x", kPardowLabel,
            static_cast<int>(board), device, reg, static_cast<unsigned>(answer.status));
  return QELHW_ERROR_I2C_WRITE;
}

PARDOW_API QelHwStatus Yat_I2C_WriteDataReg(std::uint32_t board, std::uint8_t device, std::uint8_t reg,
                                            const void* buffer, std::uint32_t count, std::uint8_t mode) {
  return Yat_I2C_WriteDataRegEx(board, 0, device, reg, buffer, count, mode);
}

PARDOW_API QelHwStatus Yat_I2C_WriteDataBlockEx(std::uint32_t board, std::uint8_t bus, std::uint8_t device,
                                                const void* pairs, std::uint32_t pairCount, std::uint8_t mode) {
  if (pairCount != 0 && pairs == nullptr) return QELHW_ERROR_ARG_INVALID;
  const auto* bytes = static_cast<const std::uint8_t*>(pairs);
  for (std::uint32_t i = 0; i < pairCount; ++i) {
    const QelHwStatus status = Yat_I2C_WriteDataRegEx(board, bus, device, bytes[2 * i], &bytes[2 * i + 1], 1, mode);
    if (status != QELHW_OK) return status;
  }
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_I2C_WriteDataBlock(std::uint32_t board, std::uint8_t device, const void* pairs,
                                              std::uint32_t pairCount, std::uint8_t mode) {
  return Yat_I2C_WriteDataBlockEx(board, 0, device, pairs, pairCount, mode);
}
