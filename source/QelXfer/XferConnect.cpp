// The transfer module's start and end, connect and disconnect under the
// global transfer mutex, and the run operations that hand over to the board.
#include "platform/win/objects.h"
#include "qellib/QelSharedMutex.h"
#include "source/QelXfer/XferInternal.h"
#include "source/QelXfer/XferManager.h"
#include "source/QelXfer/XferShared.h"
#include "source/QelXfer/XferStatus.h"

namespace {

inline constexpr char kGlobalMutexName[] = "HABRIX_QELYATCLFOLVA4X_VELISK_MUTEX";
inline constexpr char kMutexOwner[] = "Quillet.DLL";

struct ModuleState {
  bool initialised = false;
  plat::Handle mutex = plat::kNullHandle;
  const XferDriverTable* table = nullptr;
};

ModuleState g_module;

// The global transfer mutex, held for a scope with an infinite wait (an
// abandoned one counts as taken).
class GlobalTransferMutex {
 public:
  GlobalTransferMutex() {
    if (g_module.mutex != plat::kNullHandle) {
      const std::uint32_t result = plat::wait_for_object(g_module.mutex, plat::kInfinite);
      if (result == plat::kWaitObject0 || result == plat::kWaitAbandoned0) handle_ = g_module.mutex;
      return;
    }
    const SharedMutexRequest request{sizeof(SharedMutexRequest), kGlobalMutexName, kMutexOwner, plat::kInfinite};
    handle_ = SharedMutexCreate(&request);
    owned_ = true;
  }
  ~GlobalTransferMutex() {
    if (handle_ == plat::kNullHandle) return;
    plat::release_mutex(handle_);
    if (owned_) plat::close_handle(handle_);
  }
  GlobalTransferMutex(const GlobalTransferMutex&) = delete;
  GlobalTransferMutex& operator=(const GlobalTransferMutex&) = delete;

 private:
  plat::Handle handle_ = plat::kNullHandle;
  bool owned_ = false;
};

}  // namespace

// The first pair of each group, verified in order; a failure gives back the
// places of those verified before it.
QelStatus XferVerifyPairs(XferObject* xfer) {
  const XferDriverTable& table = XferDriver();
  for (XferSource* source = xfer->record->sources; source != nullptr; source = source->next) {
    for (XferDestinationGroup* group = source->groups; group != nullptr; group = group->next) {
      XferPair* pair = group->first;
      QelStatus status = source->kind == kXferSourceKindOther || pair->kind == kXferPairKindOther
                             ? kXferKindNotValid
                             : XferWithModule(table.verifyPair(xfer, source, pair));
      if (status == QEL_OK) continue;
      XferUnverifyPairs(xfer, source, group);
      return status;
    }
  }
  return QEL_OK;
}

namespace {

QelStatus WithSources(const QelHandle* handle, QelStatus (*operation)(XferObject*)) {
  return XferLocked(handle, [operation](XferObject* xfer) -> QelStatus {
    if (xfer->record->connected == 0) return kXferNotConnected;
    if (xfer->record->sources == nullptr) return QEL_OK;
    return operation(xfer);
  });
}

QelStatus StopOnBoard(XferObject* xfer) { return XferWithModule(XferDriver().stop(xfer)); }

}  // namespace

const XferDriverTable& XferDriver() { return g_module.table != nullptr ? *g_module.table : XferYatDriverTable(); }

void XferUnverifyPairs(XferObject* xfer, const XferSource* untilSource, const XferDestinationGroup* untilGroup) {
  const XferDriverTable& table = XferDriver();
  for (XferSource* source = xfer->record->sources; source != nullptr; source = source->next) {
    for (XferDestinationGroup* group = source->groups; group != nullptr; group = group->next) {
      if (source == untilSource && group == untilGroup) return;
      table.unverifyPair(xfer, source, group->first);
    }
  }
}

