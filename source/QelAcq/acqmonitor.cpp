// The monitor's shared records, monitor handles, callback registration and
// the acquiring side's event pushes.
#include "source/QelAcq/acqmonitor.h"

#include <array>
#include <cstring>
#include <memory>
#include <mutex>

#include "firmware/win32/QuilletShared.h"
#include "qellib/QelLog.h"
#include "source/QelAPI/QelApi.h"
#include "source/QelAcq/AcqApi.h"
#include "source/QelAcq/AcqDeviceHandles.h"
#include "source/QelAcq/AcqKeptHandles.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/AcqOwnerTokens.h"
#include "source/QelAcq/acqmonitor_threads.h"

namespace {

constexpr QelStatus kWrongSize = 1074;
constexpr QelStatus kNullBuffer = 822;
constexpr QelStatus kUnknownCode = 70;

// The guard is taken alone. Its objects are never deleted (AcqKeptHandles.h).
struct MonitorHandles {
  std::mutex guard;
  AcqKeptHandles kept;
};

MonitorHandles& Handles() {
  static auto* handles = new MonitorHandles;
  return *handles;
}

std::uint32_t Slot(std::uint32_t board, std::uint32_t device) { return board * kAcqSlotsPerBoard + device; }

// The slot of this process's monitor handle at `self`; kAcqDeviceRecordCount
// when no slot has it.
std::uint32_t SlotOfHandleAt(std::uint64_t self) {
  MonitorHandles& h = Handles();
  std::lock_guard guard(h.guard);
  for (std::uint32_t slot = 0; slot < kAcqDeviceRecordCount; ++slot)
    if (h.kept.live[slot] != nullptr && reinterpret_cast<std::uint64_t>(h.kept.live[slot].get()) == self) return slot;
  return kAcqDeviceRecordCount;
}

// The slot's handle, its server named at its first hand-out since the start.
QelHandle* HandOut(std::uint32_t slot, const QelHandle* local) {
  MonitorHandles& h = Handles();
  std::lock_guard guard(h.guard);
  QelHandle* handle = h.kept.live[slot].get();
  if (handle != nullptr && handle->server == 0 && local != nullptr) handle->server = local->server;
  return handle;
}

AcqOwnerTag& OwnerOf(std::uint32_t board, std::uint32_t device) {
  return AcqMonitorGetShared()->owners[Slot(board, device)];
}

bool OwnMonitor(std::uint32_t board, std::uint32_t device) {
  return AcqOwnerTagIsThisProcess(OwnerOf(board, device));
}

template <typename T>
T Field(const void* input, std::uint32_t at) {
  T value{};
  std::memcpy(&value, static_cast<const std::uint8_t*>(input) + at, sizeof value);
  return value;
}

}  // namespace

AcqMonitorShared* AcqMonitorGetShared() { return &QuilletGetSharedData()->acqMonitor; }

AcqMonitorRecord* AcqMonitorRecordOf(std::uint32_t board, std::uint32_t device) {
  if (board >= kAcqMaxBoards || device >= kAcqSlotsPerBoard) return nullptr;
  return &AcqMonitorGetShared()->records[Slot(board, device)];
}

// ---- Handles ------------------------------------------------------------------------------
QelStatus AcqMonitorInitHandles() {
  MonitorHandles& h = Handles();
  std::lock_guard guard(h.guard);
  for (std::uint32_t board = 0; board < kAcqMaxBoards; ++board)
    for (std::uint32_t device = 0; device < kAcqSlotsPerBoard; ++device)
      h.kept.Bring(Slot(board, device), reinterpret_cast<std::uint64_t>(AcqMonitorRecordOf(board, device)));
  return 0;
}

void AcqMonitorFreeHandles() {
  for (std::uint32_t board = 0; board < kAcqMaxBoards; ++board)
    for (std::uint32_t device = 0; device < kAcqSlotsPerBoard; ++device)
      if (OwnMonitor(board, device))
        if (QelHandle* handle = AcqMonitorHandleOf(board, device)) AcqMonitorReleaseHandle(handle);
  MonitorHandles& h = Handles();
  std::lock_guard guard(h.guard);
  for (std::uint32_t slot = 0; slot < kAcqDeviceRecordCount; ++slot) h.kept.Retire(slot);
}

