// The process-wide message client that the library registers with the driver
// at open and removes at close.
#pragma once

#include "driver/user/QelHwStatus.h"
#include "platform/win/objects.h"

// Creates the client's event and registers it for the transfer messages;
// true when the driver accepted it.
bool Yat_MsgClient_Register();
// 0 when no board was found or the registration succeeded, else 0xC0000000.
QelHwStatus Yat_MsgClient_Init();
// True when the driver removed the registration.
bool Yat_MsgClient_Unregister();
void Yat_MsgClient_CloseEvent();
// False while the client has no event; else the event's handle.
bool Yat_MsgClient_GetEvent(plat::Handle* event);
