// The per-process open and close of the instance, serialised between all
// processes by the VELISK named mutex. The open remembers which of its steps
// completed, so that the close undoes exactly those; a failed open is
// remembered until the close.
#include <atomic>

#include "driver/user/Pardow.h"
#include "firmware/win32/QelExtInterface.h"
#include "firmware/win32/QelMemBinding.h"
#include "firmware/win32/QelVkmLoader.h"
#include "firmware/win32/QuilletModule.h"
#include "firmware/win32/QuilletShared.h"
#include "qellib/QelLog.h"
#include "qellib/QelSharedMutex.h"
#include "qellib/QelWinOptions.h"
#include "source/firmware/HostFirmware.h"
#include "source/firmware/HostFirmwareInternal.h"

namespace {

constexpr std::uint32_t kHostPorts = 256;

struct InstanceState {
  bool open;  // set by every open that had the mutex, cleared by the close
  QelStatus openResult;
  std::uint32_t serverMode;
  // The steps the open completed.
  bool counterRaised;
  bool logLoadedHere;
  bool memoryLoaded;
  bool moduleLoadTried;
  bool boardLibraryOpened;
  bool eventsCreated;
  bool extendedBound;
  bool portServerRegistered;
  bool hostInstance;
};

constinit InstanceState g_instance{};

std::atomic<std::int32_t>& OpenCounter() {
  static_assert(sizeof(std::atomic<std::int32_t>) == sizeof(std::int32_t));
  return *reinterpret_cast<std::atomic<std::int32_t>*>(&QuilletGetSharedData()->HostOpenCounter);
}

std::uint32_t BoardCount() {
  const auto getBoards = ManagerSlotAs<ManGetNBoardsFn>(QuilletManagerInterface(), kManGetNBoards);
  std::uint32_t count = 0;
  if (getBoards == nullptr || getBoards(&count) != QEL_OK) return 0;
  return count;
}

// The board library must have initialised without error and speak ABI 100.
QelStatus CheckLowLevelDriver(std::uint32_t serverMode, std::uint32_t boardCount) {
  bool passed = Yat_Man_GetInitializationError() == QELHW_OK;
  std::uint32_t version = 0;
  if (passed && Yat_Man_GetDriverABI_Version(&version) == QELHW_OK && version != kManDriverAbiVersion) {
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s, Incompatible Driver ABI Version: Low-Level Driver = %d, Velisk Driver = %d", kQuilletLabel,
              static_cast<int>(version), static_cast<int>(kManDriverAbiVersion));
    passed = false;
  }
  g_instance.extendedBound = BindExtendedInterface();
  if (!passed) return kInstanceFailed;
  if (serverMode != 0 && InstallFunctions(boardCount) != QEL_OK) return kInstanceFailed;
  return QEL_OK;
}

// Port server 62 with ports 0 to 255: where this server's answers and
// requests for others leave, through the answer callback.
QelStatus HostFirmwareRegisterServer() {
  if (!ApiLock()) return kQelApiLockTimeout;
  QelStatus status = HOSTINSTALLPORTSERVER(kOnboardHostServer, HostFirmwareSendAnswer, 0);
  if (status == QEL_OK) {
    g_instance.portServerRegistered = true;
    for (std::uint32_t port = 0; port < kHostPorts; ++port) HOSTNEWPORT(port, kOnboardHostServer);
  }
  ApiUnlock();
  if (status != QEL_OK)
    LogPutLog(kQelLogError, __FILE__, __LINE__,
              "%s: INITINSTANCE => Cannot register onboard host server (status= 0x%08lx)", kQuilletLabel,
              static_cast<unsigned long>(status));
  return status;
}

