// The named objects of the monitor: per device its FIFO mutex, FIFO event and
// the two FIFO sections, each mapped by this process while it needs them.
// Both FIFOs of a device are read and written only under the device's named
// FIFO mutex, so a put, a get and a reset from two processes never lose,
// duplicate or tear a record.
#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/win/errors.h"
#include "platform/win/sections.h"
#include "qellib/QelLog.h"
#include "qellib/QelSharedMutex.h"
#include "source/QelAcq/AcqModule.h"
#include "source/QelAcq/acqmonitor.h"

namespace {

constexpr std::uint32_t kHeaderBytes = 52;
constexpr std::uint32_t kMutexWaitMs = 20000;
constexpr const char* kSuffixes[] = {"_MONITORMUTEX",
                                     "_MONITOR_FIFO_EVENT",
                                     "_MONITOR_FIFO_MEMORY",
                                     "_MONITOR_FIFO_MUTEX",
                                     "_MONITOR_Reserved",
                                     "_MONITOR_ACQTOMON_MSGMUTEX",
                                     "_MONITOR_ACQTOMON_MSGACQEVENT",
                                     "_MONITOR_ACQTOMON_ANSWEREVENT",
                                     "_MONITOR_ACQTOMON_MSGFIFO",
                                     "_MONITOR_MONTOACQ_MSGMUTEX",
                                     "_MONITOR_MONTOACQ_MSGEVENT",
                                     "_MONITOR_MONTOACQ_ANSWEREVENT ",
                                     "_MONITOR_MONTOACQ_MSGFIFO",
                                     "_MONITOR_ACQTOMON_MSGXFEREVENT"};
constexpr std::uint32_t kFifoEvent = 1, kAcqFifo = 2, kFifoMutex = 3, kXferFifo = 13;

struct Fifo {
  plat::Handle section = plat::kNullHandle;
  std::uint8_t* view = nullptr;
  RecordFifo* control() const { return reinterpret_cast<RecordFifo*>(view); }
  std::uint8_t* store() const { return view + kHeaderBytes; }
};

struct DeviceResources {
  std::mutex guard;  // this process's use of the handles below
  plat::Handle mutex = plat::kNullHandle;
  plat::Handle event = plat::kNullHandle;
  Fifo fifos[2];  // acquisition, transfer
};

std::array<DeviceResources, kAcqDeviceRecordCount>& Resources() {
  static auto* resources = new std::array<DeviceResources, kAcqDeviceRecordCount>;
  return *resources;
}

DeviceResources* Of(std::uint32_t board, std::uint32_t device) {
  if (board >= kAcqMaxBoards || device >= kAcqSlotsPerBoard) return nullptr;
  return &Resources()[board * kAcqSlotsPerBoard + device];
}

std::string Name(std::uint32_t id, std::uint32_t board, std::uint32_t device) {
  char name[160];
  std::snprintf(name, sizeof name, "%s%s_brd%u_acq%u", kAcqBoardName, kSuffixes[id], board, device);
  return name;
}

// The device's FIFO mutex held for a scope (an abandoned one counts as taken).
class FifoLock {
 public:
  explicit FifoLock(plat::Handle mutex) : mutex_(mutex) {
    const std::uint32_t wait = mutex_ != plat::kNullHandle ? plat::wait_for_object(mutex_, kMutexWaitMs) : plat::kWaitFailed;
    if (wait == plat::kWaitAbandoned0)
      LogPutLog(kQelLogWarning, __FILE__, __LINE__, "%s, _AcqMonitorAcquireMutex, Mutex abandonned ", kAcqModuleLabel);
    held_ = wait == plat::kWaitObject0 || wait == plat::kWaitAbandoned0;
    if (!held_)
      LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, _AcqMonitorAcquireMutex, WaitForSingleObject Failed ",
                kAcqModuleLabel);
  }
  ~FifoLock() {
    if (held_) plat::release_mutex(mutex_);
  }
  bool held() const { return held_; }

 private:
  plat::Handle mutex_;
  bool held_ = false;
};

bool MapFifo(Fifo* fifo, std::uint32_t id, std::uint32_t board, std::uint32_t device,
             plat::SecurityAttributes* attributes) {
  fifo->section = plat::create_file_mapping(attributes, kAcqMonitorFifoSectionSize, Name(id, board, device).c_str());
  if (fifo->section == plat::kNullHandle) return false;
  const bool created = plat::last_error() != plat::kErrorAlreadyExists;
  fifo->view = static_cast<std::uint8_t*>(plat::map_view_of_file(fifo->section, kAcqMonitorFifoSectionSize));
  if (fifo->view == nullptr) return false;
  if (created) {
    std::memset(fifo->view, 0, kAcqMonitorFifoSectionSize);
    FifoInit(fifo->control(), 0, kAcqMonitorFifoSlots);
  }
  return true;
}

void Release(DeviceResources& r) {
  for (Fifo& fifo : r.fifos) {
    if (fifo.view != nullptr) plat::unmap_view_of_file(fifo.view);
    if (fifo.section != plat::kNullHandle) plat::close_handle(fifo.section);
    fifo = Fifo{};
  }
  if (r.event != plat::kNullHandle) plat::close_handle(r.event);
  if (r.mutex != plat::kNullHandle) plat::close_handle(r.mutex);
  r.event = r.mutex = plat::kNullHandle;
}

