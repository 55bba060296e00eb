// The process-wide message client: one auto-reset event, registered with the
// driver for the transfer messages when the library opens and released when
// it closes.
#include "driver/user/YatMsgClient.h"

#include "driver/user/MsgRequests.h"
#include "driver/user/YatLibrary.h"
#include "qellib/QelLog.h"

namespace {

plat::Handle g_clientEvent = plat::kNullHandle;

}  // namespace

bool Yat_MsgClient_Register() {
  plat::Handle event = plat::create_event(nullptr, false, false, nullptr);
  if (event == plat::kNullHandle) return false;
  g_clientEvent = event;
  MsgAnswer answer = MsgRegisterEvent(YAT_MSG_TYPE_TRANSFER, event);
  if (!answer.Delivered())
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s,YAT_IOCTRL_REGISTER_EVENT Failed", kPardowLabel);
  return answer.Delivered() && answer.status == QELHW_OK;
}

QelHwStatus Yat_MsgClient_Init() {
  if (Yat_GetSharedBoardInfo()->boardCount == 0) return QELHW_OK;
  if (Yat_MsgClient_Register()) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: INITINSTANCE => Cannot register messages client", kPardowLabel);
  return QELHW_ERROR_DRIVER_STATUS;
}

bool Yat_MsgClient_Unregister() {
  if (g_clientEvent == plat::kNullHandle) return false;
  MsgAnswer answer = MsgUnregisterEvent(YAT_MSG_TYPE_TRANSFER, g_clientEvent);
  if (!answer.Delivered()) return false;
  plat::close_handle(g_clientEvent);
  g_clientEvent = plat::kNullHandle;
  return answer.status == QELHW_OK;
}

void Yat_MsgClient_CloseEvent() {
  if (g_clientEvent == plat::kNullHandle) return;
  plat::close_handle(g_clientEvent);
  g_clientEvent = plat::kNullHandle;
}

bool Yat_MsgClient_GetEvent(plat::Handle* event) {
  if (event == nullptr || g_clientEvent == plat::kNullHandle) return false;
  *event = g_clientEvent;
  return true;
}
