// The process-wide message client that the library registers with the driver
// at open and removes at close.
#pragma once

#include "driver/user/QelHwStatus.h"

// 0 when no board was found or the registration succeeded, else 0xC0000000.
QelHwStatus Yat_MsgClient_Init();
// True when the driver removed the registration.
bool Yat_MsgClient_Unregister();
void Yat_MsgClient_CloseEvent();