QelStatus XferInit(std::uint32_t boardCount) {
  if (g_module.initialised) return QEL_OK;
  const plat::Handle mutex = SharedMutexLock(kGlobalMutexName, kMutexOwner);
  if (mutex == plat::kNullHandle) return kXferGeneral;
  g_module.mutex = mutex;
  g_module.table = &XferYatDriverTable();
  XferSharedData* shared = XferGetShared();
  const bool first = shared->initialised == 0;
  if (first) XferClearShared(shared);
  const QelStatus status = g_module.table->init(boardCount);
  g_module.initialised = status == QEL_OK;
  if (status == QEL_OK && first) shared->initialised = 1;
  plat::release_mutex(mutex);
  return status;
}

QelStatus XferFree() {
  QelStatus status = QEL_OK;
  if (g_module.initialised) status = XferDriver().free();
  g_module.initialised = false;
  if (g_module.mutex != plat::kNullHandle) plat::close_handle(g_module.mutex);
  g_module.mutex = plat::kNullHandle;
  return status;
}

bool XferModuleReady() { return g_module.initialised; }

QelStatus XferConnect(const QelHandle* handle) {
  return XferLocked(handle, [](XferObject* xfer) -> QelStatus {
    GlobalTransferMutex global;
    XferRecord* record = xfer->record;
    if (record->connected != 0) return QEL_OK;
    if (record->sources == nullptr) return kXferNoPair;
    if (const QelStatus status = XferVerifyPairs(xfer); status != QEL_OK) return status;
    record->connected = 1;
    const QelStatus status = XferWithModule(XferDriver().connect(xfer, record->sources));
    record->connected = status == QEL_OK ? 1 : 0;
    return status;
  });
}

QelStatus XferObjectDisconnect(XferObject* xfer) {
  std::lock_guard lock(xfer->lock);
  GlobalTransferMutex global;
  if (xfer->record->connected == 0) return QEL_OK;
  return XferWithModule(XferDriver().disconnect(xfer));
}

QelStatus XferDisconnect(const QelHandle* handle) {
  XferObject* xfer = XferObjectOf(handle);
  return xfer != nullptr ? XferObjectDisconnect(xfer) : kXferBadHandle;
}

bool XferIsConnected(const QelHandle* handle) {
  const auto* record = static_cast<const XferRecord*>(HandleRecordOf(handle, kQelTagTransfer));
  return record != nullptr && record->connected != 0;
}

QelStatus XferStart(const QelHandle* handle, std::int32_t frameCount) {
  return XferLocked(handle, [frameCount](XferObject* xfer) -> QelStatus {
    if (xfer->record->connected == 0) return kXferNotConnected;
    if (frameCount == 0) return xfer->record->sources != nullptr ? StopOnBoard(xfer) : QEL_OK;
    if (xfer->record->sources == nullptr) return kXferNoPair;
    return XferWithModule(XferDriver().start(xfer, frameCount));
  });
}

QelStatus XferStop(const QelHandle* handle) { return WithSources(handle, StopOnBoard); }

QelStatus XferObjectAbort(XferObject* xfer) {
  std::lock_guard lock(xfer->lock);
  if (xfer->record->connected == 0) return kXferNotConnected;
  if (xfer->record->sources == nullptr) return QEL_OK;
  return XferWithModule(XferDriver().abort(xfer));
}

QelStatus XferAbort(const QelHandle* handle) {
  XferObject* xfer = XferObjectOf(handle);
  return xfer != nullptr ? XferObjectAbort(xfer) : kXferBadHandle;
}

QelStatus XferWait(const QelHandle* handle, std::uint32_t timeoutMs) {
  return XferLocked(handle, [timeoutMs](XferObject* xfer) -> QelStatus {
    if (xfer->record->connected == 0) return kXferNotConnected;
    if (xfer->record->sources == nullptr) return QEL_OK;
    return XferWithModule(XferDriver().wait(xfer, timeoutMs));
  });
}
