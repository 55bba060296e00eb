// The message functions of the library: an event per message type, fetching
// one message, emptying a queue.
#include <array>
#include <cstdio>
#include <cstring>

#include "driver/user/MsgRequests.h"
#include "driver/user/YatDeviceIoControl.h"
#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

constexpr std::uint32_t kEventTypes = 5;    // types with a library event
constexpr std::uint32_t kFetchTypes = 6;    // types a caller may fetch or empty
constexpr std::uint32_t kRecordSizes[kFetchTypes] = {20, 40, 32, 4, 32, 20};
constexpr std::uint32_t kGpioBufferSize = 40;
constexpr std::uint32_t kGpioSizeWord = 8;

// The per-type events of this process (any board).
std::array<plat::Handle, kEventTypes> g_typeEvents{};

void Log(const char* format, auto... arguments) {
  LogPutLog(kQelLogError, __FILE__, __LINE__, format, kPardowLabel, arguments...);
}

bool Present(const void* buffer, std::uint32_t recordSize) {
  std::uint32_t last = 0;
  std::memcpy(&last, static_cast<const std::uint8_t*>(buffer) + recordSize - sizeof last, sizeof last);
  return (last & YAT_MSG_PRESENT) != 0;
}

// The fetch request; false (logged) when it failed or the driver refused.
bool Fetch(std::uint32_t board, std::uint32_t type, std::uint32_t sizeWord, void* buffer) {
  YatMsgRequest record{{0, 0}, type, sizeWord, reinterpret_cast<std::uintptr_t>(buffer)};
  MsgAnswer answer = MsgSendBoard(board, YAT_IOCTRL_GET_MESSAGE, &record, sizeof record, kMsgPresetOne);
  if (answer.Delivered() && answer.status == QELHW_OK) return true;
  Log("%s, Board %d, Yat_Transfer_GetMessage Failed %x %x", static_cast<int>(board),
      static_cast<unsigned>(answer.sent), answer.bytes);
  return false;
}

void DumpGpioMessage(std::uint32_t board, const std::uint32_t* words) {
  char text[512];
  std::snprintf(text, sizeof text, "[Board=%d]\n", static_cast<int>(board));
  Yat_DebugTrace(text);
  for (int i = 0; i < 5; ++i) {
    std::snprintf(text, sizeof text, "[0x%08X]\n", words[i]);
    Yat_DebugTrace(text);
  }
}

}  // namespace

PARDOW_API bool Yat_Event_RegisterMsg(std::uint32_t board, std::uint32_t type) {
  if (type >= kEventTypes) {
    Log("%s,Yat_Event_RegisterMsg Failed");
    return false;
  }
  plat::Handle event = plat::create_event(nullptr, false, false, nullptr);
  if (event == plat::kNullHandle) return false;
  MsgAnswer answer = MsgRegisterEvent(type, event);
  if (!answer.Delivered()) Log("%s,YAT_IOCTRL_REGISTER_EVENT Failed");
  const bool registered = answer.Delivered() && answer.status == QELHW_OK;
  // The driver released the event this one replaces only if it took the new
  // one: until then a thread may still wait on the old event, which stays.
  if (registered && g_typeEvents[type] != plat::kNullHandle) plat::close_handle(g_typeEvents[type]);
  if (registered || g_typeEvents[type] == plat::kNullHandle) {
    g_typeEvents[type] = event;
  } else {
    plat::close_handle(event);
  }
  return registered;
}

PARDOW_API bool Yat_Event_UnregisterMsg(std::uint32_t board, std::uint32_t type) {
  if (type >= kEventTypes || g_typeEvents[type] == plat::kNullHandle) {
    Log("%s,Yat_Event_UnregisterMsg Failed");
    return false;
  }
  MsgAnswer answer = MsgUnregisterEvent(type, g_typeEvents[type]);
  if (!answer.Delivered() || answer.status != QELHW_OK) return false;
  plat::close_handle(g_typeEvents[type]);
  g_typeEvents[type] = plat::kNullHandle;
  return true;
}

