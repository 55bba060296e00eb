// Opening and closing devices across processes, reclaiming a device whose
// owner died, the transfer-connected flag and acquisition control.
#include <cstdio>

#include "qellib/QelLog.h"
#include "qellib/QelSharedMutex.h"
#include "qellib/QelWinProcess.h"
#include "source/QelAcq/AcqDetect.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/AcqOwnerTokens.h"
#include "source/QelAcq/acqmonitor.h"
#include "source/QelXfer/YatAcqBuffers.h"

namespace {

bool InRange(std::uint32_t board, std::uint32_t device) {
  return board < kAcqMaxBoards && device < AcqGetDeviceCount(board);
}

bool IsOpen(std::uint32_t board, std::uint32_t device) {
  return (AcqGetSharedTables()->openSet[board] & (1u << device)) != 0;
}

AcqOwnerTag& DeviceOwner(std::uint32_t board, std::uint32_t device) {
  return AcqSharedOwnerTags(AcqGetSharedTables(), board, device)->device;
}

// An owner named by id and start time; a record written without its start
// time falls back to the id alone.
bool OwnerLives(std::uint32_t board, std::uint32_t device) {
  const AcqOwnerTag& tag = DeviceOwner(board, device);
  if (tag.processId != 0) return AcqOwnerTagIsLive(tag);
  const std::uint32_t pid = AcqGetShadowRecord(board, device)->ownerProcessId;
  return pid != 0 && IsProcessAlive(pid) != 0;
}

void ForgetOwner(AcqDeviceRecord* record) {
  record->ownerProcessId = 0;
  record->xferConnected = 0;
  record->routedEventMask = 0;
  DeviceOwner(record->boardIndex, record->slotIndex) = AcqOwnerTag{};
  AcqClearLock(record);
  AcqClearCallbackFields(record);
  AcqMonitorSetUserDataOf(record->boardIndex, record->slotIndex, nullptr);
  // The dead owner's on-board memory went back with its process.
  record->prm70c = 0;
  record->prm70d = 0;
  YatAcqForgetBuffers(record->boardIndex, record->slotIndex, LowestBitIndex(record->resourceMask));
}

}  // namespace

AcqBoardMutex::AcqBoardMutex(std::uint32_t board) {
  char name[64];
  std::snprintf(name, sizeof name, "%s_ACQ_%u", kAcqBoardName, board);
  handle_ = SharedMutexLock(name, kAcqModuleLabel);
}

AcqBoardMutex::~AcqBoardMutex() {
  if (handle_ == plat::kNullHandle) return;
  plat::release_mutex(handle_);
  plat::close_handle(handle_);
}

AcqDeviceRecord* AcqGetShadowRecord(std::uint32_t board, std::uint32_t device) {
  return AcqSharedRecord(AcqGetSharedTables(), board, device);
}

QelStatus AcqOpenDevice(std::uint32_t board, std::uint32_t device, std::uint32_t open, std::uint32_t* conflict) {
  if (!InRange(board, device)) return kAcqNoSuchDevice;
  AcqBoardMutex mutex(board);
  if (!mutex.held()) return kAcqBoardMutexMissed;
  const othStruct table = *AcqGetOthStruct(board, device);
  const QelStatus status = acqRegisterDevice(board, device, open != 0 ? 1 : 0, conflict, &table);
  if (status != 0) return status;
  AcqSharedTables* shared = AcqGetSharedTables();
  AcqDeviceRecord* record = AcqGetShadowRecord(board, device);
  if (open != 0) {
    shared->openSet[board] |= 1u << device;
    const AcqOwnerTag self = AcqOwnerTagOfThisProcess();
    record->ownerProcessId = static_cast<std::uint32_t>(self.processId);
    DeviceOwner(board, device) = self;
  } else {
    shared->openSet[board] &= ~(1u << device);
    record->ownerProcessId = 0;
    DeviceOwner(board, device) = AcqOwnerTag{};
  }
  return 0;
}

bool AcqRecoverHandle(std::uint32_t board, std::uint32_t device) {
  if (!InRange(board, device) || !IsOpen(board, device)) return false;
  if (OwnerLives(board, device)) return true;
  LogPutLog(kQelLogNotice, __FILE__, __LINE__,
            "QELACQ: Process that had Acq handle for device %d, on board %d terminated abnormally.", device, board);
  const othStruct table = *AcqGetOthStruct(board, device);
  std::uint32_t conflict = 0;
  if (acqRegisterDevice(board, device, 0, &conflict, &table) != 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "QELACQ: Could not recover acq handle.");
    return true;
  }
  AcqGetSharedTables()->openSet[board] &= ~(1u << device);
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "QELACQ: acq handle was recovered successfully..");
  ForgetOwner(AcqGetShadowRecord(board, device));
  return false;
}