QelHandle* AcqMonitorHandleOf(std::uint32_t board, std::uint32_t device) {
  if (board >= kAcqMaxBoards || device >= kAcqSlotsPerBoard) return nullptr;
  std::lock_guard guard(Handles().guard);
  return Handles().kept.live[Slot(board, device)].get();
}

QelHandle* AcqMonitorHandleAt(std::uint64_t self) {
  return SlotOfHandleAt(self) == kAcqDeviceRecordCount ? nullptr : reinterpret_cast<QelHandle*>(self);
}

// The slot comes from the table, not from the object: a handle the module's
// end took out names nothing.
QelStatus AcqMonitorFindHandle(const QelHandle* handle, std::uint32_t* board, std::uint32_t* device) {
  if (handle == nullptr) return kAcqMonitorNoHandle;
  const std::uint32_t slot = SlotOfHandleAt(reinterpret_cast<std::uint64_t>(handle));
  if (slot == kAcqDeviceRecordCount) return kAcqMonitorNoHandle;
  *board = slot / kAcqSlotsPerBoard;
  *device = slot % kAcqSlotsPerBoard;
  return 0;
}

bool AcqMonitorIsHandle(const QelHandle* handle) {
  std::uint32_t board = 0, device = 0;
  return AcqMonitorFindHandle(handle, &board, &device) == 0;
}

AcqDeviceRecord* AcqMonitorGetAcqHandle(const QelHandle* handle) {
  std::uint32_t board = 0, device = 0;
  if (AcqMonitorFindHandle(handle, &board, &device) != 0) return nullptr;
  return AcqGetShadowRecord(board, device);
}

// ---- Ownership ----------------------------------------------------------------------------
bool AcqMonitorCheckOwner(std::uint32_t board, std::uint32_t device) {
  AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  if (record == nullptr || record->ownerProcessId == 0) return false;
  if (AcqOwnerTagIsLive(OwnerOf(board, device))) return true;
  LogPutLog(kQelLogNotice, __FILE__, __LINE__,
            "QELACQ: monitor handle released for abnormally terminated process (ProcessId = %d)",
            record->ownerProcessId);
  // The dead monitor's registrations go with it; the acquiring side stops pushing.
  std::memset(record, 0, offsetof(AcqMonitorRecord, userData));
  OwnerOf(board, device) = AcqOwnerTag{};
  return false;
}

QelStatus AcqMonitorGetHandle(std::uint32_t board, std::uint32_t device, QelHandle** out) {
  if (out == nullptr) return kQelModuleAcquisition | 0x336;
  *out = nullptr;
  AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  if (record == nullptr || device >= AcqGetDeviceCount(board)) return kAcqMonitorNoHandle;
  if (AcqMonitorCheckOwner(board, device)) return kAcqMonitorHandleTaken;
  const QelHandle* local = GetLocalServerHandle();
  QelHandle* handle = HandOut(Slot(board, device), local);
  if (handle == nullptr) return kAcqMonitorNoHandle;
  const AcqOwnerTag self = AcqOwnerTagOfThisProcess();
  record->ownerProcessId = static_cast<std::uint32_t>(self.processId);
  OwnerOf(board, device) = self;
  record->server = local != nullptr ? *local : QelHandle{};
  *out = handle;
  return 0;
}

QelStatus AcqMonitorReleaseHandle(QelHandle* handle) {
  std::uint32_t board = 0, device = 0;
  if (const QelStatus status = AcqMonitorFindHandle(handle, &board, &device); status != 0) return status;
  if (!OwnMonitor(board, device)) return kAcqMonitorNoHandle;
  AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  if (record->acqRegistrations != 0) AcqMonitorRegisterAcqCallback(handle, 0, 0, 0);
  if (record->xferRegistrations != 0) AcqMonitorRegisterXferCallback(handle, 0, 0, 0);
  record->ownerProcessId = 0;
  OwnerOf(board, device) = AcqOwnerTag{};
  return 0;
}

