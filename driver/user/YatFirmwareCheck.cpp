// The check of the firmware the board runs against the configured firmware
// file, and the FPGAs of the daughter boards (the XIO module and the
// expansion IPU), loaded from their configured files. The main firmware is
// never written here: a mismatch is only reported.
#include <cstring>

#include "driver/user/Cbh.h"
#include "driver/user/EepromI2c.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatFlash.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRequests.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kBackupSection = 0;
constexpr std::uint32_t kMainSection = 1;
constexpr std::uint32_t kXioSection = 2;
constexpr std::uint32_t kIpuSection = 3;
constexpr std::uint32_t kFirmwareStatePrm = 1;
constexpr std::uint32_t kRunsBackup = 0x200;
constexpr std::uint32_t kRegFirmwareId = 1024;
constexpr std::uint32_t kFirmwareIdMask = 0xFFFFF;
constexpr std::uint32_t kRegXioControl = 2052;
constexpr std::uint32_t kXioProbe = 0x40;
constexpr std::uint32_t kRegXioStatus = 2068;
constexpr std::uint32_t kRegXioVersion = 2072;
constexpr std::uint32_t kXioConfigured = 0x100000;
constexpr std::uint32_t kRegXioUnload = 2056;
constexpr std::uint32_t kRegIpuStatus = 1116;
constexpr std::uint32_t kIpuConfigured = 1u << 20;
constexpr std::uint32_t kXioFileSize = 512;
constexpr std::uint32_t kIpuFileSize = 2048;
constexpr std::uint32_t kXioLoadOption = 1;
constexpr std::uint32_t kIpuLoadOption = 2;
constexpr std::uint32_t kRecordVersionOffset = 80;
constexpr std::uint32_t kExtensionOffset = 12;
constexpr std::uint8_t kXioNotSupported = 0x1;

void LogVersion(int level, const char* section, const CbhHeader& header, const char* suffix) {
  LogPutLog(level, __FILE__, __LINE__, "%s: %s Version %d.%02d.%02d.%04d%s", kPardowLabel, section,
            header.productVersion.major, header.productVersion.minor, header.productVersion.third,
            header.productVersion.build, suffix);
}

// Reads the running section's record and header into the entry.
QelHwStatus TakeRunningFirmware(std::uint32_t board, bool backup) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  std::uint8_t record[YAT_FLASH_RECORD_SIZE] = {};
  CbhHeader header{};
  const std::uint32_t slot = backup ? kBackupSection : kMainSection;
  QelHwStatus status = Yat_Flash_ReadCbhRecord(board, record, slot);
  if (status == QELHW_OK) status = Yat_Flash_ReadCbhHeader(board, &header, slot);
  if (backup)
    LogVersion(kQelLogError, YatFlashSectionNames[kBackupSection], header, " Using Backup Version");
  else if (status == QELHW_OK)
    LogVersion(kQelLogTrace, YatFlashSectionNames[kMainSection], header, "");
  if (status != QELHW_OK) return status;
  std::memcpy(entry->flashFirmwareRecord, record, sizeof record);
  std::memcpy(entry->activeFirmwareHeader, &header, sizeof header);
  return QELHW_OK;
}

// Only logged: the board keeps running what it runs until it is reset.
void CompareWithConfiguredFile(std::uint32_t board) {
  char file[2048] = {};
  CbhHeader header{};
  std::uint32_t running = 0;
  if (Yat_Man_GetFpgaFileName(board, kMainSection, file, sizeof file) != QELHW_OK) return;
  if (Cbh_ReadHeaderFromFile(file, &header) != QELHW_OK) return;
  if (Yat_FPGA_ReadDataReg(board, 0, kRegFirmwareId, &running) != QELHW_OK) return;
  running &= kFirmwareIdMask;
  if (header.firmwareId != 0 && running != 0 && header.firmwareId != running)
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s: %s", kPardowLabel, "Firmware mismatch: the board must be reset");
}

struct DaughterBoard {
  std::uint32_t section;
  std::uint32_t fileSize;
  std::uint32_t loadOption;
  const char* nameError;
  bool xio;
};

constexpr DaughterBoard kXio{kXioSection, kXioFileSize, kXioLoadOption, "%s: Yat_Man_IoBoard_UpdateFpga Getfilename error",
                             true};
constexpr DaughterBoard kIpu{kIpuSection, kIpuFileSize, kIpuLoadOption,
                             "%s: Yat_Man_IpuBoard_UpdateFpga Getfilename error", false};

std::uint32_t IsLoaded(std::uint32_t board, const DaughterBoard& daughter) {
  return daughter.xio ? Yat_Man_isIoBoardFpgaLoaded(board) : Yat_Man_isIpuBoardFpgaLoaded(board);
}

