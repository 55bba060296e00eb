// The four EEPROMs of a board: reads of the main one from its copy in the
// shared board table, the others over I2C; writes in chunks that never cross
// an 8-byte page of the device, each followed by the device's write time, and
// then into the copy.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>

#include "driver/user/EepromI2c.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::array<std::uint8_t, YAT_EEPROM_POSITIONS> kEepromAddresses{0xA0, 0xA2, 0xAA, 0xA4};
constexpr std::uint32_t kMainEeprom = 0;
constexpr std::uint32_t kXioEeprom = 2;
constexpr auto kWriteCycle = std::chrono::milliseconds(20);

std::uint8_t* Page(std::uint32_t board, std::uint32_t index) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  return entry == nullptr ? nullptr : entry->eeprom[index];
}

QelHwStatus ArgumentInvalid(const char* operation) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: %s ARGUMENT INVALID", kPardowLabel, operation);
  return QELHW_ERROR_ARG_INVALID;
}

// The XIO daughter board answers, or not: either is a working board.
QelHwStatus ProbeXio(std::uint32_t board, YatBoardEntry* entry) {
  const QelHwStatus status = Yat_Eeprom_ReadEx(board, kXioEeprom, 0, entry->eeprom[kXioEeprom],
                                               YAT_EEPROM_IMAGE_SIZE, 1);
  if (status != QELHW_OK) {
    entry->xioPresent = 0;
    LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Board %d, Yat_Eeprom_Init: No XIO Module detected: 0x%x",
              kPardowLabel, static_cast<int>(board), static_cast<unsigned>(status));
    return QELHW_OK;
  }
  entry->xioPresent = 1;
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Board %d, Yat_Eeprom_Init: XIO Module detected", kPardowLabel,
            static_cast<int>(board));
  if (entry->eeprom[kXioEeprom][0] == YAT_EEPROM_SIGNATURE) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Board %d, Yat_Eeprom_Init: XIO Eeprom Not Initialized",
            kPardowLabel, static_cast<int>(board));
  return QELHW_ERROR_EEPROM_NOT_INITIALIZED;
}

}  // namespace

QelHwStatus Yat_Eeprom_I2C_IndexToAddr(std::uint32_t index, std::uint32_t* address) {
  if (index >= YAT_EEPROM_POSITIONS) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Yat_Eeprom_I2C_IndexToAddr, Invalid eepromIndex(%d)",
              kPardowLabel, static_cast<int>(index));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (address == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Yat_Eeprom_I2C_IndexToAddr, Invalid Pointer", kPardowLabel);
    return QELHW_ERROR_NULL_PTR;
  }
  *address = kEepromAddresses[index];
  return QELHW_OK;
}

QelHwStatus Yat_Eeprom_Init(std::uint32_t board) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Board %d, Yat_Eeprom_Init ARGUMENT INVALID", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  const QelHwStatus status = Yat_I2C_ReadDataReg(board, kEepromAddresses[kMainEeprom], 0, entry->eeprom[kMainEeprom],
                                                 YAT_EEPROM_IMAGE_SIZE, 1);
  if (status != QELHW_OK) return status;
  if (entry->eeprom[kMainEeprom][0] != YAT_EEPROM_SIGNATURE) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Board %d, Yat_Eeprom_Init: Eeprom Not Initialized", kPardowLabel,
              static_cast<int>(board));
    return QELHW_ERROR_EEPROM_NOT_INITIALIZED;
  }
  if (entry->eeprom[kMainEeprom][YAT_EEPROM_EXTENSION_OFFSET] & YAT_EEPROM_NO_XIO) {
    entry->xioPresent = 0;
    return QELHW_OK;
  }
  return ProbeXio(board, entry);
}

QelHwStatus Yat_Eeprom_ReadData(std::uint32_t board, std::uint8_t device, std::uint32_t offset, void* buffer,
                                std::uint32_t count, std::uint8_t quiet) {
  if (board >= YAT_MAX_BOARD || buffer == nullptr || count == 0) return ArgumentInvalid("Yat_Eeprom_ReadData");
  return YatI2cRead(board, 0, device, static_cast<std::uint8_t>(offset), buffer, count, 1, quiet != 0);
}

