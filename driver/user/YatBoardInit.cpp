#include "driver/user/YatBoardInit.h"

#include <algorithm>
#include <iterator>

#include "driver/user/BoardSetup.h"
#include "driver/user/EepromI2c.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatBoardSetup.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRequests.h"
#include "qellib/QelLog.h"

namespace {

void LogFailure(const char* format, QelHwStatus status) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, format, kPardowLabel, static_cast<unsigned>(status));
}

// Each step runs only while the ones before succeeded; each failure names its step.
QelHwStatus BringUpBoard(std::uint32_t board) {
  QelHwStatus status = Yat_Eeprom_Init(board);
  if (status != QELHW_OK) LogFailure("%s, Yat_InitOnce: Yat_Eeprom_Init - Failed(0x%x)", status);
  if (status == QELHW_OK && Yat_FPGA_IsPresent(board) != 0 && Yat_FPGA_IsLoaded(board) != 0) {
    status = Yat_Man_Reset(board, 1);
    if (status != QELHW_OK) LogFailure("%s, Yat_InitOnce: Yat_Man_Reset - Failed(0x%x)", status);
  }
  if (status == QELHW_OK) status = Yat_Man_MiscInit(board);
  if (status == QELHW_OK) {
    status = Yat_FPGA_Initialize(board);
    if (status != QELHW_OK) LogFailure("%s, Yat_InitOnce: Yat_FPGA_Initialize - Failed(0x%x)", status);
  }
  if (status == QELHW_OK) {
    status = Yat_Man_InitBoardManager(board);
    if (status != QELHW_OK) LogFailure("%s, Yat_InitOnce: Yat_Man_InitBoardManager - Failed(0x%x)", status);
  }
  if (status == QELHW_OK) {
    status = Yat_FPGA_SetMemoryBank(board);
    if (status != QELHW_OK) LogFailure("%s, Yat_InitOnce: Yat_FPGA_SetMemoryBank - Failed(0x%x)", status);
  }
  if (status == QELHW_OK) {
    std::uint32_t speed = 0;
    status = Yat_FPGA_GetPciSpeed(board, &speed);
    if (status != QELHW_OK)
      LogFailure("%s: Yat_InitOnce: Yat_FPGA_GetPciSpeed - Failed(0x%x)", status);
    else
      LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Board %d, PCIe Speed = x%d", kPardowLabel,
                static_cast<int>(board), static_cast<int>(speed));
  }
  return status;
}

// The DMA owner tables belong to the transfer operations; initialisation only frees them.
void FreeDmaOwners(YatBoardEntry* entry) {
  for (auto& group : entry->hostDmaOwner) std::fill(std::begin(group), std::end(group), YAT_DMA_OWNER_FREE);
  std::fill(std::begin(entry->acqDmaOwner), std::end(entry->acqDmaOwner), YAT_DMA_OWNER_FREE);
}

}  // namespace

QelHwStatus Yat_Man_MiscInit(std::uint32_t board) {
  std::uint8_t image[YAT_EEPROM_IMAGE_SIZE];
  Yat_Eeprom_GetInfo(board, 0, image, sizeof image);
  return QELHW_OK;
}

QelHwStatus Yat_Man_InitBoardManager(std::uint32_t board) {
  std::uint8_t image[YAT_EEPROM_IMAGE_SIZE];
  QelHwStatus status = Yat_Eeprom_GetInfo(board, 0, image, sizeof image);
  if (status != QELHW_OK) {
    LogFailure("%s, Yat_InitOnce: Yat_EepromGetInfo - Failed(0x%x)", status);
    return status;
  }
  status = Yat_Man_InitKernelBoardManager(board);
  if (status != QELHW_OK)
    LogFailure("%s, Yat_Man_InitBoardManager: Yat_Man_InitKernelBoardManager - Failed(0x%x)", status);
  return status;
}

QelHwStatus Yat_InitBoardOnce(std::uint32_t board) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return QELHW_ERROR_ARG_INVALID;
  // An earlier first opener's outcome does not describe this attempt.
  entry->initialized = 0;
  entry->initError = QELHW_OK;
  const QelHwStatus status = BringUpBoard(board);
  if (status != QELHW_OK) {
    entry->initError = status;
    return status;
  }
  FreeDmaOwners(entry);
  entry->initialized = 1;
  return QELHW_OK;
}
