// The client's event callback of a device, its event routes, the dispatch of
// board events to the client and the monitor, and the parameter lock.
//
// The callback fields of a record hold tokens of the registering process
// (AcqOwnerTokens.h): only that process resolves them; every other process
// sees whether that process still lives and, when it does not, clears them.
#include <memory>

#include "source/QelAPI/QelApi.h"
#include "source/QelAPI/QelCapiCallback.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/AcqOwnerTokens.h"
#include "source/QelAcq/acqmonitor.h"

namespace {

AcqDeviceOwnerTags* TagsOf(const AcqDeviceRecord* record) {
  return AcqSharedOwnerTags(AcqGetSharedTables(), record->boardIndex, record->slotIndex);
}

std::uint64_t Resolve(const AcqOwnerTag& tag, AcqToken token) {
  std::uint64_t value = 0;
  return AcqResolveToken(tag, token, &value) ? value : 0;
}

struct Callback {
  QelHandle client{};
  std::uint64_t function = 0;
  std::uint64_t context = 0;
};

// The record's callback as this process registered it; false otherwise.
bool OwnCallback(const AcqDeviceRecord* record, Callback* out) {
  const AcqOwnerTag& tag = TagsOf(record)->callback;
  if (record->callbackToken == 0 || !AcqOwnerTagIsThisProcess(tag)) return false;
  out->function = Resolve(tag, record->callbackToken);
  out->context = Resolve(tag, record->contextToken);
  if (const auto* copy = reinterpret_cast<const QelHandle*>(Resolve(tag, record->clientHandleToken))) out->client = *copy;
  return out->function != 0;
}

QelStatus RecordOf(const QelHandle* handle, AcqDeviceRecord** record) {
  const QelStatus status = AcqGetDeviceRecord(handle, record);
  return status == 0 ? 0 : status | kQelModuleAcquisition;
}

std::uint32_t MonitorMask(const AcqDeviceRecord* record) {
  return AcqMonitorGetAcqEventMask(record->boardIndex, record->slotIndex);
}

bool SamePair(const AcqDeviceRecord* record, const void* vic, const void* cam) {
  const AcqOwnerTag& tag = TagsOf(record)->lock;
  return AcqOwnerTagIsThisProcess(tag) && Resolve(tag, record->lockOwnerVic) == reinterpret_cast<std::uint64_t>(vic) &&
         Resolve(tag, record->lockOwnerCam) == reinterpret_cast<std::uint64_t>(cam);
}

}  // namespace

// ---- The parameter lock -------------------------------------------------------------
bool AcqIsLocked(AcqDeviceRecord* record) {
  if (record->lockOwnerVic == 0 && record->lockOwnerCam == 0) return false;
  if (AcqOwnerTagIsLive(TagsOf(record)->lock)) return true;
  AcqClearLock(record);  // its holder died
  return false;
}

void AcqClearLock(AcqDeviceRecord* record) {
  AcqDeviceOwnerTags* tags = TagsOf(record);
  if (AcqOwnerTagIsThisProcess(tags->lock)) {
    AcqRetireToken(record->lockOwnerVic);
    AcqRetireToken(record->lockOwnerCam);
  }
  record->lockOwnerVic = 0;
  record->lockOwnerCam = 0;
  tags->lock = AcqOwnerTag{};
}

QelStatus AcqLockPrms(AcqDeviceRecord* record, const void* vicObject, const void* camObject) {
  if (AcqIsLocked(record)) return SamePair(record, vicObject, camObject) ? 0 : kAcqLockHeldByOther;
  record->lockOwnerVic = AcqIssueToken(reinterpret_cast<std::uint64_t>(vicObject));
  record->lockOwnerCam = AcqIssueToken(reinterpret_cast<std::uint64_t>(camObject));
  TagsOf(record)->lock = AcqOwnerTagOfThisProcess();
  return 0;
}

QelStatus AcqUnlockPrms(AcqDeviceRecord* record, const void* vicObject, const void* camObject) {
  if (AcqIsLocked(record) && !SamePair(record, vicObject, camObject)) return kAcqLockHeldByOther;
  AcqClearLock(record);
  return 0;
}

// ---- Callback fields ----------------------------------------------------------------
void AcqClearCallbackFields(AcqDeviceRecord* record) {
  AcqDeviceOwnerTags* tags = TagsOf(record);
  if (AcqOwnerTagIsThisProcess(tags->callback)) {
    delete reinterpret_cast<QelHandle*>(Resolve(tags->callback, record->clientHandleToken));
    AcqRetireToken(record->clientHandleToken);
    AcqRetireToken(record->callbackToken);
    AcqRetireToken(record->contextToken);
  }
  record->clientHandleToken = 0;
  record->callbackToken = 0;
  record->contextToken = 0;
  record->eventMask = 0;
  record->eventCount = 0;
  tags->callback = AcqOwnerTag{};
}

bool AcqHasOwnCallback(const AcqDeviceRecord* record) {
  Callback callback;
  return OwnCallback(record, &callback);
}

