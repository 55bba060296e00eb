// The message client lands with the driver messages; until then a process
// registers nothing, and so has nothing to remove.
#include "driver/user/YatMsgClient.h"

QelHwStatus Yat_MsgClient_Init() { return QELHW_OK; }

bool Yat_MsgClient_Unregister() { return true; }

void Yat_MsgClient_CloseEvent() {}