PARDOW_API QelHwStatus Yat_Event_ClearMessageQueue(std::uint32_t board, std::uint32_t type) {
  if (type >= kFetchTypes) {
    Log("%s,YatUnregisterMsgEvent Failed");
    return QELHW_ERROR_ARG_INVALID;
  }
  YatQueueReset record{{0, 0}, type};
  MsgAnswer answer = MsgSendGlobal(YAT_IOCTRL_RESET_QUEUE_EVENT, &record, sizeof record, YAT_IOC_STATUS_PRESET);
  if (!answer.Delivered()) {
    Log("%s, Board %d, Yat_Event_ClearMessageQueue Failed %x %x", static_cast<int>(board),
        static_cast<unsigned>(answer.sent), answer.bytes);
    return QELHW_ERROR_DRIVER_ACCESS;
  }
  if (answer.status != QELHW_OK) {
    Log("%s, Board %d, Yat_Event_ClearMessageQueue status %x", static_cast<int>(board),
        static_cast<unsigned>(answer.status));
    return QELHW_ERROR_DRIVER_STATUS;
  }
  return QELHW_OK;
}

// The driver writes the type's whole record, so a smaller buffer is refused.
PARDOW_API QelHwStatus Yat_Event_GetMessage(std::uint32_t board, std::uint32_t type, void* buffer,
                                            std::uint32_t size) {
  if (type >= kFetchTypes || buffer == nullptr || size < kRecordSizes[type]) {
    Log("%s,Yat_Event_GetMessage Failed");
    return QELHW_ERROR_ARG_INVALID;
  }
  if (!Fetch(board, type, size, buffer)) return QELHW_ERROR_DRIVER_ACCESS;
  return Present(buffer, kRecordSizes[type]) ? QELHW_OK : QELHW_ERROR_DATA_NO_MESSAGES;
}

PARDOW_API QelHwStatus Yat_GPIO_GetMessage(std::uint32_t board, std::uint32_t* buffer, std::uint32_t size) {
  if (size != kGpioBufferSize || buffer == nullptr) {
    Log("%s, Board %d, Yat_Get_Transfer_Message status %x", static_cast<int>(board),
        static_cast<unsigned>(QELHW_ERROR_ARG_INVALID));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (!Fetch(board, YAT_MSG_TYPE_IO_LINE, kGpioSizeWord, buffer)) return QELHW_ERROR_DRIVER_ACCESS;
  if ((buffer[7] & YAT_MSG_PRESENT) == 0) return QELHW_ERROR_DATA_NO_MESSAGES;
  if (Yat_GetDebugLevel() >= 2) DumpGpioMessage(board, buffer);
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Event_GetHandle(std::uint32_t board, std::uint32_t type, std::uint64_t* handle) {
  if (handle == nullptr) {
    Log("%s, Brd %d:  Yat_Event_GetHandle: NULL pointer pHandle", static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  if (type >= kEventTypes) {
    Log("%s, Brd %d: Yat_Event_GetHandle Failed", static_cast<int>(board));
    return QELHW_ERROR_ARG_INVALID;
  }
  *handle = g_typeEvents[type];
  return *handle == plat::kNullHandle ? QELHW_ERROR_INVALID_HANDLE : QELHW_OK;
}

// Types past the table have no event to close.
PARDOW_API QelHwStatus Yat_Event_CloseHandles(std::uint32_t board, std::uint32_t type) {
  if (type < kEventTypes && g_typeEvents[type] != plat::kNullHandle) {
    plat::close_handle(g_typeEvents[type]);
    g_typeEvents[type] = plat::kNullHandle;
  }
  return QELHW_OK;
}

PARDOW_API QelHwStatus Yat_Event_DispatchMessage() {
  std::uint8_t record[24] = {};
  MsgAnswer answer = MsgSendGlobal(YAT_IOCTRL_DISPATCH_MESSAGE, record, sizeof record, kMsgPresetOne);
  Log("%s, Board %d, Yat_Event_DispatchMessage Failed %x %x", 0, static_cast<unsigned>(answer.sent), answer.bytes);
  return QELHW_ERROR_DRIVER_ACCESS;
}
