// Where the message code finds its state in the driver's extensions, and the
// board services it calls.
#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/YatBoard.h"

YatEventRouting* YatBoardRouting(YatBoardExtension* board) { return board ? &board->routing : nullptr; }

YatManagerExtension* YatBoardManager(YatBoardExtension* board) {
  return board ? ManagerOf(board->managerDevice) : nullptr;
}

YatMsgQueue* YatProcessQueue(YatManagerExtension* manager, std::uint32_t row, std::uint32_t type) {
  if (manager == nullptr || row >= kYatProcessSlots || type >= YAT_MSG_QUEUE_COUNT) return nullptr;
  return &manager->messageQueues[row][type];
}

std::uint64_t YatStatusTimeStamp(YatBoardExtension* board, std::uint32_t statusBit) {
  return statusBit >= 25 && statusBit <= 28 ? board->statusTimeStamps[statusBit - 25] : 0;
}

std::uint32_t YatEventChannelOf(YatBoardExtension* board, std::uint32_t event) {
  std::uint32_t flag = 0;
  return YatEventIsDoubled(board, event, &flag) == QELHW_OK ? flag : 0;
}