// The board library's part and what follows from it (steps 7a to 7e).
QelStatus OpenWithBoardLibrary(std::uint32_t serverMode) {
  const QelStatus opened = TranslateStatus(QelHw_Open());
  g_instance.boardLibraryOpened = true;
  const std::uint32_t boardCount = BoardCount();
  if (opened == kInstanceBoardLibraryAbsent) return opened;
  if (opened != QEL_OK && boardCount == 0) return opened;
  QelStatus result = QEL_OK;
  if (serverMode != 0) {
    BindApiLocker();
    g_instance.eventsCreated = QELMANINITEVENTS() == QEL_OK;
    if (!g_instance.eventsCreated) result = kInstanceFailed;
    LoadSettings();
  }
  if (result == QEL_OK) result = CheckLowLevelDriver(serverMode, boardCount);
  if (result == QEL_OK && serverMode != 0) result = HostFirmwareRegisterServer();
  if (result != QEL_OK && result != kInstanceBoardLibraryAbsent)
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: HostFirmwareInitInstance => Cannot initialize: 0x%x",
              kQuilletLabel, static_cast<unsigned>(result));
  if (result == QEL_OK && serverMode != 0) BindApiLocker();
  return result;
}

QelStatus RunOpenSteps(std::uint32_t serverMode) {
  OpenCounter().fetch_add(1);
  g_instance.counterRaised = true;
  g_instance.logLoadedHere = LoadQelLog();
  if (!IsQelLogBound()) return kInstanceLibraryMissing;
  g_instance.memoryLoaded = LoadQelMem(kQuilletLabel);
  if (!g_instance.memoryLoaded) return kInstanceLibraryMissing;
  // A missing driver directory answers the board status as it is.
  const QelHwStatus options = SetConfigPathName(QuilletGetModuleHandle(), kDriverDirVariable, kOptionsFileName, 0);
  if (options != QELHW_OK) return static_cast<QelStatus>(options);
  g_instance.moduleLoadTried = true;
  if (!LoadVkmModule()) return kInstanceLibraryMissing;
  return OpenWithBoardLibrary(serverMode);
}

void ReleaseMutex(plat::Handle mutex) {
  plat::release_mutex(mutex);
  plat::close_handle(mutex);
}

// Step a of the close: what server mode set up.
void HostFirmwareUninstall() {
  if (g_instance.serverMode == 0) return;
  const bool locked = ApiLock();
  if (g_instance.portServerRegistered) {
    HOSTUNINSTALLPORTSERVER(kOnboardHostServer);
    for (std::uint32_t port = 0; port < kHostPorts; ++port) HOSTFREEPORT(port);
  }
  if (g_instance.hostInstance) HostCloseInstance();
  UninstallFunctions();
  if (g_instance.eventsCreated) QelManFreeEvents();
  if (locked) ApiUnlock();
  ForgetApiLocker();
}

}  // namespace

QelStatus HostFirmwareInitInstance(std::uint32_t serverMode) {
  const plat::Handle mutex = SharedMutexLock(kVeliskMutexName, kQuilletLabel);
  // Without the mutex nothing is touched: no flag, no counter.
  if (mutex == plat::kNullHandle) return kInstanceMutexNotHad;
  if (!g_instance.open) {
    const QelStatus result = RunOpenSteps(serverMode);
    if (serverMode != 0 && g_instance.serverMode == 0) {
      HostNewInstance();
      g_instance.hostInstance = true;
    }
    g_instance.serverMode = serverMode;
    g_instance.openResult = result;
    g_instance.open = true;
  }
  const QelStatus result = g_instance.openResult;
  ReleaseMutex(mutex);
  return result;
}

QelStatus HostFirmwareCloseInstance() {
  const plat::Handle mutex = SharedMutexLock(kVeliskMutexName, kQuilletLabel);
  if (mutex == plat::kNullHandle) return kInstanceMutexNotHad;
  if (g_instance.open) {
    HostFirmwareUninstall();
    if (g_instance.boardLibraryOpened) QelHw_Close();
    if (g_instance.extendedBound) UnbindExtendedInterface();
    if (g_instance.moduleLoadTried) UnloadVkmModule();
    if (g_instance.memoryLoaded) UnloadQelMem();
    if (g_instance.logLoadedHere) UnloadQelLog();
    if (g_instance.counterRaised) OpenCounter().fetch_sub(1);
    // The module that set the callback may be unloaded once it closed us.
    Man_SetAnswerCallback(nullptr);
    g_instance = {};
  }
  ReleaseMutex(mutex);
  return QEL_OK;
}

InstanceView HostFirmwareInstanceView() {
  return {g_instance.open, g_instance.openResult, g_instance.serverMode, g_instance.portServerRegistered,
          g_instance.eventsCreated};
}
