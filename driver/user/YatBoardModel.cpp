// Values that follow from the board model: cameras, serial ports, on-board
// memory, bus width, and the model word itself.
#include <cstring>

#include "driver/user/Pardow.h"
#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kModelWordOffset = 38;
constexpr std::uint32_t kMemoryWordOffset = 41;
constexpr std::uint32_t kMemoryExtraWordOffset = 49;
constexpr std::uint32_t kFirmwareOptionsOffset = 72;
constexpr std::uint16_t kSingleCameraFirmware = 0x200;
constexpr std::uint32_t kDefaultMemoryMb = 128;
constexpr std::uint16_t kSecondSerialPort = 0x2;
constexpr std::uint16_t kSecondPortRestricted = 0x1000;
constexpr std::uint32_t kRegFirmwareId = 1024;
constexpr std::uint32_t kInternalBusWidth = 16;

std::uint16_t Word16(const std::uint8_t* bytes, std::uint32_t offset) {
  std::uint16_t value;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

// The boards the driver reported; an entry beyond them holds nothing.
bool KnownBoard(std::uint32_t board) {
  return board < Yat_GetSharedBoardInfo()->boardCount && board < YAT_MAX_BOARD;
}

// Two firmware designs drive the second port of a restricted model.
bool FirmwareHasSecondPort(std::uint32_t board) {
  std::uint32_t id = 0;
  if (Yat_ReadDataReg(board, kRegFirmwareId, &id) != QELHW_OK) return false;
  return id == 551 || id == 568;
}

}  // namespace

std::uint16_t Yat_Man_ModelWord(std::uint32_t board) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  return entry == nullptr ? 0 : Word16(entry->eeprom[0], kModelWordOffset);
}

QelHwStatus Yat_Man_GetBoardOptions(std::uint32_t board, std::uint32_t* options) {
  if (Yat_GetBoardEntry(board) == nullptr || options == nullptr) return QELHW_ERROR_ARG_INVALID;
  *options = Yat_Man_ModelWord(board);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_GetMaxCamera(std::uint32_t board, std::uint32_t* count) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || count == nullptr) return QELHW_ERROR_ARG_INVALID;
  const std::uint32_t modelBits = Word16(entry->eeprom[0], kModelWordOffset) & 3u;
  *count = 1;
  if (modelBits == 2 && (Word16(entry->flashFirmwareRecord, kFirmwareOptionsOffset) & kSingleCameraFirmware) == 0)
    *count = 2;
  if (modelBits == 3) LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Unknow board model", kPardowLabel);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_GetMaxGPIO(std::uint32_t, std::uint32_t* count) {
  if (count != nullptr) *count = 0;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_GetSerialPortCount(std::uint32_t board, std::uint32_t* ports, std::uint32_t* second) {
  if (!KnownBoard(board) || ports == nullptr || second == nullptr) return QELHW_ERROR_ARG_INVALID;
  *second = 0;
  const std::uint16_t model = Yat_Man_ModelWord(board);
  *ports = (model & kSecondSerialPort) != 0 ? 2 : 1;
  if ((model & kSecondPortRestricted) != 0 && *ports == 2 && !FirmwareHasSecondPort(board)) *ports = 1;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_GetOnboardMemorySize(std::uint32_t board, std::uint32_t, std::uint32_t* megabytes) {
  if (!KnownBoard(board) || megabytes == nullptr) return QELHW_ERROR_ARG_INVALID;
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  const std::uint16_t base = Word16(entry->eeprom[0], kMemoryWordOffset);
  *megabytes = base != 0 ? base + std::uint32_t{Word16(entry->eeprom[0], kMemoryExtraWordOffset)} : kDefaultMemoryMb;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_GetInternalBusWidth(std::uint32_t board, std::uint32_t* width) {
  if (!KnownBoard(board) || width == nullptr) return QELHW_ERROR_ARG_INVALID;
  *width = kInternalBusWidth;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_SetVariableClockFrequency(std::uint32_t, std::uint32_t) { return QELHW_OK; }
PARDOW_API QelHwStatus Yat_Man_Connect(std::uint32_t, std::uint32_t) { return QELHW_OK; }
PARDOW_API QelHwStatus Yat_Man_Disconnect(std::uint32_t, std::uint32_t) { return QELHW_OK; }
