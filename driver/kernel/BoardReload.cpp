#include "driver/kernel/BoardReload.h"

#include <cstring>

#include "driver/kernel/BoardControl.h"
#include "driver/kernel/MutexHold.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"
#include "driver/kernel/YatBoard.h"
#include "platform/kernel/time.h"

using namespace plat::kernel;

namespace {

constexpr std::uint32_t kRegFpgaId = 0x400;
constexpr std::uint32_t kRegDmaControl = 0x10004;
constexpr std::uint32_t kDmaControlResume = 0x8;
constexpr std::uint32_t kRegDmaReady = 0x10008;
constexpr std::uint32_t kPciSavedBytes = 108;
constexpr std::uint32_t kPciComparedBytes = 64;
constexpr std::uint8_t kNoDevice = 0xFF;

QelHwStatus BuildAfterLoad(YatBoardExtension* board) {
  QelHwStatus status = QELHW_OK;
  if (board->registers.built) {
    DisableMasterInterrupt(board);
    status = CloseResourceManager(board, true, true);
  }
  if (status == QELHW_OK) status = Yat_SetBitsReg(board, kRegDmaControl, kDmaControlResume, kDmaControlResume);
  if (status == QELHW_OK) status = YatReadBoardRegister(board, kRegFpgaId, &board->fpgaId);
  if (status == QELHW_OK) status = Yat_InitResourceMan(board);
  std::uint32_t ready = 0;
  if (status == QELHW_OK) status = Yat_ReadReg(board, kRegDmaReady, &ready);
  if (status == QELHW_OK && board->registers.built && board->registers.accessEnabled) {
    status = CreateSerialPorts(board);
    if (status == QELHW_OK) status = EnableMasterInterrupt(board);
  }
  return status;
}

void LogReload(const char* what, const YatBoardExtension* board, QelHwStatus status) {
  KernelLogPrint(kLogError, __FILE__, __LINE__, what, kStavroLabel, static_cast<long>(board->boardSlot),
                 static_cast<unsigned long>(status));
}

// Bytes that the reload may legitimately change: the command and status
// bytes, and the low bits of BAR 0 that carry its type.
bool PciByteMayDiffer(std::uint32_t index) { return index == 4 || index == 6 || index == 7; }

QelHwStatus ComparePciConfiguration(YatBoardExtension* board, const std::uint8_t* saved) {
  std::uint8_t now[kPciSavedBytes] = {};
  QelHwStatus status = GDrv_ReadPciConfigurationSpace(board, now, 0, kPciSavedBytes);
  if (status != QELHW_OK) return status;
  for (std::uint32_t i = 0; i < kPciComparedBytes; ++i) {
    const std::uint8_t mask = i == 16 ? 0xF0 : 0xFF;
    if (PciByteMayDiffer(i) || (saved[i] & mask) == (now[i] & mask)) continue;
    if (i == 0 && now[0] == kNoDevice) {
      board->state = kYatBoardFailed;
      board->storedError = QELHW_ERROR_RESET_NEEDS_REBOOT;
      STAVRO_LOG(kLogError, "%s:IOCTRL_RELOAD, Pci Read Cfg space error => board #%ld : Reboot is required.",
                 static_cast<long>(board->boardSlot));
      return QELHW_ERROR_RESET_NEEDS_REBOOT;
    }
    STAVRO_LOG(kLogError, "%s:IOCTRL_RELOAD, Pci Read Cfg space error => board #%ld [0x%08lx] at bytes 0x%x 0x%x != 0x%x",
               static_cast<long>(board->boardSlot), static_cast<unsigned long>(QELHW_ERROR_PCICFG_READ), i, saved[i],
               now[i]);
    return QELHW_ERROR_PCICFG_READ;
  }
  return QELHW_OK;
}

QelHwStatus ReloadLocked(YatBoardExtension* board, std::uint32_t argument) {
  DisableMasterInterrupt(board);
  std::uint8_t saved[kPciSavedBytes] = {};
  QelHwStatus status = GDrv_ReadPciConfigurationSpace(board, saved, 0, kPciSavedBytes);
  if (status != QELHW_OK) {
    LogReload("%s:IOCTRL_RELOAD, Could not read PCI Configuration Space. => board #%ld [0x%08lx]", board, status);
    return status;
  }
  if (board->registers.built) {
    status = CloseResourceManager(board, true, true);
    if (status != QELHW_OK) {
      LogReload("%s:IOCTRL_RELOAD, Could not Close Resource Manager. => board #%ld [0x%08lx]", board, status);
      return status;
    }
  }
  status = YatRemoveSerialPorts(board);
  if (status != QELHW_OK) {
    LogReload("%s:IOCTRL_RELOAD, Could not remove Serial Ports. => board #%ld [0x%08lx]", board, status);
    return status;
  }
  bool accessAllowed = false;
  status = YatReloadFromFlash(board, argument, &accessAllowed);
  if (status == QELHW_ERROR_RESET_NEEDS_REBOOT) {
    // The board never came back: every later request is answered with this.
    board->state = kYatBoardFailed;
    board->storedError = status;
  }
  if (status != QELHW_OK) {
    LogReload("%s:IOCTRL_RELOAD, Could not reload Device From Flash. => board #%ld [0x%08lx]", board, status);
    return status;
  }
  delay_execution(relative_milliseconds(1000));
  status = GDrv_WritePciConfigurationSpace(board, saved, 0, kPciSavedBytes);
  if (status != QELHW_OK) {
    LogReload("%s:IOCTRL_RELOAD, Pci Write Configuration space error => board #%ld [0x%08lx]", board, status);
    return QELHW_ERROR_PCICFG_WRITE;
  }
  status = ComparePciConfiguration(board, saved);
  if (status == QELHW_OK) board->registers.accessEnabled = accessAllowed ? 1 : 0;
  return status;
}

}  // namespace

QelHwStatus YatRebuildRegisterMap(YatBoardExtension* board) {
  YatMutexHold configuring(&board->configurationMutex);
  YatMutexHold held(&board->eepromMutex);
  QelHwStatus status = BuildAfterLoad(board);
  if (status != QELHW_OK) {
    STAVRO_LOG(kLogError, "%s:ERROR <YAT_IOCTRL_LOAD_FPG>< Device Manager Disable");
    CloseResourceManager(board, false, false);
  }
  return status;
}

QelHwStatus YatReloadBoard(YatBoardExtension* board, std::uint32_t mode, std::uint32_t argument) {
  if (board->serial.portsConnected != 0) {
    STAVRO_LOG(kLogError, "%s:IOCTRL_RELOAD, serialPortConnected(0x%X) => board #%ld [0x%08lx]",
               board->serial.portsConnected, static_cast<long>(board->boardSlot),
               static_cast<unsigned long>(QELHW_ERROR_RESOURCE_IN_USE));
    return QELHW_ERROR_RESOURCE_IN_USE;
  }
  QelHwStatus status = YatReadEepromImage(board);
  if (status != QELHW_OK) LogReload("%s:IOCTRL_RELOAD, EEPROM could not be read. => board #%ld [0x%08lx]", board, status);
  if (mode != 2) return QELHW_OK;
  YatMutexHold configuring(&board->configurationMutex);
  YatMutexHold held(&board->eepromMutex);
  return ReloadLocked(board, argument);
}