QelHwStatus UpdateDaughter(std::uint32_t board, const DaughterBoard& daughter) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return QELHW_ERROR_ARG_INVALID;
  if ((daughter.xio ? entry->xioPresent : entry->ipuPresent) == 0) return QELHW_OK;
  std::uint8_t image[YAT_EEPROM_IMAGE_SIZE];
  QelHwStatus status = Yat_Eeprom_GetInfo(board, 0, image, sizeof image);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: GetInfo 0x%x", kPardowLabel, static_cast<unsigned>(status));
    return status;
  }
  if (daughter.xio && Yat_Man_ModelWord(board) == YAT_MODEL_FULL && (image[kExtensionOffset] & kXioNotSupported) != 0) {
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s: XIO BOARD not supported on this board 0x%x", kPardowLabel,
              static_cast<unsigned>(Yat_Man_ModelWord(board)));
    return QELHW_OK;
  }
  char file[kIpuFileSize] = {};
  status = Yat_Man_GetFpgaFileName(board, daughter.section, file, daughter.fileSize);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, daughter.nameError, kPardowLabel);
    return status;
  }
  if (IsLoaded(board, daughter) == 0) {
    status = Yat_FPGA_LoadFromCbnFile(board, file, daughter.loadOption);
    if (status != QELHW_OK) {
      LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: FPGA couldn't be loaded", kPardowLabel);
      return status;
    }
  }
  if (IsLoaded(board, daughter) == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: FPGA couldn't be loaded", kPardowLabel);
    return QELHW_ERROR_FPGA_NOT_LOADED;
  }
  std::uint16_t version = 0;
  std::memcpy(&version, entry->flashFirmwareRecord + kRecordVersionOffset, sizeof version);
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: %s Version %04d ", kPardowLabel, file, version);
  std::uint8_t record[YAT_FLASH_RECORD_SIZE] = {};
  status = Yat_Flash_ReadCbhRecord(board, record, kMainSection);
  if (status != QELHW_OK) return status;
  std::memcpy(daughter.xio ? entry->xioFirmwareRecord : entry->ipuFirmwareRecord, record, sizeof record);
  std::memcpy(&version, record + kRecordVersionOffset, sizeof version);
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: %s Version %04d ", kPardowLabel, file, version);
  return QELHW_OK;
}

QelHwStatus ReadFirmwareState(std::uint32_t board, std::uint32_t* state) {
  return Yat_Man_GetDevicePrm(board, kBackupSection, kFirmwareStatePrm, sizeof *state, state);
}

}  // namespace

std::uint32_t Yat_Man_RunningFirmwareSection(std::uint32_t board) {
  std::uint32_t state = 0;
  return ReadFirmwareState(board, &state) == QELHW_OK && (state & kRunsBackup) != 0 ? kBackupSection : kMainSection;
}

PARDOW_API QelHwStatus Yat_Man_UpdateFpga(std::uint32_t board) {
  std::uint8_t image[YAT_EEPROM_IMAGE_SIZE];
  if (Yat_GetBoardEntry(board) == nullptr) return QELHW_ERROR_ARG_INVALID;
  Yat_Eeprom_GetInfo(board, 0, image, sizeof image);
  QelHwStatus status = Yat_Man_InitResourceManager(board);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: FPGA couldn't be loaded", kPardowLabel);
    return status;
  }
  std::uint32_t state = 0;
  status = ReadFirmwareState(board, &state);
  if (status == QELHW_OK) status = TakeRunningFirmware(board, (state & kRunsBackup) != 0);
  if (status == QELHW_OK) CompareWithConfiguredFile(board);
  return status;
}

PARDOW_API QelHwStatus Yat_FPGA_Initialize(std::uint32_t board) {
  if (Yat_FPGA_IsPresent(board) == 0) return QELHW_OK;
  QelHwStatus status = Yat_Man_UpdateFpga(board);
  if (status == QELHW_OK) status = Yat_Man_IoBoard_UpdateFpga(board);
  return status;
}

PARDOW_API QelHwStatus Yat_Man_IoBoard_UpdateFpga(std::uint32_t board) { return UpdateDaughter(board, kXio); }
PARDOW_API QelHwStatus Yat_Man_IpuBoard_UpdateFpga(std::uint32_t board) { return UpdateDaughter(board, kIpu); }

PARDOW_API std::uint32_t Yat_Man_isIoBoardFpgaLoaded(std::uint32_t board) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || entry->xioPresent == 0) return 0;
  std::uint32_t status = 0;
  std::uint32_t version = 0;
  if (Yat_SetBitReg(board, kRegXioControl, kXioProbe, kXioProbe) != QELHW_OK ||
      Yat_SetBitReg(board, kRegXioControl, 0, kXioProbe) != QELHW_OK ||
      Yat_ReadDataReg(board, kRegXioStatus, &status) != QELHW_OK ||
      Yat_ReadDataReg(board, kRegXioVersion, &version) != QELHW_OK)
    return 0;
  return status >= kXioConfigured && version != 0 ? 1 : 0;
}

PARDOW_API std::uint32_t Yat_Man_isIpuBoardFpgaLoaded(std::uint32_t board) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || entry->ipuPresent == 0) return 0;
  std::uint32_t value = 0;
  if (Yat_ReadDataReg(board, kRegIpuStatus, &value) != QELHW_OK) return 0;
  return (value & kIpuConfigured) != 0 ? 1 : 0;
}

PARDOW_API QelHwStatus Yat_Man_IoBoard_Unload(std::uint32_t board) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || entry->xioPresent == 0 || Yat_FPGA_IsLoaded(board) == 0) return QELHW_OK;
  QelHwStatus status = Yat_WriteDataReg(board, kRegXioUnload, 8);
  if (status == QELHW_OK) status = Yat_WriteDataReg(board, kRegXioUnload, 1);
  return status;
}

PARDOW_API QelHwStatus Yat_Man_IpuBoard_Unload(std::uint32_t board) {
  const YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr || entry->ipuPresent == 0) return QELHW_OK;
  return Yat_FPGA_Unload(board, 2);
}
