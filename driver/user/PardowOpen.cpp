// Open and close of the board library: once per process, under one named
// mutex shared by every process, with the boards initialised by the first.
// A failed open undoes what it did, so the next open tries again; what a
// process that ended without closing left in the shared table is reclaimed
// by the next open or close of any process.
#include "driver/kernel/YatIoctl.h"
#include "driver/user/Pardow.h"
#include "driver/user/QelPciBinding.h"
#include "driver/user/YatBoardInit.h"
#include "driver/user/YatLibrary.h"
#include "driver/user/YatManRequests.h"
#include "driver/user/YatMsgClient.h"
#include "driver/user/YatProcessTable.h"
#include "platform/win/device.h"
#include "qellib/QelLog.h"
#include "qellib/QelSharedMutex.h"
#include "qellib/QelWinOptions.h"

namespace {

constexpr const char* kDriverDirVariable = "YATFOLVA4XDIR";
constexpr const char* kOptionsFileName = "Yat_Tramond-CL_RZ6_Config.ini";
constexpr const char* kControlDeviceName = "\\\\.\\STAVRO";
constexpr const char* kBoardFamilyName = "Tramond-CL_RZ6";
constexpr std::uint32_t kOptionsFileMode = 1;

// Close step 1, and the undo of a failed open: what the device open and the
// message registration took. An event that was never registered is only closed.
void CloseDevice(bool registered) {
  YatProcessState& state = Yat_GetProcessState();
  if (state.device == kYatInvalidDevice) return;
  if (registered && !Yat_MsgClient_Unregister())
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s,IOCTL_UNREGISTER_MSGEVENT Failed", kPardowLabel);
  Yat_MsgClient_CloseEvent();
  Yat_GiveBackProcessSlot();
  if (state.device != 0) plat::close_device(state.device);
  state.device = kYatInvalidDevice;
}

QelHwStatus CheckDriverAbi() {
  std::uint32_t version = 0;
  const QelHwStatus status = Yat_Man_GetKernelAbiVersion(&version);
  if (status != QELHW_OK) return status;
  if (version == YAT_DRIVER_ABI_VERSION) return QELHW_OK;
  LogPutLog(kQelLogError, __FILE__, __LINE__,
            "%s, Incompatible Driver ABI Version: Kernel Driver = %d, Low-Level Driver = %d", kPardowLabel,
            static_cast<int>(version), static_cast<int>(YAT_DRIVER_ABI_VERSION));
  return QELHW_ERROR_INCOMPATIBLE_VERSION;
}

QelHwStatus OpenDevice() {
  QelHwStatus status = Yat_TakeProcessSlot();
  if (status != QELHW_OK) return status;
  YatProcessState& state = Yat_GetProcessState();
  const plat::Handle device = plat::open_device(kControlDeviceName);
  if (device == plat::kNullHandle) {
    Yat_GiveBackProcessSlot();
    return QELHW_ERROR_NO_BOARD_FOUND;
  }
  state.device = device;
  status = CheckDriverAbi();
  if (status != QELHW_OK) CloseDevice(false);
  return status;
}

QelHwStatus FindBoards() {
  YatSharedBoardInfo* info = Yat_GetSharedBoardInfo();
  info->boardCount = 1;
  const QelHwStatus status = Yat_Man_GetNbBoard(&info->boardCount);
  if (status != QELHW_OK) {
    LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: Yat_InitOnce: Yat_FindBoards - Failed(0x%x)", kPardowLabel,
              static_cast<unsigned>(status));
    return status;
  }
  LogPutLog(kQelLogTrace, __FILE__, __LINE__, "%s: Found %d %s Board(s)", kPardowLabel,
            static_cast<int>(info->boardCount), kBoardFamilyName);
  return QELHW_OK;
}

// Run by the first process of all. The result is the last board's status;
// earlier boards keep theirs in their own entries.
QelHwStatus InitializeOnce() {
  Yat_GetSharedData()->debugLevel = 0;
  QelHwStatus status = FindBoards();
  if (status != QELHW_OK) return status;
  const std::uint32_t count = Yat_GetSharedBoardInfo()->boardCount;
  if (count == 0) return QELHW_ERROR_NO_BOARD_FOUND;
  for (std::uint32_t board = 0; board < count && board < YAT_MAX_BOARD; ++board) status = Yat_InitBoardOnce(board);
  return status;
}

