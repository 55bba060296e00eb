// The acquisition module core ("acqmod"): the devices of up to 16 boards, 13
// slots each, kept consistent across every process that loads the server
// driver. The device state lives in the shared records (AcqDeviceRecord.h);
// each process keeps its own handle objects, interface tables and per-board
// critical sections. The core starts and frees the module, opens and closes
// devices, reclaims a device whose owning process died, initialises devices
// and applies whole parameter sets, runs acquisition control for the
// transfer back end, keeps the transfer-connected flag, manages the client's
// event callback and routes board events to the client and the monitor.
//
// Lock order (outermost first):
//   1. the SDK's API lock (held by request threads; released by the command
//      handlers around every operation of the module);
//   2. the per-board named mutex "Tramond-CL_RZ6_ACQ_<b>" (open, close, owner,
//      transfer-connected flag, parameter lock); recursive for its thread;
//   3. the board's critical section (process-local; callback registration,
//      event routing, event dispatch, monitor registration);
//   4. the monitor's per-device resource guard, then its FIFO mutex, and
//      its channel mutexes (acqmonitor.h); the host mutexes of detection
//      and registration (AcqDetect.h);
//   5. the token table's mutex (AcqOwnerTokens.h), the handle table's
//      mutex (AcqDeviceHandles.h) and the monitor handle table's guard
//      (acqmonitor.cpp), each taken alone.
// The board event thread takes only 3 (and what 3 allows after it); the
// monitor's event thread takes no module lock while a callback runs.
// The module's start and end run under the instance's named mutex, which is
// the transfer module's global mutex; a transfer's connect and disconnect set
// the transfer-connected flag (2) under a transfer's lock and that mutex, and
// the transfer worker's acquisition control may reclaim a device (4) under a
// transfer's lock (source/QelXfer/README.md). So no lock of this module is
// held while a transfer's lock or the global transfer mutex is taken.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/win/objects.h"
#include "source/QelAPI/QelHandle.h"
#include "source/QelAPI/QelStatus.h"
#include "source/QelAcq/AcqDeviceRecord.h"
#include "source/QelAcq/AcqOthStruct.h"

inline constexpr QelStatus kAcqNotOpen = 75;
inline constexpr QelStatus kAcqSlotMissing = 18006;
inline constexpr QelStatus kAcqOutOfMemoryPlain = 71;
inline constexpr QelStatus kAcqLockHeldByOther = 87;
inline constexpr QelStatus kAcqBoardMutexMissed = kQelModuleAcquisition | 0x80;
inline constexpr char kAcqBoardName[] = "Tramond-CL_RZ6";
inline constexpr char kAcqModuleLabel[] = "Quillet.DLL";

// ---- Start and end ----------------------------------------------------------
QelStatus AcqModuleInit();
QelStatus AcqModuleFree();
// True once the board's tables exist in this process.
bool AcqBoardReady(std::uint32_t board);
// The board's critical section (process-local).
std::recursive_mutex& AcqBoardSection(std::uint32_t board);

// The per-board named mutex "Tramond-CL_RZ6_ACQ_<b>", held for a scope
// (20000 ms; an abandoned one counts as taken).
class AcqBoardMutex {
 public:
  explicit AcqBoardMutex(std::uint32_t board);
  ~AcqBoardMutex();
  AcqBoardMutex(const AcqBoardMutex&) = delete;
  AcqBoardMutex& operator=(const AcqBoardMutex&) = delete;
  bool held() const { return handle_ != plat::kNullHandle; }

 private:
  plat::Handle handle_;
};