QelStatus AcqModRegisterCallback(QelHandle* handle, std::uint32_t mask, std::uint64_t callback,
                                 std::uint64_t context, const QelHandle* client) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = RecordOf(handle, &record); status != 0) return status;
  std::lock_guard<std::recursive_mutex> section(AcqBoardSection(record->boardIndex));
  const othStruct* table = AcqGetOthStructOf(record);
  if (table->setEventMask == nullptr) return kAcqStatusNotSupported;
  const std::uint32_t routed = mask | MonitorMask(record);
  if (const QelStatus status = table->setEventMask(handle, routed, record); status != 0) return status;
  record->routedEventMask = routed;
  AcqClearCallbackFields(record);
  auto copy = std::make_unique<QelHandle>();
  if (client != nullptr) *copy = *client;
  record->clientHandleToken = AcqIssueToken(reinterpret_cast<std::uint64_t>(copy.release()));
  record->callbackToken = AcqIssueToken(callback);
  record->contextToken = AcqIssueToken(context);
  record->eventMask = mask;
  record->eventCount = 0;
  TagsOf(record)->callback = AcqOwnerTagOfThisProcess();
  return 0;
}

QelStatus AcqModUnregisterCallback(QelHandle* handle) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = RecordOf(handle, &record); status != 0) return status;
  std::lock_guard<std::recursive_mutex> section(AcqBoardSection(record->boardIndex));
  const othStruct* table = AcqGetOthStructOf(record);
  if (table->setEventMask == nullptr) return kAcqStatusNotSupported;
  const std::uint32_t monitor = MonitorMask(record);
  if (const QelStatus status = table->setEventMask(handle, monitor, record); status != 0) return status;
  record->routedEventMask = monitor;
  AcqClearCallbackFields(record);
  return 0;
}

QelStatus AcqModRemoveEventRoutes(QelHandle* handle) {
  AcqDeviceRecord* record = nullptr;
  if (const QelStatus status = RecordOf(handle, &record); status != 0) return status;
  std::lock_guard<std::recursive_mutex> section(AcqBoardSection(record->boardIndex));
  const othStruct* table = AcqGetOthStructOf(record);
  QelStatus status = 0;
  if (table->unrouteEvents != nullptr)
    status = table->unrouteEvents(handle, record->eventMask | MonitorMask(record) | record->routedEventMask, record);
  else if (table->setEventMask != nullptr)
    status = table->setEventMask(handle, 0, record);
  if (status != 0) return status;
  record->routedEventMask = 0;
  AcqClearCallbackFields(record);
  return 0;
}

// The callback is sent outside the board's critical section: the client's
// function may itself ask this module for something.
QelStatus AcqModEventDispatch(std::uint32_t board, std::uint32_t device, std::uint32_t events) {
  AcqDeviceRecord* record = AcqGetShadowRecord(board, device);
  if (record == nullptr || AcqGetHandle(board, device) == nullptr) return kAcqNoSuchDevice;
  Callback callback;
  std::uint32_t delivered = 0, count = 0;
  {
    std::lock_guard<std::recursive_mutex> section(AcqBoardSection(board));
    delivered = events & record->eventMask;
    if (delivered != 0 && OwnCallback(record, &callback)) count = ++record->eventCount;
    if (events != 0) {
      const AcqMonitorAcqEvent event{28, events, record->eventCount, {}};
      AcqMonitorAcqCallback(board, device, &event);
    }
  }
  if (count == 0) return 0;
  return QelManSendCallback(&callback.client, 0, callback.function, callback.context, delivered, count);
}

// ---- The monitor's entry points ---------------------------------------------------------
QelStatus RegisterMonitorAcqEvent(std::uint32_t board, std::uint32_t device, std::uint32_t mask) {
  AcqDeviceRecord* record = AcqGetShadowRecord(board, device);
  QelHandle* handle = AcqGetHandle(board, device);
  if (record == nullptr || handle == nullptr) return kAcqNoSuchDevice;
  std::lock_guard<std::recursive_mutex> section(AcqBoardSection(board));
  if (const QelStatus status = AcqMonitorCreateFifoResources(board, device); status != 0) return status;
  const othStruct* table = AcqGetOthStructOf(record);
  if (table->setEventMask == nullptr) return 0;
  const std::uint32_t routed = record->eventMask | mask;
  const QelStatus status = table->setEventMask(handle, routed, record);
  if (status == 0) record->routedEventMask = routed;
  return status;
}

// Transfer events reach the monitor from the transfer back end; this board's
// table leaves the operation empty and the transfer module reads the
// monitor's mask when it delivers.
QelStatus ModRegisterMonitorXferEvent(std::uint32_t board, std::uint32_t device, std::uint32_t mask) {
  AcqDeviceRecord* record = AcqGetShadowRecord(board, device);
  if (record == nullptr || AcqGetHandle(board, device) == nullptr) return kAcqNoSuchDevice;
  std::lock_guard<std::recursive_mutex> section(AcqBoardSection(board));
  if (const QelStatus status = AcqMonitorCreateFifoResources(board, device); status != 0) return status;
  const othStruct* table = AcqGetOthStructOf(record);
  if (table->registerMonitorXferEvent == nullptr) return 0;
  return table->registerMonitorXferEvent(board, device, mask);
}

QelStatus AcqModClearFifo(std::uint32_t board, std::uint32_t device, std::uint32_t which) {
  if (which == 1) AcqMonitorResetAcqFifo(board, device);
  if (which == 19) AcqMonitorResetXferFifo(board, device);
  return 0;
}