// The library bindings and the load count, taken first by every open and
// given back last by every close.
void ReleaseBindings() {
  UnloadQelLog();
  QelPciUnload();
  Yat_DecrementLoadCount();
}

// The log binding for lines written before the open binds it (or in a
// process that is not open); one the process holds already stays.
class LogForNow {
 public:
  LogForNow() : bound_(LoadQelLog()) {}
  ~LogForNow() {
    if (bound_) UnloadQelLog();
  }
  LogForNow(const LogForNow&) = delete;
  LogForNow& operator=(const LogForNow&) = delete;

 private:
  bool bound_;
};

// Without the one section every process shares, this process would
// initialise boards that others are grabbing from.
QelHwStatus CheckSharedSection() {
  if (Yat_IsSharedDataMapped()) return QELHW_OK;
  LogForNow log;
  LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: QelHw_Open: the shared data section %s cannot be mapped",
            kPardowLabel, YAT_SHARED_DATA_NAME);
  return QELHW_ERROR_SYSTEM_RESOURCE;
}

void ReclaimDeadHolders() {
  if (!Yat_IsSharedDataMapped()) return;
  LogForNow log;
  Yat_ReclaimDeadHolders();
}

QelHwStatus RunOpenSteps() {
  if (const QelHwStatus status = CheckSharedSection(); status != QELHW_OK) return status;
  const std::uint32_t loadCount = Yat_IncrementLoadCount();
  LoadQelLog();
  QelPciLoad(kPardowLabel);
  QelHwStatus status = SetConfigPathName(Yat_GetProcessState().module, kDriverDirVariable, kOptionsFileName,
                                         kOptionsFileMode);
  if (status != QELHW_OK) LogPutLog(kQelLogError, __FILE__, __LINE__, "%s: VkmInit: QelWinSetModuleOptions", kPardowLabel);
  if (status == QELHW_OK) status = OpenDevice();
  const bool deviceOpen = status == QELHW_OK;
  if (status == QELHW_OK && loadCount == 1) status = InitializeOnce();
  if (status == QELHW_OK) status = Yat_MsgClient_Init();
  const QelHwStatus previous = Yat_GetSharedBoardInfo()->initError;
  if (status == QELHW_OK && previous != QELHW_OK)
    LogPutLog(kQelLogNotice, __FILE__, __LINE__, "%s, Loaded (#%d), status = %d", kPardowLabel,
              static_cast<int>(Yat_GetSharedBoardInfo()->loadCount), static_cast<int>(previous));
  if (status != QELHW_OK) {
    if (deviceOpen) CloseDevice(false);
    ReleaseBindings();
  }
  return status;
}

void ReleaseMutex(plat::Handle mutex) {
  plat::release_mutex(mutex);
  plat::close_handle(mutex);
}

}  // namespace

// A repeated open in a process that is open does nothing and stores nothing,
// so the stored error stays that of the last open that ran its steps.
PARDOW_API QelHwStatus QelHw_Open() {
  const plat::Handle mutex = SharedMutexLock(kYatDllMutexName, kPardowLabel);
  if (mutex == plat::kNullHandle) {
    Yat_GetSharedBoardInfo()->initError = QELHW_ERROR_ACQUIRE_MUTEX;
    return QELHW_ERROR_ACQUIRE_MUTEX;
  }
  ReclaimDeadHolders();
  YatProcessState& state = Yat_GetProcessState();
  QelHwStatus status = QELHW_OK;
  if (state.opened == 0) {
    status = RunOpenSteps();
    Yat_GetSharedBoardInfo()->initError = status;
    state.opened = status == QELHW_OK ? 1 : 0;
  }
  ReleaseMutex(mutex);
  return status;
}

PARDOW_API QelHwStatus QelHw_Close() {
  const plat::Handle mutex = SharedMutexLock(kYatDllMutexName, kPardowLabel);
  if (mutex == plat::kNullHandle) return QELHW_ERROR_ACQUIRE_MUTEX;
  ReclaimDeadHolders();
  YatProcessState& state = Yat_GetProcessState();
  if (state.opened != 0) {
    CloseDevice(true);
    ReleaseBindings();
    state.opened = 0;
  }
  ReleaseMutex(mutex);
  return QELHW_OK;
}
