// Section 5: the caller's queues (fetch, event, reset) and its routes.
#include <algorithm>
#include <cstring>

#include "driver/kernel/BoardPins.h"
#include "driver/kernel/IocSections.h"
#include "driver/kernel/KernelServices.h"
#include "driver/kernel/MessageRequests.h"
#include "driver/kernel/MsgRouting.h"
#include "driver/kernel/ProcessTable.h"
#include "driver/kernel/ResourceManager.h"
#include "driver/kernel/StavroLog.h"

using namespace plat::kernel;

namespace {

// Registrations are traced with the memory requests; routes and the rest with the events.
constexpr std::uint32_t kTraceRegistrations = kTraceMemory;
constexpr std::uint32_t kTraceRoutes = kTraceEvents;
constexpr std::uint32_t kIoLines820 = 0x820;
constexpr std::uint32_t kIoLines80C = 0x80C;

struct Request {
  YatIocContext* context;
  std::uint32_t slot;
  bool caller32;
};

template <typename Record>
bool ReadInput(const Request& request, std::uint32_t minimum, Record* record) {
  if (request.context->inputLength < minimum) return false;
  *record = {};
  std::memcpy(record, request.context->input, std::min<std::size_t>(sizeof(Record), request.context->inputLength));
  return true;
}

bool Traced(const Request& request, std::uint32_t flag) { return (request.context->manager->traceFlags & flag) != 0; }

// Only the process's own queues; the time-stamp queues and anything past the table are the driver's.
YatMsgQueue* CallerQueue(const Request& request, std::uint32_t type) {
  if (type >= YAT_MSG_USER_QUEUES) return nullptr;
  return YatProcessQueue(request.context->manager, request.slot, type);
}

QelHwStatus GetMessage(const Request& request) {
  YatMsgRequest record{};
  if (request.caller32) {
    YatMsgRequest32 narrow{};
    if (!ReadInput(request, sizeof narrow, &narrow)) return QELHW_ERROR_IOC_BUFFER;
    record = {narrow.header, narrow.messageType, narrow.size, narrow.buffer};
  } else if (!ReadInput(request, sizeof record, &record)) {
    return QELHW_ERROR_IOC_BUFFER;
  }
  if (request.context->board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  YatMsgQueue* queue = CallerQueue(request, record.messageType);
  if (queue == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  // The record leaves the queue only once it is in the caller's buffer: a
  // bad buffer loses nothing, and the next good fetch gets it.
  for (;;) {
    std::uint8_t entry[sizeof(YatTransferMessage)] = {};
    YatMsgTicket ticket;
    QelHwStatus status = PeekMessageEvent(queue, entry, &ticket);
    if (status != QELHW_OK) return status;
    if (!plat::nt_success(copy_to_caller(record.buffer, entry, queue->entrySize))) return QELHW_ERROR_PARAMETER_INVALID;
    if (CommitMessage(queue, ticket)) return QELHW_OK;
  }
}

bool ReadRegistration(const Request& request, YatEventRegistration* record) {
  if (!request.caller32) return ReadInput(request, sizeof *record, record);
  YatEventRegistration32 narrow{};
  if (!ReadInput(request, sizeof narrow, &narrow)) return false;
  *record = {narrow.header, narrow.messageType, narrow.event};
  return true;
}

QelHwStatus RegisterEvent(const Request& request) {
  YatEventRegistration record{};
  if (!ReadRegistration(request, &record)) return QELHW_ERROR_IOC_BUFFER;
  if (Traced(request, kTraceRegistrations))
    STAVRO_LOG(kLogTrace, "%s: <YAT_IOCTRL_REGISTER_EVENT> Event Type %d ProcessID = %d",
               static_cast<int>(record.messageType), static_cast<int>(request.slot));
  YatMsgQueue* queue = CallerQueue(request, record.messageType);
  if (queue == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  UserEvent* event = nullptr;
  QelHwStatus status = RegisterGrabEvent(record.event, &event);
  AttachQueueEvent(queue, event);
  return status;
}

QelHwStatus UnregisterEvent(const Request& request) {
  YatEventRegistration record{};
  if (!ReadRegistration(request, &record)) return QELHW_ERROR_IOC_BUFFER;
  if (Traced(request, kTraceRoutes))
    STAVRO_LOG(kLogTrace, "%s: <YAT_IOCTRL_UNREGISTER_EVENT> Resource Type %d ProcessID = %d",
               static_cast<int>(record.messageType), static_cast<int>(request.slot));
  YatMsgQueue* queue = CallerQueue(request, record.messageType);
  if (queue == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  ReleaseQueueEvent(queue);
  return QELHW_OK;
}

QelHwStatus ResetQueue(const Request& request) {
  YatQueueReset record{};
  if (!ReadInput(request, sizeof record, &record)) return QELHW_ERROR_IOC_BUFFER;
  if (Traced(request, kTraceRoutes))
    STAVRO_LOG(kLogTrace, "%s: <YAT_IOCTRL_RESET_QUEUE_EVENT> Event Type %d ProcessID = %d",
               static_cast<int>(record.messageType), static_cast<int>(request.slot));
  YatMsgQueue* queue = CallerQueue(request, record.messageType);
  if (queue == nullptr) return QELHW_ERROR_PARAMETER_INVALID;
  ResetMsgQueue(queue);
  return QELHW_OK;
}

// The enable of an I/O line route: register and bit.
bool IoLineEnable(std::uint32_t type, std::uint32_t index, std::uint32_t* reg, std::uint32_t* bit) {
  if (index >= kYatIoLineOwners) return false;
  if (type == YAT_ROUTE_IO_LINE_820) {
    *reg = kIoLines820;
    *bit = 1u << (16 + index);
  } else {
    *reg = kIoLines80C;
    *bit = index < 8 ? 1u << 15 : 1u << (8 + index);
  }
  return true;
}

QelHwStatus RouteIoLine(YatBoardExtension* board, const YatEventRoute& route, std::uint32_t slot, bool on) {
  std::uint32_t reg = 0, bit = 0;
  if (!IoLineEnable(route.resourceType, route.index, &reg, &bit)) return QELHW_ERROR_PARAMETER_INVALID;
  YatEventRouting* routing = YatBoardRouting(board);
  if (!on && routing->ioLineOwner[route.index].load() != slot) return QELHW_ERROR_PARAMETER_INVALID;
  routing->ioLineOwner[route.index].store(on ? slot : kYatNoOwner);
  return Yat_SetBitsReg(board, reg, on ? bit : 0, bit);
}

QelHwStatus RouteHostDma(YatBoardExtension* board, const YatEventRoute& route, std::uint32_t slot, bool on) {
  if ((route.eventBits & YAT_ROUTE_HOST_DMA_BIT) == 0) return QELHW_OK;
  if (route.index >= kYatEventChannels) return QELHW_ERROR_PARAMETER_INVALID;
  YatEventRouting* routing = YatBoardRouting(board);
  if (on) {
    routing->transferMessageOwner[route.index].store(slot);
    return YatHostMessagesOn(board);
  }
  if (routing->transferMessageOwner[route.index].load() != slot) return QELHW_ERROR_PARAMETER_INVALID;
  routing->transferMessageOwner[route.index].store(kYatNoOwner);
  return YatHostMessagesOffIfUnrouted(board);
}

QelHwStatus Route(const Request& request, bool on) {
  YatEventRoute route{};
  if (!ReadInput(request, sizeof route, &route)) return QELHW_ERROR_IOC_BUFFER;
  YatBoardExtension* board = request.context->board;
  if (board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  if (Traced(request, kTraceRoutes)) {
    if (on)
      STAVRO_LOG(kLogTrace, "%s: <YAT_IOCTRL_ROUTE_EVENT> Resource Type %d ProcessID = %d",
                 static_cast<int>(route.index), static_cast<int>(request.slot));
    else
      STAVRO_LOG(kLogTrace, "%s: <YAT_IOCTRL_UNROUTE_EVENT> Event Type %d ProcessID = %d",
                 static_cast<int>(route.index), static_cast<int>(request.slot));
  }
  switch (route.resourceType) {
    case YAT_ROUTE_CHANNEL:
      return RouteEvent(board, route.index, route.eventBits, request.slot, kYatRouteMessages, on);
    case YAT_ROUTE_IO_LINE_820:
    case YAT_ROUTE_IO_LINE_80C: return RouteIoLine(board, route, request.slot, on);
    case YAT_ROUTE_HOST_DMA: return RouteHostDma(board, route, request.slot, on);
    case YAT_ROUTE_NONE: return QELHW_OK;
    default: return QELHW_ERROR_PARAMETER_INVALID;
  }
}

// Transfer and I/O-line routes of a slot on one board; channel routes stay.
QelHwStatus DropTransferAndLineRoutes(YatBoardExtension* board, std::uint32_t slot) {
  YatEventRouting* routing = YatBoardRouting(board);
  for (auto& owner : routing->transferMessageOwner)
    if (owner.load() == slot) owner.store(kYatNoOwner);
  for (auto& owner : routing->ioLineOwner)
    if (owner.load() == slot) owner.store(kYatNoOwner);
  return YatHostMessagesOffIfUnrouted(board);
}

QelHwStatus UnrouteAll(const Request& request) {
  if (request.context->inputLength < sizeof(YatIocHeader)) return QELHW_ERROR_IOC_BUFFER;
  if (request.context->board == nullptr) return QELHW_ERROR_NO_BOARD_FOUND;
  if (Traced(request, kTraceRoutes))
    STAVRO_LOG(kLogTrace, "%s: <YAT_IOCTRL_UNROUTE_ALL_EVENT> ProcessID = %d", static_cast<int>(request.slot));
  QelHwStatus first = QELHW_OK;
  YatForEachPinnedBoard(request.context->manager, [&](YatBoardExtension* board) {
    QelHwStatus status = DropTransferAndLineRoutes(board, request.slot);
    if (first == QELHW_OK) first = status;
  });
  return first;
}

QelHwStatus Serve(const Request& request) {
  switch (request.context->code) {
    case YAT_IOCTRL_GET_MESSAGE: return GetMessage(request);
    case YAT_IOCTRL_REGISTER_EVENT: return RegisterEvent(request);
    case YAT_IOCTRL_UNREGISTER_EVENT: return UnregisterEvent(request);
    case YAT_IOCTRL_ROUTE_EVENT: return Route(request, true);
    case YAT_IOCTRL_UNROUTE_EVENT: return Route(request, false);
    case YAT_IOCTRL_UNROUTE_ALL_EVENT: return UnrouteAll(request);
    case YAT_IOCTRL_RESET_QUEUE_EVENT: return ResetQueue(request);
    default: return QELHW_ERROR_IOC_FUNCTION;
  }
}

}  // namespace

QelHwStatus EventIoctlHandler(YatManagerExtension* manager, std::uint32_t code, void* input, std::uint32_t inputLength,
                              void* output, std::uint32_t outputLength) {
  const bool caller32 = (code & YAT_IOCTRL_WIDTH_BIT) == 0;
  YatIocContext context{};
  QelHwStatus status = YatIocEnter(&context, manager, 5, code, input, inputLength, output, outputLength);
  if (status != QELHW_OK) return YatIocAnswer(output, outputLength, status);
  if (outputLength < sizeof(YatIocStatus)) return QELHW_ERROR_IOC_BUFFER;
  const std::uint32_t slot = FindProcessSlot(context.manager, static_cast<std::uint64_t>(current_process_id()));
  if (slot == kYatNoProcessSlot) return YatIocAnswer(output, outputLength, QELHW_ERROR_PROCESS_NOT_REGISTERED);
  return YatIocAnswer(output, outputLength, Serve({&context, slot, caller32}));
}
