// The transfer queue of this process and the event that announces it.
#include <cstdio>
#include <cstring>

#include "driver/user/MsgRequests.h"
#include "driver/user/YatDeviceIoControl.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatMsgClient.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kTransferQueue = 1;
constexpr std::uint32_t kTransferMessageSize = 40;
constexpr int kTracedWords = 5;

void Log(const char* format, auto... arguments) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, format, kPardowLabel, arguments...);
}

void TraceMessage(std::uint32_t board, const std::uint8_t* message) {
  if (Yat_GetDebugLevel() <= 1) return;
  char text[32];
  std::snprintf(text, sizeof text, "[Board=%d]\n", static_cast<int>(board));
  Yat_DebugTrace(text);
  for (int i = 0; i < kTracedWords; ++i) {
    std::uint32_t word = 0;
    std::memcpy(&word, message + 4 * i, sizeof word);
    std::snprintf(text, sizeof text, "[0x%08X]\n", word);
    Yat_DebugTrace(text);
  }
}

}  // namespace

PARDOW_API QelHwStatus Yat_Transfer_GetMessage(std::uint32_t board, std::uint8_t* message, std::uint32_t size) {
  if (size != kTransferMessageSize || message == nullptr) {
    Log("%s, Board %d, Yat_Get_Transfer_Message status %x", static_cast<int>(board),
        static_cast<unsigned>(QELHW_ERROR_ARG_INVALID));
    return QELHW_ERROR_ARG_INVALID;
  }
  YatMsgRequest record{{0, 0}, kTransferQueue, kTransferMessageSize, reinterpret_cast<std::uintptr_t>(message)};
  const MsgAnswer answer = MsgSendBoard(0, YAT_IOCTRL_GET_MESSAGE, &record, sizeof record, kMsgPresetOne);
  if (!answer.Delivered() || answer.status != QELHW_OK) {
    Log("%s, Board %d, Yat_Transfer_GetMessage Failed %x %x", static_cast<int>(board),
        static_cast<unsigned>(answer.sent), answer.bytes);
    return QELHW_ERROR_DRIVER_ACCESS;
  }
  std::uint32_t last = 0;
  std::memcpy(&last, message + kTransferMessageSize - sizeof last, sizeof last);
  if ((last & YAT_MSG_PRESENT) == 0) return QELHW_ERROR_DATA_NO_MESSAGES;
  TraceMessage(board, message);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Transfer_ClearMessageQueue(std::uint32_t board) {
  YatQueueReset record{{0, 0}, kTransferQueue};
  const MsgAnswer answer =
      MsgSendGlobal(YAT_IOCTRL_RESET_QUEUE_EVENT, &record, sizeof record, YAT_IOC_STATUS_PRESET);
  if (!answer.Delivered()) {
    Log("%s, Board %d, Yat_Transfer_ClearMessageQueue Failed %x %x", static_cast<int>(board),
        static_cast<unsigned>(answer.sent), answer.bytes);
    return QELHW_ERROR_DRIVER_ACCESS;
  }
  if (answer.status == QELHW_OK) return QELHW_OK;
  Log("%s, Board %d, Yat_Transfer_ClearMessageQueue status %x", static_cast<int>(board),
      static_cast<unsigned>(answer.status));
  return QELHW_ERROR_DRIVER_STATUS;
}

PARDOW_API QelHwStatus Yat_Transfer_GetEventHandle(std::uint32_t board, std::uint64_t* event) {
  plat::Handle handle{};
  if (event == nullptr || !Yat_MsgClient_GetEvent(&handle)) {
    Log("%s, Board %d, Yat_Transfer_GetEventHandle status %x", static_cast<int>(board),
        static_cast<unsigned>(QELHW_ERROR_INVALID_HANDLE));
    return QELHW_ERROR_INVALID_HANDLE;
  }
  *event = handle;
  return QELHW_OK;
}
