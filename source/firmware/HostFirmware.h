// The server driver's instance and manager interface: the 23-slot table that
// the export hands out, the per-process open and close of the instance, the
// delivery of SDK messages and the onboard host server that hands answers to
// the device-control module's callback.
//
// Lock order (outermost first): the named mutex
// "HABRIX_QELYATCLFOLVA4X_VELISK_MUTEX" (instance open and close) -> the SDK's
// API lock -> the API core's process guards (source/QelAPI/QelApi.h). No
// code that holds the API lock takes the named mutex.
#pragma once

#include <cstdint>

#include "firmware/win32/QelManagerInterface.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelHost/QelHost.h"

inline constexpr char kQuilletLabel[] = "Quillet.DLL";
inline constexpr char kVeliskMutexName[] = "HABRIX_QELYATCLFOLVA4X_VELISK_MUTEX";
inline constexpr char kDriverDirVariable[] = "YATFOLVA4XDIR";
inline constexpr char kOptionsFileName[] = "Yat_Tramond-CL_RZ6_Config.ini";
inline constexpr std::uint32_t kOnboardHostServer = 62;

// Statuses of the instance.
inline constexpr QelStatus kInstanceMutexNotHad = 121;
inline constexpr QelStatus kInstanceLibraryMissing = 122;
inline constexpr QelStatus kInstanceBoardLibraryAbsent = 123;
inline constexpr QelStatus kInstanceFailed = 86;
inline constexpr QelStatus kDeliveryLockNotHad = 84;
inline constexpr QelStatus kNotImplemented = 70;

// The library's one table, filled at load (FillManagerInterface) and never
// changed afterwards.
QelManagerInterface& QuilletManagerInterface();
void FillManagerInterface(QelManagerInterface& face);

// The per-process instance (slots 15 and 16).
QelStatus HostFirmwareInitInstance(std::uint32_t serverMode);
QelStatus HostFirmwareCloseInstance();

// Slot 7: takes the message over (a request is freed once dispatched, a
// message delivery refuses is freed); 84 when the API lock is not had, and
// then the message stays with the caller.
std::uint32_t Man_DeliverMessage(void* message);
// Slot 9: the device-control module's callback for messages leaving this
// server (answers, and requests to clients). A callback that answers 0 has
// taken the message over.
std::uint32_t Man_SetAnswerCallback(QelAnswerCallback callback);
// The handler of port server 62: hands the message to the answer callback.
QelStatus HostFirmwareSendAnswer(QelMessageHeader* message);

// Board connect and disconnect through slots 17 and 18 (70 when empty).
QelStatus ManConnectBoard(std::uint32_t board);
QelStatus ManDisconnectBoard(std::uint32_t board);