// Reads stay inside the device: past its 256 bytes there is nothing to read.
QelHwStatus Yat_Eeprom_ReadEx(std::uint32_t board, std::uint32_t index, std::uint32_t offset, void* buffer,
                              std::uint32_t count, std::uint8_t quiet) {
  if (board >= YAT_MAX_BOARD) return ArgumentInvalid("Yat_Eeprom_Read");
  std::uint32_t address = 0;
  const QelHwStatus status = Yat_Eeprom_I2C_IndexToAddr(index, &address);
  if (status != QELHW_OK) return status;
  if (buffer == nullptr || offset >= YAT_EEPROM_IMAGE_SIZE || count > YAT_EEPROM_IMAGE_SIZE - offset)
    return ArgumentInvalid("Yat_Eeprom_Read");
  if (index == kMainEeprom) {
    std::memcpy(buffer, Page(board, kMainEeprom) + offset, count);
    return QELHW_OK;
  }
  return Yat_Eeprom_ReadData(board, static_cast<std::uint8_t>(address), offset, buffer, count, quiet);
}

QelHwStatus Yat_Eeprom_Read(std::uint32_t board, std::uint32_t index, std::uint32_t offset, void* buffer,
                            std::uint32_t count) {
  return Yat_Eeprom_ReadEx(board, index, offset, buffer, count, 0);
}

QelHwStatus EepromWriteData(std::uint32_t board, std::uint8_t device, std::uint32_t offset, const void* data,
                            std::uint32_t count) {
  if (board >= YAT_MAX_BOARD || offset >= YAT_EEPROM_IMAGE_SIZE) return ArgumentInvalid("Yat_Eeprom_WriteData");
  if (count > YAT_EEPROM_IMAGE_SIZE - offset) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: EepromWriteData overflow. (off=x%x + sz=x%x = x%x)", kPardowLabel,
              offset, count, offset + count);
    count = YAT_EEPROM_IMAGE_SIZE - offset;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint32_t done = 0;
  while (done < count) {
    const std::uint32_t at = offset + done;
    const std::uint32_t chunk = std::min(YAT_EEPROM_PAGE_BYTES - at % YAT_EEPROM_PAGE_BYTES, count - done);
    const QelHwStatus status = Yat_I2C_WriteDataReg(board, device, static_cast<std::uint8_t>(at), bytes + done, chunk, 1);
    if (status != QELHW_OK) return status;
    std::this_thread::sleep_for(kWriteCycle);
    done += chunk;
  }
  return QELHW_OK;
}

QelHwStatus Yat_Eeprom_WriteData(std::uint32_t board, std::uint32_t index, std::uint32_t offset, const void* data,
                                 std::uint32_t count) {
  if (board >= YAT_MAX_BOARD || offset >= YAT_EEPROM_IMAGE_SIZE || (data == nullptr && count != 0))
    return ArgumentInvalid("Yat_Eeprom_WriteData");
  std::uint32_t address = 0;
  QelHwStatus status = Yat_Eeprom_I2C_IndexToAddr(index, &address);
  if (status != QELHW_OK) return status;
  status = EepromWriteData(board, static_cast<std::uint8_t>(address), offset, data, count);
  if (status != QELHW_OK) return status;
  const std::uint32_t written = std::min(count, YAT_EEPROM_IMAGE_SIZE - offset);
  if (written != 0) std::memcpy(Page(board, index) + offset, data, written);
  return QELHW_OK;
}

QelHwStatus Yat_Eeprom_GetInfo(std::uint32_t board, std::uint32_t index, void* buffer, std::uint32_t size) {
  if (board >= YAT_MAX_BOARD || index >= YAT_EEPROM_POSITIONS || buffer == nullptr)
    return ArgumentInvalid("Yat_Eeprom_GetInfo");
  const std::uint32_t copied = std::min(size, YAT_EEPROM_IMAGE_SIZE);
  std::memcpy(buffer, Page(board, index), copied);
  if (copied == 0 || Page(board, index)[0] != YAT_EEPROM_SIGNATURE) return QELHW_ERROR_EEPROM_NOT_INITIALIZED;
  return QELHW_OK;
}

QelHwStatus Yat_Eeprom_SetInfo(std::uint32_t board, std::uint32_t index, const void* data, std::uint32_t size) {
  if (board >= YAT_MAX_BOARD || index >= YAT_EEPROM_POSITIONS || data == nullptr)
    return ArgumentInvalid("Yat_Eeprom_SetInfo");
  std::memcpy(Page(board, index), data, std::min(size, YAT_EEPROM_IMAGE_SIZE));
  return QELHW_OK;
}
