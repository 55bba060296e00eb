// Counting, opening, releasing and resetting devices, and the board check
// that closes what a board's devices still hold.
#include "qellib/QelLog.h"
#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/acqmonitor.h"

namespace {

constexpr std::int32_t kAbort = -2;

QelStatus WithModule(QelStatus status) { return status == 0 ? 0 : status | kQelModuleAcquisition; }

// Every parameter of copies of the current blocks marked and applied, then
// the LUT programmed.
QelStatus ApplyAtOpen(std::uint32_t board, std::uint32_t device, QelHandle* handle) {
  AcqDeviceRecord* record = AcqGetShadowRecord(board, device);
  const othStruct* table = AcqGetOthStruct(board, device);
  VicPrmBlock vic = record->vic;
  CamPrmBlock cam = record->cam;
  AcqMarkAllModified(&vic);
  AcqMarkAllModified(&cam);
  QelStatus status = AcqApplyPrms(record, table, &vic, &cam);
  if (status == 0 && table->lutProgramAtOpen != nullptr) status = table->lutProgramAtOpen(handle);
  return status;
}

QelStatus OpenUnderMutex(std::uint32_t server, std::uint32_t board, std::uint32_t device, QelHandle** out) {
  // A board whose start failed in this process has no handle objects or
  // device tables here: none of its devices is served.
  if (device >= AcqGetDeviceCount(board) || !AcqBoardReady(board)) return kQelModuleAcquisition | 0x133;
  if (AcqRecoverHandle(board, device)) return kAcqApiInUse;
  std::uint32_t conflict = 0;
  if (const QelStatus opened = AcqOpenDevice(board, device, 1, &conflict); opened != 0) return WithModule(opened);
  AcqSetHandleServer(server, board, device);
  AcqDeviceRecord* record = AcqGetShadowRecord(board, device);
  AcqClearCallbackFields(record);
  QelHandle* handle = AcqGetHandle(board, device);
  if (const QelStatus status = ApplyAtOpen(board, device, handle); status != 0) {
    AcqOpenDevice(board, device, 0, &conflict);
    return WithModule(status);
  }
  // A monitor that registered before this open has its events routed now.
  if (const std::uint32_t monitor = AcqMonitorGetAcqEventMask(board, device); monitor != 0)
    RegisterMonitorAcqEvent(board, device, monitor);
  const othStruct* table = AcqGetOthStruct(board, device);
  if (table->startEventThread != nullptr) table->startEventThread(board);
  *out = handle;
  return 0;
}

QelStatus ReleaseOpen(QelHandle* handle, AcqDeviceRecord* record) {
  const std::uint32_t board = record->boardIndex, device = record->slotIndex;
  const othStruct* table = AcqGetOthStruct(board, device);
  QelStatus status = 0;
  if (table->acquisitionControl != nullptr) {
    std::int32_t answer = 0;
    status = table->acquisitionControl(board, record->resourceMask, kAbort, &answer);
  }
  if (status == 0 && AcqHasOwnCallback(record)) status = AcqModUnregisterCallback(handle);
  if (status == 0) status = AcqModRemoveEventRoutes(handle);
  if (status == 0 && table->stopEventThread != nullptr) status = table->stopEventThread(board);
  std::uint32_t conflict = 0;
  if (status == 0) status = AcqOpenDevice(board, device, 0, &conflict);
  if (status != 0) return WithModule(status);
  AcqClearLock(record);
  AcqMonitorFreeFifoResourcesOf(board, device);
  return 0;
}

}  // namespace

QelStatus AcqCheckHandle(const QelHandle* handle) {
  if (handle == nullptr || !HandleIsReadable(handle)) return kAcqApiBadHandle;
  if (handle->tag != kQelTagAcqDevice && handle->tag != kQelTagAcqSourceB) return kAcqApiBadHandle;
  return handle->record == 0 ? kAcqApiBadHandle : 0;
}

QelStatus AcqGetCount(std::uint32_t board, std::uint32_t* out) {
  if (out == nullptr) return AcqApiNullOut(1);
  *out = board < kAcqMaxBoards ? AcqGetDeviceCount(board) : 0;
  return 0;
}

QelStatus AcqCreateHandle(std::uint32_t server, std::uint32_t board, std::uint32_t device, QelHandle** out) {
  if (out == nullptr) return AcqApiNullOut(2);
  *out = nullptr;
  if (board >= kAcqMaxBoards) return kQelModuleAcquisition | 0x133;
  AcqBoardMutex mutex(board);
  if (!mutex.held()) return kAcqBoardMutexMissed;
  return OpenUnderMutex(server, board, device, out);
}

QelStatus AcqReleaseHandle(QelHandle* handle) {
  if (const QelStatus checked = AcqCheckHandle(handle); checked != 0) return checked;
  std::uint32_t board = 0;
  if (const QelStatus status = AcqGetBoardIndex(handle, &board); status != 0) return status;
  AcqBoardMutex mutex(board);
  if (!mutex.held()) return kAcqBoardMutexMissed;
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = AcqGetDeviceRecord(handle, &record); status != 0) {
    LogPutLog(kQelLogTrace, __FILE__, __LINE__, " %s: AcqReleaseHandle invalid acqmod=%d", kAcqModuleLabel, status);
    return WithModule(status);
  }
  if (!AcqRecoverHandle(board, record->slotIndex)) return 0;
  if (!AcqIsOwnDevice(board, record->slotIndex)) return kAcqApiInUse;
  return ReleaseOpen(handle, record);
}

QelStatus AcqReset(QelHandle* handle) {
  if (const QelStatus checked = AcqCheckHandle(handle); checked != 0) return checked;
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = AcqGetDeviceRecord(handle, &record); status != 0) return WithModule(status);
  if (AcqIsLocked(record)) return kAcqApiLocked;
  return WithModule(AcqInitDevice(record->boardIndex, record->slotIndex));
}

QelStatus AcqCheckBoardState(std::uint32_t board) {
  if (board >= kAcqMaxBoards) return kQelModuleAcquisition | 0x133;
  AcqBoardMutex mutex(board);
  if (!mutex.held()) return kAcqBoardMutexMissed;
  const std::uint32_t count = AcqGetDeviceCount(board);
  for (std::uint32_t device = 0; device < count; ++device) {
    if (!AcqRecoverHandle(board, device)) continue;
    if (!AcqIsOwnDevice(board, device)) return kAcqApiInUse;
    if (const QelStatus status = AcqReleaseHandle(AcqGetHandle(board, device)); status != 0) return WithModule(status);
  }
  return 0;
}

void AcqReleaseOwnDevices() {
  for (std::uint32_t board = 0; board < kAcqMaxBoards; ++board)
    for (std::uint32_t device = 0; device < AcqGetDeviceCount(board); ++device)
      if (AcqIsOwnDevice(board, device)) AcqReleaseHandle(AcqGetHandle(board, device));
}
