// Event routes and acquisition-channel ownership.
#include "driver/user/Pardow.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRecords.h"
#include "driver/user/YatManRequests.h"
#include "driver/user/YatRequestForm.h"

namespace {

QelHwStatus SendRoute(const char* name, std::uint32_t code, std::uint32_t board, std::uint32_t index,
                      std::uint32_t resourceType, std::uint32_t eventBits) {
  if (board >= YAT_MAX_BOARD || resourceType == 0) return YatArgumentInvalid(name, board);
  YatIocRouteIn in{{}, index, resourceType, eventBits};
  YatIocStatus out{};
  QelHwStatus status;
  if (!YatSend({name, board, code, YAT_IOC_STAMP_BOARD}, &in, &out, &status)) return status;
  return YatTranslateStatus(name, status, YatTranslate::kGeneric);
}

QelHwStatus SendChannel(const char* name, std::uint32_t code, std::uint32_t board, std::uint32_t channel) {
  if (board >= YAT_MAX_BOARD) return YatArgumentInvalid(name, board);
  YatIocValueIn in{{}, channel};
  YatIocStatus out{};
  QelHwStatus status;
  if (!YatSend({name, board, code, YAT_IOC_STAMP_BOARD}, &in, &out, &status)) return status;
  return YatTranslateStatus(name, status, YatTranslate::kGeneric);
}

}  // namespace

PARDOW_API QelHwStatus Yat_Event_Route(std::uint32_t board, std::uint32_t index, std::uint32_t resourceType,
                                       std::uint32_t eventBits) {
  return SendRoute("Yat_Event_Route", YAT_IOCTRL_ROUTE_EVENT, board, index, resourceType, eventBits);
}

PARDOW_API QelHwStatus Yat_Event_UnRoute(std::uint32_t board, std::uint32_t index, std::uint32_t resourceType,
                                         std::uint32_t eventBits) {
  return SendRoute("Yat_Event_UnRoute", YAT_IOCTRL_UNROUTE_EVENT, board, index, resourceType, eventBits);
}

QelHwStatus Yat_Kernel_Acq_Start(std::uint32_t board, std::uint32_t channel) {
  return SendChannel("Yat_Kernel_Acq_Start", YAT_IOCTRL_KERNEL_ACQ_START, board, channel);
}

QelHwStatus Yat_Kernel_Acq_Abort(std::uint32_t board, std::uint32_t channel) {
  return SendChannel("Yat_Kernel_Acq_Abort", YAT_IOCTRL_KERNEL_ACQ_ABORT, board, channel);
}
