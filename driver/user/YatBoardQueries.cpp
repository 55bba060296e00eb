// Small board-level questions of the server driver: the running firmware's
// record and date, the hardware buffer words, and entries kept only so that
// callers find them.
#include <cstring>
#include <string>

#include "driver/user/CbhRecords.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "platform/win/machine.h"
#include "platform/win/version.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kRegFirmwareDate = 0x10018;
constexpr std::uint32_t kNewBufferWords = 0x42010000;
constexpr std::uint32_t kGutentagOption = 0x80000000;
constexpr std::uint32_t kMultiDmaVersion = 620;

}  // namespace

PARDOW_API QelHwStatus Yat_Man_GetVirtex2Info(std::uint32_t board, std::uint8_t* record) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || record == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::memcpy(record, entry->flashFirmwareRecord, sizeof entry->flashFirmwareRecord);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_GetSpartanTimeDate(std::uint32_t board, std::uint32_t* value) {
  if (value == nullptr) return QELHW_ERROR_ARG_INVALID;
  return Yat_FPGA_ReadDataReg(board, 0, kRegFirmwareDate, value);
}

PARDOW_API QelHwStatus Yat_Man_Get_HwState(std::uint32_t board, std::uint32_t* state, std::uint32_t level) {
  std::uint32_t date = 0;
  const QelHwStatus status = Yat_Man_GetSpartanTimeDate(board, &date);
  if (state == nullptr) return QELHW_ERROR_ARG_INVALID;
  *state = date < kNewBufferWords ? 0xC0000018 : 0xE0001F1F;
  if (level > 2) *state = 0xB0001F1F;
  return status;
}

PARDOW_API QelHwStatus Yat_Man_Get_HwBufferFree(std::uint32_t board, std::uint32_t word, std::uint8_t* isFree,
                                                std::uint32_t options) {
  if (isFree == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t date = 0;
  const QelHwStatus status = Yat_Man_GetSpartanTimeDate(board, &date);
  const std::uint32_t busyBit = date < kNewBufferWords ? 1u << 24 : 1u << 31;
  bool answer = (word & busyBit) == 0;
  if ((options & (1u << 30)) != 0) answer = !answer;
  *isFree = answer ? 1 : 0;
  return status;
}

PARDOW_API QelHwStatus Yat_Man_Get_HwBufferCounter(std::uint32_t board, std::uint32_t word, std::uint32_t* counter,
                                                   std::uint32_t options) {
  if (counter == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t date = 0;
  const QelHwStatus status = Yat_Man_GetSpartanTimeDate(board, &date);
  if (status != QELHW_OK) return status;
  if (date < kNewBufferWords) return QELHW_ERROR_NOT_IMPLEMENTED;
  if ((options & (1u << 29)) != 0) *counter = word & 0x7FFFFFFF;
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Man_GetHostDmaType(std::uint32_t) { return 0; }

PARDOW_API QelHwStatus Yat_Man_IsGutentagNeeded(std::uint32_t board, std::uint32_t* needed) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || needed == nullptr) return QELHW_ERROR_ARG_INVALID;
  std::uint32_t options = 0;
  std::memcpy(&options, entry->activeFirmwareHeader + offsetof(CbhHeader, optionBits), sizeof options);
  *needed = (options & kGutentagOption) != 0 ? 1 : 0;
  return QELHW_OK;
}

PARDOW_API std::uint32_t Yat_Man_isMultiDmaSupported(std::uint32_t verbose) {
  const std::string directory = plat::system_dir();
  if (directory.empty()) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: VkmInit: Could not get system directory.", kPardowLabel);
    return 0;
  }
  plat::VersionRecord version{};
  if (!plat::read_file_version((directory + "/QelAPI.DLL").c_str(), &version)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Could not get Velisk Version", kPardowLabel);
    return 0;
  }
  const unsigned short major = version.file_version[0], minor = version.file_version[1];
  const unsigned short third = version.file_version[2], fourth = version.file_version[3];
  if (major * 100u + minor < kMultiDmaVersion) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Velisk version detected too old: %hu.%02hu.%02hu.%04hu",
              kPardowLabel, major, minor, third, fourth);
    return 0;
  }
  if (verbose != 0)
    LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Velisk version detected: %hu.%02hu.%02hu.%04hu", kPardowLabel,
              major, minor, third, fourth);
  return 1;
}

PARDOW_API QelHwStatus QelHw_Pnp_RegisterCallback(void*, void*) { return QELHW_ERROR_NOT_IMPLEMENTED; }
PARDOW_API QelHwStatus QelHw_Pnp_UnregisterCallback(void*) { return QELHW_ERROR_NOT_IMPLEMENTED; }
PARDOW_API QelHwStatus Yat_Man_CreateSerialPorts(std::uint32_t) { return QELHW_ERROR_NOT_IMPLEMENTED; }
PARDOW_API QelHwStatus Yat_Man_DestroySerialPorts(std::uint32_t) { return QELHW_ERROR_NOT_IMPLEMENTED; }
PARDOW_API QelHwStatus Yat_Man_OpenSerialPortInterface(std::uint32_t) { return QELHW_ERROR_NOT_IMPLEMENTED; }
PARDOW_API QelHwStatus Yat_Man_CloseSerialPortInterface(std::uint32_t) { return QELHW_ERROR_NOT_IMPLEMENTED; }
