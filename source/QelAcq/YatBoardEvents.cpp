#include "source/QelAcq/YatBoardEvents.h"

#include <algorithm>

#include "driver/user/Pardow.h"
#include "source/QelAPI/QelConvert.h"
#include "source/QelAcq/AcqDetect.h"

namespace {

constexpr std::uint32_t kEventClassAcquisition = 1;
constexpr std::uint32_t kAllFrameEvents = 0x6;
constexpr std::uint32_t kPortWords[3] = {4, 4, 0};

QelStatus None() { return 0; }

QelStatus GetPortInfo(std::uint32_t, std::uint32_t, std::uint32_t* out) {
  if (out == nullptr) return 54;
  std::copy(std::begin(kPortWords), std::end(kPortWords), out);
  return 0;
}

QelStatus UnrouteAll(std::uint32_t board, std::uint32_t port) {
  if (board >= kAcqMaxBoards) return kQelModuleAcquisition | 0x133;
  if (port >= kAcqSlotsPerBoard) return kQelModuleAcquisition | 0x233;
  return TranslateStatus(Yat_Event_UnRoute(board, port, kEventClassAcquisition, kAllFrameEvents));
}

using RouteCall = QelHwStatus (*)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t);

QelStatus Route(RouteCall call, std::uint32_t board, std::uint32_t device, std::uint32_t mask) {
  std::uint32_t connector = 0;
  const QelStatus status = YatBoardGetConnector(board, device, &connector);
  if (status != 0) return status;
  const std::uint32_t bits = ConvEventMaskToHw(mask);
  if (bits == 0) return 0;
  return TranslateStatus(call(board, connector, kEventClassAcquisition, bits));
}

QelStatus RouteEvents(std::uint32_t board, std::uint32_t device, std::uint32_t mask) {
  return Route(Yat_Event_Route, board, device, mask);
}

QelStatus UnrouteEvents(std::uint32_t board, std::uint32_t device, std::uint32_t mask) {
  return Route(Yat_Event_UnRoute, board, device, mask);
}

QelStatus GetPortCount(std::uint32_t board, std::uint32_t* count) {
  if (count == nullptr) return 54;
  std::uint32_t ports = 0;
  const QelStatus status = TranslateStatus(Yat_Man_GetMaxGPIO(board, &ports));
  *count = std::min(ports, kAcqSlotsPerBoard);
  return status;
}

constexpr YatBoardEventTable kTable = {GetPortInfo, UnrouteAll, RouteEvents, UnrouteEvents, nullptr, nullptr,
                                       nullptr,     None,       None,        None,          GetPortCount, None,
                                       nullptr,     nullptr,    nullptr,     nullptr};

}  // namespace

const YatBoardEventTable* YatGetBoardEventTable() { return &kTable; }

QelStatus YatBoardGetConnector(std::uint32_t board, std::uint32_t device, std::uint32_t* connector) {
  const AcqDeviceRecord* record = AcqSharedRecord(AcqGetSharedTables(), board, device);
  if (record == nullptr || connector == nullptr || (record->resourceMask & 0x3) == 0) return kAcqNoConnector;
  *connector = (record->resourceMask & 0x1) != 0 ? 0 : 1;
  return 0;
}