// ---- Manager control ------------------------------------------------------------------------
QelStatus AcqMonitorCommand(std::uint32_t board, std::uint32_t code, const void* input, std::uint32_t inputSize,
                            void* output, std::uint32_t outputSize) {
  if (code < kAcqMonitorGetHandleCode || code > kAcqMonitorXferCallbackCode) return kUnknownCode;
  if (input == nullptr) return kNullBuffer;
  if (code == kAcqMonitorGetHandleCode) {
    if (inputSize < 4) return kWrongSize;
    if (output == nullptr || outputSize < 8) return kNullBuffer;
    QelHandle* handle = nullptr;
    const QelStatus status = AcqMonitorGetHandle(board, Field<std::uint32_t>(input, 0), &handle);
    const auto address = reinterpret_cast<std::uint64_t>(handle);
    std::memcpy(output, &address, sizeof address);
    return status;
  }
  if (code == kAcqMonitorReleaseHandleCode) {
    if (inputSize != 8) return kWrongSize;
    return AcqMonitorReleaseHandle(AcqMonitorHandleAt(Field<std::uint64_t>(input, 0)));
  }
  if (inputSize != 28) return kWrongSize;
  QelHandle* handle = AcqMonitorHandleAt(Field<std::uint64_t>(input, 0));
  const std::uint32_t mask = Field<std::uint32_t>(input, 8);
  const std::uint64_t callback = Field<std::uint64_t>(input, 12), context = Field<std::uint64_t>(input, 20);
  return code == kAcqMonitorAcqCallbackCode ? AcqMonitorRegisterAcqCallback(handle, mask, callback, context)
                                            : AcqMonitorRegisterXferCallback(handle, mask, callback, context);
}

// ---- Registration -----------------------------------------------------------------------------
namespace {

struct Fields {
  std::uint32_t AcqMonitorRecord::*mask;
  std::uint64_t AcqMonitorRecord::*callback;
  std::uint64_t AcqMonitorRecord::*context;
  std::uint32_t AcqMonitorRecord::*registrations;
  std::uint32_t message;
  const char* already;
};

constexpr Fields kAcqFields{&AcqMonitorRecord::acqMask, &AcqMonitorRecord::acqCallback, &AcqMonitorRecord::acqContext,
                            &AcqMonitorRecord::acqRegistrations, kAcqMonitorMsgAcqMask,
                            "%s, Board %d, Monitor Acq callback is already registered"};
constexpr Fields kXferFields{&AcqMonitorRecord::xferMask, &AcqMonitorRecord::xferCallback,
                             &AcqMonitorRecord::xferContext, &AcqMonitorRecord::xferRegistrations,
                             kAcqMonitorMsgXferMask, "%s, Board %d, Monitor xfer callback is already registered"};

bool Accepted(QelStatus status) { return status == 0 || (status & 0xFF) == 0x71; }

QelStatus Register(const Fields& f, QelHandle* handle, std::uint32_t mask, std::uint64_t callback,
                   std::uint64_t context) {
  std::uint32_t board = 0, device = 0;
  if (const QelStatus status = AcqMonitorFindHandle(handle, &board, &device); status != 0) return status;
  if (!OwnMonitor(board, device)) return kAcqMonitorNoHandle;
  AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  if (mask != 0 && callback != 0) {
    if (record->*f.registrations != 0) {
      LogPutLog(kQelLogError, __FILE__, __LINE__, f.already, kAcqModuleLabel, board);
      return kAcqApiInUse;
    }
    if (const QelStatus status = AcqMonitorCreateFifoResources(board, device); status != 0) return status;
    record->*f.registrations = 1;
    record->*f.mask = mask;
    record->*f.callback = callback;
    record->*f.context = context;
    AcqMonitorRefreshEventThread(false);
    const QelStatus sent = AcqMonitorSendMessage(board, device, f.message, &mask, sizeof mask, nullptr, 0);
    return Accepted(sent) ? 0 : sent;
  }
  if (record->*f.registrations == 0) return 0;
  record->*f.mask = 0;
  record->*f.callback = 0;
  record->*f.context = 0;
  record->*f.registrations = 0;
  const std::uint32_t none = 0;
  const QelStatus sent = AcqMonitorSendMessage(board, device, f.message, &none, sizeof none, nullptr, 0);
  AcqMonitorRefreshEventThread(true);
  if (record->acqRegistrations == 0 && record->xferRegistrations == 0) AcqMonitorFreeFifoResourcesOf(board, device);
  return Accepted(sent) ? 0 : sent;
}

}  // namespace