bool AcqHeldByOtherLiveProcess(std::uint32_t board, std::uint32_t device) {
  return AcqRecoverHandle(board, device) && !AcqIsOwnDevice(board, device);
}

bool AcqIsOwnDevice(std::uint32_t board, std::uint32_t device) {
  return InRange(board, device) && IsOpen(board, device) && AcqOwnerTagIsThisProcess(DeviceOwner(board, device));
}

QelStatus AcqIsDeviceOpen(std::uint32_t board, std::uint32_t device, std::uint8_t* out) {
  if (!InRange(board, device)) return kAcqNoSuchDevice;
  AcqBoardMutex mutex(board);
  if (!mutex.held()) return kAcqBoardMutexMissed;
  const bool open = AcqRecoverHandle(board, device);
  if (out != nullptr) *out = open ? 1 : 0;
  return 0;
}

QelStatus AcqGetXferConnected(std::uint32_t board, std::uint32_t device, std::uint8_t* out) {
  if (!InRange(board, device)) return kAcqNoSuchDevice;
  if (out == nullptr) return 0;
  AcqBoardMutex mutex(board);
  if (!mutex.held()) return kAcqBoardMutexMissed;
  *out = AcqRecoverHandle(board, device) ? AcqGetShadowRecord(board, device)->xferConnected : 0;
  return 0;
}

QelStatus AcqSetXferConnected(std::uint32_t board, std::uint32_t device, std::uint8_t value) {
  if (!InRange(board, device)) return kAcqNoSuchDevice;
  AcqBoardMutex mutex(board);
  if (!mutex.held()) return kAcqBoardMutexMissed;
  if (!AcqRecoverHandle(board, device)) return kAcqNotOpen;
  AcqGetShadowRecord(board, device)->xferConnected = value;
  return 0;
}

QelStatus AcqModAcquisitionControl(std::uint32_t board, std::uint32_t device, std::int32_t frames,
                                   std::uint32_t flags, std::uint32_t resourceMask) {
  if (!InRange(board, device)) return kAcqNoSuchDevice;
  if (!AcqRecoverHandle(board, device)) return kAcqNotOpen;
  const othStruct* table = AcqGetOthStruct(board, device);
  if (table->acquisitionControl == nullptr) return kAcqStatusNotSupported;
  std::int32_t answer = static_cast<std::int32_t>(flags);
  return table->acquisitionControl(board, resourceMask, frames, &answer);
}

QelStatus AcqControlDevice(std::uint32_t board, std::uint32_t device, std::int32_t frames, std::uint32_t flags) {
  const AcqDeviceRecord* record = AcqGetShadowRecord(board, device);
  if (record == nullptr) return kAcqNoSuchDevice;
  return AcqModAcquisitionControl(board, device, frames, flags, record->resourceMask);
}

namespace {

// One field of the record a handle of this process names.
QelStatus RecordField(const QelHandle* handle, std::uint32_t AcqDeviceRecord::*field, std::uint32_t* out) {
  AcqDeviceRecord* record = nullptr;
  const QelStatus status = AcqGetDeviceRecord(handle, &record);
  if (status == 0 && out != nullptr) *out = record->*field;
  return status;
}

}  // namespace

QelStatus AcqGetDeviceIndex(const QelHandle* handle, std::uint32_t* out) {
  return RecordField(handle, &AcqDeviceRecord::slotIndex, out);
}

QelStatus AcqGetBoardIndex(const QelHandle* handle, std::uint32_t* out) {
  return RecordField(handle, &AcqDeviceRecord::boardIndex, out);
}

QelStatus AcqGetConnectorMask(const QelHandle* handle, std::uint32_t* out) {
  return RecordField(handle, &AcqDeviceRecord::resourceMask, out);
}

QelStatus AcqGetConnector(const QelHandle* handle, std::uint32_t* out) {
  std::uint32_t mask = 0;
  const QelStatus status = AcqGetConnectorMask(handle, &mask);
  if (status != 0 || out == nullptr) return status;
  *out = 0;
  for (std::uint32_t bit = 0; bit < 5; ++bit)
    if ((mask & (1u << bit)) != 0) {
      *out = bit;
      break;
    }
  return 0;
}

void AcqSetHandleServer(std::uint32_t server, std::uint32_t board, std::uint32_t device) {
  if (QelHandle* handle = AcqGetHandle(board, device)) handle->server = server;
}

QelStatus Pow2(std::uint32_t n, std::uint32_t* out) {
  if (n == 0 || out == nullptr || n > 31) return 12886;
  *out = 1u << n;
  return 0;
}
