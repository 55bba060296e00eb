#include "driver/user/YatBoardInit.h"

#include <algorithm>
#include <iterator>

#include "driver/user/EepromI2c.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

// The steps that bring the board up (EEPROM, firmware check, FPGA and memory
// set-up) join here with the board initialisation; the entry's own
// bookkeeping below is what every successful initialisation ends with.
QelHwStatus BringUpBoard(std::uint32_t board) {
  const QelHwStatus status = Yat_Eeprom_Init(board);
  if (status != QELHW_OK)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Yat_InitOnce: Yat_Eeprom_Init - Failed(0x%x)", kPardowLabel,
              static_cast<unsigned>(status));
  return status;
}

void FreeDmaOwners(YatBoardEntry* entry) {
  for (auto& group : entry->hostDmaOwner) std::fill(std::begin(group), std::end(group), YAT_DMA_OWNER_FREE);
  std::fill(std::begin(entry->acqDmaOwner), std::end(entry->acqDmaOwner), YAT_DMA_OWNER_FREE);
}

}  // namespace

QelHwStatus Yat_InitBoardOnce(std::uint32_t board) {
  YatBoardEntry* entry = Yat_GetBoardEntry(board);
  if (entry == nullptr) return QELHW_ERROR_ARG_INVALID;
  const QelHwStatus status = BringUpBoard(board);
  if (status != QELHW_OK) {
    entry->initError = status;
    return status;
  }
  FreeDmaOwners(entry);
  entry->initialized = 1;
  return QELHW_OK;
}