QelStatus Create(DeviceResources& r, std::uint32_t board, std::uint32_t device) {
  plat::SecurityAttributes* attributes = nullptr;
  plat::SecurityDescriptor* descriptor = nullptr;
  if (CreateSecurityAttributes(&attributes, &descriptor, kAcqModuleLabel) == 0) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s, Board %d, MonitorCreateSharedResource (id=%d), could not create security descriptor",
              kAcqModuleLabel, board, kFifoMutex);
    return kAcqMonitorNoResource;
  }
  QelStatus status = 0;
  r.mutex = plat::create_mutex(attributes, false, Name(kFifoMutex, board, device).c_str());
  FifoLock lock(r.mutex);
  if (!lock.held()) status = kAcqMonitorTimeout;
  if (status == 0) {
    r.event = plat::create_event(attributes, false, false, Name(kFifoEvent, board, device).c_str());
    if (r.event == plat::kNullHandle) status = kAcqMonitorNoResource;
  }
  if (status == 0 && !MapFifo(&r.fifos[0], kAcqFifo, board, device, attributes)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, could not map monitor acq event fifo", kAcqModuleLabel, board);
    status = kAcqMonitorNoResource;
  }
  if (status == 0 && !MapFifo(&r.fifos[1], kXferFifo, board, device, attributes)) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s, Board %d, could not map monitor xfer event fifo", kAcqModuleLabel, board);
    status = kAcqMonitorNoResource;
  }
  FreeSecurityAttributes(attributes, descriptor);
  return status;
}

}  // namespace

QelStatus AcqMonitorCreateFifoResources(std::uint32_t board, std::uint32_t device) {
  DeviceResources* r = Of(board, device);
  if (r == nullptr) return kAcqMonitorNoHandle;
  std::lock_guard guard(r->guard);
  if (r->fifos[0].view != nullptr) return 0;
  const QelStatus status = Create(*r, board, device);
  if (status != 0) Release(*r);
  return status;
}

void AcqMonitorFreeFifoResourcesOf(std::uint32_t board, std::uint32_t device) {
  if (DeviceResources* r = Of(board, device)) {
    std::lock_guard guard(r->guard);
    Release(*r);
  }
}

bool AcqMonitorFifoMapped(std::uint32_t board, std::uint32_t device) {
  DeviceResources* r = Of(board, device);
  if (r == nullptr) return false;
  std::lock_guard guard(r->guard);
  return r->fifos[0].view != nullptr;
}

bool AcqMonitorFifoPut(std::uint32_t board, std::uint32_t device, const AcqMonitorEvent& event) {
  DeviceResources* r = Of(board, device);
  if (r == nullptr || event.kind > 1) return false;
  std::lock_guard guard(r->guard);
  const Fifo& fifo = r->fifos[event.kind];
  if (fifo.view == nullptr) return false;
  QelHwStatus put = kFifoClosed;
  {
    FifoLock lock(r->mutex);
    if (lock.held()) put = FifoPut(fifo.control(), fifo.store(), &event, sizeof event);
  }
  if (put == 0) plat::set_event(r->event);
  return put == 0;
}

bool AcqMonitorFifoGet(std::uint32_t board, std::uint32_t device, std::uint32_t kind, AcqMonitorEvent* event) {
  DeviceResources* r = Of(board, device);
  if (r == nullptr || kind > 1) return false;
  std::lock_guard guard(r->guard);
  const Fifo& fifo = r->fifos[kind];
  if (fifo.view == nullptr) return false;
  FifoLock lock(r->mutex);
  return lock.held() && FifoGet(fifo.control(), fifo.store(), event, sizeof *event) == 0;
}

std::uint32_t AcqMonitorFifoOverflows(std::uint32_t board, std::uint32_t device) {
  DeviceResources* r = Of(board, device);
  if (r == nullptr) return 0;
  std::lock_guard guard(r->guard);
  return r->fifos[0].view != nullptr ? r->fifos[0].control()->overflowCount : 0;
}

namespace {

void ResetFifo(std::uint32_t board, std::uint32_t device, std::uint32_t kind) {
  DeviceResources* r = Of(board, device);
  if (r == nullptr) return;
  std::lock_guard guard(r->guard);
  const Fifo& fifo = r->fifos[kind];
  if (fifo.view == nullptr) return;
  FifoLock lock(r->mutex);
  if (lock.held()) FifoReset(fifo.control());
}

}  // namespace

void AcqMonitorResetAcqFifo(std::uint32_t board, std::uint32_t device) { ResetFifo(board, device, 0); }
void AcqMonitorResetXferFifo(std::uint32_t board, std::uint32_t device) { ResetFifo(board, device, 1); }

std::uint64_t AcqMonitorFifoEvent(std::uint32_t board, std::uint32_t device) {
  DeviceResources* r = Of(board, device);
  if (r == nullptr) return plat::kNullHandle;
  std::lock_guard guard(r->guard);
  return r->event;
}