// ---- Devices ------------------------------------------------------------------
// Registers (open 1) or unregisters (0) the slot under the board mutex; opening
// makes this process the owner.
QelStatus AcqOpenDevice(std::uint32_t board, std::uint32_t device, std::uint32_t open, std::uint32_t* conflict);
QelStatus AcqIsDeviceOpen(std::uint32_t board, std::uint32_t device, std::uint8_t* out);
// Reclaims the device when its owner died; answers whether it is open after.
bool AcqRecoverHandle(std::uint32_t board, std::uint32_t device);
// True when the device is open by a process other than this one that still runs.
bool AcqHeldByOtherLiveProcess(std::uint32_t board, std::uint32_t device);
bool AcqIsOwnDevice(std::uint32_t board, std::uint32_t device);
QelStatus AcqGetXferConnected(std::uint32_t board, std::uint32_t device, std::uint8_t* out);
QelStatus AcqSetXferConnected(std::uint32_t board, std::uint32_t device, std::uint8_t value);
// Frame count -1 continuous, N frames, 0 freeze, -2 abort.
QelStatus AcqModAcquisitionControl(std::uint32_t board, std::uint32_t device, std::int32_t frames,
                                   std::uint32_t flags, std::uint32_t resourceMask);
QelStatus AcqControlDevice(std::uint32_t board, std::uint32_t device, std::int32_t frames, std::uint32_t flags);

// ---- Parameters ------------------------------------------------------------------
QelStatus AcqInitDevice(std::uint32_t board, std::uint32_t device);
// Validates every marked parameter of the new blocks before any is applied.
QelStatus AcqApplyPrms(AcqDeviceRecord* record, const othStruct* table, VicPrmBlock* newVic, CamPrmBlock* newCam);
// The 23 software-only CAM ids and the one VIC id: nothing to program.
bool AcqIsSoftwareCamPrm(std::uint32_t index);
bool AcqIsSoftwareVicPrm(std::uint32_t index);

// ---- The parameter lock (a pair of CAM/VIC objects of one process) ----------
QelStatus AcqLockPrms(AcqDeviceRecord* record, const void* vicObject, const void* camObject);
QelStatus AcqUnlockPrms(AcqDeviceRecord* record, const void* vicObject, const void* camObject);
// A lock whose holder died counts as none (and is cleared).
bool AcqIsLocked(AcqDeviceRecord* record);
void AcqClearLock(AcqDeviceRecord* record);

// ---- Callbacks and events --------------------------------------------------------
QelStatus AcqModRegisterCallback(QelHandle* handle, std::uint32_t mask, std::uint64_t callback,
                                 std::uint64_t context, const QelHandle* client);
QelStatus AcqModUnregisterCallback(QelHandle* handle);
QelStatus AcqModRemoveEventRoutes(QelHandle* handle);
// Forgets the callback fields of a record (and this process's tokens in them).
void AcqClearCallbackFields(AcqDeviceRecord* record);
// True when this process registered the record's callback.
bool AcqHasOwnCallback(const AcqDeviceRecord* record);
QelStatus AcqModEventDispatch(std::uint32_t board, std::uint32_t device, std::uint32_t events);

// ---- The monitor's entry points ----------------------------------------------------
QelStatus RegisterMonitorAcqEvent(std::uint32_t board, std::uint32_t device, std::uint32_t mask);
QelStatus ModRegisterMonitorXferEvent(std::uint32_t board, std::uint32_t device, std::uint32_t mask);
QelStatus AcqModClearFifo(std::uint32_t board, std::uint32_t device, std::uint32_t which);

// ---- Lookups ------------------------------------------------------------------------
QelStatus AcqGetDeviceIndex(const QelHandle* handle, std::uint32_t* out);
QelStatus AcqGetBoardIndex(const QelHandle* handle, std::uint32_t* out);
// The device's resource mask, and its connector: the lowest set bit among
// bits 0-4 of that mask (0 when none).
QelStatus AcqGetConnectorMask(const QelHandle* handle, std::uint32_t* out);
QelStatus AcqGetConnector(const QelHandle* handle, std::uint32_t* out);
AcqDeviceRecord* AcqGetShadowRecord(std::uint32_t board, std::uint32_t device);
void AcqSetHandleServer(std::uint32_t server, std::uint32_t board, std::uint32_t device);
QelStatus Pow2(std::uint32_t n, std::uint32_t* out);