QelStatus AcqMonitorRegisterAcqCallback(QelHandle* handle, std::uint32_t mask, std::uint64_t callback,
                                        std::uint64_t context) {
  return Register(kAcqFields, handle, mask, callback, context);
}

QelStatus AcqMonitorRegisterXferCallback(QelHandle* handle, std::uint32_t mask, std::uint64_t callback,
                                         std::uint64_t context) {
  return Register(kXferFields, handle, mask, callback, context);
}

QelStatus AcqMonitorClearFifo(QelHandle* handle, std::uint32_t which) {
  std::uint32_t board = 0, device = 0;
  if (const QelStatus status = AcqMonitorFindHandle(handle, &board, &device); status != 0) return status;
  return AcqMonitorSendMessage(board, device, kAcqMonitorMsgClearFifo, &which, sizeof which, nullptr, 0);
}

// ---- The acquiring side ---------------------------------------------------------------------------
std::uint32_t AcqMonitorGetAcqEventMask(std::uint32_t board, std::uint32_t device) {
  const AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  if (record == nullptr || device >= AcqGetDeviceCount(board) || !AcqMonitorCheckOwner(board, device)) return 0;
  return record->acqRegistrations != 0 ? record->acqMask : 0;
}

std::uint32_t AcqMonitorGetXferEventMask(std::uint32_t board, std::uint32_t device) {
  const AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  if (record == nullptr || !AcqMonitorCheckOwner(board, device)) return 0;
  return record->xferRegistrations != 0 ? record->xferMask : 0;
}

void AcqMonitorAcqCallback(std::uint32_t board, std::uint32_t device, const AcqMonitorAcqEvent* event) {
  const AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  if (record == nullptr || event == nullptr || record->ownerProcessId == 0 || record->acqCallback == 0) return;
  const std::uint32_t events = event->events & record->acqMask;
  if (events == 0 || !AcqMonitorFifoMapped(board, device)) return;
  AcqMonitorEvent pushed{kAcqMonitorRecordSize, board, device, 0, events, {event->count, 0, 0, 0}, {}};
  if (!AcqMonitorFifoPut(board, device, pushed) && AcqMonitorFifoOverflows(board, device) == 1)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: QELACQ: monitor acqCallback, fifo overflow brd=%d, acq=%d",
              kAcqModuleLabel, board, device);
}

void AcqMonitorXferCallback(std::uint32_t board, std::uint32_t device, const std::uint32_t* message) {
  const AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  if (record == nullptr || message == nullptr || record->ownerProcessId == 0 || record->xferCallback == 0) return;
  // The transfer's record: its size, then the SDK event word, then the lost-data flags.
  const std::uint32_t events = message[1] & record->xferMask;
  if ((events == 0 && message[2] == 0) || !AcqMonitorFifoMapped(board, device)) return;
  AcqMonitorEvent pushed{kAcqMonitorRecordSize, board, device, 1, events, {message[1], message[2], message[3], message[4]}, {}};
  std::memcpy(pushed.quads, message + 6, 16);
  AcqMonitorFifoPut(board, device, pushed);
}

void AcqMonitorSetUserDataOf(std::uint32_t board, std::uint32_t device, const void* data) {
  AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  if (record == nullptr) return;
  AcqOwnerTag& owner = AcqMonitorGetShared()->userDataOwners[Slot(board, device)];
  if (data == nullptr) {
    std::memset(record->userData, 0, sizeof record->userData);
    owner = AcqOwnerTag{};
    return;
  }
  std::memcpy(record->userData, data, sizeof record->userData);
  owner = AcqOwnerTagOfThisProcess();
}

QelStatus AcqMonitorGetUserData(std::uint32_t board, std::uint32_t device, void* out) {
  AcqMonitorRecord* record = AcqMonitorRecordOf(board, device);
  if (record == nullptr || out == nullptr) return kAcqInvalidHandle;
  std::uint64_t present = 0;
  std::memcpy(&present, record->userData + 12, sizeof present);
  if (present == 0 || !AcqOwnerTagIsLive(AcqMonitorGetShared()->userDataOwners[Slot(board, device)])) {
    std::memset(out, 0, sizeof record->userData);
    return kAcqInvalidHandle;
  }
  std::memcpy(out, record->userData, sizeof record->userData);
  return 0;
}
