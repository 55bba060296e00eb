// Until the board's memory manager is built at start-up, no bank has an
// allocator: requests are answered as for a bank without one.
#include "driver/kernel/OnboardMemory.h"

#include "driver/kernel/StavroLog.h"

QelHwStatus Yat_AllocFPGAMem(YatBoardExtension* board, std::uint32_t, std::uint32_t, std::uint32_t,
                             std::uint32_t* address) {
  if (address != nullptr) *address = 0;
  STAVRO_LOG(kLogError, "%s:  <Yat_AllocFPGAMem> Board %d", board ? static_cast<int>(board->boardSlot) : -1);
  return QELHW_ERROR_PARAMETER_INVALID;
}

QelHwStatus Yat_FreeFPGAMem(YatBoardExtension* board, std::uint32_t, std::uint32_t) {
  if (board == nullptr || board->state != kYatBoardStarted) return QELHW_OK;
  STAVRO_LOG(kLogError, "%s:  <Yat_FreeFPGAMem> Board %d", static_cast<int>(board->boardSlot));
  return QELHW_ERROR_PARAMETER_INVALID;
}
